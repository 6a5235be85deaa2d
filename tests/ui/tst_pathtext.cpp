#include "tests/testutil.h"
#include "ui/pathtext.h"

#include <QtTest>

#include <random>

using namespace testutil;

namespace {
QString Text(const std::string& strPath) {
    return QString::fromStdU16String(PathToText(strPath));
}
QString Units(std::initializer_list<char16_t> units) {
    return QString::fromStdU16String(std::u16string(units));
}
} // namespace

class TestPathText : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data() {
        Columns<QByteArray, QString>("path", "text");
        QTest::newRow("ascii") << QByteArray("/tmp/a b & <b>x</b>.bin")
                               << QString("/tmp/a b & <b>x</b>.bin");
        QTest::newRow("four-byte UTF-8")
            << QByteArray("\xF0\x9F\x98\x80") << Units({0xD83D, 0xDE00});
        QTest::newRow("Latin-1 byte")
            << QByteArray("caf\xE9.bin") << QString("caf") + Units({0xDCE9}) + ".bin";
        QTest::newRow("encoded surrogate")
            << QByteArray("\xED\xB3\xBF") << Units({0xDCED, 0xDCB3, 0xDCBF});
        QTest::newRow("beyond U+10FFFF")
            << QByteArray("\xF4\x90\x80\x80") << Units({0xDCF4, 0xDC90, 0xDC80, 0xDC80});
    }
    void roundTrip() {
        const auto [path, text] = Fetch<QByteArray, QString>("path", "text");
        QCOMPARE(Text(path.toStdString()), text);
        QCOMPARE(QByteArray::fromStdString(TextToPath(text.toStdU16String())), path);
    }
    void everyShortPathSurvives() {
        std::string strPath(2, '\0');
        for (int n = 0; n < 0x10000; ++n) {
            strPath[0] = char(n >> 8);
            strPath[1] = char(n & 0xFF);
            if (TextToPath(PathToText(strPath)) != strPath)
                QFAIL(qPrintable(QString("bytes %1").arg(n, 4, 16, QChar('0'))));
            // Valid UTF-8, which the toolkit's own decoder takes whole, shows as itself.
            QByteArray bytes = QByteArray::fromStdString(strPath);
            if (QString::fromUtf8(bytes).toUtf8() == bytes)
                QCOMPARE(Text(strPath), QString::fromUtf8(bytes));
        }
        // Longer mixtures of lead, continuation and plain bytes.
        std::mt19937 random(7);
        const unsigned char bytes[] = {'a',  '/',  0x80, 0xBF, 0xC2, 0xC0,
                                       0xE0, 0xED, 0xF0, 0xF4, 0xFF};
        for (int n = 0; n < 20000; ++n) {
            strPath.assign(random() % 9, '\0');
            for (char& c : strPath)
                c = char(bytes[random() % sizeof bytes]);
            if (TextToPath(PathToText(strPath)) != strPath)
                QFAIL(QByteArray::fromStdString(strPath).toHex().constData());
        }
    }
    void textNeverMadeByPathToText_data() {
        Columns<QString, QByteArray>("text", "path");
        QTest::newRow("lone high surrogate") << Units({'a', 0xD800}) << QByteArray("a\xEF\xBF\xBD");
        QTest::newRow("escaped ASCII") << Units({0xDC41}) << QByteArray("\xEF\xBF\xBD");
    }
    void textNeverMadeByPathToText() {
        const auto [text, path] = Fetch<QString, QByteArray>("text", "path");
        QCOMPARE(QByteArray::fromStdString(TextToPath(text.toStdU16String())), path);
    }
};

QTEST_GUILESS_MAIN(TestPathText)
#include "tst_pathtext.moc"
