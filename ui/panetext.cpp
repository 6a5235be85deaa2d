#include "ui/panetext.h"

#include "engine/align/alignment.h"

#include <numeric>

std::string CellSizeText(uint32_t nBytes) {
    if (nBytes == 0)
        return std::string();
    if (nBytes < 1024)
        return std::to_string(nBytes);
    if (nBytes < 1048576)
        return std::to_string(nBytes / 1024) + "K";
    return std::to_string(nBytes / 1048576) + "M";
}

std::array<int32_t, PANE_COUNT> StatusPaneWidths(int32_t cx, int32_t nProgressText,
                                                 int32_t nCellSizeText, int32_t nDiffsText) {
    const int64_t w0 = int64_t(nProgressText) + 6;
    const int64_t w3 = int64_t(nCellSizeText) + 6;
    const int64_t w4 = int64_t(nDiffsText) + 6;
    // 64 bits, so that no width a caller can pass wraps before the sign is looked at.
    const int64_t nRest = int64_t(cx) - 3 * PANE_COUNT - w0 - w3 - w4;
    const int64_t nName = nRest < 0 ? 0 : nRest / 2 + 6;
    return {int32_t(w0), int32_t(nName), int32_t(nName), int32_t(w3), int32_t(w4)};
}

std::string SegmentCountText(const std::array<uint64_t, 6>& counts) {
    return std::to_string(std::accumulate(counts.begin() + 1, counts.end(), uint64_t(0)));
}

std::string SegmentCountTip(const std::array<uint64_t, 6>& counts) {
    std::string strTip = "Segments not equal; of each kind:";
    for (size_t i = 0; i < counts.size(); ++i)
        strTip += '\n' + std::to_string(counts[i]) + ' ' + AlignKindName(EAlignKind(i));
    return strTip;
}
