#include "app/progresstext.h"

#include <cinttypes>
#include <cstdio>

std::string FormatElapsed(int64_t nElapsedMs) {
    if (nElapsedMs <= 0)
        return "0s";
    const int64_t S = nElapsedMs / 1000;
    const int64_t nHours = S / 3600;
    const int64_t nMinutes = (S / 60) % 60;
    const int64_t nSeconds = S % 60;
    char szText[48];
    if (nHours != 0)
        std::snprintf(szText, sizeof szText, "%" PRId64 ":%02" PRId64 ":%02" PRId64 "s", nHours,
                      nMinutes, nSeconds);
    else if (nMinutes != 0)
        std::snprintf(szText, sizeof szText, "%" PRId64 ":%02" PRId64 "s", nMinutes, nSeconds);
    else if (nSeconds >= 5)
        std::snprintf(szText, sizeof szText, "%" PRId64 "s", nSeconds);
    else
        std::snprintf(szText, sizeof szText, "%" PRId64 ".%03" PRId64 "s", nSeconds,
                      nElapsedMs % 1000);
    return szText;
}

std::string FormatProgress(int32_t nProgress, const std::string& strElapsed) {
    char szText[32];
    std::snprintf(szText, sizeof szText, "%d.%02d%% in ", nProgress / 100, nProgress % 100);
    return szText + strElapsed;
}

std::string FormatFinished(const std::string& strElapsed) {
    return "100% in " + strElapsed;
}

CSize GetMaxMapSize(int32_t nScreenWidth, int32_t nScreenHeight, int32_t nCaptionHeight,
                    int32_t nStripHeight) {
    return {nScreenWidth - 4, nScreenHeight - nCaptionHeight - nStripHeight - 8};
}

CRect InitialWindowRect(int32_t nScreenWidth, int32_t nScreenHeight) {
    const int32_t nWidth = (nScreenWidth / 4) * 3;
    const int32_t nHeight = (nScreenHeight / 4) * 3;
    const int32_t nLeft = (nScreenWidth - nWidth) / 2;
    const int32_t nTop = (nScreenHeight - nHeight) / 3;
    return {nLeft, nTop, nLeft + nWidth, nTop + nHeight};
}
