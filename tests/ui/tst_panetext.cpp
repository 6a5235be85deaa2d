#include "ui/panetext.h"
#include "ui/tiptext.h"

#include <QtTest>

class TestPaneText : public QObject {
    Q_OBJECT

private slots:
    void cellSizeText_data();
    void cellSizeText();
    void paneWidths_data();
    void paneWidths();
    void dupTipText_data();
    void dupTipText();
    void formatTipTextHasNoLengthLimit();
};

void TestPaneText::cellSizeText_data() {
    QTest::addColumn<uint>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0u << "";
    QTest::newRow("512") << 512u << "512";
    QTest::newRow("below 1K") << 1023u << "1023";
    QTest::newRow("1K") << 1024u << "1K";
    QTest::newRow("fraction dropped") << 1536u << "1K";
    QTest::newRow("256K") << 262144u << "256K";
    QTest::newRow("below 1M") << 1048575u << "1023K";
    QTest::newRow("1M") << 1048576u << "1M";
    QTest::newRow("largest") << 4294967295u << "4095M";
}

void TestPaneText::cellSizeText() {
    QFETCH(uint, bytes);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(CellSizeText(bytes)), text);
}

void TestPaneText::paneWidths_data() {
    // Sample widths 100, 30 and 40 make the number panes 106, 36 and 46 wide: 203 with the
    // 15 pixels of the five frames, so the name panes share cx - 203.
    QTest::addColumn<int>("cx");
    QTest::addColumn<int>("name");
    QTest::addColumn<int>("unused"); // pixels at the right that belong to no pane
    QTest::newRow("odd rest 101") << 304 << 56 << 4;
    QTest::newRow("even rest 100") << 303 << 56 << 3;
    QTest::newRow("wide") << 1024 << 416 << 4;
    QTest::newRow("rest 1") << 204 << 6 << 4;
    QTest::newRow("rest 0") << 203 << 6 << 3;
    QTest::newRow("rest -1: too narrow") << 202 << 0 << 14;
    QTest::newRow("rest -12") << 191 << 0 << 3;
    QTest::newRow("no width at all") << 0 << 0 << -188;
}

void TestPaneText::paneWidths() {
    QFETCH(int, cx);
    QFETCH(int, name);
    QFETCH(int, unused);
    const std::array<int32_t, PANE_COUNT> w = StatusPaneWidths(cx, 100, 30, 40);
    QCOMPARE(w[PANE_PROGRESS], 106);
    QCOMPARE(w[PANE_PRIMARY], name);
    QCOMPARE(w[PANE_SECONDARY], name);
    QCOMPARE(w[PANE_CELL_SIZE], 36);
    QCOMPARE(w[PANE_DIFFS], 46);
    QCOMPARE(cx - (w[0] + w[1] + w[2] + w[3] + w[4]), unused);
}

void TestPaneText::dupTipText_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("copy");
    const QByteArray e2 = "\xC3\xA9";         // é, two bytes
    const QByteArray e3 = "\xE2\x82\xAC";     // €, three bytes
    const QByteArray e4 = "\xF0\x9F\x98\x80"; // an emoji, four bytes
    QTest::newRow("fits") << 512 << QByteArray("/tmp/a&b") << QByteArray("/tmp/a&b");
    QTest::newRow("exactly n - 1") << 4 << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("one over") << 4 << QByteArray("abcd") << QByteArray("abc");
    QTest::newRow("600 bytes cut to 511") << 512 << QByteArray(600, 'p') << QByteArray(511, 'p');
    QTest::newRow("n 1") << 1 << QByteArray("abc") << QByteArray();
    QTest::newRow("n 0") << 0 << QByteArray("abc") << QByteArray();
    QTest::newRow("2-byte char kept whole") << 4 << "a" + e2 + "z"
                                            << "a" + e2;
    QTest::newRow("2-byte char not halved") << 3 << "ab" + e2 << QByteArray("ab");
    QTest::newRow("3-byte char after 1 byte") << 3 << "a" + e3 << QByteArray("a");
    QTest::newRow("3-byte char after 2 bytes") << 4 << "a" + e3 << QByteArray("a");
    QTest::newRow("3-byte char whole") << 5 << "a" + e3 + "z"
                                       << "a" + e3;
    QTest::newRow("4-byte char after 3 bytes") << 5 << "a" + e4 << QByteArray("a");
    QTest::newRow("4-byte char whole") << 6 << "a" + e4 + "z"
                                       << "a" + e4;
    QTest::newRow("Latin-1 bytes cut where they fall")
        << 4 << QByteArray("\xE9\xE9\xE9\xE9") << QByteArray("\xE9\xE9\xE9");
    QTest::newRow("stray continuation bytes")
        << 5 << QByteArray("\x80\x80\x80\x80\x80\x80") << QByteArray("\x80\x80\x80\x80");
}

void TestPaneText::dupTipText() {
    QFETCH(int, n);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, copy);
    const std::string strCopy = DupTipText(size_t(n), text.toStdString());
    QCOMPARE(QByteArray::fromStdString(strCopy), copy);
}

void TestPaneText::formatTipTextHasNoLengthLimit() {
    const std::string strLong(5000, 'x');
    QCOMPARE(FormatTipText("[%s]", strLong.c_str()), "[" + strLong + "]");
    QCOMPARE(FormatTipText("%d.%02d%% in %s", 12, 34, "3.042s"), std::string("12.34% in 3.042s"));
}

QTEST_APPLESS_MAIN(TestPaneText)
#include "tst_panetext.moc"
