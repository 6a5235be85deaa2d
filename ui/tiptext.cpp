#include "ui/tiptext.h"

#include <cstdio>
#include <vector>

namespace {

// How many bytes the UTF-8 character that begins with this byte takes; 1 for a byte that
// cannot begin one, so that text in another encoding is cut like plain bytes.
size_t SequenceLength(unsigned char c) {
    if (c >= 0xC0 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF7)
        return 4;
    return 1;
}

} // namespace

std::string DupTipText(size_t n, const std::string& strText) {
    if (n == 0)
        return std::string();
    size_t nCut = n - 1;
    if (strText.size() <= nCut)
        return strText;
    // Only a continuation byte right after the cut can belong to a character the cut splits;
    // its lead is at most three bytes back.
    if ((static_cast<unsigned char>(strText[nCut]) & 0xC0) != 0x80)
        return strText.substr(0, nCut);
    for (size_t nBack = 1; nBack <= 3 && nBack <= nCut; ++nBack) {
        unsigned char c = static_cast<unsigned char>(strText[nCut - nBack]);
        if ((c & 0xC0) == 0x80)
            continue;
        if (SequenceLength(c) > nBack)
            nCut -= nBack;
        break;
    }
    return strText.substr(0, nCut);
}

std::string VFormatText(size_t nLimit, const char* pszFormat, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int nLength = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    if (nLength < 0)
        return std::string();
    std::vector<char> buffer(size_t(nLength) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), pszFormat, args);
    std::string strText(buffer.data(), size_t(nLength));
    return nLimit < strText.size() ? DupTipText(nLimit + 1, strText) : strText;
}

std::string FormatTipText(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    std::string strText = VFormatText(std::string::npos, pszFormat, args);
    va_end(args);
    return strText;
}
