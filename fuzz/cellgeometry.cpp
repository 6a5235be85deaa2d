// The map's arithmetic over any length, capacity and client sizes, resized once after the
// start: no undefined behaviour, and the numbers agree with each other.
#include "view/cellgeometry.h"
#include "engine/blockstatearray.h"
#include "fuzz/fuzzinput.h"

namespace {
bool IsPowerOfTwo(uint64_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

uint64_t CeilDiv(uint64_t a, uint64_t b) {
    return a / b + (a % b != 0);
}

// Sizes of every kind: small and ordinary ones mostly, any 32-bit value sometimes.
int32_t TakeSize(CFuzzInput& input) {
    const auto nRaw = input.Take<uint32_t>();
    switch (nRaw >> 30) {
    case 0:
        return int32_t(nRaw % 64);
    case 1:
    case 2:
        return int32_t(nRaw % 4096);
    default:
        return int32_t(nRaw << 2);
    }
}

void CheckCell(CCellGeometry& geometry, uint32_t nCell, int32_t w, int32_t h, bool bRoom) {
    const int32_t P = geometry.m_nPitch;
    const uint64_t L = geometry.m_nTotalLength;
    const uint64_t C = geometry.m_nCellSize;
    int32_t x = 0, y = 0;
    CCellGeometry::CellOrigin(int32_t(nCell), P, w, x, y);
    if (bRoom) {
        // The square and the gap right of and below it lie inside the client area, and both
        // ends of its hit zone name it.
        FUZZ_CHECK(x >= 1 && y >= 1 && int64_t(x) + P - 1 <= int64_t(w) - 1 &&
                   int64_t(y) + P - 1 <= int64_t(h) - 1);
        FUZZ_CHECK(geometry.CellFromPoint(x - 1, y - 1, w) == int32_t(nCell));
        FUZZ_CHECK(geometry.CellFromPoint(x + P - 2, y + P - 2, w) == int32_t(nCell));
    }
    uint64_t nFirst = 0, nLast = 0;
    FUZZ_CHECK(geometry.GetCellRange(int32_t(nCell), nFirst, nLast));
    FUZZ_CHECK(nFirst == nCell * C && nFirst <= nLast && nLast <= L - 1);
    FUZZ_CHECK(nLast == std::min(nFirst + C - 1, L - 1));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    CFuzzInput input(pData, nSize);
    CBlockStateArray states;
    // Capacities of real screens go to a few hundred thousand; the array is cleared at every
    // start, so most inputs keep it small to keep the runs fast.
    const auto nRawCapacity = input.Take<uint32_t>();
    FUZZ_CHECK(
        states.AllocateCount(int32_t(nRawCapacity % (nRawCapacity >> 31 ? 1u << 18 : 1u << 12))));
    const int64_t N = states.m_nCount;
    CCellGeometry geometry(states);

    uint64_t L = input.Take<uint64_t>();
    const auto nShift = input.Take<uint8_t>();
    L >>= nShift % 64; // lengths of every magnitude, up to 2^64 - 1
    int32_t w = TakeSize(input), h = TakeSize(input);
    const uint32_t nStartCell = geometry.SetTotalLength(L, w, h);
    FUZZ_CHECK(nStartCell == geometry.m_nCellSize);
    if (input.Take<uint8_t>() & 1) {
        w = TakeSize(input);
        h = TakeSize(input);
        FUZZ_CHECK(geometry.OnSize(w, h) == geometry.m_nCellSize);
    }
    CCellGeometry::CPaintNumbers paint;
    {
        std::lock_guard<std::mutex> guard(states.m_lock);
        paint = geometry.PrepareForPaint(w, h);
    }
    const uint64_t B = geometry.m_nBlockSize;
    const uint64_t C = geometry.m_nCellSize;
    const uint32_t K = paint.nCells;
    const int32_t P = paint.nPitch;
    FUZZ_CHECK(P >= 4 && P <= 25);
    uint64_t nFirst = 0, nLast = 0;
    FUZZ_CHECK(!geometry.GetCellRange(-1, nFirst, nLast) && nFirst == UINT64_MAX);
    if (L == 0) {
        FUZZ_CHECK(B == 0 && C == 0 && K == 0 && paint.nPerCell == 0);
        FUZZ_CHECK(geometry.CellFromPoint(int32_t(w / 2), int32_t(h / 2), w) == -1);
        return 0;
    }
    FUZZ_CHECK(IsPowerOfTwo(B) && IsPowerOfTwo(C) && C >= B && C <= 0x80000000u);
    FUZZ_CHECK(paint.nPerCell >= 1 && paint.nPerCell * B == C);
    FUZZ_CHECK(K == std::min<uint64_t>(CeilDiv(L, C), UINT32_MAX));
    // The blocks fit the state array whenever a block size can be had for them.
    if (CeilDiv(L, uint64_t(std::max<int64_t>(N, 1))) <= 0x80000000u && N > 0)
        FUZZ_CHECK(int64_t(CeilDiv(L, B)) <= N);
    const int32_t nArea = CCellGeometry::CellsInArea(w, h);
    // Whenever the area holds a square for every cell at the smallest pitch, every square
    // lies inside the area and the hit test finds it.
    const bool bCovers = uint64_t(K) * C >= L;
    // Within the lengths a block or a cell of at most 2^31 bytes can map, the cells cover L.
    if (CeilDiv(L, uint64_t(std::max<int64_t>(N, 1))) <= 0x80000000u ||
        (nArea > 0 && CeilDiv(L, uint64_t(nArea)) <= 0x80000000u))
        FUZZ_CHECK(bCovers);
    const bool bRoom = bCovers && int64_t(K) <= nArea && nArea > 0;
    if (nArea > 0 && CeilDiv(L, uint64_t(nArea)) <= 0x80000000u && C > B)
        FUZZ_CHECK(int64_t(K) <= nArea);
    if (bRoom) {
        const int64_t nColumns = CCellGeometry::ColumnCount(P, w);
        FUZZ_CHECK(CeilDiv(K, uint64_t(nColumns)) * P <= uint64_t(h) - 1);
        FUZZ_CHECK(nColumns * P <= int64_t(w) - 1);
    }
    if (!bCovers || K > uint32_t(INT32_MAX))
        return 0; // outside the lengths the system can map
    // The cells cover all L bytes, each only once: the first, the last and one chosen cell.
    CheckCell(geometry, 0, w, h, bRoom);
    CheckCell(geometry, K - 1, w, h, bRoom);
    CheckCell(geometry, uint32_t(input.Take<uint32_t>() % K), w, h, bRoom);
    FUZZ_CHECK(geometry.GetCellRange(int32_t(K - 1), nFirst, nLast) && nLast == L - 1);
    FUZZ_CHECK(K == uint32_t(INT32_MAX) || !geometry.GetCellRange(int32_t(K), nFirst, nLast));
    // Any point inside the area names the cell whose hit zone holds it, or none.
    const int32_t x = int32_t(input.Take<uint32_t>() % uint32_t(std::max(w, 1)));
    const int32_t y = int32_t(input.Take<uint32_t>() % uint32_t(std::max(h, 1)));
    const int32_t nHit = geometry.CellFromPoint(x, y, w);
    FUZZ_CHECK(nHit >= -1 && nHit < int64_t(K));
    const int64_t nColumns = (int64_t(w) - 1) / P;
    if (nHit >= 0 && x < nColumns * P) {
        int32_t ox = 0, oy = 0;
        CCellGeometry::CellOrigin(nHit, P, w, ox, oy);
        FUZZ_CHECK(x >= ox - 1 && x <= ox + P - 2 && y >= oy - 1 && y <= oy + P - 2);
    }
    return 0;
}
