#include "cli/mapcli.h"
#include "engine/blockstatearray.h"
#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "view/hexdump.h"

#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

using namespace testutil;

class TestMapCli : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    struct Result {
        int nStatus;
        QByteArray out;
        QByteArray err;
    };
    // Runs the real program, as a script would.
    Result RunMap(const QStringList& args) {
        QProcess process;
        process.start(QUILLET_BIN_DIR "/quillet-map", args);
        if (!process.waitForFinished(120000))
            return {-1, {}, "did not finish"};
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

private slots:
    void arguments_data();
    void arguments();
    void dumpRange_data();
    void dumpRange();
    void dumpPrintsTheTooltipText();
    void defaultBlockSize_data();
    void defaultBlockSize();
    void reportListsRunsOfUnequalBlocks();
    void comparesLikeCmp_data();
    void comparesLikeCmp();
    void troubleIsExplained_data();
    void troubleIsExplained();
    void readErrorsAreTrouble();
    void offsetsBeyondFourGiB();
    void progressLine_data();
    void progressLine();
};

void TestMapCli::arguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<uint>("blockSize");
    QTest::newRow("two files") << QStringList{"a", "b"} << "" << 0u;
    QTest::newRow("block size") << QStringList{"--block-size=65536", "a", "b"} << "" << 65536u;
    QTest::newRow("hex block size") << QStringList{"--block-size=0x1000", "a", "b"} << "" << 4096u;
    QTest::newRow("one byte blocks") << QStringList{"a", "--block-size=1", "b"} << "" << 1u;
    QTest::newRow("largest block")
        << QStringList{"--block-size=1073741824", "a", "b"} << "" << (1u << 30);
    QTest::newRow("names after --") << QStringList{"--", "-a", "--help"} << "" << 0u;
    QTest::newRow("help alone") << QStringList{"--help"} << "" << 0u;
    QTest::newRow("not a power of two")
        << QStringList{"--block-size=3000", "a", "b"}
        << "block size '3000' is not a power of two from 1 to 1073741824" << 0u;
    QTest::newRow("too large") << QStringList{"--block-size=2147483648", "a", "b"}
                               << "block size '2147483648' is not a power of two from 1 to "
                                  "1073741824"
                               << 0u;
    QTest::newRow("zero") << QStringList{"--block-size=0", "a", "b"}
                          << "block size '0' is not a power of two from 1 to 1073741824" << 0u;
    QTest::newRow("unknown option") << QStringList{"-x", "a", "b"} << "unknown option '-x'" << 0u;
    QTest::newRow("one file") << QStringList{"a"} << "two files are needed" << 0u;
    QTest::newRow("three files") << QStringList{"a", "b", "c"} << "more than two files given" << 0u;
}

void TestMapCli::arguments() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(uint, blockSize);
    std::vector<std::string> list;
    for (const QString& arg : args)
        list.push_back(arg.toStdString());
    CMapOptions options;
    std::string strError;
    QCOMPARE(ParseMapArgs(list, options, strError), error.isEmpty());
    QCOMPARE(QString::fromStdString(strError), error);
    if (error.isEmpty())
        QCOMPARE(options.nBlockSize, blockSize);
}

void TestMapCli::dumpRange_data() {
    QTest::addColumn<QString>("arg");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qulonglong>("first");
    QTest::addColumn<qulonglong>("last");
    QTest::newRow("decimal") << "--dump=0:255" << true << 0ull << 255ull;
    QTest::newRow("hex") << "--dump=0x80:0XbF" << true << 0x80ull << 0xBFull;
    QTest::newRow("2^31 bytes") << "--dump=0x100000000:0x17FFFFFFF" << true << 0x100000000ull
                                << 0x17FFFFFFFull;
    QTest::newRow("largest offset") << "--dump=0x7FFFFFFFFFFFFFFF:0x7FFFFFFFFFFFFFFF" << true
                                    << 0x7FFFFFFFFFFFFFFFull << 0x7FFFFFFFFFFFFFFFull;
    QTest::newRow("one byte too many") << "--dump=0:0x80000000" << false << 0ull << 0ull;
    QTest::newRow("reversed") << "--dump=10:9" << false << 0ull << 0ull;
    QTest::newRow("no colon") << "--dump=100" << false << 0ull << 0ull;
    QTest::newRow("not a number") << "--dump=a:b" << false << 0ull << 0ull;
    QTest::newRow("beyond any file")
        << "--dump=0x8000000000000000:0x8000000000000000" << false << 0ull << 0ull;
}

void TestMapCli::dumpRange() {
    QFETCH(QString, arg);
    QFETCH(bool, valid);
    QFETCH(qulonglong, first);
    QFETCH(qulonglong, last);
    CMapOptions options;
    std::string strError;
    QCOMPARE(ParseMapArgs({arg.toStdString(), "a", "b"}, options, strError), valid);
    QCOMPARE(options.bDump, valid);
    QCOMPARE(options.nDumpFirst, first);
    QCOMPARE(options.nDumpLast, last);
    if (!valid)
        QCOMPARE(QString::fromStdString(strError),
                 "dump range '" + arg.mid(7) +
                     "' is not FIRST:LAST with FIRST <= LAST and at most 2147483648 bytes");
}

void TestMapCli::dumpPrintsTheTooltipText() {
    QByteArray first = Pattern(0x300);
    QByteArray second = first.left(0x2F8);
    second[0x123] = char(~second[0x123]);
    std::string strFirst = WriteFile(m_dir, "-dump 1", first);
    std::string strSecond = WriteFile(m_dir, "dump <2>", second);
    Result result = RunMap({"--dump=0x100:767", "--", QString::fromStdString(strFirst),
                            QString::fromStdString(strSecond)});
    CInputFile file1;
    CInputFile file2;
    QVERIFY(file1.Open(strFirst) && file2.Open(strSecond));
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out,
             QByteArray::fromStdString(BuildHexDump(file1, file2, 0x100, 0x2FF)) + "\n");
    QVERIFY(result.out.contains("\n00000120: "));
    QCOMPARE(result.nStatus, 0);
}

void TestMapCli::defaultBlockSize_data() {
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<uint>("blockSize");
    QTest::newRow("empty") << 0ull << 4096u;
    QTest::newRow("4 GiB") << (1ull << 32) << 4096u;
    QTest::newRow("4 GiB + 1") << (1ull << 32) + 1 << 8192u;
    QTest::newRow("1 TiB") << (1ull << 40) << (1u << 20);
    QTest::newRow("huge") << ~0ull / 2 << (1u << 30);
}

void TestMapCli::defaultBlockSize() {
    QFETCH(qulonglong, length);
    QFETCH(uint, blockSize);
    QCOMPARE(DefaultBlockSize(length), blockSize);
}

void TestMapCli::reportListsRunsOfUnequalBlocks() {
    CBlockStateArray states;
    states.AllocateCount(10);
    const uint8_t recorded[] = {2, 3, 3, 2, 5, 2, 2, 4, 4};
    for (int i = 0; i < 9; ++i)
        states.Set(i, recorded[i]);
    QCOMPARE(QByteArray::fromStdString(FormatReport(states, 9, 16, 140)),
             QByteArray("blocks=9 block_size=16 equal=4 different=2 length_differs=2 read_error=1\n"
                        "different 0x0000000000000010 0x000000000000002F\n"
                        "read-error 0x0000000000000040 0x000000000000004F\n"
                        "length-differs 0x0000000000000070 0x000000000000008B\n"));
}

void TestMapCli::comparesLikeCmp_data() {
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QByteArray bytes = Pattern(10000);
    QByteArray changed = bytes;
    changed[5000] = char(~changed[5000]);
    QTest::newRow("equal") << bytes << bytes << QStringList{} << 0
                           << QByteArray("blocks=3 block_size=4096 equal=3 different=0 "
                                         "length_differs=0 read_error=0\n");
    QTest::newRow("one byte differs")
        << bytes << changed << QStringList{"--block-size=1024"} << 1
        << QByteArray("blocks=10 block_size=1024 equal=9 different=1 length_differs=0 "
                      "read_error=0\ndifferent 0x0000000000001000 0x00000000000013FF\n");
    QTest::newRow("longer second")
        << bytes.left(1000) << bytes.left(1500) << QStringList{"--block-size=64"} << 1
        << QByteArray("blocks=24 block_size=64 equal=15 different=0 length_differs=9 "
                      "read_error=0\nlength-differs 0x00000000000003C0 0x00000000000005DB\n");
    QTest::newRow("both empty") << QByteArray() << QByteArray() << QStringList{} << 0
                                << QByteArray("blocks=0 block_size=4096 equal=0 different=0 "
                                              "length_differs=0 read_error=0\n");
}

void TestMapCli::comparesLikeCmp() {
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    std::string strFirst = WriteFile(m_dir, "first & <b>", first);
    std::string strSecond = WriteFile(m_dir, "-second", second);
    Result result = RunMap(options + QStringList{"--", QString::fromStdString(strFirst),
                                                 QString::fromStdString(strSecond)});
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, out);
    QCOMPARE(result.nStatus, status);
}

void TestMapCli::troubleIsExplained_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("err");
    QString strFile = QString::fromStdString(WriteFile(m_dir, "file", "x"));
    QString strMissing = m_dir.filePath("missing");
    QString strFifo = m_dir.filePath("fifo");
    ::mkfifo(strFifo.toLocal8Bit().constData(), 0600);
    QByteArray usage = QByteArray::fromStdString(MapUsage()) + "\n";
    QTest::newRow("missing first")
        << QStringList{strMissing, strFile}
        << "quillet-map: " + strMissing.toUtf8() + ": No such file or directory\n";
    QTest::newRow("directory second")
        << QStringList{strFile, m_dir.path()}
        << "quillet-map: " + m_dir.path().toUtf8() + ": Is a directory\n";
    QTest::newRow("fifo never blocks")
        << QStringList{strFifo, strFile} << "quillet-map: " + strFifo.toUtf8() + ": Illegal seek\n";
    QTest::newRow("unknown option") << QStringList{"--fast", strFile, strFile}
                                    << "quillet-map: unknown option '--fast'\n" + usage;
    QTest::newRow("bad dump range")
        << QStringList{"--dump=9:8", strFile, strFile}
        << "quillet-map: dump range '9:8' is not FIRST:LAST with FIRST <= LAST and at most "
           "2147483648 bytes\n" +
               usage;
    QTest::newRow("dump of a missing file")
        << QStringList{"--dump=0:15", strFile, strMissing}
        << "quillet-map: " + strMissing.toUtf8() + ": No such file or directory\n";
    QTest::newRow("too many blocks")
        << QStringList{"--block-size=1", strFile,
                       QString::fromStdString(WriteSparse(m_dir, "sparse", (1ull << 30) + 1))}
        << "quillet-map: block size 1 gives 1073741825 blocks, more than 1073741824; choose "
           "a larger one\n" +
               usage;
}

void TestMapCli::troubleIsExplained() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, err);
    Result result = RunMap(args);
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.nStatus, 2);
}

void TestMapCli::readErrorsAreTrouble() {
    CBlockStateArray states;
    states.AllocateCount(3);
    states.Set(0, BLOCK_EQUAL);
    states.Set(1, BLOCK_READ_ERROR);
    states.Set(2, BLOCK_DIFFERENT);
    QCOMPARE(ExitStatusFor(CountStates(states, 3)), 2);
    QCOMPARE(ExitStatusFor(CountStates(states, 1)), 0);
    states.Set(1, BLOCK_EQUAL);
    QCOMPARE(ExitStatusFor(CountStates(states, 3)), 1);
}

void TestMapCli::offsetsBeyondFourGiB() {
    const qulonglong nLength = (1ull << 32) + 8192;
    std::string strFirst = WriteSparse(m_dir, "big1", nLength, nLength - 1, "a");
    std::string strSecond = WriteSparse(m_dir, "big2", nLength, nLength - 1, "b");
    Result result = RunMap({"--block-size=1048576", QString::fromStdString(strFirst),
                            QString::fromStdString(strSecond)});
    QCOMPARE(result.nStatus, 1);
    QCOMPARE(result.out, QByteArray("blocks=4097 block_size=1048576 equal=4096 different=1 "
                                    "length_differs=0 read_error=0\n"
                                    "different 0x0000000100000000 0x0000000100001FFF\n"));
}

void TestMapCli::progressLine_data() {
    QTest::addColumn<int>("progress");
    QTest::addColumn<qlonglong>("elapsedMs");
    QTest::addColumn<qulonglong>("bytes");
    QTest::addColumn<QString>("line");
    QTest::newRow("at the start") << 0 << 0ll << 0ull << "  0.00%  0.0s  0 MB/s";
    QTest::newRow("hundredths kept") << 5 << 49ll << 0ull << "  0.05%  0.0s  0 MB/s";
    QTest::newRow("part way") << 1234 << 2500ll << 250000000ull << " 12.34%  2.5s  100 MB/s";
    QTest::newRow("done") << 10000 << 1000ll << 1000000000ull << "100.00%  1.0s  1000 MB/s";
    QTest::newRow("bytes before any time") << 300 << 0ll << 4096ull << "  3.00%  0.0s  0 MB/s";
    QTest::newRow("hours and 64 GiB")
        << 9999 << 7384000ll << (64ull << 30) << " 99.99%  7384.0s  9 MB/s";
    QTest::newRow("largest count in a millisecond")
        << 1 << 1ll << ~0ull << "  0.01%  0.0s  18446744073709552 MB/s";
}

void TestMapCli::progressLine() {
    QFETCH(int, progress);
    QFETCH(qlonglong, elapsedMs);
    QFETCH(qulonglong, bytes);
    QFETCH(QString, line);
    QCOMPARE(QString::fromStdString(FormatProgressLine(progress, elapsedMs, bytes)), line);
}

QTEST_GUILESS_MAIN(TestMapCli)
#include "tst_mapcli.moc"
