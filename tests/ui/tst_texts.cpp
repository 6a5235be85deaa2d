#include "tests/testutil.h"
#include "ui/checkentry.h"
#include "ui/panetext.h"
#include "ui/pathhistory.h"
#include "ui/pathtext.h"
#include "ui/tiptext.h"

#include <QtTest>

#include <sys/stat.h>

using namespace testutil;

class TestTexts : public QObject {
    Q_OBJECT

private slots:
    void paneTexts() {
        std::string strSizes;
        for (uint32_t n : {0u, 1023u, 1024u, 1048575u, 1048576u, 4294967295u})
            strSizes += CellSizeText(n) + ' ';
        QCOMPARE(strSizes, " 1023 1K 1023K 1M 4095M ");
        // Number panes of 100, 30 and 40 pixels of text are 203 wide with the five frames.
        for (auto [cx, name] : {std::pair{304, 56}, {202, 0}})
            QCOMPARE(StatusPaneWidths(cx, 100, 30, 40),
                     (std::array<int32_t, PANE_COUNT>{106, name, name, 36, 46}));
        QVERIFY(FormatTipText("%s7", std::string(5000, 'x').c_str()) ==
                std::string(5000, 'x') + '7');
    }
    // A cut never splits a UTF-8 character; other bytes are cut where they fall.
    void dupTipText_data() {
        Columns<int, QByteArray, QByteArray>("n", "text", "copy");
        QTest::newRow("n 0") << 0 << QByteArray("abc") << QByteArray();
        QTest::newRow("3 bytes after 2") << 4 << QByteArray("a\xE2\x82\xAC") << QByteArray("a");
        QTest::newRow("4 bytes after 3") << 5 << QByteArray("a\xF0\x9F\x98\x80") << QByteArray("a");
        QTest::newRow("stray byte") << 4 << QByteArray("a\xC3\xA9\x80") << QByteArray("a\xC3\xA9");
        QTest::newRow("continuations") << 5 << QByteArray(6, '\x80') << QByteArray(4, '\x80');
    }
    void dupTipText() {
        const auto [n, text, copy] = Fetch<int, QByteArray, QByteArray>("n", "text", "copy");
        QCOMPARE(QByteArray::fromStdString(DupTipText(size_t(n), text.toStdString())), copy);
    }

    // Bytes not UTF-8 show as escapes that turn back into them; valid UTF-8 shows as itself.
    void pathText() {
        auto check = [](const std::string& strPath) {
            const QString str = QString::fromUtf8(strPath);
            QVERIFY(TextToPath(PathToText(strPath)) == strPath &&
                    (str.toStdString() != strPath || PathToText(strPath) == str.toStdU16String()));
        };
        for (int n = 0; n < 0x10000; ++n)
            check({char(n >> 8), char(n)});
        const char bytes[] = "a/\x80\xBF\xC2\xC0\xE0\xED\xF0\xF4\xFF";
        for (int n = 0; n < 11 * 11 * 11 * 11; ++n)
            check({bytes[n % 11], bytes[n / 11 % 11], bytes[n / 121 % 11], bytes[n / 1331]});
        // The escapes; then texts no path makes: a lone high surrogate, an escaped ASCII byte.
        QVERIFY(PathToText("caf\xE9\xED\xB3\xBF") == u"caf\xDCE9\xDCED\xDCB3\xDCBF");
        QCOMPARE(TextToPath(u"a\xD800z\xDC41"), std::string("a\uFFFDz\uFFFD"));
    }

    void checkEntry() {
        QTemporaryDir dir;
        WriteFile(dir, "one", "x"), WriteFile(dir, "empty", {}),
            WriteFile(dir, "4g", {}, 1ull << 32);
        QVERIFY(QFile::link(dir.filePath("one"), dir.filePath("link")) &&
                QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
        for (const auto& [pszVerdict, names] :
             {std::pair{"", QStringList{"one", "4g", "link"}},
              {"File length is zero", {"empty", "fifo", "/", "/dev/zero"}},
              {"File not found", {"gone", "one/x", "dangling"}}})
            for (const QString& strName : names)
                QCOMPARE(CheckEntryPath(QDir(dir.path()).filePath(strName).toStdString()),
                         pszVerdict);
    }

    // Newest first, each name once, sixteen at most; letter case tells names apart.
    void pathHistory() {
        QStringList added;
        for (int i = 0; i <= 16; ++i)
            added << QString("p%1").arg(i);
        const QStringList newest(added.rbegin(), added.rend());
        for (auto [add, entries] :
             {std::pair{QStringList{"a", "b", "b", "B", "b", "c", "a"},
                        QStringList{"a", "c", "b", "B"}},
              {added, newest.mid(0, 16)}, // the oldest dropped
              {added.mid(0, 16) << "p0", QStringList("p0") + newest.mid(1, 15)}}) {
            CPathHistory history;
            for (const QString& path : add)
                history.AddRecent(path.toStdString());
            QCOMPARE(history.GetEntries(), StdList(entries));
        }
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
