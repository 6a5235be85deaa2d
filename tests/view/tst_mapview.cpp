#include "app/messages.h"
#include "engine/blockstatearray.h"
#include "tests/testutil.h"
#include "ui/statusstrip.h"
#include "ui/tooltiprouter.h"
#include "view/cellnav.h"
#include "view/mapview.h"
#include "view/textdraw.h"

#include <QPainter>
#include <QScreen>
#include <QtTest>

#include <memory>
#include <random>

using namespace testutil;

// The map's colours, written out here rather than taken from the program's table.
static const QColor kWhite(255, 255, 255);
static const QColor kBlue(128, 128, 255);
static const QColor kRed(255, 128, 128);
static const QColor kYellow(255, 255, 0);
static const QColor kBlack(0, 0, 0);
static const QColor kGrey(192, 192, 192);
static const QColor kGreen(0, 255, 0);

// A shown, active map view of the given client size over a state array of nCapacity blocks,
// with a strip that shows the count (its primary pane is not empty) and tips that keys ask for.
struct MapFixture {
    MapFixture(QSize client, int32_t nCapacity) {
        states.AllocateCount(nCapacity);
        strip.SetPaneText(PANE_PRIMARY, "/a");
        view = std::make_unique<CMapView>(states, &strip, client);
        view->resize(client);
        tips.CreateToolTip(view.get(), true);
        view->SetToolTips(&tips);
        view->show();
        bExposed = QTest::qWaitForWindowActive(view.get());
    }
    const CCellGeometry& Geometry() const { return view->GetGeometry(); }
    // Top-left pixel of cell i's square at the pitch of the last paint.
    QPoint Origin(int i) const {
        int x = 0;
        int y = 0;
        CCellGeometry::CellOrigin(i, Geometry().m_nPitch, view->width(), x, y);
        return QPoint(x, y);
    }
    QImage Grab() const { return view->grab().toImage(); }
    // Sets the first block of cell i (at R blocks per cell) to nState.
    void SetCell(int i, uint8_t nState) { states.Set(int32_t(i * states.m_nPerCell), nState); }

    // The text the tooltip answers for cell i.
    QString ToolText(int i) const {
        ToolHitQuery query;
        query.x = Origin(i).x() + 1;
        query.y = Origin(i).y() + 1;
        CToolHitEvent event(query);
        QCoreApplication::sendEvent(view.get(), &event);
        return query.uId == i ? QString::fromStdString(query.strText) : QString("wrong cell");
    }
    // The key tip's text, empty while none is up.
    QString TipText() const {
        QLabel* pTip = tips.GetTipWindow();
        return pTip && pTip->isVisible() ? pTip->text() : QString();
    }

    CBlockStateArray states;
    CStatusStrip strip;
    std::unique_ptr<CMapView> view;
    CToolTipRouter tips;
    bool bExposed = false;
};

static int CountColor(const QImage& image, const QColor& color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == color;
    return n;
}

// 101 x 101 pixels hold 625 squares at pitch 4; 2500 blocks of one byte give 4 blocks a cell.
static const QSize kSmall(101, 101);

class TestMapView : public QObject {
    Q_OBJECT

private slots:
    void selectionFrame_data() {
        Columns<int, int>("pitch", "thickness");
        QTest::newRow("pitch 12") << 12 << 1;
        QTest::newRow("pitch 13") << 13 << 2;
    }
    void selectionFrame() {
        const auto [pitch, thickness] = Fetch<int, int>("pitch", "thickness");
        const QSize client(301, 201);
        uint32_t nCells = 1; // the first count of cells drawn at this pitch
        while (CCellGeometry::ChoosePitch(client.width(), client.height(), nCells) != pitch)
            ++nCells;
        MapFixture f(client, 100000);
        f.view->SetTotalLength(nCells); // one byte a cell
        f.Grab();
        const int i = std::min<int>(int(nCells) - 1, 1 + (client.width() - 1) / pitch); // row 2
        const QPoint pt = f.Origin(i);
        QTest::mouseClick(f.view.get(), Qt::LeftButton, {}, pt + QPoint(pitch / 2, pitch / 2));
        QCOMPARE(f.Geometry().m_nSelected, i);
        const QImage image = f.Grab();
        // Green along the inside edge of the pitch x pitch box at the square, thickness deep.
        for (int y = pt.y(); y < pt.y() + pitch; ++y)
            for (int x = pt.x(); x < pt.x() + pitch; ++x) {
                const int nDepth = std::min(
                    {x - pt.x(), y - pt.y(), pt.x() + pitch - 1 - x, pt.y() + pitch - 1 - y});
                QCOMPARE(image.pixelColor(x, y), nDepth < thickness ? kGreen : kWhite);
            }
        QCOMPARE(CountColor(image, kGreen),
                 4 * (pitch - 1) + (thickness == 2 ? 4 * (pitch - 3) : 0));
    }
    void clicksSelectAndDoubleClicksPost() {
        MapFixture f(kSmall, 2500);
        CEventCounter posts(ID_SELECT_FILES);
        f.view->installEventFilter(&posts);

        // On the empty map a double click asks for files.
        QTest::mouseDClick(f.view.get(), Qt::LeftButton, {}, QPoint(50, 50));
        QTest::mouseRelease(f.view.get(), Qt::LeftButton, {}, QPoint(50, 50));
        QCoreApplication::processEvents();
        QCOMPARE(posts.m_nCount, 1);

        // 40 cells: a click frames one, a click below the last row frames none.
        f.view->SetTotalLength(40);
        f.Grab();
        QTest::mouseClick(f.view.get(), Qt::LeftButton, {}, f.Origin(13) + QPoint(1, 1));
        QCOMPARE(f.Geometry().m_nSelected, 13);
        QCOMPARE(f.Grab().pixelColor(f.Origin(13)), kGreen);
        QTest::mouseClick(f.view.get(), Qt::LeftButton, {}, QPoint(5, 95));
        QCOMPARE(f.Geometry().m_nSelected, -1);
        QCOMPARE(CountColor(f.Grab(), kGreen), 0);

        // A right click selects nothing. A double click on a cell (QTest sends its first click
        // apart) posts once more and keeps the cell its first click selected.
        QTest::mouseClick(f.view.get(), Qt::RightButton, {}, f.Origin(2) + QPoint(1, 1));
        QCOMPARE(f.Geometry().m_nSelected, -1);
        QTest::mouseClick(f.view.get(), Qt::LeftButton, {}, f.Origin(2) + QPoint(1, 1));
        QTest::mouseDClick(f.view.get(), Qt::LeftButton, {}, f.Origin(2) + QPoint(1, 1));
        QTest::mouseRelease(f.view.get(), Qt::LeftButton, {}, f.Origin(2) + QPoint(1, 1));
        QCoreApplication::processEvents();
        QCOMPARE(posts.m_nCount, 2);
        QCOMPARE(f.Geometry().m_nSelected, 2);
    }
    // 40 one-byte cells in 101 x 101: pitch 14, 7 to a row. keys: one token per key press;
    // after each, the selected cell and the tip: "detail" (the tooltip's text of the selected
    // cell), "" (none) or the literal text.
    void keysStepAndMoveTheSelection_data() {
        Columns<QList<int>, QString, QList<int>, QStringList>("red", "keys", "selected", "tips");
        const QString further = kNoFurtherDifference, earlier = kNoEarlierDifference;
        QTest::newRow("first and last cell")
            << QList<int>{0, 39} << "Alt+Down Alt+Down Alt+Down Alt+Up Alt+Up"
            << QList<int>{0, 39, 39, 0, 0}
            << QStringList{"detail", "detail", further, "detail", earlier};
        QTest::newRow("adjacent cells")
            << QList<int>{5, 6, 7} << "F8 F8 F8 Shift+F8 Shift+F8 Shift+F8"
            << QList<int>{5, 6, 7, 6, 5, 5}
            << QStringList{"detail", "detail", "detail", "detail", "detail", earlier};
        QTest::newRow("none at all") << QList<int>{} << "Alt+Down Shift+F8" << QList<int>{-1, -1}
                                     << QStringList{further, earlier};
        QTest::newRow("arrows, Home, End, Enter")
            << QList<int>{} << "Enter Right Right Down Up Left End Enter Home Alt+Right"
            << QList<int>{-1, 0, 1, 8, 1, 0, 39, 39, 0, 0}
            << QStringList{"", "", "", "", "", "", "", "detail", "", ""};
    }
    void keysStepAndMoveTheSelection() {
        const auto [red, keys, selected, tips] =
            Fetch<QList<int>, QString, QList<int>, QStringList>("red", "keys", "selected", "tips");
        MapFixture f(kSmall, 2500);
        QVERIFY(f.bExposed);
        f.view->SetTotalLength(40);
        for (int i = 0; i < 40; ++i)
            f.SetCell(i, red.contains(i) ? BLOCK_DIFFERENT : BLOCK_EQUAL);
        f.Grab();
        const int P = f.Geometry().m_nPitch;
        QCOMPARE(P, 14);
        const QStringList presses = keys.split(' ');
        for (int k = 0; k < presses.size(); ++k) {
            const QKeySequence key(presses[k]);
            QTest::keyClick(f.view.get(), key[0].key(), key[0].keyboardModifiers());
            const int i = selected[k];
            QCOMPARE(f.Geometry().m_nSelected, i);
            // The frame a click draws, at the cell reached; none without a selection.
            const QImage image = f.Grab();
            QCOMPARE(CountColor(image, kGreen), i < 0 ? 0 : 4 * (P - 1) + 4 * (P - 3));
            if (i >= 0)
                QCOMPARE(image.pixelColor(f.Origin(i)), kGreen);
            const QString strTip = tips[k] == "detail" ? f.ToolText(i) : tips[k];
            QCOMPARE(f.TipText(), strTip);
            if (strTip.isEmpty())
                continue;
            // At the cell: below or above its square, across its left edge.
            const int at = i >= 0 ? i : (strTip == kNoFurtherDifference ? 0 : 39);
            const QRect rcCell(f.view->mapToGlobal(f.Origin(at)), QSize(P - 1, P - 1));
            const QRect rcTip = f.tips.GetTipWindow()->frameGeometry();
            QVERIFY(qAbs(rcTip.top() - rcCell.bottom()) <= 4 ||
                    qAbs(rcTip.bottom() - rcCell.top()) <= 4);
            QVERIFY(rcTip.left() <= rcCell.left() && rcCell.left() <= rcTip.right());
        }
    }
    void resizeRegroupsRecordedStates() {
        MapFixture f(kSmall, 2500);
        f.view->SetTotalLength(2500); // B = 1, C = 4
        QCOMPARE(f.strip.GetPane(PANE_CELL_SIZE).text, std::string("4"));
        for (int j = 0; j < 2500; ++j)
            f.states.Set(j, BLOCK_EQUAL);
        f.states.Set(5, BLOCK_DIFFERENT);
        f.states.Set(40, BLOCK_LENGTH_DIFFERS); // over a difference in the same cell
        f.states.Set(41, BLOCK_DIFFERENT);
        f.states.Set(70, BLOCK_READ_ERROR); // over all others
        f.states.Set(71, BLOCK_LENGTH_DIFFERS);
        f.Grab();
        QTest::mouseClick(f.view.get(), Qt::LeftButton, {}, f.Origin(3) + QPoint(1, 1));
        QCOMPARE(f.Grab().pixelColor(f.Origin(1)), kRed);
        QTest::keyClick(f.view.get(), Qt::Key_Return);
        QVERIFY(!f.TipText().isEmpty());

        // 61 x 61 holds 225 squares: C = 16, so the cells now group 16 blocks each.
        f.view->resize(61, 61);
        QCOMPARE(f.strip.GetPane(PANE_CELL_SIZE).text, std::string("16"));
        const QImage image = f.Grab();
        QCOMPARE(f.states.m_nPerCell, 16u);
        const int P = f.Geometry().m_nPitch;
        const QColor regrouped[] = {kRed, kBlue, kYellow, kGreen, kBlack}; // 3: the frame
        for (int i = 0; i < 5; ++i)
            QCOMPARE(image.pixelColor(f.Origin(i) + QPoint(i == 3 ? 0 : P / 2, P / 2)),
                     regrouped[i]);
        // The recorded states and the selected index stay as they were; the tip went.
        QCOMPARE(f.states.Get(5), uint8_t(BLOCK_DIFFERENT));
        QCOMPARE(f.Geometry().m_nSelected, 3);
        QCOMPARE(f.TipText(), QString());
    }
    // A map too low for any square keeps its cells, all outside the client area: their
    // changes still reach the count, without a paint to carry it.
    void countOfSquaresOutsideTheArea() {
        MapFixture f(kSmall, 2500);
        f.view->SetTotalLength(2500);
        f.view->resize(101, 3);
        QTest::qWait(20);
        QCOMPARE(f.strip.GetPane(PANE_DIFFS).text, std::string("0"));
        f.SetCell(624, BLOCK_DIFFERENT);
        f.view->RefreshStates();
        QCOMPARE(f.strip.GetPane(PANE_DIFFS).text, std::string("1"));
    }
    void emptyTextIsCentred() {
        const QSize size(401, 301);
        MapFixture f(size, 2500);
        const QImage image = f.Grab();
        // The same line drawn on grey with its top at (h - font height) div 2, across the width.
        const QFont font = SystemSansFont(12);
        const int t = QFontMetrics(font, f.view.get()).height();
        QImage expected(size, QImage::Format_RGB32);
        expected.fill(kGrey);
        QPainter dc(&expected);
        DrawCenteredLine(dc, QRect(0, (size.height() - t) / 2, size.width(), t),
                         {{"Double click for select files", font, CLR_BLACK}});
        dc.end();
        QCOMPARE(image.convertToFormat(QImage::Format_RGB32), expected);
        QVERIFY(CountColor(image, kBlack) > 0);
    }
    void wholePaintIsOneSquarePerCell_data() {
        Columns<QSize, int>("size", "cells");
        QTest::newRow("last row part full") << QSize(300, 200) << 700;
        QTest::newRow("big squares, a wide margin") << QSize(217, 150) << 30;
        QTest::newRow("one column, squares cut at the edge") << QSize(3, 200) << 40;
    }
    // Also the count of differences, handed to the strip and kept there while no comparison
    // shows.
    void wholePaintIsOneSquarePerCell() {
        const auto [size, cells] = Fetch<QSize, int>("size", "cells");
        MapFixture f(size, 100000);
        QCOMPARE(f.view->size(), size);
        f.view->SetTotalLength(uint64_t(cells)); // one byte a cell
        const QColor colors[] = {kWhite, kWhite, kBlue, kRed, kYellow, kBlack};
        for (int i = 0; i < cells; ++i)
            f.states.Set(i, uint8_t(i % 6));
        const QImage image = f.Grab().convertToFormat(QImage::Format_RGB32);
        // Each red cell counts, the yellow ones together once.
        const int nDiffs = cells / 6 + (cells % 6 > 3) + (cells > 4);
        QCOMPARE(f.view->GetDiffCells(), uint32_t(nDiffs));
        f.view->SetTotalLength(0);
        f.Grab();
        QCOMPARE(f.strip.GetPane(PANE_DIFFS).text, std::to_string(nDiffs));
        QImage expected(size, QImage::Format_RGB32);
        expected.fill(kGrey);
        QPainter dc(&expected);
        const int P = f.Geometry().m_nPitch;
        for (int i = 0; i < cells; ++i)
            dc.fillRect(QRect(f.Origin(i), QSize(P - 1, P - 1)), colors[i % 6]);
        dc.end();
        QCOMPARE(image, expected);
    }
    void paintAfterProgressEqualsFullPaint() {
        const QSize client(640, 480);
        MapFixture f(client, 100000);
        CMapView fresh(f.states, nullptr, client);
        fresh.resize(client);
        fresh.show();
        QVERIFY(f.bExposed && QTest::qWaitForWindowExposed(&fresh));
        f.view->SetTotalLength(50000);
        fresh.SetTotalLength(50000);
        std::mt19937 random(7);
        for (int j = 0; j < 50000; ++j)
            f.states.Set(j, j / 4 == 300 ? uint8_t(BLOCK_EQUAL) : uint8_t(random() % 6));
        f.Grab();
        QCOMPARE(f.states.m_nPerCell, 4u);
        QTest::mouseClick(f.view.get(), Qt::LeftButton, {}, f.Origin(300) + QPoint(1, 1));
        QCoreApplication::processEvents();

        // Progress steps: some blocks change, the selected cell's among them, and the map is
        // refreshed as on a progress notice; more change before that paint comes, to be shown
        // by the next refresh.
        for (int k = 0; k < 500; ++k)
            f.states.Set(int32_t(random() % 50000), uint8_t(random() % 6));
        f.SetCell(300, BLOCK_READ_ERROR);
        f.view->RefreshStates();
        for (int k = 0; k < 50; ++k)
            f.states.Set(int32_t(random() % 50000), uint8_t(random() % 6));
        f.Grab(); // a picture shows those first; the screen has yet to
        QTest::qWait(50);
        f.view->RefreshStates();
        QTest::qWait(50);

        // What is on the screen now is what a whole paint of a new view shows.
        fresh.grab(); // the pitch comes with the first paint
        QTest::mouseClick(&fresh, Qt::LeftButton, {}, f.Origin(300) + QPoint(1, 1));
        const QImage expected = fresh.grab().toImage();
        const QImage shown = f.view->screen()->grabWindow(f.view->winId()).toImage();
        QCOMPARE(shown.convertToFormat(expected.format()), expected);
        QCOMPARE(expected.pixelColor(f.Origin(300)), kGreen);
        QCOMPARE(expected.pixelColor(f.Origin(300) + QPoint(2, 2)), kBlack);
    }
};

QTEST_MAIN(TestMapView)
#include "tst_mapview.moc"
