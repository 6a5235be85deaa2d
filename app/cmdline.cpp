#include "app/cmdline.h"

#include <filesystem>
#include <system_error>

std::vector<std::string> CCmdline::Tokenize(const std::string& strText) {
    std::vector<std::string> tokens;
    size_t i = 0;
    const size_t n = strText.size();
    for (;;) {
        while (i < n && (strText[i] == ' ' || strText[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        std::string token;
        bool bQuoted = false;
        for (; i < n; ++i) {
            char c = strText[i];
            bool bEnds = bQuoted ? c == '"' : (c == ' ' || c == '\t');
            if (bEnds) {
                ++i;
                break;
            }
            if (c == '"')
                bQuoted = true;
            else
                token += c;
        }
        tokens.push_back(token);
    }
    return tokens;
}

bool CCmdline::Apply(const std::vector<std::string>& names, size_t nOptions) {
    try {
        if (names.size() > 2)
            throw ECmdlineOption{5};
        m_nResult = int32_t(names.size());
        m_strPath1 = FullPath(names.size() > 0 ? names[0] : std::string());
        m_strPath2 = FullPath(names.size() > 1 ? names[1] : std::string());
        if (nOptions > 0)
            throw ECmdlineOption{1};
    } catch (const ECmdlineOption&) {
        m_nResult = -1;
    }
    return m_nResult >= 0;
}

bool CCmdline::ParseCommandLine(const std::string& strText) {
    std::vector<std::string> names;
    size_t nOptions = 0;
    for (const std::string& token : Tokenize(strText)) {
        if (!token.empty() && token[0] == '/')
            ++nOptions;
        else
            names.push_back(token);
    }
    return Apply(names, nOptions);
}

bool CCmdline::Parse(const std::vector<std::string>& args) {
    std::vector<std::string> names;
    size_t nOptions = 0;
    bool bOptionsEnded = false;
    for (const std::string& arg : args) {
        if (!bOptionsEnded && arg == "--")
            bOptionsEnded = true;
        else if (!bOptionsEnded && arg == "--align")
            m_bAlign = true;
        else if (!bOptionsEnded && !arg.empty() && arg[0] == '-')
            ++nOptions;
        else
            names.push_back(arg);
    }
    return Apply(names, nOptions);
}

std::string CCmdline::FullPath(const std::string& strName) {
    if (strName.empty())
        return strName;
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(strName, ec);
    if (ec)
        return strName;
    return full.lexically_normal().string();
}
