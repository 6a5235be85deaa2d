#include "ui/pathtext.h"

namespace {
constexpr char16_t kEscapeBase = 0xDC00; // + byte: a byte that is not part of valid UTF-8

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The code point of the valid UTF-8 sequence at strPath[i] and its length in bytes; 0 bytes
// when there is none (a stray, overlong, truncated or surrogate sequence).
size_t DecodeAt(const std::string& strPath, size_t i, char32_t& cp) {
    auto b0 = static_cast<unsigned char>(strPath[i]);
    size_t nLength = 0;
    char32_t nMin = 0;
    if ((b0 & 0xE0) == 0xC0) {
        nLength = 2, cp = b0 & 0x1F, nMin = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        nLength = 3, cp = b0 & 0x0F, nMin = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        nLength = 4, cp = b0 & 0x07, nMin = 0x10000;
    } else {
        return 0;
    }
    if (strPath.size() - i < nLength)
        return 0;
    for (size_t k = 1; k < nLength; ++k) {
        auto b = static_cast<unsigned char>(strPath[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < nMin || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return nLength;
}

void AppendUtf8(std::string& strPath, char32_t cp) {
    if (cp < 0x80) {
        strPath += char(cp);
    } else if (cp < 0x800) {
        strPath += char(0xC0 | (cp >> 6));
        strPath += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        strPath += char(0xE0 | (cp >> 12));
        strPath += char(0x80 | ((cp >> 6) & 0x3F));
        strPath += char(0x80 | (cp & 0x3F));
    } else {
        strPath += char(0xF0 | (cp >> 18));
        strPath += char(0x80 | ((cp >> 12) & 0x3F));
        strPath += char(0x80 | ((cp >> 6) & 0x3F));
        strPath += char(0x80 | (cp & 0x3F));
    }
}
} // namespace

std::u16string PathToText(const std::string& strPath) {
    std::u16string strText;
    strText.reserve(strPath.size());
    for (size_t i = 0; i < strPath.size();) {
        auto b = static_cast<unsigned char>(strPath[i]);
        char32_t cp = 0;
        size_t nLength = b < 0x80 ? 1 : DecodeAt(strPath, i, cp);
        if (nLength == 0) {
            strText += char16_t(kEscapeBase + b);
            ++i;
            continue;
        }
        if (nLength == 1)
            cp = b;
        if (cp >= 0x10000) {
            strText += char16_t(0xD800 + ((cp - 0x10000) >> 10));
            strText += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            strText += char16_t(cp);
        }
        i += nLength;
    }
    return strText;
}

std::string TextToPath(const std::u16string& strText) {
    std::string strPath;
    strPath.reserve(strText.size());
    for (size_t i = 0; i < strText.size(); ++i) {
        char32_t c = strText[i];
        if (IsHighSurrogate(c) && i + 1 < strText.size() && IsLowSurrogate(strText[i + 1])) {
            AppendUtf8(strPath, 0x10000 + ((c - 0xD800) << 10) + (strText[i + 1] - 0xDC00));
            ++i;
        } else if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
            strPath += char(c - kEscapeBase);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            AppendUtf8(strPath, 0xFFFD);
        } else {
            AppendUtf8(strPath, c);
        }
    }
    return strPath;
}
