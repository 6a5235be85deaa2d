#include "engine/blockstatearray.h"
#include "tests/testutil.h"
#include "view/cellgeometry.h"
#include "view/cellnav.h"

#include <QtTest>

#include <random>

using namespace testutil;

namespace {
// The largest map area of a 1024 x 768 screen, caption 18, strip 19: 45,720 squares.
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
        const uint32_t nCellSize = geometry.SetTotalLength(nLength, w, h);
        Paint(w, h);
        return nCellSize;
    }
    void Paint(int32_t w, int32_t h) {
        std::lock_guard<std::mutex> guard(states.m_lock);
        paint = geometry.PrepareForPaint(w, h);
    }
};
} // namespace

class TestCellGeometry : public QObject {
    Q_OBJECT

private slots:
    void arithmetic() {
        QCOMPARE(CCellGeometry::NextPowerOfTwo(0), 1u);
        QCOMPARE(CCellGeometry::NextPowerOfTwo(0x80000001u), 0x80000000u); // saturates
        QCOMPARE(CCellGeometry::CellsInArea(kMaxWidth, kMaxHeight), 45720);
        QCOMPARE(CCellGeometry::CellsInArea(-100, -100), 0);
        QCOMPARE(CCellGeometry::CellsInArea(INT32_MAX, INT32_MAX), INT32_MAX);
    }

    // In 765 x 500: fits(25) = 19 x 30 = 570, fits(5) = 99 x 152 = 15048.
    void choosePitch_data() {
        Columns<QSize, uint, int>("client", "cells", "pitch");
        QTest::newRow("grid of 25 holds exactly K") << QSize(765, 500) << 570u << 24;
        QTest::newRow("grid of 25 holds more than K") << QSize(765, 500) << 569u << 25;
        QTest::newRow("grid of 5 holds exactly K") << QSize(765, 500) << 15048u << 4;
        QTest::newRow("grid of 5 holds more") << QSize(765, 500) << 15047u << 5;
        QTest::newRow("no room at all") << QSize(0, 0) << 0u << 4;
    }
    void choosePitch() {
        const auto [client, cells, pitch] = Fetch<QSize, uint, int>("client", "cells", "pitch");
        QCOMPARE(CCellGeometry::ChoosePitch(client.width(), client.height(), cells), pitch);
    }

    // B, C, K and P after a start and a paint; C is never below B.
    void geometry_data() {
        // numbers: B, C, K, P
        Columns<int, qulonglong, QSize, QList<uint>>("capacity", "length", "client", "numbers");
        const QSize client(765, 500);
        QTest::newRow("100") << 45720 << 100ull << client << QList<uint>{1, 1, 100, 25};
        QTest::newRow("4,096") << 45720 << 4096ull << client << QList<uint>{1, 1, 4096, 9};
        QTest::newRow("10,000,000")
            << 45720 << 10000000ull << client << QList<uint>{256, 512, 19532, 4};
        QTest::newRow("5,000,000,000")
            << 45720 << 5000000000ull << client << QList<uint>{131072, 262144, 19074, 4};
        // 186,626 squares, four times the capacity: C would be 64.
        QTest::newRow("client above the largest area")
            << 45720 << 10000000ull << QSize(2000, 1500) << QList<uint>{256, 256, 39063, 8};
        QTest::newRow("no capacity") << 0 << 100ull << client << QList<uint>{128, 128, 1, 25};
        QTest::newRow("started minimised")
            << 45720 << 10000000ull << QSize(0, 0) << QList<uint>{256, 256, 39063, 4};
        QTest::newRow("one square")
            << 45720 << 10000000ull << QSize(5, 5) << QList<uint>{256, 16777216, 1, 4};
    }
    void geometry() {
        const auto [capacity, length, client, numbers] =
            Fetch<int, qulonglong, QSize, QList<uint>>("capacity", "length", "client", "numbers");
        CMap map(capacity);
        const uint32_t C = map.Start(length, client.width(), client.height());
        const CCellGeometry& g = map.geometry;
        QCOMPARE(g.m_nCapacity, capacity);
        QCOMPARE((QList<uint>{g.m_nBlockSize, C, map.paint.nCells, uint(map.paint.nPitch)}),
                 numbers);
    }

    // Within the squares, the invariants below show that every point names its cell.
    void pointsAndRangesOutsideTheCells() {
        CMap map;
        uint64_t nFirst = 0, nLast = 0;
        QCOMPARE(map.geometry.CellFromPoint(0, 0, 765), -1); // no comparison
        map.geometry.SetTotalLength(100, 765, 500);
        QCOMPARE(map.geometry.CellFromPoint(0, 0, 765), -1);    // not painted yet
        map.Paint(765, 500);                                    // pitch 25, 30 columns, 100 cells
        QCOMPARE(map.geometry.CellFromPoint(764, 0, 765), 30);  // right of the last column
        QCOMPARE(map.geometry.CellFromPoint(250, 75, 765), -1); // past the last cell
        QVERIFY(!map.geometry.GetCellRange(-1, nFirst, nLast));
        QCOMPARE(nFirst & nLast, ~0ull);
        QVERIFY(!map.geometry.GetCellRange(100, nFirst, nLast));
        map.geometry.m_nSelected = 5;
        QCOMPARE(map.geometry.SetTotalLength(0, 765, 500), 0u);
        QCOMPARE(map.geometry.OnSize(400, 300), 0u);
        QCOMPARE(map.geometry.m_nSelected, -1);
        QCOMPARE(map.states.m_nPerCell, 0u);
        QCOMPARE(map.geometry.CellFromPoint(0, 0, 765), -1);
        QVERIFY(!map.geometry.GetCellRange(0, nFirst, nLast));
    }

    void resizeChangesOnlyCellSize() {
        CMap map;
        QCOMPARE(map.Start(10000000, 765, 500), 512u);
        map.states.Set(7, BLOCK_DIFFERENT);
        map.geometry.m_nSelected = 3;
        for (int32_t nSide : {0, 4, -20}) { // no 4-pixel square fits: C stays
            QCOMPARE(map.geometry.OnSize(nSide, 500) + map.geometry.OnSize(765, nSide), 1024u);
            map.Paint(nSide, nSide);
        }
        QCOMPARE(map.geometry.OnSize(389, 250), 2048u); // 97 x 62 = 6,014 squares
        QCOMPARE(map.states.m_nPerCell, 2u);            // until the next paint
        map.Paint(389, 250);
        QCOMPARE(map.paint.nPerCell, 8u); // B stays 256
        QCOMPARE(map.paint.nCells, 4883u);
        QCOMPARE(map.states.GroupMax(0), uint8_t(BLOCK_DIFFERENT)); // regrouped, not cleared
        QCOMPARE(map.geometry.m_nSelected, 3);
        map.geometry.SetTotalLength(10000000, 765, 500);
        QCOMPARE(map.states.Get(7), uint8_t(BLOCK_PENDING)); // a new start clears
    }

    // Ten cells four to a row: 0-3, 4-7, 8-9.
    void moveCell_data() {
        Columns<uint, int, int, QString, int>("cells", "columns", "from", "move", "to");
        QTest::newRow("no selection: an arrow takes the first") << 10u << 4 << -1 << "Up" << 0;
        QTest::newRow("no selection: End takes the last") << 10u << 4 << -1 << "End" << 9;
        QTest::newRow("Home") << 10u << 4 << 6 << "Home" << 0;
        QTest::newRow("Left from a row's start to the row above") << 10u << 4 << 4 << "Left" << 3;
        QTest::newRow("Left at the first cell stays") << 10u << 4 << 0 << "Left" << 0;
        QTest::newRow("Right at the last cell stays") << 10u << 4 << 9 << "Right" << 9;
        QTest::newRow("Up a row") << 10u << 4 << 9 << "Up" << 5;
        QTest::newRow("Up in the first row stays") << 10u << 4 << 2 << "Up" << 2;
        QTest::newRow("Down a row") << 10u << 4 << 1 << "Down" << 5;
        QTest::newRow("Down over a short last row: its last cell") << 10u << 4 << 7 << "Down" << 9;
        QTest::newRow("Down in the last row stays") << 10u << 4 << 8 << "Down" << 8;
        QTest::newRow("one column: Down is the next cell") << 10u << 1 << 3 << "Down" << 4;
        QTest::newRow("past the last cell counts as it") << 10u << 4 << 15 << "Left" << 8;
        QTest::newRow("no cells") << 0u << 4 << 3 << "Home" << -1;
    }
    void moveCell() {
        const auto [cells, columns, from, move, to] =
            Fetch<uint, int, int, QString, int>("cells", "columns", "from", "move", "to");
        const QStringList names = {"Left", "Right", "Up", "Down", "Home", "End"};
        QCOMPARE(MoveCell(from, ECellMove(names.indexOf(move)), cells, columns), to);
    }

    // states: one digit per block of the array; the map shows `cells` cells of R blocks. The
    // steps from a selection over single cells are the map's own key test.
    void findDifference_data() {
        Columns<QByteArray, uint, uint, int, bool, int>("states", "R", "cells", "from", "forward",
                                                        "found");
        QTest::newRow("pending and equal passed over")
            << QByteArray("0202302") << 1u << 7u << -1 << true << 4;
        QTest::newRow("length difference") << QByteArray("2242") << 1u << 4u << -1 << true << 2;
        QTest::newRow("read error, from after the last")
            << QByteArray("2252") << 1u << 4u << -1 << false << 2;
        QTest::newRow("one block of four makes its cell")
            << QByteArray("22222322") << 4u << 2u << -1 << true << 1;
        QTest::newRow("cells past the array are not read")
            << QByteArray("22") << 1u << 5u << -1 << true << -1;
        QTest::newRow("back from past the last cell")
            << QByteArray("3222") << 1u << 4u << 10 << false << 0;
        QTest::newRow("no grouping yet") << QByteArray("33") << 0u << 2u << -1 << true << -1;
    }
    void findDifference() {
        const auto [states, R, cells, from, forward, found] =
            Fetch<QByteArray, uint, uint, int, bool, int>("states", "R", "cells", "from", "forward",
                                                          "found");
        CBlockStateArray array;
        array.AllocateCount(int32_t(states.size()));
        for (int32_t j = 0; j < array.m_nCount; ++j)
            array.Set(j, uint8_t(states[j] - '0'));
        array.m_nPerCell = R;
        QCOMPARE(FindDifference(array, cells, from, forward), found);
    }

    // For random lengths and client sizes, some resized after the start: B and C are powers
    // of two with C = R x B, the blocks fit the array, the squares tile the client area and
    // the cells' ranges the file, each square answering for its own cell.
    void invariantsHoldForAnyLengthAndSize() {
        std::mt19937_64 random(20240603);
        CMap map;
        auto side = [&random](int32_t nMax) { return int32_t(5 + random() % uint64_t(nMax - 4)); };
        for (int nSample = 0; nSample < 300; ++nSample) {
            // Up to twice the largest area, so that C must sometimes be held at B.
            const int nScale = nSample % 3 == 0 ? 2 : 1;
            int32_t w = side(nScale * kMaxWidth);
            int32_t h = side(nScale * kMaxHeight);
            const bool bResize = nSample % 2 == 1;
            const int32_t w2 = bResize ? side(kMaxWidth) : w;
            const int32_t h2 = bResize ? side(kMaxHeight) : h;
            const int32_t A =
                std::min(CCellGeometry::CellsInArea(w, h), CCellGeometry::CellsInArea(w2, h2));
            // Lengths of every magnitude, within the 2^31 bytes a cell can stand for.
            const uint64_t L =
                1 + random() % std::min<uint64_t>(uint64_t(A) << 31, 1ull << (1 + random() % 44));
            map.geometry.SetTotalLength(L, w, h);
            w = w2;
            h = h2;
            map.geometry.OnSize(w, h);
            map.Paint(w, h);
            const uint32_t B = map.geometry.m_nBlockSize;
            const uint32_t C = map.geometry.m_nCellSize;
            const uint32_t K = map.paint.nCells;
            const int32_t P = map.paint.nPitch;
            const QByteArray strCase = QString("L=%1 w=%2 h=%3").arg(L).arg(w).arg(h).toUtf8();
            const char* pszCase = strCase.constData();
            QVERIFY2(B >= 1 && (B & (B - 1)) == 0 && map.paint.nPerCell >= 1 &&
                         (map.paint.nPerCell & (map.paint.nPerCell - 1)) == 0 &&
                         uint64_t(map.paint.nPerCell) * B == C &&
                         map.states.m_nPerCell == map.paint.nPerCell &&
                         map.geometry.m_nPitch == P &&
                         (L + B - 1) / B <= uint64_t(map.states.m_nCount) && K >= 1 &&
                         K <= uint32_t(CCellGeometry::CellsInArea(w, h)) && P >= 4 && P <= 25,
                     pszCase);
            uint64_t nNext = 0, nFirst = 0, nLast = 0;
            for (uint32_t i = 0; i < K; ++i, nNext = nLast + 1) {
                int32_t x = 0, y = 0;
                CCellGeometry::CellOrigin(int32_t(i), P, w, x, y);
                // The square and the gap right of and below it lie inside the client area.
                if (x < 1 || y < 1 || x + P > w || y + P > h ||
                    !map.geometry.GetCellRange(int32_t(i), nFirst, nLast) || nFirst != nNext ||
                    nLast < nFirst || nLast - nFirst >= C ||
                    map.geometry.CellFromPoint(x - 1, y - 1, w) != int32_t(i) ||
                    map.geometry.CellFromPoint(x + P - 2, y + P - 2, w) != int32_t(i))
                    QFAIL((strCase + " cell " + QByteArray::number(i)).constData());
            }
            QVERIFY2(nNext == L && !map.geometry.GetCellRange(int32_t(K), nFirst, nLast), pszCase);
        }
    }
};

QTEST_GUILESS_MAIN(TestCellGeometry)
#include "tst_cellgeometry.moc"
