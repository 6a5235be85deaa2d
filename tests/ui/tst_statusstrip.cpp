#include "app/messages.h"
#include "ui/separatorbar.h"
#include "ui/statusstrip.h"
#include "ui/tooltiprouter.h"
#include "view/textdraw.h"

#include <QtTest>

#include <memory>

// Chrome colours that text drawn in blue, red or black on the face can never produce.
static const QColor kFace(0xC0, 0xC0, 0xC0);
static const QColor kShadow(0x80, 0x00, 0x80);
static const QColor kHighlight(0x00, 0xFF, 0xFF);

static QPalette ChromePalette() {
    QPalette pal;
    pal.setColor(QPalette::Button, kFace);
    pal.setColor(QPalette::Dark, kShadow);
    pal.setColor(QPalette::Light, kHighlight);
    return pal;
}

// Counts the events of one type that reach the object it watches.
class CEventCounter : public QObject {
public:
    explicit CEventCounter(QEvent::Type type) : m_type(type) {}
    int m_nCount = 0;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override {
        if (pEvent->type() == m_type)
            ++m_nCount;
        return false;
    }

private:
    QEvent::Type m_type;
};

// A shown top-level window with the strip 40 pixels down, as wide as the window.
struct StripWindow {
    explicit StripWindow(int cx) {
        host.setPalette(ChromePalette());
        strip = new CStatusStrip(&host);
        const int h = strip->GetPreferredSize().height();
        host.resize(cx, 40 + h);
        strip->setGeometry(0, 40, cx, h);
        host.show();
    }
    int Left(int nPane) const {
        int nLeft = 0;
        for (int i = 0; i < nPane; ++i)
            nLeft += std::max(0, strip->GetPane(i).width);
        return nLeft;
    }
    QPoint Middle(int nPane) const {
        return QPoint(Left(nPane) + strip->GetPane(nPane).width / 2, strip->height() / 2);
    }
    QWidget host;
    CStatusStrip* strip = nullptr;
};

// The sample widths the strip must measure, from the font it draws with.
static std::array<int, 3> SampleWidths(const CStatusStrip& strip) {
    const QFontMetrics fm(strip.GetStripFont(), &strip);
    return {fm.horizontalAdvance("99.99% in 99:99:99s"), fm.horizontalAdvance("9999X"),
            fm.horizontalAdvance("999999")};
}

// The bounding box of the pixels in area that are none of the chrome colours.
static QRect InkBox(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c != kFace && c != kShadow && c != kHighlight)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

class TestStatusStrip : public QObject {
    Q_OBJECT

private slots:
    void fontIsProportionalTenPointAndSetsTheHeight();
    void layoutFromTheMeasuredSamples_data();
    void layoutFromTheMeasuredSamples();
    void doubleClickSelectsFilesOnlyOnNamePanes_data();
    void doubleClickSelectsFilesOnlyOnNamePanes();
    void numberPanesAndTheFormatLimit();
    void tooltipAnswers_data();
    void tooltipAnswers();
    void paintsSunkenFramesAndClipsText();
    void alignsTextPerPane();
    void namesAreDrawnLiterally_data();
    void namesAreDrawnLiterally();
    void separatorLines_data();
    void separatorLines();
};

void TestStatusStrip::fontIsProportionalTenPointAndSetsTheHeight() {
    CStatusStrip strip;
    const QFont& font = strip.GetStripFont();
    QCOMPARE(font.pointSize(), 10);
    const QFontMetrics fm(font, &strip); // proportional: i narrower than W
    QVERIFY(fm.horizontalAdvance("iiii") < fm.horizontalAdvance("WWWW"));
    QCOMPARE(strip.GetPreferredSize(), QSize(0, fm.height() + 6));
}

void TestStatusStrip::layoutFromTheMeasuredSamples_data() {
    QTest::addColumn<int>("rest"); // cx - 15 - the three number panes, before halving
    QTest::addColumn<int>("name");
    QTest::newRow("odd rest 101") << 101 << 56;
    QTest::newRow("even rest 100") << 100 << 56;
    QTest::newRow("rest 0") << 0 << 6;
    QTest::newRow("narrow, rest -1") << -1 << 0;
    QTest::newRow("narrow, rest -40") << -40 << 0;
}

void TestStatusStrip::layoutFromTheMeasuredSamples() {
    QFETCH(int, rest);
    QFETCH(int, name);
    CStatusStrip measure;
    const std::array<int, 3> s = SampleWidths(measure);
    const int cx = 15 + (s[0] + 6) + (s[1] + 6) + (s[2] + 6) + rest;
    StripWindow w(cx);
    const CStatusStrip& strip = *w.strip;
    QCOMPARE(strip.GetPane(PANE_PROGRESS).width, s[0] + 6);
    QCOMPARE(strip.GetPane(PANE_PRIMARY).width, name);
    QCOMPARE(strip.GetPane(PANE_SECONDARY).width, name);
    QCOMPARE(strip.GetPane(PANE_CELL_SIZE).width, s[1] + 6);
    QCOMPARE(strip.GetPane(PANE_DIFFS).width, s[2] + 6);
    int nSum = 0;
    for (int i = 0; i < PANE_COUNT; ++i)
        nSum += strip.GetPane(i).width;
    if (rest >= 0)
        QCOMPARE(nSum, cx - (rest % 2 ? 4 : 3));

    // Each pane answers from its first to its last pixel; panes of width 0 never answer.
    for (int i = 0; i < PANE_COUNT; ++i) {
        if (strip.GetPane(i).width <= 0)
            continue;
        QCOMPARE(strip.HitTest(w.Left(i), 0), i);
        QCOMPARE(strip.HitTest(w.Left(i) + strip.GetPane(i).width - 1, 0), i);
    }
    QCOMPARE(strip.HitTest(nSum, 0), -1);
}

void TestStatusStrip::doubleClickSelectsFilesOnlyOnNamePanes_data() {
    QTest::addColumn<int>("pane"); // 5: right of the last pane
    QTest::addColumn<Qt::KeyboardModifiers>("keys");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("posted");
    const Qt::KeyboardModifiers none;
    QTest::newRow("progress") << 0 << none << Qt::LeftButton << 0;
    QTest::newRow("primary") << 1 << none << Qt::LeftButton << 1;
    QTest::newRow("primary, shift")
        << 1 << Qt::KeyboardModifiers(Qt::ShiftModifier) << Qt::LeftButton << 1;
    QTest::newRow("secondary") << 2 << none << Qt::LeftButton << 1;
    QTest::newRow("secondary, ctrl+alt")
        << 2 << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << Qt::LeftButton << 1;
    QTest::newRow("cell size") << 3 << none << Qt::LeftButton << 0;
    QTest::newRow("diffs") << 4 << none << Qt::LeftButton << 0;
    QTest::newRow("right of the last pane") << 5 << none << Qt::LeftButton << 0;
    QTest::newRow("primary, right button") << 1 << none << Qt::RightButton << 0;
}

void TestStatusStrip::doubleClickSelectsFilesOnlyOnNamePanes() {
    QFETCH(int, pane);
    QFETCH(Qt::KeyboardModifiers, keys);
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, posted);
    StripWindow w(800);
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    CEventCounter counter(ID_SELECT_FILES);
    w.host.installEventFilter(&counter);
    const QPoint pt = pane < PANE_COUNT ? w.Middle(pane) : QPoint(w.strip->width() - 1, 5);
    QTest::mouseDClick(w.strip, button, keys, pt);
    QTest::mouseRelease(w.strip, button, keys, pt);
    QCoreApplication::processEvents();
    QCOMPARE(counter.m_nCount, posted);
}

void TestStatusStrip::numberPanesAndTheFormatLimit() {
    CStatusStrip strip;
    strip.SetDiffsCount(7);
    QCOMPARE(strip.GetPane(PANE_DIFFS).text, std::string());
    QCOMPARE(strip.GetPaneTip(PANE_DIFFS), std::string("Cell diffs count"));
    strip.SetPaneText(PANE_PRIMARY, "No such file or directory");
    strip.SetDiffsCount(7);
    QCOMPARE(strip.GetPane(PANE_DIFFS).text, std::string("7"));
    strip.SetDiffsCount(0);
    QCOMPARE(strip.GetPane(PANE_DIFFS).text, std::string("0"));
    strip.SetDiffsCount(4294967295u);
    QCOMPARE(strip.GetPane(PANE_DIFFS).text, std::string("4294967295"));
    strip.SetPaneText(PANE_PRIMARY, "");
    strip.SetDiffsCount(7);
    QCOMPARE(strip.GetPane(PANE_DIFFS).text, std::string());

    strip.SetCellSize(1536);
    QCOMPARE(strip.GetPane(PANE_CELL_SIZE).text, std::string("1K"));
    QCOMPARE(strip.GetPaneTip(PANE_CELL_SIZE), std::string("Cell size"));
    strip.FormatPaneText(PANE_PROGRESS, "%s", std::string(3000, 'x').c_str());
    QCOMPARE(strip.GetPane(PANE_PROGRESS).text, std::string(2047, 'x'));
}

void TestStatusStrip::tooltipAnswers_data() {
    QTest::addColumn<int>("pane"); // 5: right of the last pane
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("text");
    const QByteArray primary = "/data/" + QByteArray(594, 'p'); // 600 bytes
    QTest::newRow("progress: empty text") << 0 << 0 << QByteArray();
    QTest::newRow("primary: cut to 511") << 1 << 1 << primary.left(511);
    QTest::newRow("secondary: literal") << 2 << 2 << QByteArray("/t/<b>x</b>\ta&b");
    QTest::newRow("cell size") << 3 << 3 << QByteArray("Cell size");
    QTest::newRow("diffs") << 4 << 4 << QByteArray("Cell diffs count");
    QTest::newRow("right of the last pane") << 5 << -1 << QByteArray();
}

void TestStatusStrip::tooltipAnswers() {
    QFETCH(int, pane);
    QFETCH(int, id);
    QFETCH(QByteArray, text);
    StripWindow w(800);
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    w.strip->SetPaneTip(PANE_PRIMARY, "/data/" + std::string(594, 'p'));
    w.strip->SetPaneTip(PANE_SECONDARY, "/t/<b>x</b>\ta&b");
    w.strip->SetCellSize(4096);
    w.strip->SetDiffsCount(3);
    CToolTipRouter router;
    router.CreateToolTip(&w.host, false);

    // Asked through the router, in the window's coordinates.
    const QPoint pt = pane < PANE_COUNT ? w.Middle(pane) : QPoint(w.strip->width() - 1, 5);
    ToolHitQuery query;
    QCOMPARE(router.RouteHitTest(pt.x(), pt.y() + 40, query), id);
    QCOMPARE(query.pWindow, w.strip);
    QCOMPARE(query.uId, id);
    QCOMPARE(QByteArray::fromStdString(query.strText), text);
    QCOMPARE(QPoint(query.x, query.y), pt);
}

void TestStatusStrip::paintsSunkenFramesAndClipsText() {
    StripWindow w(640);
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    CStatusStrip& strip = *w.strip;
    strip.FormatPaneText(PANE_PROGRESS, "%s", "12.34% in 3.042s");
    strip.SetPaneText(PANE_PRIMARY, "/a/very/long/path/" + std::string(300, 'W'));
    strip.SetPaneText(PANE_SECONDARY, std::string(300, 'W') + "/end");
    strip.SetCellSize(8192);
    strip.SetDiffsCount(123456);
    const QImage image = strip.grab().toImage();
    const int h = strip.height();
    QCOMPARE(image.height(), h);
    for (int i = 0; i < PANE_COUNT; ++i) {
        const int l = w.Left(i) + 1; // the frame stands one pixel in from each side
        const int r = w.Left(i) + strip.GetPane(i).width - 2;
        for (int x = l; x < r; ++x)
            QCOMPARE(image.pixelColor(x, 0), kShadow);
        for (int y = 0; y < h - 1; ++y)
            QCOMPARE(image.pixelColor(l, y), kShadow);
        for (int y = 0; y < h; ++y) {
            QCOMPARE(image.pixelColor(r, y), kHighlight);
            QCOMPARE(image.pixelColor(l - 1, y), kFace);
            QCOMPARE(image.pixelColor(r + 1, y), kFace);
        }
        for (int x = l; x <= r; ++x)
            QCOMPARE(image.pixelColor(x, h - 1), kHighlight);
        // Text stays 3 pixels in from the pane's sides, even when it does not fit.
        const QRect rcPane(w.Left(i), 0, strip.GetPane(i).width, h);
        const QRect ink = InkBox(image, rcPane);
        QVERIFY2(!ink.isEmpty(), qPrintable(QString("pane %1").arg(i)));
        QVERIFY(ink.left() >= rcPane.left() + 3);
        QVERIFY(ink.right() <= rcPane.right() - 3);
    }
    // Right of the last pane: face only.
    const int nEnd = w.Left(PANE_COUNT);
    QVERIFY(nEnd < strip.width());
    QVERIFY(InkBox(image, QRect(nEnd, 0, strip.width() - nEnd, h)).isEmpty());
    for (int x = nEnd; x < strip.width(); ++x)
        QCOMPARE(image.pixelColor(x, h / 2), kFace);
}

void TestStatusStrip::alignsTextPerPane() {
    StripWindow w(900);
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    CStatusStrip& strip = *w.strip;
    const QString strText = "HHH";
    for (int i = 0; i < PANE_COUNT; ++i)
        strip.SetPaneText(i, strText.toStdString());
    const QImage image = strip.grab().toImage();
    const QFontMetrics fm(strip.GetStripFont(), &strip);
    const int nAdvance = fm.horizontalAdvance(strText);
    const int h = strip.height();
    // Vertically centred: capital letters end on the baseline of a centred line.
    const int nBaseline = (h - fm.height()) / 2 + fm.ascent();
    struct {
        int pane;
        Qt::Alignment align;
    } const cases[] = {{PANE_PROGRESS, Qt::AlignHCenter},
                       {PANE_PRIMARY, Qt::AlignRight},
                       {PANE_SECONDARY, Qt::AlignLeft},
                       {PANE_CELL_SIZE, Qt::AlignHCenter},
                       {PANE_DIFFS, Qt::AlignHCenter}};
    for (const auto& c : cases) {
        const QRect rcText(w.Left(c.pane) + 3, 0, strip.GetPane(c.pane).width - 6, h);
        const QRect ink = InkBox(image, rcText);
        const QString strWhich = QString("pane %1").arg(c.pane);
        QVERIFY2(qAbs(ink.bottom() + 1 - nBaseline) <= 1, qPrintable(strWhich));
        QVERIFY2(qAbs(ink.width() - nAdvance) <= 4, qPrintable(strWhich));
        int nExpectedLeft = rcText.left();
        if (c.align == Qt::AlignRight)
            nExpectedLeft = rcText.left() + rcText.width() - nAdvance;
        else if (c.align == Qt::AlignHCenter)
            nExpectedLeft = rcText.left() + (rcText.width() - nAdvance) / 2;
        QVERIFY2(qAbs(ink.left() - nExpectedLeft) <= 2, qPrintable(strWhich));
    }
    // The colours: blue for progress and cell size, black for the count.
    QCOMPARE(strip.GetPane(PANE_PROGRESS).color, CLR_NAME);
    QCOMPARE(strip.GetPane(PANE_CELL_SIZE).color, CLR_NAME);
    QCOMPARE(strip.GetPane(PANE_DIFFS).color, CLR_BLACK);
}

void TestStatusStrip::namesAreDrawnLiterally_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown"); // what ends up on the screen
    QTest::addColumn<QString>("wrong"); // what mnemonics, markup or a cut at a tab would show
    QTest::newRow("ampersand") << "a&&b&c"
                               << "a&&b&c"
                               << "a&bc";
    QTest::newRow("markup") << "<b>x</b>"
                            << "<b>x</b>"
                            << "x";
    QTest::newRow("tab") << "ab\tcd"
                         << "ab cd"
                         << "ab";
    QTest::newRow("line feed: one line") << "ab\ncd"
                                         << "ab cd"
                                         << "ab";
}

void TestStatusStrip::namesAreDrawnLiterally() {
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QString, wrong);
    StripWindow w(900);
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    CStatusStrip& strip = *w.strip;
    strip.SetPaneText(PANE_SECONDARY, name.toStdString());
    strip.SetPaneColor(PANE_SECONDARY, CLR_ERROR);
    const QImage image = strip.grab().toImage();
    const QFontMetrics fm(strip.GetStripFont(), &strip);
    const QRect rcText(w.Left(PANE_SECONDARY) + 3, 0, strip.GetPane(PANE_SECONDARY).width - 6,
                       strip.height());
    const QRect ink = InkBox(image, rcText);
    QVERIFY(fm.horizontalAdvance(shown) - fm.horizontalAdvance(wrong) > 6);
    QVERIFY2(qAbs(ink.width() - fm.horizontalAdvance(shown)) <= 4,
             qPrintable(QString("ink %1 wide").arg(ink.width())));
    // Drawn in the pane's colour: the strongest ink pixel is red.
    QColor strongest = kFace;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            if (image.pixelColor(x, y).lightness() < strongest.lightness())
                strongest = image.pixelColor(x, y);
    QVERIFY(strongest.red() > 2 * strongest.green() && strongest.red() > 2 * strongest.blue());
}

void TestStatusStrip::separatorLines_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("horizontal") << QSize(300, 4);
    QTest::newRow("vertical") << QSize(4, 100);
    QTest::newRow("square") << QSize(10, 10);
}

void TestStatusStrip::separatorLines() {
    QFETCH(QSize, size);
    CSeparatorBar bar;
    bar.setPalette(ChromePalette());
    bar.resize(size);
    const QImage image = bar.grab().toImage();
    QCOMPARE(image.size(), size);
    const bool bHorizontal = size.width() > size.height();
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int nAlong = bHorizontal ? y : x;
            const int nLast = bHorizontal ? size.height() - 1 : size.width() - 1;
            const QColor expected = nAlong == 0 ? kHighlight : (nAlong == nLast ? kShadow : kFace);
            QCOMPARE(image.pixelColor(x, y), expected);
        }
}

QTEST_MAIN(TestStatusStrip)
#include "tst_statusstrip.moc"
