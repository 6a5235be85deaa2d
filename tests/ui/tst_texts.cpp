#include "engine/align/alignment.h"
#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "ui/checkentry.h"
#include "ui/panetext.h"
#include "ui/pathhistory.h"
#include "ui/pathtext.h"
#include "ui/tiptext.h"
#include "view/aligndump.h"

#include <QtTest>

#include <sys/stat.h>

#include <numeric>

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
        // An aligned run's diffs pane: the segments that are not equal; each kind in the tip.
        QCOMPARE(SegmentCountText({2, 3, 1, 4, 5, 6}), "19");
        QCOMPARE(SegmentCountTip({2, 0, 1, 0, 0, 524288}),
                 "Segments not equal; of each kind:\n2 equal\n0 different\n1 inserted\n0 "
                 "deleted\n0 moved\n524288 read-error");
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

    // An aligned cell's tip: its segments with both files' offsets, then both files dumped along
    // the alignment, equal bytes above each other, ".." where a file has none. File 1 is bytes
    // 00 to 3F; file 2 is it edited. Segments: "KIND OFFSET1 LENGTH1 OFFSET2 LENGTH2; ...".
    void alignDetail_data() {
        Columns<QByteArray, QByteArray, int, QString>("file2", "segments", "first", "text");
        QByteArray one(64, 0);
        std::iota(one.begin(), one.end(), 0);
        const QString strBar = QString(57, '=') + '\n', strRule = QString(57, '-') + '\n';
        QTest::newRow("1 byte inserted")
            << QByteArray(one).insert(32, '\xAA')
            << QByteArray("0 0 32 0 32; 2 32 0 32 1; 0 32 32 33 32") << 0x20
            << "[00000020 - 0000002F]\n"
               "inserted 1 byte before 00000020, file 2 00000020 - 00000020\n"
               "equal 00000020 - 0000003F, file 2 at +1: 00000021 - 00000040\n" +
                   strBar +
                   "00000020: .. 20 21 22-23 24 25 26-27 28 29 2A-2B 2C 2D 2E\n"
                   "0000002F: 2F\n" +
                   strRule +
                   "00000020: AA 20 21 22-23 24 25 26-27 28 29 2A-2B 2C 2D 2E\n"
                   "00000030: 2F\n" +
                   strBar.trimmed();
        QTest::newRow("4 bytes deleted")
            << QByteArray(one).remove(34, 4)
            << QByteArray("0 0 34 0 34; 3 34 4 34 0; 0 38 26 34 26") << 0x20
            << "[00000020 - 0000002F]\n"
               "equal 00000000 - 00000021\n"
               "deleted 4 bytes 00000022 - 00000025, file 2 at 00000022\n"
               "equal 00000026 - 0000003F, file 2 at -4: 00000022 - 0000003B\n" +
                   strBar + "00000020: 20 21 22 23-24 25 26 27-28 29 2A 2B-2C 2D 2E 2F\n" +
                   strRule + "00000020: 20 21 .. ..-.. .. 26 27-28 29 2A 2B-2C 2D 2E 2F\n" +
                   strBar.trimmed();
        QTest::newRow("differing bytes bracketed")
            << QByteArray(one).replace(32, 2, "\xFF\xFE\xFD")
            << QByteArray("0 0 32 0 32; 1 32 2 32 3; 0 34 30 35 30") << 0x20
            << "[00000020 - 0000002F]\n"
               "different 00000020 - 00000021, file 2 00000020 - 00000022\n"
               "equal 00000022 - 0000003F, file 2 at +1: 00000023 - 00000040\n" +
                   strBar +
                   "00000020:[20 21].. 22-23 24 25 26-27 28 29 2A-2B 2C 2D 2E\n"
                   "0000002F: 2F\n" +
                   strRule +
                   "00000020:[FF FE]FD 22-23 24 25 26-27 28 29 2A-2B 2C 2D 2E\n"
                   "00000030: 2F\n" +
                   strBar.trimmed();
        QTest::newRow("in place only: no dump")
            << one << QByteArray("0 0 64 0 64") << 0x10
            << "[00000010 - 0000001F]\nequal 00000000 - 0000003F";
        QTest::newRow("not settled yet") << one << QByteArray("0 0 16 0 16") << 0x20
                                         << "[00000020 - 0000002F]\nnot compared yet";
    }
    void alignDetail() {
        const auto [file2, segments, first, text] =
            Fetch<QByteArray, QByteArray, int, QString>("file2", "segments", "first", "text");
        QTemporaryDir dir;
        QByteArray one(64, 0);
        std::iota(one.begin(), one.end(), 0);
        CInputFile files[2];
        QVERIFY(files[0].Open(WriteFile(dir, "one", one)) &&
                files[1].Open(WriteFile(dir, "two", file2)));
        CAlignment alignment;
        alignment.Reset(64, uint64_t(file2.size()));
        for (const QByteArray& s : segments.split(';')) {
            const QList<QByteArray> w = s.simplified().split(' ');
            alignment.Append(EAlignKind(w[0].toInt()), w[1].toULongLong(), w[2].toULongLong(),
                             w[3].toULongLong(), w[4].toULongLong());
        }
        QString strText = QString::fromStdString(
            BuildAlignDetail(alignment, files[0], files[1], uint64_t(first), uint64_t(first + 15)));
        // A short last line is blank to its full width, as the plain dump's.
        strText.replace(QRegularExpression(" +\n"), "\n");
        QCOMPARE(strText, text);
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
