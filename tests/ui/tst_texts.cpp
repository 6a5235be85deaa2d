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

namespace {
QString Units(std::initializer_list<char16_t> units) {
    return QString::fromStdU16String(std::u16string(units));
}
} // namespace

// The texts the window and the Select-files dialog show, without the widgets.
class TestTexts : public QObject {
    Q_OBJECT

private slots:
    void cellSizeText_data() {
        Columns<uint, QString>("bytes", "text");
        for (auto [n, s] : {std::pair<uint, const char*>{0, ""},
                            {1023, "1023"},
                            {1024, "1K"},
                            {1048575, "1023K"},
                            {1048576, "1M"},
                            {4294967295u, "4095M"}})
            QTest::newRow(s) << n << s;
    }
    void cellSizeText() {
        const auto [bytes, text] = Fetch<uint, QString>("bytes", "text");
        QCOMPARE(QString::fromStdString(CellSizeText(bytes)), text);
    }
    // Number panes of 100, 30 and 40 pixels of text are 203 wide with the five frames.
    void paneWidths() {
        for (auto [cx, name] : {std::pair{304, 56}, {202, 0}})
            QCOMPARE(StatusPaneWidths(cx, 100, 30, 40),
                     (std::array<int32_t, PANE_COUNT>{106, name, name, 36, 46}));
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
        QTest::newRow("Latin-1") << 4 << QByteArray("\xE9\xE9\xE9\xE9")
                                 << QByteArray("\xE9\xE9\xE9");
        QTest::newRow("continuations") << 5 << QByteArray(6, '\x80') << QByteArray(4, '\x80');
    }
    void dupTipText() {
        const auto [n, text, copy] = Fetch<int, QByteArray, QByteArray>("n", "text", "copy");
        QCOMPARE(QByteArray::fromStdString(DupTipText(size_t(n), text.toStdString())), copy);
        const std::string strLong(5000, 'x');
        QCOMPARE(FormatTipText("%s%d", strLong.c_str(), n), strLong + std::to_string(n));
    }

    // Path bytes that are not UTF-8 come back from their text unchanged.
    void pathText_data() {
        Columns<QByteArray, QString>("path", "text");
        QTest::newRow("ascii") << QByteArray("/a b&<b>x") << QString("/a b&<b>x");
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
        std::string strPath(2, '\0');
        for (int n = 0; n < 0x10000; ++n) {
            strPath = {char(n >> 8), char(n)};
            const QByteArray bytes = QByteArray::fromStdString(strPath);
            QVERIFY(TextToPath(PathToText(strPath)) == strPath);
            if (QString::fromUtf8(bytes).toUtf8() == bytes) // valid UTF-8 shows as itself
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
                 std::string("a\xEF\xBF\xBD"
                             "b\xEF\xBF\xBD"));
    }

    void checkEntry() {
        QTemporaryDir dir;
        WriteFile(dir, "one", "x");
        WriteFile(dir, "empty", {});
        WriteSparse(dir, "4gib", uint64_t(4) << 30);
        QVERIFY(QFile::link(dir.filePath("one"), dir.filePath("link")) &&
                QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
        const char *pszZero = "File length is zero", *pszMissing = "File not found";
        for (auto [name, verdict] :
             std::initializer_list<std::pair<QString, const char*>>{{"one", ""},
                                                                    {"4gib", ""},
                                                                    {"link", ""},
                                                                    {"empty", pszZero},
                                                                    {"fifo", pszZero},
                                                                    {"/", pszZero},
                                                                    {"/dev/zero", pszZero},
                                                                    {"gone", pszMissing},
                                                                    {"one/x", pszMissing},
                                                                    {"dangling", pszMissing}})
            QCOMPARE(
                CheckEntryPath(QFile::encodeName(QDir(dir.path()).filePath(name)).toStdString()),
                std::string(verdict));
        QCOMPARE(CheckEntryPath(""), std::string("No file"));
    }

    // Newest first, each name once, sixteen at most; letter case tells names apart.
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
