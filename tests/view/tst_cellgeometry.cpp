#include "engine/blockstatearray.h"
#include "view/cellgeometry.h"

#include <QtTest>

#include <random>

namespace {
// The largest map area of a 1024 x 768 screen, caption 18, strip 19.
constexpr int32_t kMaxWidth = 1020;
constexpr int32_t kMaxHeight = 723;

// A map view's numbers after a start and a paint in a w x h client area.
struct CMap {
    CBlockStateArray states;
    CCellGeometry geometry{states};
    CCellGeometry::CPaintNumbers paint{};

    explicit CMap(int32_t nCapacity = CCellGeometry::CellsInArea(kMaxWidth, kMaxHeight)) {
        states.AllocateCount(nCapacity);
    }
    uint32_t Start(uint64_t nLength, int32_t w, int32_t h) {
        uint32_t nCellSize = geometry.SetTotalLength(nLength, w, h);
        Paint(w, h);
        return nCellSize;
    }
    void Paint(int32_t w, int32_t h) {
        std::lock_guard<std::mutex> guard(states.m_lock);
        paint = geometry.PrepareForPaint(w, h);
    }
};

bool IsPowerOfTwo(uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}
} // namespace

class TestCellGeometry : public QObject {
    Q_OBJECT

private slots:
    void nextPowerOfTwo_data();
    void nextPowerOfTwo();
    void cellsInArea_data();
    void cellsInArea();
    void choosePitch_data();
    void choosePitch();
    void geometryForLength_data();
    void geometryForLength();
    void cellFromPoint_data();
    void cellFromPoint();
    void noComparisonHitsNothing();
    void cellRange_data();
    void cellRange();
    void cellSizeNeverBelowBlockSize_data();
    void cellSizeNeverBelowBlockSize();
    void resizeChangesOnlyCellSize();
    void invariantsHoldForAnyLengthAndSize();
};

void TestCellGeometry::nextPowerOfTwo_data() {
    QTest::addColumn<uint>("n");
    QTest::addColumn<uint>("result");
    QTest::newRow("0") << 0u << 1u;
    QTest::newRow("1") << 1u << 1u;
    QTest::newRow("2") << 2u << 2u;
    QTest::newRow("3") << 3u << 4u;
    QTest::newRow("2^31") << 0x80000000u << 0x80000000u;
    QTest::newRow("above 2^31 saturates") << 0x80000001u << 0x80000000u;
}

void TestCellGeometry::nextPowerOfTwo() {
    QFETCH(uint, n);
    QFETCH(uint, result);
    QCOMPARE(CCellGeometry::NextPowerOfTwo(n), result);
}

void TestCellGeometry::cellsInArea_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("cells");
    QTest::newRow("one square") << 5 << 5 << 1;
    QTest::newRow("too narrow") << 4 << 100 << 0;
    QTest::newRow("client") << 765 << 500 << 23684;
    QTest::newRow("largest area") << kMaxWidth << kMaxHeight << 45720;
    QTest::newRow("both negative") << -100 << -100 << 0;
    QTest::newRow("huge saturates") << INT32_MAX << INT32_MAX << INT32_MAX;
}

void TestCellGeometry::cellsInArea() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, cells);
    QCOMPARE(CCellGeometry::CellsInArea(w, h), cells);
}

void TestCellGeometry::choosePitch_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<uint>("cells");
    QTest::addColumn<int>("pitch");
    // In 765 x 500: fits(25) = 19 x 30 = 570, fits(5) = 99 x 152 = 15048.
    QTest::newRow("grid of 25 holds exactly K") << 765 << 500 << 570u << 24;
    QTest::newRow("grid of 25 holds more than K") << 765 << 500 << 569u << 25;
    QTest::newRow("grid of 5 holds exactly K") << 765 << 500 << 15048u << 4;
    QTest::newRow("grid of 5 holds more") << 765 << 500 << 15047u << 5;
    QTest::newRow("no room at all") << 0 << 0 << 0u << 4;
}

void TestCellGeometry::choosePitch() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(uint, cells);
    QFETCH(int, pitch);
    QCOMPARE(CCellGeometry::ChoosePitch(w, h, cells), pitch);
}

void TestCellGeometry::geometryForLength_data() {
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<uint>("blockSize");
    QTest::addColumn<uint>("cellSize");
    QTest::addColumn<uint>("perCell");
    QTest::addColumn<uint>("cells");
    QTest::addColumn<int>("pitch");
    QTest::addColumn<int>("columns");
    QTest::newRow("100") << 100ull << 1u << 1u << 1u << 100u << 25 << 30;
    QTest::newRow("4,096") << 4096ull << 1u << 1u << 1u << 4096u << 9 << 84;
    QTest::newRow("10,000,000") << 10000000ull << 256u << 512u << 2u << 19532u << 4 << 191;
    QTest::newRow("5,000,000,000")
        << 5000000000ull << 131072u << 262144u << 2u << 19074u << 4 << 191;
}

void TestCellGeometry::geometryForLength() {
    QFETCH(qulonglong, length);
    QFETCH(uint, blockSize);
    QFETCH(uint, cellSize);
    QFETCH(uint, perCell);
    QFETCH(uint, cells);
    QFETCH(int, pitch);
    QFETCH(int, columns);
    CMap map;
    QCOMPARE(map.geometry.m_nCapacity, 0);
    QCOMPARE(map.Start(length, 765, 500), cellSize);
    QCOMPARE(map.geometry.m_nCapacity, 45720);
    QCOMPARE(map.geometry.m_nBlockSize, blockSize);
    QCOMPARE(map.geometry.m_nCellSize, cellSize);
    QCOMPARE(map.states.m_nPerCell, perCell);
    QCOMPARE(map.paint.nPerCell, perCell);
    QCOMPARE(map.paint.nCells, cells);
    QCOMPARE(map.geometry.CellCount(), cells);
    QCOMPARE(map.paint.nPitch, pitch);
    QCOMPARE(map.geometry.m_nPitch, pitch);
    QCOMPARE(CCellGeometry::ColumnCount(pitch, 765), columns);
}

void TestCellGeometry::cellFromPoint_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("cell");
    // L = 100 in 765 x 500: pitch 25, 30 columns, 100 cells.
    QTest::newRow("top left") << 0 << 0 << 0;
    QTest::newRow("hit zone starts left of the square") << 25 << 0 << 1;
    QTest::newRow("second row") << 24 << 25 << 30;
    QTest::newRow("last column") << 749 << 0 << 29;
    QTest::newRow("strip right of the last column") << 764 << 0 << 30;
    QTest::newRow("last cell") << 249 << 75 << 99;
    QTest::newRow("past the last cell") << 250 << 75 << -1;
    QTest::newRow("row past the cells") << 0 << 100 << -1;
}

void TestCellGeometry::cellFromPoint() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, cell);
    CMap map;
    QCOMPARE(map.geometry.CellFromPoint(x, y, 765), -1); // no comparison yet
    map.geometry.SetTotalLength(100, 765, 500);
    QCOMPARE(map.geometry.CellFromPoint(x, y, 765), -1); // not painted yet
    map.Paint(765, 500);
    QCOMPARE(map.geometry.CellFromPoint(x, y, 765), cell);
}

void TestCellGeometry::noComparisonHitsNothing() {
    CMap map;
    map.Start(100, 765, 500);
    map.geometry.m_nSelected = 5;
    QCOMPARE(map.geometry.SetTotalLength(0, 765, 500), 0u);
    QCOMPARE(map.geometry.OnSize(400, 300), 0u);
    QCOMPARE(map.geometry.m_nPitch, 25); // kept from the earlier paint
    QCOMPARE(map.geometry.m_nSelected, -1);
    QCOMPARE(map.states.m_nPerCell, 0u);
    QCOMPARE(map.geometry.CellFromPoint(0, 0, 765), -1);
    uint64_t nFirst = 0, nLast = 0;
    QVERIFY(!map.geometry.GetCellRange(0, nFirst, nLast));
}

void TestCellGeometry::cellRange_data() {
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<int>("cell");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<qulonglong>("first");
    QTest::addColumn<qulonglong>("last");
    const qulonglong none = ~0ull;
    // A client area of 69 x 5 holds 17 squares, which makes C = 0x100 for both lengths.
    QTest::newRow("first cell") << 0x1050ull << 0 << true << 0ull << 0xFFull;
    QTest::newRow("cell 15") << 0x1050ull << 15 << true << 0xF00ull << 0xFFFull;
    QTest::newRow("last cell cut at L - 1") << 0x1050ull << 16 << true << 0x1000ull << 0x104Full;
    QTest::newRow("past the last") << 0x1050ull << 17 << false << none << none;
    QTest::newRow("negative") << 0x1050ull << -1 << false << none << none;
    QTest::newRow("whole last cell") << 0x1000ull << 15 << true << 0xF00ull << 0xFFFull;
    QTest::newRow("no cell after it") << 0x1000ull << 16 << false << none << none;
}

void TestCellGeometry::cellRange() {
    QFETCH(qulonglong, length);
    QFETCH(int, cell);
    QFETCH(bool, exists);
    QFETCH(qulonglong, first);
    QFETCH(qulonglong, last);
    CMap map;
    QCOMPARE(map.Start(length, 69, 5), 0x100u);
    uint64_t nFirst = 0, nLast = 0;
    QCOMPARE(map.geometry.GetCellRange(cell, nFirst, nLast), exists);
    QCOMPARE(nFirst, first);
    QCOMPARE(nLast, last);
}

void TestCellGeometry::cellSizeNeverBelowBlockSize_data() {
    QTest::addColumn<int>("capacity");
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<uint>("blockSize");
    QTest::addColumn<uint>("cellSize");
    // 2000 x 1500 holds 186,626 squares, four times the capacity: C would be 64.
    QTest::newRow("client above the largest area")
        << 45720 << 10000000ull << 2000 << 1500 << 256u << 256u;
    QTest::newRow("no capacity") << 0 << 100ull << 765 << 500 << 128u << 128u;
    QTest::newRow("started minimised") << 45720 << 10000000ull << 0 << 0 << 256u << 256u;
    QTest::newRow("one square") << 45720 << 10000000ull << 5 << 5 << 256u << 16777216u;
}

void TestCellGeometry::cellSizeNeverBelowBlockSize() {
    QFETCH(int, capacity);
    QFETCH(qulonglong, length);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(uint, blockSize);
    QFETCH(uint, cellSize);
    CMap map(capacity);
    QCOMPARE(map.Start(length, w, h), cellSize);
    QCOMPARE(map.geometry.m_nBlockSize, blockSize);
    QCOMPARE(map.paint.nPerCell, cellSize / blockSize);
    QVERIFY(map.paint.nPerCell >= 1);
}

void TestCellGeometry::resizeChangesOnlyCellSize() {
    CMap map;
    QCOMPARE(map.Start(10000000, 765, 500), 512u);
    map.states.Set(7, BLOCK_DIFFERENT);
    map.geometry.m_nSelected = 3;
    // No 4-pixel square fits: C stays, and nothing divides by zero.
    for (int32_t nSide : {0, 4, -20}) {
        QCOMPARE(map.geometry.OnSize(nSide, 500), 512u);
        QCOMPARE(map.geometry.OnSize(765, nSide), 512u);
        map.Paint(nSide, nSide);
        QCOMPARE(map.paint.nCells, 19532u);
    }
    QCOMPARE(map.geometry.OnSize(389, 250), 2048u); // 97 x 62 = 6,014 squares
    QCOMPARE(map.geometry.m_nBlockSize, 256u);
    QCOMPARE(map.states.m_nPerCell, 2u); // until the next paint
    map.Paint(389, 250);
    QCOMPARE(map.paint.nPerCell, 8u);
    QCOMPARE(map.paint.nCells, 4883u);
    QCOMPARE(map.states.GroupMax(0), uint8_t(BLOCK_DIFFERENT)); // regrouped, not cleared
    QCOMPARE(map.geometry.m_nSelected, 3);
    map.geometry.SetTotalLength(10000000, 765, 500);
    QCOMPARE(map.states.Get(7), uint8_t(BLOCK_PENDING)); // a new start clears
}

void TestCellGeometry::invariantsHoldForAnyLengthAndSize() {
    std::mt19937_64 random(20240603);
    CMap map;
    const int64_t N = map.states.m_nCount;
    auto randomSize = [&random](int32_t nMax) {
        return int32_t(5 + random() % uint64_t(nMax - 4));
    };
    for (int nSample = 0; nSample < 300; ++nSample) {
        // Up to twice the largest area, so that C must sometimes be held at B.
        int32_t w = randomSize(nSample % 3 == 0 ? 2 * kMaxWidth : kMaxWidth);
        int32_t h = randomSize(nSample % 3 == 0 ? 2 * kMaxHeight : kMaxHeight);
        // Every other sample is resized after the start.
        const bool bResize = nSample % 2 == 1;
        const int32_t w2 = bResize ? randomSize(kMaxWidth) : w;
        const int32_t h2 = bResize ? randomSize(kMaxHeight) : h;
        const int32_t A =
            std::min(CCellGeometry::CellsInArea(w, h), CCellGeometry::CellsInArea(w2, h2));
        // Lengths of every magnitude, within the 2^31 bytes a cell can stand for.
        uint64_t nMaxLength = std::min<uint64_t>(uint64_t(A) << 31, 1ull << (1 + random() % 44));
        uint64_t L = 1 + random() % nMaxLength;
        map.geometry.SetTotalLength(L, w, h);
        if (bResize) {
            w = w2;
            h = h2;
            map.geometry.OnSize(w, h);
        }
        map.Paint(w, h);
        const uint32_t B = map.geometry.m_nBlockSize;
        const uint32_t C = map.geometry.m_nCellSize;
        const uint32_t K = map.paint.nCells;
        const int32_t P = map.paint.nPitch;
        const QString strCase = QString("L=%1 w=%2 h=%3").arg(L).arg(w).arg(h);
        QVERIFY2(IsPowerOfTwo(B) && IsPowerOfTwo(C) && C >= B, qPrintable(strCase));
        QVERIFY2(map.paint.nPerCell >= 1 && uint64_t(map.paint.nPerCell) * B == C,
                 qPrintable(strCase));
        QVERIFY2(int64_t((L + B - 1) / B) <= N, qPrintable(strCase));
        QVERIFY2(K >= 1 && int64_t(K) <= CCellGeometry::CellsInArea(w, h), qPrintable(strCase));
        QVERIFY2(P >= 4 && P <= 25, qPrintable(strCase));

        uint64_t nNext = 0;
        for (uint32_t i = 0; i < K; ++i) {
            int32_t x = 0, y = 0;
            CCellGeometry::CellOrigin(int32_t(i), P, w, x, y);
            // The square and the gap right of and below it lie inside the client area.
            const bool bInside = x >= 1 && y >= 1 && x + P - 1 <= w - 1 && y + P - 1 <= h - 1;
            const bool bHit = map.geometry.CellFromPoint(x - 1, y - 1, w) == int32_t(i) &&
                              map.geometry.CellFromPoint(x + P - 2, y + P - 2, w) == int32_t(i);
            uint64_t nFirst = 0, nLast = 0;
            const bool bRange = map.geometry.GetCellRange(int32_t(i), nFirst, nLast) &&
                                nFirst == nNext && nLast >= nFirst && nLast - nFirst < C;
            if (!bInside || !bHit || !bRange)
                QFAIL(qPrintable(strCase + QString(" cell %1: inside %2 hit %3 range %4")
                                               .arg(i)
                                               .arg(bInside)
                                               .arg(bHit)
                                               .arg(bRange)));
            nNext = nLast + 1;
        }
        QVERIFY2(nNext == L, qPrintable(strCase));
        uint64_t nFirst = 0, nLast = 0;
        QVERIFY(!map.geometry.GetCellRange(int32_t(K), nFirst, nLast));
    }
}

QTEST_GUILESS_MAIN(TestCellGeometry)
#include "tst_cellgeometry.moc"
