#include "view/cellnav.h"

#include "engine/blockstatearray.h"
#include "view/maprender.h"

#include <algorithm>

int32_t MoveCell(int32_t nFrom, ECellMove move, uint32_t nCells, int32_t nColumns) {
    if (nCells == 0)
        return -1;
    const int64_t nLast = int64_t(std::min<uint32_t>(nCells, INT32_MAX)) - 1;
    if (move == ECellMove::Last)
        return int32_t(nLast);
    if (nFrom < 0 || move == ECellMove::First)
        return 0;
    const int64_t i = std::min<int64_t>(nFrom, nLast);
    const int64_t n = std::max(nColumns, 1);
    switch (move) {
    case ECellMove::Left:
        return int32_t(std::max<int64_t>(i - 1, 0));
    case ECellMove::Right:
        return int32_t(std::min(i + 1, nLast));
    case ECellMove::Up:
        return int32_t(i >= n ? i - n : i);
    case ECellMove::Down:
        // Only when a row lies below: from the last row itself there is nowhere to go.
        return int32_t(i / n < nLast / n ? std::min(i + n, nLast) : i);
    default:
        return int32_t(i);
    }
}

int32_t FindDifference(const CBlockStateArray& states, uint32_t nCells, int32_t nFrom,
                       bool bForward) {
    const int64_t K = std::min<uint32_t>(nCells, INT32_MAX);
    const std::atomic<uint8_t>* pStates = states.m_pStates.get();
    const uint32_t R = states.m_nPerCell;
    if (R == 0 || K == 0)
        return -1;
    const int64_t nStep = bForward ? 1 : -1;
    int64_t i = nFrom < 0 ? (bForward ? 0 : K - 1) : int64_t(nFrom) + nStep;
    if (!bForward) // from a selection past the last cell (the map shrank)
        i = std::min(i, K - 1);
    for (; i >= 0 && i < K; i += nStep)
        if (CellState(pStates, states.m_nCount, uint32_t(i), R) > BLOCK_EQUAL)
            return int32_t(i);
    return -1;
}
