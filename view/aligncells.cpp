#include "view/aligncells.h"

#include <algorithm>

void CAlignCells::Update(const CAlignment& alignment, uint64_t nGeneration, uint64_t nCellSize,
                         uint32_t nCells) {
    const uint64_t L = alignment.m_nLength1;
    const uint64_t C = std::max<uint64_t>(nCellSize, 1);
    const uint64_t nCovered = alignment.Covered1();
    uint32_t nFirst = 0;
    if (m_bValid && nGeneration == m_nGeneration && C == m_nCellSize && nCells == m_kinds.size()) {
        // Segments are only added or lengthened at the end: cells wholly before the byte where
        // they ended last time keep their kind. Bytes inserted at that point belong to its cell.
        nFirst = uint32_t(std::min<uint64_t>((m_nCovered > 0 ? m_nCovered - 1 : 0) / C, nCells));
    } else {
        m_kinds.assign(nCells, CELL_PENDING);
    }
    // Added segments are counted; a lengthened last one keeps its kind.
    if (!m_bValid || nGeneration != m_nGeneration || alignment.m_segments.size() < m_nSegments) {
        m_counts = {};
        m_nSegments = 0;
    }
    for (; m_nSegments < alignment.m_segments.size(); ++m_nSegments)
        ++m_counts[size_t(alignment.m_segments[m_nSegments].eKind)];
    // Up to the cell of the last byte reached, or the last cell, where the end of file 1 lies.
    const uint64_t nEndCell = L == 0 ? 0 : std::min(nCovered, L - 1) / C + 1;
    const auto nEnd = uint32_t(std::min<uint64_t>(nEndCell, nCells));
    for (uint32_t i = nFirst; i < nEnd; ++i)
        m_kinds[i] = alignment.WorstKind(i * C, std::min(L, (i + 1) * C));
    m_bValid = true;
    m_nGeneration = nGeneration;
    m_nCellSize = C;
    m_nCovered = nCovered;
}

int32_t FindAlignStop(const CAlignment& alignment, uint64_t nCellSize, uint32_t nCells,
                      int32_t nFrom, bool bForward) {
    const int64_t K = std::min<uint32_t>(nCells, INT32_MAX);
    const uint64_t L = alignment.m_nLength1;
    if (K == 0 || L == 0)
        return -1;
    const uint64_t C = std::max<uint64_t>(nCellSize, 1);
    // A point at the end of file 1 belongs to the last cell, as the map draws it.
    const auto CellOf = [&](uint64_t n) { return int64_t(std::min(n, L - 1) / C); };
    // Stops after nFrom going forward, before it going back.
    int64_t nBound = nFrom < 0 ? (bForward ? -1 : K) : std::min<int64_t>(nFrom, K);
    int64_t nBest = -1;
    int64_t nShift = 0;
    for (const CAlignSegment& s : alignment.m_segments) {
        int64_t nA = CellOf(s.nOffset1);
        int64_t nB = s.nLength1 == 0 ? nA : CellOf(s.End1() - 1);
        const bool bSame = s.eKind == EAlignKind::Equal || s.eKind == EAlignKind::Moved;
        if (bSame) {
            if (s.Shift() == nShift)
                continue;
            nShift = s.Shift();
            nB = nA; // only where the new shift begins
        }
        if (nA >= K)
            break;
        nB = std::min(nB, K - 1);
        if (bForward) {
            if (nB > nBound)
                return int32_t(std::max(nA, nBound + 1));
        } else if (nA < nBound) {
            nBest = std::min(nB, nBound - 1); // a later segment may stop nearer
        }
    }
    return int32_t(nBest);
}
