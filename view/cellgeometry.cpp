#include "view/cellgeometry.h"

#include "engine/blockstatearray.h"

#include <algorithm>
#include <climits>
#include <mutex>

namespace {
// ceil(L / x) for x > 0, saturated to 32 bits: a quotient past 2^31 is outside the range of
// the system anyway, and saturating keeps the power of two from wrapping to a tiny size.
uint32_t CeilQuotient(uint64_t nLength, uint64_t x) {
    uint64_t q = nLength / x + (nLength % x != 0 ? 1 : 0);
    return q > UINT32_MAX ? UINT32_MAX : uint32_t(q);
}
} // namespace

uint32_t CCellGeometry::NextPowerOfTwo(uint32_t n) {
    if (n > 0x80000000u)
        return 0x80000000u;
    uint32_t r = 1;
    while (r < n)
        r *= 2;
    return r;
}

int32_t CCellGeometry::CellsInArea(int32_t w, int32_t h) {
    int64_t nColumns = (int64_t(w) - 1) / 4;
    int64_t nRows = (int64_t(h) - 1) / 4;
    if (nColumns <= 0 || nRows <= 0)
        return 0;
    return int32_t(std::min<int64_t>(nColumns * nRows, INT32_MAX));
}

int32_t CCellGeometry::ChoosePitch(int32_t w, int32_t h, uint32_t nCells) {
    for (int32_t p = 5; p <= 25; ++p) {
        int64_t nFits = ((int64_t(h) - 1) / p) * ((int64_t(w) - 1) / p);
        // A negative count taken as unsigned is larger than any K.
        if (nFits >= 0 && nFits <= int64_t(nCells))
            return p - 1;
    }
    return 25;
}

int32_t CCellGeometry::ColumnCount(int32_t nPitch, int32_t w) {
    if (nPitch <= 0)
        return 1;
    return std::max<int32_t>(1, int32_t((int64_t(w) - 1) / nPitch));
}

void CCellGeometry::CellOrigin(int32_t i, int32_t nPitch, int32_t w, int32_t& x, int32_t& y) {
    int32_t n = ColumnCount(nPitch, w);
    x = int32_t(1 + int64_t(i % n) * nPitch);
    y = int32_t(1 + int64_t(i / n) * nPitch);
}

uint32_t CCellGeometry::CellSizeFor(int32_t w, int32_t h) const {
    int32_t nArea = CellsInArea(w, h);
    uint32_t nCellSize =
        nArea > 0 ? NextPowerOfTwo(CeilQuotient(m_nTotalLength, uint64_t(nArea))) : m_nCellSize;
    // A client area larger than the one N was sized for would give C below B, and R = 0.
    return std::max(nCellSize, m_nBlockSize);
}

uint32_t CCellGeometry::CellCount() const {
    if (m_nCellSize == 0)
        return 0;
    return CeilQuotient(m_nTotalLength, m_nCellSize);
}

uint32_t CCellGeometry::SetTotalLength(uint64_t nLength, int32_t w, int32_t h) {
    m_nTotalLength = nLength;
    m_nSelected = -1;
    uint32_t nPerCell = 0;
    if (nLength == 0) {
        m_nBlockSize = 0;
        m_nCellSize = 0;
    } else {
        m_pStates->Clear();
        m_nCapacity = m_pStates->m_nCount;
        // With no state array at all the worker refuses to start; B only has to be sane.
        m_nBlockSize = NextPowerOfTwo(CeilQuotient(nLength, uint64_t(std::max(m_nCapacity, 1))));
        m_nCellSize = CellSizeFor(w, h);
        nPerCell = m_nCellSize / m_nBlockSize;
    }
    std::lock_guard<std::mutex> guard(m_pStates->m_lock);
    m_pStates->m_nPerCell = nPerCell;
    return m_nCellSize;
}

uint32_t CCellGeometry::OnSize(int32_t cx, int32_t cy) {
    if (m_nTotalLength != 0)
        m_nCellSize = CellSizeFor(cx, cy);
    return m_nCellSize;
}

CCellGeometry::CPaintNumbers CCellGeometry::PrepareForPaint(int32_t w, int32_t h) {
    CPaintNumbers numbers;
    numbers.nCells = CellCount();
    numbers.nPitch = ChoosePitch(w, h, numbers.nCells);
    numbers.nPerCell = m_nBlockSize != 0 ? m_nCellSize / m_nBlockSize : 0;
    m_nPitch = numbers.nPitch;
    m_pStates->m_nPerCell = numbers.nPerCell;
    return numbers;
}

int32_t CCellGeometry::CellFromPoint(int32_t x, int32_t y, int32_t w) const {
    if (m_nPitch == 0 || m_nTotalLength == 0)
        return -1;
    // The column is not checked against the count: the strip right of the last column
    // names the first cell of the next row.
    int64_t nColumns = (int64_t(w) - 1) / m_nPitch;
    int64_t i = nColumns * (y / m_nPitch) + x / m_nPitch;
    if (i < 0 || i >= int64_t(CellCount()))
        return -1;
    return int32_t(i);
}

bool CCellGeometry::GetCellRange(int32_t i, uint64_t& nFirst, uint64_t& nLast) const {
    if (i < 0 || uint32_t(i) >= CellCount()) {
        nFirst = UINT64_MAX;
        nLast = UINT64_MAX;
        return false;
    }
    // B x R is C once a paint has followed the last resize, and it is the grouping the
    // states were painted with.
    nFirst = uint64_t(m_nBlockSize) * m_pStates->m_nPerCell * uint64_t(i);
    nLast = nFirst + m_nCellSize - 1;
    if (nLast > m_nTotalLength - 1)
        nLast = m_nTotalLength - 1;
    return true;
}
