#include "cli/mapunits.h"

#include <cstring>

namespace {
// Each unit letter's power: K is 1024^1 or 1000^1, Q 1024^10 or 1000^10.
int UnitPower(char c) {
    const char* pszUnits = "KMGTPEZYRQ";
    const char* p = c == 'k' ? pszUnits : c != '\0' ? std::strchr(pszUnits, c) : nullptr;
    return p ? int(p - pszUnits) + 1 : 0;
}
} // namespace

ENumber ParseByteCount(const std::string& strText, uint64_t nMax, uint64_t& nValue) {
    size_t i = 0;
    unsigned nBase = 10;
    if (strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X')) {
        nBase = 16;
        i = 2;
    }
    // Digits first, wider than 64 bits if need be: too large is told apart from not a number.
    bool bOverflow = false;
    uint64_t n = 0;
    const size_t nDigits = i;
    for (; i < strText.size(); ++i) {
        const char c = strText[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (nBase == 16 && c >= 'a' && c <= 'f')
            d = unsigned(c - 'a' + 10);
        else if (nBase == 16 && c >= 'A' && c <= 'F')
            d = unsigned(c - 'A' + 10);
        else
            break;
        bOverflow = bOverflow || n > (UINT64_MAX - d) / nBase;
        n = n * nBase + d;
    }
    if (i == nDigits)
        return ENumber::Bad;
    const std::string strUnit = strText.substr(i);
    const int nPower = strUnit.empty() ? 0 : UnitPower(strUnit[0]);
    const std::string strAfter = strUnit.empty() ? "" : strUnit.substr(1);
    if (!strUnit.empty() &&
        (nPower == 0 || (strAfter != "" && strAfter != "B" && strAfter != "iB")))
        return ENumber::Bad;
    const uint64_t nUnit = strAfter == "B" ? 1000 : 1024;
    for (int k = 0; k < nPower && n != 0; ++k) {
        bOverflow = bOverflow || n > UINT64_MAX / nUnit;
        n *= nUnit;
    }
    if (bOverflow || n > nMax)
        return ENumber::TooLarge;
    nValue = n;
    return ENumber::Ok;
}
