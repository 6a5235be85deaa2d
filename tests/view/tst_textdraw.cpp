#include "view/textdraw.h"

#include <QPainter>
#include <QtTest>

// Images are drawn twice: once through the functions under test and once with plain
// QPainter calls at positions computed here from the same font metrics.
class TestTextDraw : public QObject {
    Q_OBJECT

private slots:
    void colorsAreBgrConstants_data();
    void colorsAreBgrConstants();
    void emptyTextMeasuresZeroWide();
    void lineWiderThanTheRectangleIsCutEquallyOnBothSides_data();
    void lineWiderThanTheRectangleIsCutEquallyOnBothSides();
    void piecesOfDifferentHeightsShareTheBottomLine();
    void painterStateIsKept();
};

static QImage WhiteImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// Draws text with its top-left corner at (x, top), the way the reference sees it.
static void DrawAt(QPainter& dc, int x, int top, const QString& strText, const QFont& font,
                   COLORREF clr) {
    dc.setFont(font);
    dc.setPen(ColorFromRef(clr));
    dc.drawText(QPoint(x, top + QFontMetrics(font, dc.device()).ascent()), strText);
}

void TestTextDraw::colorsAreBgrConstants_data() {
    QTest::addColumn<uint>("ref");
    QTest::addColumn<QColor>("color");
    QTest::newRow("name blue") << uint(CLR_NAME) << QColor(0, 0, 0x60);
    QTest::newRow("error red") << uint(CLR_ERROR) << QColor(0xC0, 0, 0);
    QTest::newRow("three bytes") << 0x123456u << QColor(0x56, 0x34, 0x12);
    QTest::newRow("high byte ignored") << 0xFF00FF00u << QColor(0, 0xFF, 0);
}

void TestTextDraw::colorsAreBgrConstants() {
    QFETCH(uint, ref);
    QFETCH(QColor, color);
    QCOMPARE(ColorFromRef(ref), color);
}

void TestTextDraw::emptyTextMeasuresZeroWide() {
    const QImage image = WhiteImage(10, 10);
    const QFont font = SystemSansFont(10);
    const QSize size = MeasureText(&image, QString(), font);
    QCOMPARE(size.width(), 0);
    QCOMPARE(size.height(), QFontMetrics(font, &image).height());
    QVERIFY(MeasureText(&image, "W", font).width() > 0);
}

void TestTextDraw::lineWiderThanTheRectangleIsCutEquallyOnBothSides_data() {
    QTest::addColumn<int>("shortBy"); // how much narrower the rectangle is than the text
    QTest::newRow("even") << 40;
    QTest::newRow("odd") << 41;
}

void TestTextDraw::lineWiderThanTheRectangleIsCutEquallyOnBothSides() {
    QFETCH(int, shortBy);
    const QString strText = "WIDE TEXT 0123456789";
    const QFont font = SystemSansFont(12);
    QImage wide = WhiteImage(1, 1);
    const QFontMetrics fm(font, &wide);
    const int nTotal = fm.horizontalAdvance(strText);
    const int h = fm.height();
    const int w = nTotal - shortBy;

    wide = WhiteImage(nTotal, h);
    {
        QPainter dc(&wide);
        DrawAt(dc, 0, 0, strText, font, CLR_NAME);
    }
    QImage narrow = WhiteImage(w, h);
    {
        QPainter dc(&narrow);
        DrawCenteredLine(dc, QRect(0, 0, w, h), {{strText, font, CLR_NAME}});
    }
    const int nCutLeft = shortBy / 2;
    QCOMPARE(narrow, wide.copy(nCutLeft, 0, w, h));
    QVERIFY(qAbs(nCutLeft - (shortBy - nCutLeft)) <= 1);
    // The cut pixels were inked: something is really cut on both sides.
    QVERIFY(wide.copy(0, 0, nCutLeft, h) != WhiteImage(nCutLeft, h));
    QVERIFY(wide.copy(nCutLeft + w, 0, shortBy - nCutLeft, h) != WhiteImage(shortBy - nCutLeft, h));
}

void TestTextDraw::piecesOfDifferentHeightsShareTheBottomLine() {
    const QFont big = SystemSansFont(22);
    const QFont small = SystemSansFont(9);
    const std::vector<TextPiece> pieces = {{"Big ", big, CLR_NAME}, {"small", small, CLR_ERROR}};
    const int w = 300;
    const int h = 60;
    QImage actual = WhiteImage(w, h);
    {
        QPainter dc(&actual);
        DrawCenteredLine(dc, QRect(0, 0, w, h), pieces);
    }
    const QFontMetrics fmBig(big, &actual);
    const QFontMetrics fmSmall(small, &actual);
    QVERIFY(fmBig.height() > fmSmall.height());
    const int wBig = fmBig.horizontalAdvance("Big ");
    const int x = (w - wBig - fmSmall.horizontalAdvance("small")) / 2;
    QImage expected = WhiteImage(w, h);
    {
        QPainter dc(&expected);
        DrawAt(dc, x, 0, "Big ", big, CLR_NAME);
        DrawAt(dc, x + wBig, fmBig.height() - fmSmall.height(), "small", small, CLR_ERROR);
    }
    QCOMPARE(actual, expected);
}

void TestTextDraw::painterStateIsKept() {
    QImage image = WhiteImage(200, 50);
    QPainter dc(&image);
    QFont font("Serif");
    font.setPointSize(17);
    font.setItalic(true);
    const QPen pen(QColor(1, 2, 3), 3, Qt::DashLine);
    dc.setFont(font);
    dc.setPen(pen);
    dc.setBackgroundMode(Qt::OpaqueMode);

    DrawTextPiece(dc, "piece", QRect(0, 0, 200, 25), CLR_ERROR, Qt::AlignCenter,
                  SystemSansFont(10));
    QCOMPARE(dc.font(), font);
    QCOMPARE(dc.pen(), pen);
    QCOMPARE(dc.backgroundMode(), Qt::OpaqueMode);

    DrawCenteredLine(dc, QRect(0, 25, 200, 25),
                     {{"a", SystemSansFont(12), CLR_NAME}, {"b", SystemFixedFont(8), CLR_BLACK}});
    QCOMPARE(dc.font(), font);
    QCOMPARE(dc.pen(), pen);
    QCOMPARE(dc.backgroundMode(), Qt::OpaqueMode);
}

QTEST_MAIN(TestTextDraw)
#include "tst_textdraw.moc"
