#include "tests/testutil.h"
#include "ui/panetext.h"
#include "ui/tiptext.h"

#include <QtTest>

using namespace testutil;

class TestPaneText : public QObject {
    Q_OBJECT

private slots:
    void cellSizeText_data() {
        Columns<uint, QString>("bytes", "text");
        QTest::newRow("none") << 0u << "";
        QTest::newRow("512") << 512u << "512";
        QTest::newRow("below 1K") << 1023u << "1023";
        QTest::newRow("1K") << 1024u << "1K";
        QTest::newRow("1.5K, fraction dropped") << 1536u << "1K";
        QTest::newRow("256K") << 262144u << "256K";
        QTest::newRow("below 1M") << 1048575u << "1023K";
        QTest::newRow("1M") << 1048576u << "1M";
        QTest::newRow("largest") << 4294967295u << "4095M";
    }
    void cellSizeText() {
        const auto [bytes, text] = Fetch<uint, QString>("bytes", "text");
        QCOMPARE(QString::fromStdString(CellSizeText(bytes)), text);
    }

    // Sample widths 100, 30 and 40 make the number panes 106, 36 and 46 wide: 203 with the
    // 15 pixels of the five frames, so the name panes share cx - 203.
    void paneWidths_data() {
        // unused: pixels at the right that belong to no pane
        Columns<int, int, int>("cx", "name", "unused");
        QTest::newRow("odd rest 101") << 304 << 56 << 4;
        QTest::newRow("even rest 100") << 303 << 56 << 3;
        QTest::newRow("rest 0") << 203 << 6 << 3;
        QTest::newRow("rest -1: too narrow") << 202 << 0 << 14;
    }
    void paneWidths() {
        const auto [cx, name, unused] = Fetch<int, int, int>("cx", "name", "unused");
        const std::array<int32_t, PANE_COUNT> w = StatusPaneWidths(cx, 100, 30, 40);
        QCOMPARE(w, (std::array<int32_t, PANE_COUNT>{106, name, name, 36, 46}));
        QCOMPARE(cx - (w[0] + w[1] + w[2] + w[3] + w[4]), unused);
    }

    void dupTipText_data() {
        Columns<int, QByteArray, QByteArray>("n", "text", "copy");
        const QByteArray e2 = "\xC3\xA9";         // é, two bytes
        const QByteArray e3 = "\xE2\x82\xAC";     // €, three bytes
        const QByteArray e4 = "\xF0\x9F\x98\x80"; // an emoji, four bytes
        QTest::newRow("exactly n - 1") << 4 << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("one over") << 4 << QByteArray("abcd") << QByteArray("abc");
        QTest::newRow("n 0") << 0 << QByteArray("abc") << QByteArray();
        QTest::newRow("2-byte char kept whole") << 4 << "a" + e2 + "z"
                                                << "a" + e2;
        QTest::newRow("3-byte char after 2 bytes") << 4 << "a" + e3 << QByteArray("a");
        QTest::newRow("4-byte char after 3 bytes") << 5 << "a" + e4 << QByteArray("a");
        QTest::newRow("whole char before a stray byte") << 4 << "a" + e2 + "\x80"
                                                        << "a" + e2;
        QTest::newRow("Latin-1 cut where it falls")
            << 4 << QByteArray("\xE9\xE9\xE9\xE9") << QByteArray("\xE9\xE9\xE9");
        QTest::newRow("stray continuation bytes")
            << 5 << QByteArray("\x80\x80\x80\x80\x80\x80") << QByteArray("\x80\x80\x80\x80");
    }
    void dupTipText() {
        const auto [n, text, copy] = Fetch<int, QByteArray, QByteArray>("n", "text", "copy");
        QCOMPARE(QByteArray::fromStdString(DupTipText(size_t(n), text.toStdString())), copy);
    }

    void formatTipTextHasNoLengthLimit() {
        const std::string strLong(5000, 'x');
        QCOMPARE(FormatTipText("[%s]", strLong.c_str()), "[" + strLong + "]");
        QCOMPARE(FormatTipText("%d.%02d%% in %s", 12, 34, "3.042s"),
                 std::string("12.34% in 3.042s"));
    }
};

QTEST_APPLESS_MAIN(TestPaneText)
#include "tst_panetext.moc"
