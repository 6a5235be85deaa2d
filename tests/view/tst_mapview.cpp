#include "cli/mapalign.h"
#include "cli/mapcli.h"
#include "engine/blockstatearray.h"
#include "tests/engine/alignrun.h"
#include "tests/testutil.h"
#include "ui/statusstrip.h"
#include "view/events.h"
#include "view/mapview.h"
#include "view/textdraw.h"

#include <QPainter>
#include <QtTest>

#include <sstream>

using namespace testutil;

// The map's colours, written out here rather than taken from the program's table.
static const QColor kWhite(255, 255, 255), kBlue(128, 128, 255), kRed(255, 128, 128),
    kYellow(255, 255, 0), kBlack(0, 0, 0), kGrey(192, 192, 192), kGreen(0, 255, 0);

struct MapFixture {
    MapFixture(QSize client, int32_t nCapacity) : view(states, &strip, client) {
        states.AllocateCount(nCapacity);
        strip.SetPaneText(PANE_PRIMARY, "/a"); // the count shows only beside a name
        view.resize(client);
        view.show();
    }
    QPoint Origin(int i) const { // top-left pixel of cell i's square at the last paint's pitch
        int x = 0, y = 0;
        CCellGeometry::CellOrigin(i, view.GetGeometry().m_nPitch, view.width(), x, y);
        return QPoint(x, y);
    }
    QImage Grab() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    void Click(int i, Qt::MouseButton button = Qt::LeftButton) {
        Grab(); // the pitch to aim at
        QTest::mouseClick(&view, button, {}, Origin(i) + QPoint(1, 1));
    }

    CBlockStateArray states;
    CStatusStrip strip;
    CMapView view;
};

class TestMapView : public QObject {
    Q_OBJECT

private slots:
    // No comparison: the text centred, one wider than the map cut equally on both sides. Else
    // one square per cell in its state's colour, the selected one framed, and the count of
    // differences handed to the strip and kept there while no comparison shows.
    void wholePaint_data() {
        Columns<QSize, int, int>("size", "cells", "selected");
        QTest::newRow("no comparison, text wider than the map") << QSize(151, 301) << 0 << -1;
        QTest::newRow("pitch 12, last row part full") << QSize(301, 201) << 345 << 300;
        QTest::newRow("pitch 13, thick frame") << QSize(301, 201) << 344 << 31;
        QTest::newRow("one column, squares cut at the edge") << QSize(3, 200) << 40 << -1;
    }
    void wholePaint() {
        const auto [size, cells, selected] = Fetch<QSize, int, int>("size", "cells", "selected");
        MapFixture f(size, 100000);
        f.view.SetTotalLength(uint64_t(cells)); // one byte a cell
        const QColor colors[] = {kWhite, kWhite, kBlue, kRed, kYellow, kBlack};
        if (selected >= 0)
            f.Click(selected);
        f.Grab(); // all pending; the states then come square by square, as in a run
        for (int i = 0; i < cells; ++i)
            f.states.Set(i, uint8_t(i % 6));
        const QImage image = f.Grab();
        const int nDiffs = cells / 6 + (cells % 6 > 3) + (cells > 4); // yellow ones count once
        f.view.SetTotalLength(0);
        f.Grab();
        QCOMPARE(f.strip.GetPane(PANE_DIFFS).text, std::to_string(nDiffs));
        const int P = f.view.GetGeometry().m_nPitch;
        QImage drawn(size, QImage::Format_RGB32);
        drawn.fill(kGrey);
        QPainter dc(&drawn);
        const QString strText = "Double click for select files";
        const QFontMetrics fm(SystemSansFont(12), &f.view);
        dc.setFont(SystemSansFont(12));
        if (cells == 0)
            dc.drawText((size.width() - fm.horizontalAdvance(strText)) / 2,
                        (size.height() - fm.height()) / 2 + fm.ascent(), strText);
        for (int i = 0; i < cells; ++i)
            dc.fillRect(QRect(f.Origin(i), QSize(P - 1, P - 1)), colors[i % 6]);
        dc.setPen(kGreen); // a frame along the inside of the pitch box
        for (int k = 0; selected >= 0 && k < (P >= 13 ? 2 : 1); ++k)
            dc.drawRect(QRect(f.Origin(selected), QSize(P - 1, P - 1)).adjusted(k, k, -k, -k));
        QCOMPARE(image, drawn);
    }
    // A resize regroups the recorded states, the worst state of a cell's blocks showing, and
    // keeps the selection. A click selects, one below the last row clears, other buttons leave
    // it; a double click posts the file selection, on the empty map or on a cell.
    void resizeAndClicks() {
        MapFixture f(QSize(101, 101), 2500);
        CEventCounter posts(ID_SELECT_FILES);
        f.view.installEventFilter(&posts);
        QTest::mouseDClick(&f.view, Qt::LeftButton, {}, QPoint(50, 50));
        f.view.SetTotalLength(2500);   // B = 1, C = 4
        for (int j = 0; j < 2500; ++j) // cells 0, 2 and 4 after the resize, by their worst
            f.states.Set(j, j == 70              ? BLOCK_READ_ERROR
                            : j == 40 || j == 71 ? BLOCK_LENGTH_DIFFERS
                            : j == 5 || j == 41  ? BLOCK_DIFFERENT
                                                 : BLOCK_EQUAL);
        f.Click(3);
        f.view.resize(61, 61); // 225 squares: C = 16, 157 cells in 11 rows
        QCOMPARE(f.strip.GetPane(PANE_CELL_SIZE).text, std::string("16"));
        const QImage image = f.Grab();
        const int P = f.view.GetGeometry().m_nPitch;
        const QColor regrouped[] = {kRed, kBlue, kYellow, kGreen, kBlack}; // 3: the frame
        for (int i = 0; i < 5; ++i)
            QCOMPARE(image.pixelColor(f.Origin(i) + QPoint(i == 3 ? 0 : P / 2, P / 2)),
                     regrouped[i]);
        QTest::mouseClick(&f.view, Qt::LeftButton, {}, QPoint(5, 58));
        f.Click(2, Qt::RightButton);
        QCOMPARE(f.view.GetGeometry().m_nSelected, -1);
        f.Click(2);
        QTest::mouseDClick(&f.view, Qt::LeftButton, {}, f.Origin(2) + QPoint(1, 1));
        QCoreApplication::processEvents();
        QCOMPARE(std::pair(posts.m_nCount, f.view.GetGeometry().m_nSelected), std::pair(2, 2));
        // Too low for any square, the map still hands changes to the count, with no paint.
        f.view.resize(61, 3);
        f.states.Set(2499, BLOCK_DIFFERENT);
        f.view.RefreshStates();
        QCOMPARE(f.strip.GetPane(PANE_DIFFS).text, std::string("3"));
    }

    // The aligned map is quillet-map's aligned picture, pixel for pixel; while the segments come
    // in, each cut short as a run settles them, every step shows what a whole paint of them shows.
    // 3 MB of random bytes edited as tests/testutil.h's Edit says.
    void alignedMapIsThePicture_data() {
        Columns<QByteArray, QSize>("edits", "size");
        QTest::newRow("1 byte inserted, 333x200") << QByteArray("i 1234567 1") << QSize(333, 200);
        QTest::newRow("deleted and changed, 997x6")
            << QByteArray("d 2000000 70000; r 100 9") << QSize(997, 6);
        QTest::newRow("moved, 301x201") << QByteArray("m 500000 300000 2200000") << QSize(301, 201);
        QTest::newRow("all deleted, 101x101") << QByteArray("d 0 3000000") << QSize(101, 101);
    }
    void alignedMapIsThePicture() {
        const auto [edits, size] = Fetch<QByteArray, QSize>("edits", "size");
        QTemporaryDir dir;
        const QByteArray one = Random(3000000, 27), two = Edit(one, edits, 28);
        const std::string str1 = WriteFile(dir, "one", one), str2 = WriteFile(dir, "two", two);
        const QString strPng = dir.filePath("aligned.png");
        std::ostringstream out, err;
        const QString strSize = QString("--size=%1x%2").arg(size.width()).arg(size.height());
        QCOMPARE(
            RunMap(StdList({"--align", strSize, "--png=" + strPng, str1.c_str(), str2.c_str()}),
                   out, err, false),
            1);
        CAlignRun run;
        QVERIFY(run.Run(str1, str2, uint64_t(one.size()), uint64_t(two.size())));
        const int32_t N = CCellGeometry::CellsInArea(size.width(), size.height());
        MapFixture f(size, 4 * N); // the window sizes its array for the largest map
        CSharedAlignment shown;
        f.view.SetAlignment(&shown);
        f.view.SetTotalLength(uint64_t(one.size()));
        CBlockStateArray states; // a whole paint's arithmetic, as quillet-map's
        states.AllocateCount(N);
        CCellGeometry geometry(states);
        geometry.SetTotalLength(uint64_t(one.size()), size.width(), size.height());
        CAlignment part;
        part.Reset(one.size(), two.size());
        for (const CAlignSegment& s : run.alignment.m_segments) {
            for (uint64_t nCut : {2, 1}) {
                CAlignment step = part;
                step.Append(s.eKind, s.nOffset1, s.nLength1 / nCut, s.nOffset2, s.nLength2 / nCut);
                shown.CatchUp(step);
                f.view.RefreshStates();
                const auto pixels = RenderAlignMap(geometry, step, size.width(), size.height());
                QCOMPARE(f.Grab(), QImage(reinterpret_cast<const uchar*>(pixels.get()),
                                          size.width(), size.height(), QImage::Format_RGB32));
            }
            part.Append(s.eKind, s.nOffset1, s.nLength1, s.nOffset2, s.nLength2);
        }
        shown.Replace(std::move(run.alignment));
        f.view.RefreshStates();
        const QImage picture = QImage(strPng).convertToFormat(QImage::Format_RGB32);
        QVERIFY(f.Grab() == picture && picture.pixelColor(2, 2) != kWhite);
    }
};

QTEST_MAIN(TestMapView)
#include "tst_mapview.moc"
