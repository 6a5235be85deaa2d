#include "tests/testutil.h"
#include "ui/checkentry.h"
#include "ui/panetext.h"
#include "ui/pathhistory.h"
#include "ui/pathtext.h"
#include "ui/tiptext.h"

#include <QtTest>

#include <random>
#include <sys/stat.h>

using namespace testutil;

QString Units(std::initializer_list<char16_t> units) {
    return QString::fromStdU16String(std::u16string(units));
}

// The texts the window and the Select-files dialog show, without the widgets.
class TestTexts : public QObject {
    Q_OBJECT

private slots:
    void paneTexts() {
        std::string strSizes;
        for (uint32_t n : {0u, 1023u, 1024u, 1048575u, 1048576u, 4294967295u})
            strSizes += CellSizeText(n) + ' ';
        QCOMPARE(strSizes, " 1023 1K 1023K 1M 4095M ");
        // Number panes of 100, 30 and 40 pixels of text are 203 wide with the five
        // frames.
        for (auto [cx, name] : {std::pair{304, 56}, {202, 0}})
            QCOMPARE(StatusPaneWidths(cx, 100, 30, 40),
                     (std::array<int32_t, PANE_COUNT>{106, name, name, 36, 46}));
        const std::string strLong(5000, 'x');
        QCOMPARE(FormatTipText("%s%d", strLong.c_str(), 7), strLong + "7");
    }
    // A cut never splits a UTF-8 character; other bytes are cut where they fall.
    void dupTipText_data() {
        Columns<int, QByteArray, QByteArray>("n", "text", "copy");
        QTest::newRow("exactly n - 1") << 4 << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("n 0") << 0 << QByteArray("abc") << QByteArray();
        QTest::newRow("2 bytes kept") << 4 << QByteArray("a\xC3\xA9z") << QByteArray("a\xC3\xA9");
        QTest::newRow("3 bytes after 2") << 4 << QByteArray("a\xE2\x82\xAC") << QByteArray("a");
        QTest::newRow("4 bytes after 3") << 5 << QByteArray("a\xF0\x9F\x98\x80") << QByteArray("a");
        QTest::newRow("stray byte") << 4 << QByteArray("a\xC3\xA9\x80") << QByteArray("a\xC3\xA9");
        QTest::newRow("Latin-1") << 4 << QByteArray(4, '\xE9') << QByteArray(3, '\xE9');
        QTest::newRow("continuations") << 5 << QByteArray(6, '\x80') << QByteArray(4, '\x80');
    }
    void dupTipText() {
        const auto [n, text, copy] = Fetch<int, QByteArray, QByteArray>("n", "text", "copy");
        QCOMPARE(QByteArray::fromStdString(DupTipText(size_t(n), text.toStdString())), copy);
    }

    // Bytes that are not UTF-8 show as escapes that turn back into the same
    // bytes; valid UTF-8 shows as itself.
    void pathText_data() {
        Columns<QByteArray, QString>("path", "text");
        QTest::newRow("4-byte UTF-8") << QByteArray("\xF0\x9F\x98\x80") << Units({0xD83D, 0xDE00});
        QTest::newRow("Latin-1") << QByteArray("caf\xE9") << "caf" + Units({0xDCE9});
        QTest::newRow("surrogate") << QByteArray("\xED\xB3\xBF") << Units({0xDCED, 0xDCB3, 0xDCBF});
        QTest::newRow("beyond U+10FFFF")
            << QByteArray("\xF4\x90\x80\x80") << Units({0xDCF4, 0xDC90, 0xDC80, 0xDC80});
    }
    void pathText() {
        const auto [path, text] = Fetch<QByteArray, QString>("path", "text");
        QCOMPARE(QString::fromStdU16String(PathToText(path.toStdString())), text);
        QCOMPARE(QByteArray::fromStdString(TextToPath(text.toStdU16String())), path);
    }
    void everyPathSurvivesItsText() {
        std::string strPath;
        for (int n = 0; n < 0x10000; ++n) {
            strPath = {char(n >> 8), char(n)};
            const QByteArray bytes = QByteArray::fromStdString(strPath);
            QVERIFY(TextToPath(PathToText(strPath)) == strPath);
            if (QString::fromUtf8(bytes).toUtf8() == bytes)
                QCOMPARE(QString::fromStdU16String(PathToText(strPath)), QString::fromUtf8(bytes));
        }
        std::mt19937 random(7);
        const char bytes[] = "a/\x80\xBF\xC2\xC0\xE0\xED\xF0\xF4\xFF";
        for (int n = 0; n < 20000; ++n) {
            strPath.assign(random() % 9, '\0');
            for (char& c : strPath)
                c = bytes[random() % (sizeof bytes - 1)];
            QVERIFY(TextToPath(PathToText(strPath)) == strPath);
        }
        // Texts no path makes: a lone high surrogate, an escaped ASCII byte.
        QCOMPARE(TextToPath(Units({'a', 0xD800, 'b', 0xDC41}).toStdU16String()),
                 std::string("a\uFFFDb\uFFFD"));
    }

    // Grouped by verdict.
    void checkEntry() {
        QTemporaryDir dir;
        WriteFile(dir, "one", "x"), WriteFile(dir, "empty", {}), WriteSparse(dir, "4g", 1ull << 32);
        QVERIFY(QFile::link(dir.filePath("one"), dir.filePath("link")) &&
                QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
        auto verdict = [&](const char* pszName) {
            const QByteArray path = QFile::encodeName(QDir(dir.path()).filePath(pszName));
            return QString::fromStdString(CheckEntryPath(path.toStdString()));
        };
        for (const char* pszName : {"one", "4g", "link"})
            QCOMPARE(verdict(pszName), "");
        for (const char* pszName : {"empty", "fifo", "/", "/dev/zero"})
            QCOMPARE(verdict(pszName), "File length is zero");
        for (const char* pszName : {"gone", "one/x", "dangling"})
            QCOMPARE(verdict(pszName), "File not found");
        QCOMPARE(CheckEntryPath(""), std::string("No file"));
    }

    // Newest first, each name once, sixteen at most; letter case tells names
    // apart.
    void pathHistory_data() {
        Columns<QStringList, QStringList>("added", "entries");
        QStringList added, newest;
        for (int i = 0; i <= 16; ++i)
            added << QString("p%1").arg(i), newest.prepend(added.back());
        QTest::newRow("moves to the front")
            << QStringList{"a", "b", "b", "B", "b", "c", "a"} << QStringList{"a", "c", "b", "B"};
        QTest::newRow("oldest dropped") << added << newest.mid(0, 16);
        QTest::newRow("moving at the limit")
            << added.mid(0, 16) + QStringList{"p0"} << QStringList{"p0"} + newest.mid(1, 15);
    }
    void pathHistory() {
        const auto [added, entries] = Fetch<QStringList, QStringList>("added", "entries");
        CPathHistory history;
        for (const QString& path : added)
            history.AddRecent(path.toStdString());
        QCOMPARE(history.GetEntries(), StdList(entries));
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
