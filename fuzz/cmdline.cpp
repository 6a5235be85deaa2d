// The window's command line: the Windows tokeniser on one string, and the POSIX parser on an
// argument list (the input split at NUL bytes).
#include "app/cmdline.h"
#include "fuzz/fuzzinput.h"

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

void CheckTokens(const std::string& strText) {
    std::vector<std::string> tokens = CCmdline::Tokenize(strText);
    size_t nQuotes = 0;
    size_t nBlanks = 0;
    for (char c : strText) {
        nQuotes += c == '"';
        nBlanks += IsBlank(c);
    }
    size_t nKept = 0;
    for (const std::string& token : tokens) {
        // Quotes only group; they never reach a token.
        FUZZ_CHECK(token.find('"') == std::string::npos);
        nKept += token.size();
    }
    // Every character ends up in a token, or was a quote or a blank that separated.
    FUZZ_CHECK(nKept <= strText.size() - nQuotes);
    FUZZ_CHECK(nKept >= strText.size() - nQuotes - nBlanks);
    FUZZ_CHECK(tokens.size() <= strText.size());

    // Quoting each token and joining them with blanks gives the same tokens back.
    std::string strJoined;
    for (const std::string& token : tokens)
        strJoined += "\"" + token + "\" ";
    FUZZ_CHECK(CCmdline::Tokenize(strJoined) == tokens);

    size_t nNames = 0;
    size_t nOptions = 0;
    for (const std::string& token : tokens)
        (!token.empty() && token[0] == '/' ? nOptions : nNames)++;
    CCmdline cmdline;
    bool bValid = cmdline.ParseCommandLine(strText);
    FUZZ_CHECK(bValid == (nOptions == 0 && nNames <= 2));
    FUZZ_CHECK(cmdline.m_nResult == (bValid ? int32_t(nNames) : -1));
}

void CheckArguments(const std::vector<std::string>& args) {
    std::vector<std::string> names;
    size_t nOptions = 0;
    bool bEnded = false;
    bool bAlign = false;
    for (const std::string& arg : args) {
        if (!bEnded && arg == "--")
            bEnded = true;
        else if (!bEnded && arg == "--align")
            bAlign = true; // the one option the window knows, anywhere before "--"
        else if (!bEnded && !arg.empty() && arg[0] == '-')
            ++nOptions;
        else
            names.push_back(arg);
    }
    CCmdline cmdline;
    bool bValid = cmdline.Parse(args);
    FUZZ_CHECK(bValid == (nOptions == 0 && names.size() <= 2));
    FUZZ_CHECK(cmdline.m_nResult == (bValid ? int32_t(names.size()) : -1));
    if (!bValid)
        return;
    FUZZ_CHECK(cmdline.m_bAlign == bAlign);
    const std::string* paths[] = {&cmdline.m_strPath1, &cmdline.m_strPath2};
    for (size_t i = 0; i < 2; ++i) {
        const std::string strName = i < names.size() ? names[i] : std::string();
        const std::string& strPath = *paths[i];
        // An empty name stays empty; any other becomes absolute and keeps its last part.
        FUZZ_CHECK(strName.empty() == strPath.empty());
        if (strName.empty() || strName.find('\0') != std::string::npos)
            continue;
        FUZZ_CHECK(strPath[0] == '/');
        // The library keeps a name of slashes alone as it is: the root all the same.
        FUZZ_CHECK(strPath.find_first_not_of('/') == std::string::npos ||
                   strPath.find("//") == std::string::npos);
        size_t nSlash = strName.find_last_of('/');
        std::string strLast = strName.substr(nSlash == std::string::npos ? 0 : nSlash + 1);
        if (!strLast.empty() && strLast != "." && strLast != "..")
            FUZZ_CHECK(strPath.size() >= strLast.size() &&
                       strPath.compare(strPath.size() - strLast.size(), strLast.size(), strLast) ==
                           0);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    std::string strText(reinterpret_cast<const char*>(pData), nSize);
    CheckTokens(strText);
    CheckArguments(SplitArguments(strText));
    return 0;
}
