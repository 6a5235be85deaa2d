#include "app/messages.h"
#include "tests/testutil.h"
#include "ui/separatorbar.h"
#include "ui/statusstrip.h"
#include "ui/tooltiprouter.h"
#include "view/textdraw.h"

#include <QtTest>

using namespace testutil;

namespace {
// Chrome colours that text drawn in blue, red or black on the face can never produce.
const QColor kFace(0xC0, 0xC0, 0xC0), kShadow(0x80, 0x00, 0x80), kHighlight(0x00, 0xFF, 0xFF);

QPalette ChromePalette() {
    QPalette pal(kFace);
    pal.setColor(QPalette::Dark, kShadow);
    pal.setColor(QPalette::Light, kHighlight);
    return pal;
}

// A shown top-level window with the strip 40 pixels down.
struct CStripWindow : QWidget {
    explicit CStripWindow(int cx) : strip(new CStatusStrip(this)) {
        setPalette(ChromePalette());
        resize(cx, 40 + strip->GetPreferredSize().height());
        strip->setGeometry(0, 40, cx, strip->GetPreferredSize().height());
        show();
    }
    // Pane n of the strip; PANE_COUNT stands for what is right of the last pane.
    QRect Pane(int n) const {
        int nLeft = 0;
        for (int i = 0; i < n; ++i)
            nLeft += std::max(0, strip->GetPane(i).width);
        return QRect(nLeft, 0, n < PANE_COUNT ? strip->GetPane(n).width : strip->width() - nLeft,
                     strip->height());
    }
    CStatusStrip* strip;
};

// The bounding box of the pixels in area that are none of the chrome colours.
QRect InkBox(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (!QList<QColor>{kFace, kShadow, kHighlight}.contains(image.pixelColor(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}
} // namespace

class TestStatusStrip : public QObject {
    Q_OBJECT

private slots:
    // The number panes are as wide as their samples in the proportional 10-point strip font,
    // plus 6; the name panes share the rest. Each pane answers from its first to its last
    // pixel; one of width 0 never answers.
    void layout_data() {
        // rest: cx - 15 - the three number panes, before halving
        Columns<int, int>("rest", "name");
        QTest::newRow("odd rest 101") << 101 << 56;
        QTest::newRow("narrow, rest -1") << -1 << 0;
    }
    void layout() {
        const auto [rest, name] = Fetch<int, int>("rest", "name");
        CStatusStrip measure;
        const QFontMetrics fm(measure.GetStripFont(), &measure);
        QCOMPARE(measure.GetStripFont().pointSize(), 10);
        QVERIFY(fm.horizontalAdvance("iiii") < fm.horizontalAdvance("WWWW"));
        QCOMPARE(measure.GetPreferredSize(), QSize(0, fm.height() + 6));
        const int s[] = {fm.horizontalAdvance("99.99% in 99:99:99s") + 6,
                         fm.horizontalAdvance("9999X") + 6, fm.horizontalAdvance("999999") + 6};
        CStripWindow w(15 + s[0] + s[1] + s[2] + rest);
        const int widths[] = {s[0], name, name, s[1], s[2]};
        for (int i = 0; i < PANE_COUNT; ++i) {
            QCOMPARE(w.strip->GetPane(i).width, widths[i]);
            if (widths[i] > 0)
                QVERIFY(w.strip->HitTest(w.Pane(i).left(), 0) == i &&
                        w.strip->HitTest(w.Pane(i).right(), 0) == i);
        }
        QCOMPARE(w.strip->HitTest(w.Pane(PANE_COUNT).left(), 0), -1);
    }

    void numberPanesAndTheFormatLimit() {
        CStatusStrip strip;
        auto text = [&strip](int n) { return QString::fromStdString(strip.GetPane(n).text); };
        strip.SetDiffsCount(7); // blank while no primary name shows
        QCOMPARE(text(PANE_DIFFS), "");
        strip.SetPaneText(PANE_PRIMARY, "/data/a.bin");
        strip.SetDiffsCount(7);
        QCOMPARE(text(PANE_DIFFS), "7");
        strip.SetDiffsCount(0);
        QCOMPARE(text(PANE_DIFFS), "0");
        strip.SetPaneText(PANE_PRIMARY, "No such file or directory");
        strip.SetDiffsCount(4294967295u);
        QCOMPARE(text(PANE_DIFFS), "4294967295");
        strip.SetCellSize(0); // no size, yet the pane has its tip
        QCOMPARE(text(PANE_CELL_SIZE), "");
        QCOMPARE(strip.GetPaneTip(PANE_CELL_SIZE), "Cell size");
        strip.FormatPaneText(PANE_PROGRESS, "%s", std::string(3000, 'x').c_str());
        QCOMPARE(text(PANE_PROGRESS), QString(2047, 'x'));
    }

    // A double click asks for files on the name panes only; a tooltip, asked through the
    // router in the window's coordinates, comes from the pane under the mouse.
    void panesUnderTheMouse_data() {
        // pane PANE_COUNT: right of the last pane
        Columns<int, Qt::KeyboardModifiers, Qt::MouseButton, int, QByteArray>(
            "pane", "keys", "button", "posted", "tip");
        const Qt::KeyboardModifiers none;
        const QByteArray strCut = "/data/" + QByteArray(505, 'p'); // 600 bytes cut to 511
        QTest::newRow("progress") << 0 << none << Qt::LeftButton << 0 << QByteArray();
        QTest::newRow("primary, shift")
            << 1 << Qt::KeyboardModifiers(Qt::ShiftModifier) << Qt::LeftButton << 1 << strCut;
        QTest::newRow("secondary") << 2 << none << Qt::LeftButton << 1 << QByteArray();
        QTest::newRow("cell size") << 3 << none << Qt::LeftButton << 0 << QByteArray("Cell size");
        QTest::newRow("diffs") << 4 << none << Qt::LeftButton << 0
                               << QByteArray("Cell diffs count");
        QTest::newRow("right of the last pane") << 5 << none << Qt::LeftButton << 0 << QByteArray();
        QTest::newRow("primary, right button") << 1 << none << Qt::RightButton << 0 << strCut;
    }
    void panesUnderTheMouse() {
        const auto [pane, keys, button, posted, text] =
            Fetch<int, Qt::KeyboardModifiers, Qt::MouseButton, int, QByteArray>(
                "pane", "keys", "button", "posted", "tip");
        CStripWindow w(800);
        CEventCounter posts(ID_SELECT_FILES);
        w.installEventFilter(&posts);
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseDClick(w.strip, button, keys, w.Pane(pane).center());
        QTest::mouseRelease(w.strip, button, keys, w.Pane(pane).center());
        QCoreApplication::processEvents();
        QCOMPARE(posts.m_nCount, posted);

        w.strip->SetPaneTip(PANE_PRIMARY, "/data/" + std::string(594, 'p'));
        w.strip->SetCellSize(4096);
        w.strip->SetDiffsCount(0);
        const int id = pane < PANE_COUNT ? pane : -1;
        CToolTipRouter router;
        router.CreateToolTip(&w, false);
        const QPoint pt = w.Pane(pane).center();
        ToolHitQuery query;
        QCOMPARE(router.RouteHitTest(pt.x(), pt.y() + 40, query), id);
        QCOMPARE(query.pWindow, w.strip);
        QCOMPARE(QByteArray::fromStdString(query.strText), text);
        QCOMPARE(QPoint(query.x, query.y), pt);
    }

    // Every pane: a sunken frame one pixel in from each side, the text 3 pixels in and cut
    // there, drawn literally on one line, vertically centred (capitals end on the baseline
    // of a centred line), aligned and coloured as the pane wants it; nothing but the face
    // right of the last pane.
    void paint_data() {
        // shown: what ends up on the screen; wrong: what mnemonics, markup or a cut would show
        Columns<QString, QString, QString>("text", "shown", "wrong");
        QTest::newRow("plain") << "HHH" << QString("HHH") << "";
        QTest::newRow("ampersand") << "a&&b&c" << QString("a&&b&c") << "a&bc";
        QTest::newRow("markup") << "<b>x<b>" << QString("<b>x<b>") << "x";
        QTest::newRow("line feed") << "AB\nCD" << QString("AB CD") << "AB";
        QTest::newRow("too long for any pane") << QString(300, 'W') << QString(300, 'W') << "";
    }
    void paint() {
        const auto [text, shown, wrong] =
            Fetch<QString, QString, QString>("text", "shown", "wrong");
        CStripWindow w(900);
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i = 0; i < PANE_COUNT; ++i)
            w.strip->SetPaneText(i, text.toStdString());
        w.strip->SetPaneColor(PANE_SECONDARY, CLR_ERROR);
        const QImage image = w.strip->grab().toImage();
        const QFontMetrics fm(w.strip->GetStripFont(), w.strip);
        const int nAdvance = fm.horizontalAdvance(shown);
        QVERIFY(nAdvance - fm.horizontalAdvance(wrong) > 6);
        const int h = w.strip->height();
        const int nBaseline = (h - fm.height()) / 2 + fm.ascent();
        const int nHalves[PANE_COUNT] = {1, 2, 0, 1, 1}; // centred, right, left, centred...
        const char* pszHues = "bkrbk";                   // blue, black, red, blue, black
        for (int i = 0; i < PANE_COUNT; ++i) {
            const int l = w.Pane(i).left() + 1;
            const int r = w.Pane(i).right() - 1;
            for (int x = l - 1; x <= r + 1; ++x)
                for (int y = 0; y < h; ++y)
                    if (x <= l || x >= r || y == 0 || y == h - 1)
                        QCOMPARE(image.pixelColor(x, y), x < l || x > r         ? kFace
                                                         : x == r || y == h - 1 ? kHighlight
                                                                                : kShadow);
            const QRect rc = w.Pane(i).adjusted(3, 0, -3, 0);
            const QRect ink = InkBox(image, rc);
            QVERIFY(!ink.isEmpty() && ink.left() >= rc.left() && ink.right() <= rc.right());
            if (rc.width() < nAdvance)
                continue; // cut
            // The darkest pixel has the pane's hue.
            QColor c = kFace;
            for (int y = ink.top(); y <= ink.bottom(); ++y)
                for (int x = ink.left(); x <= ink.right(); ++x)
                    if (image.pixelColor(x, y).lightness() < c.lightness())
                        c = image.pixelColor(x, y);
            const char cHue = c.red() > 2 * std::max(c.green(), c.blue())   ? 'r'
                              : c.blue() > 2 * std::max(c.red(), c.green()) ? 'b'
                                                                            : 'k';
            const int nLeft = rc.left() + (rc.width() - nAdvance) * nHalves[i] / 2;
            QVERIFY2(qAbs(ink.bottom() + 1 - nBaseline) <= 1 && qAbs(ink.width() - nAdvance) <= 4 &&
                         qAbs(ink.left() - nLeft) <= 2 && cHue == pszHues[i],
                     qPrintable(QString("pane %1").arg(i)));
        }
        const QRect rest = w.Pane(PANE_COUNT);
        QVERIFY(!rest.isEmpty() && InkBox(image, rest).isEmpty());
        for (int x = rest.left(); x <= rest.right(); ++x)
            QCOMPARE(image.pixelColor(x, h / 2), kFace);
    }

    // A highlight line along the top and a shadow line along the bottom, or along the left
    // and the right when upright.
    void separatorLines() {
        for (const QSize size : {QSize(300, 4), QSize(4, 100)}) {
            CSeparatorBar bar;
            bar.setPalette(ChromePalette());
            bar.resize(size);
            const QImage image = bar.grab().toImage();
            const bool bAcross = size.width() > size.height();
            for (int n = 0; n < (bAcross ? size.height() : size.width()); ++n) {
                const QPoint pt =
                    bAcross ? QPoint(size.width() / 2, n) : QPoint(n, size.height() / 2);
                QCOMPARE(image.pixelColor(pt), n == 0 ? kHighlight
                                               : n == (bAcross ? size.height() : size.width()) - 1
                                                   ? kShadow
                                                   : kFace);
            }
        }
    }
};

QTEST_MAIN(TestStatusStrip)
#include "tst_statusstrip.moc"
