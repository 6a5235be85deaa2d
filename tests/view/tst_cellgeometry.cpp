#include "engine/blockstatearray.h"
#include "view/cellgeometry.h"
#include "view/cellnav.h"

#include <QtTest>

#include <bit>
#include <random>

// The largest map area (1020 x 723 pixels: a 1024 x 768 screen, caption 18, strip 19).
constexpr int32_t kMaxArea = 45720;

struct CMap { // a map view's numbers: a start in w0 x h0, a resize to w x h and a paint
    CBlockStateArray states;
    CCellGeometry geometry{states};
    CCellGeometry::CPaintNumbers paint{};

    explicit CMap(int32_t nCapacity) { states.AllocateCount(nCapacity); }
    void Run(uint64_t nLength, int32_t w0, int32_t h0, int32_t w, int32_t h) {
        geometry.SetTotalLength(nLength, w0, h0);
        geometry.OnSize(w, h);
        std::lock_guard<std::mutex> guard(states.m_lock);
        paint = geometry.PrepareForPaint(w, h);
    }
};

class TestCellGeometry : public QObject {
    Q_OBJECT

private slots:
    // B, C, K and P from N, L, w x h where the rules meet their limits (the property below covers
    // the rest); the pitch where it steps: 765 x 500 holds 19 x 30 at pitch 25, 99 x 152 at 5.
    void limits() {
        QCOMPARE(CCellGeometry::NextPowerOfTwo(0x80000001u), 0x80000000u);
        QCOMPARE(CCellGeometry::CellsInArea(INT32_MAX, INT32_MAX), INT32_MAX);
        for (const auto& [nCells, nPitch] : {std::pair{570, 24}, {569, 25}, {15048, 4}, {15047, 5}})
            QCOMPARE(CCellGeometry::ChoosePitch(765, 500, uint32_t(nCells)), nPitch);
        const uint64_t cases[][8] = {
            {kMaxArea, 5000000000, 765, 500, 131072, 262144, 19074, 4},
            {kMaxArea, 10000000, 2000, 1500, 256, 256, 39063, 8}, // past the largest area
            {0, 100, 765, 500, 128, 128, 1, 25},                  // no capacity
            {kMaxArea, 10000000, 0, 0, 256, 256, 39063, 4},       // started minimised
            {kMaxArea, 10000000, 5, 5, 256, 16777216, 1, 4}};     // one square
        for (const auto& [N, L, w, h, B, C, K, P] : cases) {
            CMap map{int32_t(N)};
            map.Run(L, int32_t(w), int32_t(h), int32_t(w), int32_t(h));
            QCOMPARE((QList<uint64_t>{map.geometry.m_nBlockSize, map.geometry.m_nCellSize,
                                      map.paint.nCells, uint64_t(map.paint.nPitch)}),
                     (QList<uint64_t>{B, C, K, P}));
        }
    }

    // The arrow keys on 10 cells, 4 to a row (rows 0-3, 4-7, 8-9): a move off the cells stays,
    // Down into the short last row ends on the last cell, no selection starts at cell 0.
    void arrowKeys() {
        using enum ECellMove;
        const struct {
            int32_t nFrom;
            ECellMove move;
            int32_t nTo;
        } cases[] = {{0, Right, 1}, {0, Left, 0},  {9, Right, 9}, {5, Up, 1},     {2, Up, 2},
                     {5, Down, 9},  {3, Down, 7},  {8, Down, 8},  {-1, Right, 0}, {-1, Last, 9},
                     {7, First, 0}, {20, Left, 8}, {20, Up, 5}};
        for (const auto& c : cases)
            QVERIFY2(MoveCell(c.nFrom, c.move, 10, 4) == c.nTo,
                     qPrintable(QString("from %1, move %2").arg(c.nFrom).arg(int(c.move))));
        QCOMPARE(MoveCell(0, Down, 3, 0), 1); // no columns counts as one
        QCOMPARE(MoveCell(0, Right, 0, 4), -1);
    }

    // Random lengths and client sizes, some past the largest area, some resized: B and C are the
    // smallest powers of two that fit the array and the area (C at least B), the squares with their
    // gaps tile the client area and the cells' ranges the file, a point in a square hits its cell,
    // a new comparison clears states and selection, no room keeps C; no comparison, no cells.
    void invariantsHoldForAnyLengthAndSize() {
        std::mt19937_64 random(20240603);
        CMap map(kMaxArea);
        uint64_t nFirst = 0, nLast = 0;
        auto side = [&random](int32_t nMax) { return int32_t(5 + random() % uint64_t(nMax - 4)); };
        for (int nSample = 0; nSample < 300; ++nSample) {
            const int32_t w0 = side(nSample % 3 ? 1020 : 2040), h0 = side(nSample % 3 ? 723 : 1446);
            const int32_t w = nSample % 2 ? side(1020) : w0, h = nSample % 2 ? side(723) : h0;
            const uint64_t A = uint64_t(CCellGeometry::CellsInArea(w, h));
            const uint64_t A0 = uint64_t(CCellGeometry::CellsInArea(w0, h0));
            // Lengths of every magnitude, within the 2^31 bytes a cell can stand for.
            const uint64_t L = 1 + random() % std::min<uint64_t>(std::min(A, A0) << 31,
                                                                 1ull << (1 + random() % 44));
            map.geometry.m_nSelected = 3;
            map.states.Set(7, BLOCK_DIFFERENT);
            map.Run(L, w0, h0, w, h);
            const CCellGeometry& g = map.geometry;
            const uint64_t B = g.m_nBlockSize, C = g.m_nCellSize, K = map.paint.nCells;
            const int32_t P = map.paint.nPitch;
            auto cells = [L](uint64_t nSize) { return (L + nSize - 1) / nSize; };
            const QByteArray strCase = QString("L=%1 w=%2 h=%3").arg(L).arg(w).arg(h).toUtf8();
            QVERIFY2(std::has_single_bit(B) && std::has_single_bit(C) &&
                         map.paint.nPerCell * B == C && map.states.m_nPerCell * B == C &&
                         cells(B) <= kMaxArea && (B == 1 || cells(B / 2) > kMaxArea) &&
                         (C == B || (cells(C) <= A && cells(C / 2) > A)) && K == cells(C) &&
                         P >= 4 && P <= 25 && g.m_nPitch == P && g.m_nSelected == -1 &&
                         map.states.Get(7) == BLOCK_PENDING && map.geometry.OnSize(w, 4) == C &&
                         map.geometry.OnSize(-20, h) == C,
                     strCase.constData());
            uint64_t nNext = 0;
            int32_t x = 0, y = 0;
            for (int32_t i = 0; i < int32_t(K); ++i, nNext = nLast + 1) {
                CCellGeometry::CellOrigin(i, P, w, x, y);
                if (x < 1 || y < 1 || x + P > w || y + P > h || !g.GetCellRange(i, nFirst, nLast) ||
                    nFirst != nNext || nLast < nFirst || nLast - nFirst >= C ||
                    g.CellFromPoint(x - 1, y - 1, w) != i ||
                    g.CellFromPoint(x + P - 2, y + P - 2, w) != i)
                    QFAIL((strCase + " cell " + QByteArray::number(i)).constData());
            }
            CCellGeometry::CellOrigin(int32_t(K), P, w, x, y);
            QVERIFY2(nNext == L && !g.GetCellRange(int32_t(K), nFirst, nLast) &&
                         g.CellFromPoint(x, y, w) == -1,
                     strCase.constData());
        }
        QCOMPARE(map.geometry.SetTotalLength(0, 765, 500) + map.geometry.OnSize(400, 300), 0u);
        QVERIFY(map.geometry.CellFromPoint(1, 1, 765) == -1 && map.states.m_nPerCell == 0 &&
                !map.geometry.GetCellRange(0, nFirst, nLast) && (nFirst & nLast) == ~0ull);
    }
};

QTEST_GUILESS_MAIN(TestCellGeometry)
#include "tst_cellgeometry.moc"
