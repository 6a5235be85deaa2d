#include "tests/testutil.h"
#include "view/textdraw.h"

#include <QPainter>
#include <QtTest>

#include <functional>

using namespace testutil;

// A white image of w x h with whatever draw paints on it.
static QImage Drawn(int w, int h, const std::function<void(QPainter&)>& draw) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter dc(&image);
    draw(dc);
    return image;
}

class TestTextDraw : public QObject {
    Q_OBJECT

private slots:
    // The pieces stand side by side on one bottom line, the tallest piece's height below
    // the top, centred as a whole: a line wider than the rectangle is cut equally on both
    // sides. The reference draws each piece with plain QPainter calls.
    void centredLine_data() {
        // sizes in points; margin: the rectangle's width less the line's
        Columns<QStringList, QList<int>, int>("texts", "sizes", "margin");
        QTest::newRow("wider, cut by 40")
            << QStringList{"WIDE TEXT 0123456789"} << QList<int>{12} << -40;
        QTest::newRow("wider, cut by 41")
            << QStringList{"WIDE TEXT 0123456789"} << QList<int>{12} << -41;
        QTest::newRow("two heights") << QStringList{"Big ", "small"} << QList<int>{22, 9} << 101;
    }
    void centredLine() {
        const auto [texts, sizes, margin] =
            Fetch<QStringList, QList<int>, int>("texts", "sizes", "margin");
        const QImage probe(1, 1, QImage::Format_RGB32);
        std::vector<TextPiece> pieces;
        int nTotal = 0;
        int h = 0;
        for (int i = 0; i < texts.size(); ++i) {
            pieces.push_back({texts[i], SystemSansFont(sizes[i]), i ? CLR_ERROR : CLR_NAME});
            const QFontMetrics fm(pieces.back().font, &probe);
            nTotal += fm.horizontalAdvance(texts[i]);
            h = std::max(h, fm.height());
        }
        const QImage actual = Drawn(nTotal + margin, h, [&](QPainter& dc) {
            DrawCenteredLine(dc, QRect(0, 0, nTotal + margin, h), pieces);
        });
        const QImage expected = Drawn(nTotal + margin, h, [&](QPainter& dc) {
            int x = margin / 2;
            for (const TextPiece& piece : pieces) {
                const QFontMetrics fm(piece.font, &probe);
                dc.setFont(piece.font);
                dc.setPen(ColorFromRef(piece.clr));
                dc.drawText(x, h - fm.height() + fm.ascent(), piece.strText);
                x += fm.horizontalAdvance(piece.strText);
            }
        });
        QCOMPARE(actual, expected);
        QVERIFY(actual != Drawn(nTotal + margin, h, [](QPainter&) {}));
    }
};

QTEST_MAIN(TestTextDraw)
#include "tst_textdraw.moc"
