#include "cli/mapcli.h"
#include "engine/blockstatearray.h"
#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "view/hexdump.h"

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace testutil;

namespace {
QStringList Args(const char* pszLine) {
    return QString(pszLine).split(' ');
}

QString NotAPowerOfTwo(const char* pszAs, const char* pszValue) {
    return QString("option '%1': block size '%2' is not a power of two from 1 to 1073741824")
        .arg(pszAs, pszValue);
}

QString BadRange(const char* pszAs, const char* pszValue, bool bDump = true) {
    return QString("option '%1': %2range '%3' is not FIRST:LAST, offsets in decimal or 0x hex "
                   "with FIRST <= LAST%4")
        .arg(pszAs, bDump ? "dump " : "", pszValue, bDump ? " and at most 2147483648 bytes" : "");
}

QString BadSize(const char* pszValue) {
    return QString("option '--size': map size '%1' is not WxH with each side from 5 to 16384 "
                   "pixels")
        .arg(pszValue);
}

// What the parser took, in one line.
QString Taken(const CMapOptions& options) {
    if (options.bHelp || options.bVersion)
        return options.bHelp ? "help" : "version";
    static const char* const kOutputs[] = {"report", "quiet", "first", "json", "dump"};
    QString str = QString("B=%1 %2 %3 %4")
                      .arg(options.nBlockSize)
                      .arg(kOutputs[int(options.eOutput)])
                      .arg(QString::fromStdString(options.strFile1))
                      .arg(QString::fromStdString(options.strFile2));
    if (options.eOutput == EMapOutput::Dump)
        str += QString(" dump=%1:%2").arg(options.nDumpFirst).arg(options.nDumpLast);
    if (options.bRange)
        str += QString(" range=%1:%2").arg(options.nRangeFirst).arg(options.nRangeLast);
    if (!options.strPng.empty())
        str += QString(" png=%1 %2x%3")
                   .arg(QString::fromStdString(options.strPng))
                   .arg(options.nMapWidth)
                   .arg(options.nMapHeight);
    return str;
}

// The states as digits, one block each.
void SetStates(CBlockStateArray& states, const QByteArray& digits) {
    states.AllocateCount(int32_t(digits.size()));
    for (int i = 0; i < digits.size(); ++i)
        states.Set(i, uint8_t(digits[i] - '0'));
}
} // namespace

class TestMapCli : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void arguments_data() {
        // outcome: the options taken, or the reason for refusal
        Columns<QStringList, QString>("args", "outcome");
        QTest::newRow("hex block size") << Args("--block-size=0x1000 a b") << "B=4096 report a b";
        QTest::newRow("value apart") << Args("--block-size 4096 a b") << "B=4096 report a b";
        QTest::newRow("abbreviated") << Args("--bl=4096 a b") << "B=4096 report a b";
        QTest::newRow("abbreviated, apart") << Args("a --b 4096 b") << "B=4096 report a b";
        QTest::newRow("short") << Args("-b 4096 a b") << "B=4096 report a b";
        QTest::newRow("short, attached") << Args("-b4096 a b") << "B=4096 report a b";
        QTest::newRow("after the files") << Args("a b -b 1073741824") << "B=1073741824 report a b";
        QTest::newRow("end of options") << Args("-- -s -b") << "B=0 report -s -b";
        QTest::newRow("value that looks like an option")
            << Args("--png -s -- a b") << "B=0 report a b png=-s 1024x768";
        QTest::newRow("lone dash is a file") << Args("- b") << "B=0 report - b";
        QTest::newRow("help alone") << Args("--help") << "help";
        QTest::newRow("short help in a cluster") << Args("-sh") << "help";
        QTest::newRow("version") << Args("-V") << "version";
        QTest::newRow("quiet") << Args("-s a b") << "B=0 quiet a b";
        QTest::newRow("quiet, abbreviated") << Args("a b --q") << "B=0 quiet a b";
        QTest::newRow("first") << Args("--first a b") << "B=0 first a b";
        QTest::newRow("json") << Args("--j a b") << "B=0 json a b";
        QTest::newRow("range") << Args("--range 0x10:31 a b") << "B=0 report a b range=16:31";
        QTest::newRow("range, quiet") << Args("-s --range=0:0x7FFFFFFFFFFFFFFF a b")
                                      << "B=0 quiet a b range=0:9223372036854775807";
        QTest::newRow("dump inside a range") << Args("--range=100:200 --dump=0:150 a b")
                                             << "B=0 dump a b dump=100:150 range=100:200";
        QTest::newRow("dump, hex") << Args("--dump=0x80:0XbF a b") << "B=0 dump a b dump=128:191";
        QTest::newRow("dump of 2^31 bytes") << Args("--dump=0x100000000:6442450943 a b")
                                            << "B=0 dump a b dump=4294967296:6442450943";
        QTest::newRow("largest offset")
            << Args("--dump=0x7FFFFFFFFFFFFFFF:0x7FFFFFFFFFFFFFFF a b")
            << "B=0 dump a b dump=9223372036854775807:9223372036854775807";
        QTest::newRow("picture, default size")
            << Args("--png=m.png a b") << "B=0 report a b png=m.png 1024x768";
        QTest::newRow("picture, odd size")
            << Args("--si 333x200 --png=m.png a b") << "B=0 report a b png=m.png 333x200";
        QTest::newRow("picture, smallest")
            << Args("--png=m.png --size=5x5 a b") << "B=0 report a b png=m.png 5x5";
        QTest::newRow("picture, largest")
            << Args("--png=m.png --size=16384x16384 a b") << "B=0 report a b png=m.png 16384x16384";
        QTest::newRow("picture of a range, in JSON") << Args("--json --range=1:2 --png=m.png a b")
                                                     << "B=0 json a b range=1:2 png=m.png 1024x768";

        QTest::newRow("not a power of two")
            << Args("--bl=3000 a b") << NotAPowerOfTwo("--bl", "3000");
        QTest::newRow("too large")
            << Args("-b 2147483648 a b") << NotAPowerOfTwo("-b", "2147483648");
        QTest::newRow("zero") << Args("--block-size=0 a b") << NotAPowerOfTwo("--block-size", "0");
        QTest::newRow("unknown short") << Args("-x a b") << "unknown option '-x'";
        QTest::newRow("unknown in a cluster") << Args("-sx a b") << "unknown option '-x'";
        QTest::newRow("unknown long") << Args("a b --fast=1") << "unknown option '--fast'";
        QTest::newRow("value to a switch") << Args("--qu=1 a b") << "option '--qu' takes no value";
        QTest::newRow("missing value") << Args("a b --bl") << "option '--bl' needs a value";
        QTest::newRow("missing short value") << Args("a b -b") << "option '-b' needs a value";
        QTest::newRow("one file") << Args("a") << "two files are needed";
        QTest::newRow("three files") << Args("a -- b c") << "more than two files given";
        QTest::newRow("quiet with json")
            << Args("--json -s a b") << "-s prints nothing, so it goes with no --json";
        QTest::newRow("quiet with first")
            << Args("--first --quiet a b") << "--quiet prints nothing, so it goes with no --first";
        QTest::newRow("quiet with dump")
            << Args("--q --d=0:1 a b") << "--q prints nothing, so it goes with no --d";
        QTest::newRow("first with json")
            << Args("--json --fi a b") << "--fi and --json are two outputs; choose one";
        QTest::newRow("json with dump")
            << Args("--dump 0:1 --json a b") << "--json and --dump are two outputs; choose one";
        QTest::newRow("range reversed")
            << Args("--range=10:9 a b") << BadRange("--range", "10:9", false);
        QTest::newRow("range not a number") << Args("--r 1:x a b") << BadRange("--r", "1:x", false);
        QTest::newRow("range without a first")
            << Args("--range=:5 a b") << BadRange("--range", ":5", false);
        QTest::newRow("range beyond any file")
            << Args("--range=0:0x8000000000000000 a b")
            << BadRange("--range", "0:0x8000000000000000", false);
        QTest::newRow("dump outside the range")
            << Args("--dump=0:9 --range=10:20 a b") << "the --dump range lies outside the --range";
        QTest::newRow("dump one byte too many")
            << Args("--dump=0:0x80000000 a b") << BadRange("--dump", "0:0x80000000");
        QTest::newRow("dump reversed") << Args("--dump=10:9 a b") << BadRange("--dump", "10:9");
        QTest::newRow("dump without a colon")
            << Args("--dump=100 a b") << BadRange("--dump", "100");
        QTest::newRow("size zero") << Args("--png=m.png --size=0x768 a b") << BadSize("0x768");
        QTest::newRow("no square fits")
            << Args("--png=m.png --size=1024x4 a b") << BadSize("1024x4");
        QTest::newRow("size absurd")
            << Args("--png=m.png --size=16385x768 a b") << BadSize("16385x768");
        QTest::newRow("size beyond 32 bits")
            << Args("--png=m.png --size=4294967301x5 a b") << BadSize("4294967301x5");
        QTest::newRow("one side") << Args("--png=m.png --size=1024 a b") << BadSize("1024");
        QTest::newRow("three sides")
            << Args("--png=m.png --size=10x10x10 a b") << BadSize("10x10x10");
        QTest::newRow("hex sides")
            << Args("--png=m.png --size=0x100x0x100 a b") << BadSize("0x100x0x100");
        QTest::newRow("signed sides") << Args("--png=m.png --size=-5x-5 a b") << BadSize("-5x-5");
        QTest::newRow("picture without a name")
            << Args("--png= a b") << "option '--png' needs the name of the picture to write";
        QTest::newRow("size alone")
            << Args("--size=640x480 a b") << "--size is the size of the picture; it needs --png";
        QTest::newRow("picture with a block size")
            << Args("--png=m.png -b 4096 a b")
            << "--png takes the window's block size; leave out -b";
        QTest::newRow("picture with a dump") << Args("--png=m.png --dump=0:1 a b")
                                             << "--dump compares nothing, so it draws no --png";
        QTest::newRow("picture with quiet")
            << Args("--p=m.png -s a b") << "-s stops at the first difference, so it draws no --p";
    }
    void arguments() {
        const auto [args, outcome] = Fetch<QStringList, QString>("args", "outcome");
        CMapOptions options;
        std::string strError;
        const bool bTaken = ParseMapArgs(StdList(args), options, strError);
        QCOMPARE(bTaken ? Taken(options) : QString::fromStdString(strError), outcome);
        // Twice in one process, as the fuzzer and the tests call it: nothing carries over.
        CMapOptions again;
        std::string strAgain;
        QCOMPARE(ParseMapArgs(StdList(args), again, strAgain), bTaken);
        QCOMPARE(strAgain, strError);
    }

    void defaultBlockSize() {
        QCOMPARE(DefaultBlockSize(0), 4096u);
        QCOMPARE(DefaultBlockSize(1ull << 32), 4096u);
        QCOMPARE(DefaultBlockSize((1ull << 32) + 1), 8192u);
        QCOMPARE(DefaultBlockSize(~0ull / 2), 1u << 30);
        QCOMPARE(DefaultBlockSize(~0ull), 1u << 30);
    }

    // Offsets are file offsets: a span that starts further on moves every run with it.
    void reportListsRunsOfUnequalBlocks_data() {
        Columns<qulonglong>("first");
        QTest::newRow("from the start") << 0ull;
        QTest::newRow("from above 4 GiB") << 0x100000000ull;
    }
    void reportListsRunsOfUnequalBlocks() {
        const auto [first] = Fetch<qulonglong>("first");
        CBlockStateArray states;
        SetStates(states, "2332522440"); // the last block is past the nine reported
        auto line = [first](const char* pszState, qulonglong nFirst, qulonglong nLast) {
            return QString::asprintf("%s 0x%016llX 0x%016llX\n", pszState, first + nFirst,
                                     first + nLast);
        };
        QCOMPARE(
            QString::fromStdString(FormatReport(states, CBlockSpan{first, first + 140, 16, 9})),
            "blocks=9 block_size=16 equal=4 different=2 length_differs=2 read_error=1\n" +
                line("different", 0x10, 0x2F) + line("read-error", 0x40, 0x4F) +
                line("length-differs", 0x70, 0x8B));
    }

    // As cmp: 1 a difference, 2 a block unread or never compared (0 below, for equal files).
    void exitStatus_data() {
        Columns<QByteArray, int>("states", "status");
        QTest::newRow("different") << QByteArray("23") << 1;
        QTest::newRow("length differs") << QByteArray("42") << 1;
        QTest::newRow("read error") << QByteArray("352") << 2;
        QTest::newRow("pending") << QByteArray("320") << 2;
    }
    void exitStatus() {
        const auto [states, status] = Fetch<QByteArray, int>("states", "status");
        CBlockStateArray array;
        SetStates(array, states);
        QCOMPARE(ExitStatusFor(CountStates(array, uint32_t(states.size()))), status);
    }

    // The real program, as a script runs it: exit status 0 all equal, 1 a difference, 2
    // trouble, which standard error tells and the rest standard output; --dump prints the
    // tooltip's text.
    void runs_data() {
        Columns<QStringList, int, QString>("args", "status", "text");
        // Files of zeros, the second of a pair with 01 at one offset.
        auto files = [this](const char* pszName, uint64_t nLength, uint64_t nAt) {
            return QStringList{
                "--",
                QString::fromStdString(WriteFile(m_dir, QString("1 & <b>") + pszName, {}, nLength)),
                QString::fromStdString(
                    WriteFile(m_dir, pszName, nAt < nLength ? "\x01" : "", nLength, nAt))};
        };
        QTest::newRow("equal") << files("-equal", 10000, 10000) << 0
                               << "blocks=3 block_size=4096 equal=3 different=0 length_differs=0 "
                                  "read_error=0\n";
        QTest::newRow("one byte differs")
            << QStringList{"--block-size=1024"} + files("-differs", 10000, 5000) << 1
            << "blocks=10 block_size=1024 equal=9 different=1 length_differs=0 read_error=0\n"
               "different 0x0000000000001000 0x00000000000013FF\n";
        QTest::newRow("both empty") << files("-empty", 0, 0) << 0
                                    << "blocks=0 block_size=4096 equal=0 different=0 "
                                       "length_differs=0 read_error=0\n";
        const uint64_t nBig = (1ull << 32) + 8192;
        QTest::newRow("beyond 4 GiB")
            << QStringList{"--block-size=1048576"} + files("-big", nBig, nBig - 1) << 1
            << "blocks=4097 block_size=1048576 equal=4096 different=1 length_differs=0 "
               "read_error=0\ndifferent 0x0000000100000000 0x0000000100001FFF\n";
        QByteArray second = Pattern(0x2F8);
        second[0x123] = char(~second[0x123]);
        const QString strFile = QString::fromStdString(WriteFile(m_dir, "-dump 1", Pattern(0x300)));
        const QString strSecond = QString::fromStdString(WriteFile(m_dir, "dump <2>", second));
        CInputFile file1;
        CInputFile file2;
        QVERIFY(file1.Open(strFile.toStdString()) && file2.Open(strSecond.toStdString()));
        const QString strDump = QString::fromStdString(BuildHexDump(file1, file2, 0x100, 0x2FF));
        QVERIFY(strDump.contains("\n00000120: "));
        QTest::newRow("dump") << QStringList{"--dump=0x100:767", "--", strFile, strSecond} << 0
                              << strDump + "\n";
        const QString strMissing = m_dir.filePath("missing");
        const QString strFifo = m_dir.filePath("fifo");
        QCOMPARE(::mkfifo(strFifo.toLocal8Bit().constData(), 0600), 0);
        const QString strUsage = QString::fromStdString(MapUsage()) + "\n";
        QTest::newRow("missing first") << QStringList{strMissing, strFile} << 2
                                       << strMissing + ": No such file or directory\n";
        QTest::newRow("directory second")
            << QStringList{strFile, m_dir.path()} << 2 << m_dir.path() + ": Is a directory\n";
        QTest::newRow("fifo never blocks")
            << QStringList{strFifo, strFile} << 2 << strFifo + ": Illegal seek\n";
        QTest::newRow("unknown option") << QStringList{"--fast", strFile, strFile} << 2
                                        << "unknown option '--fast'\n" + strUsage;
        QTest::newRow("dump of a missing file")
            << QStringList{"--dump=0:15", strFile, strMissing} << 2
            << strMissing + ": No such file or directory\n";
        QTest::newRow("too many blocks")
            << QStringList{"--block-size=1", strFile,
                           QString::fromStdString(WriteFile(m_dir, "sparse", {}, (1 << 30) + 1))}
            << 2
            << "block size 1 gives 1073741825 blocks, more than 1073741824; choose a larger one\n" +
                   strUsage;
    }
    void runs() {
        const auto [args, status, text] =
            Fetch<QStringList, int, QString>("args", "status", "text");
        QProcess process;
        process.start(QUILLET_BIN_DIR "/quillet-map", args);
        QVERIFY(process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit);
        const QString strOut = QString::fromUtf8(process.readAllStandardOutput());
        const QString strErr = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(status == 2 ? strErr : strOut, status == 2 ? "quillet-map: " + text : text);
        QCOMPARE(status == 2 ? strOut : strErr, QString());
        QCOMPARE(process.exitCode(), status);
    }

    // A picture that cannot be written is trouble, and nothing is left where it was to go.
    void pictureTrouble_data() {
        // fileLimit > 0 caps the size of any file the program writes, as a full disk would.
        Columns<QString, QString, int, qulonglong, QByteArray>("picture", "size", "fileLimit",
                                                               "length", "reason");
        QTest::newRow("missing folder")
            << "missing/map.png"
            << "1024x768" << 0 << 100000ull << QByteArray("No such file or directory");
        QTest::newRow("a folder") << "folder"
                                  << "1024x768" << 0 << 100000ull << QByteArray("Is a directory");
        QTest::newRow("over a file compared")
            << "file"
            << "1024x768" << 0 << 100000ull
            << QByteArray("is one of the files compared; name another picture");
        QTest::newRow("disk full while writing")
            << "folder/map.png"
            << "1024x768" << 100 << 100000ull << QByteArray("File too large");
        // The one square of a 5 x 5 map would need a block above 2^30 bytes.
        QTest::newRow("too small for the file")
            << "map.png"
            << "5x5" << 0 << (1ull << 30) + 1
            << QByteArray("a map of 5x5 cannot show files this long; choose a larger --size");
    }
    void pictureTrouble() {
        const auto [picture, size, fileLimit, length, reason] =
            Fetch<QString, QString, int, qulonglong, QByteArray>("picture", "size", "fileLimit",
                                                                 "length", "reason");
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        const QString strFile = QString::fromStdString(WriteFile(dir, "file", {}, length));
        const QString strPath = dir.filePath(picture);
        QProcess process;
        const rlim_t nLimit = rlim_t(fileLimit);
        if (nLimit > 0)
            process.setChildProcessModifier([nLimit] {
                const struct rlimit limit = {nLimit, nLimit};
                ::setrlimit(RLIMIT_FSIZE, &limit);
                ::signal(SIGXFSZ, SIG_IGN);
            });
        process.start(QUILLET_BIN_DIR "/quillet-map",
                      {"--png=" + strPath, "--size=" + size, strFile, strFile});
        QVERIFY(process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit);
        QCOMPARE(process.readAllStandardError(),
                 "quillet-map: " + strPath.toUtf8() + ": " + reason + "\n");
        QCOMPARE(process.exitCode(), 2);
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System;
        QCOMPARE(QDir(dir.path()).entryList(all, QDir::Name), QStringList({"file", "folder"}));
        QVERIFY(QDir(dir.filePath("folder")).isEmpty(all));
    }

    void progressLine_data() {
        Columns<int, qlonglong, qulonglong, QString>("progress", "elapsedMs", "bytes", "line");
        QTest::newRow("at the start") << 0 << 0ll << 0ull << "  0.00%  0.0s  0 MB/s";
        QTest::newRow("hundredths kept") << 5 << 49ll << 0ull << "  0.05%  0.0s  0 MB/s";
        QTest::newRow("part way") << 1234 << 2500ll << 250000000ull << " 12.34%  2.5s  100 MB/s";
        QTest::newRow("done") << 10000 << 1000ll << 1000000000ull << "100.00%  1.0s  1000 MB/s";
        QTest::newRow("hours and 64 GiB")
            << 9999 << 7384000ll << (64ull << 30) << " 99.99%  7384.0s  9 MB/s";
        QTest::newRow("largest count in a millisecond")
            << 1 << 1ll << ~0ull << "  0.01%  0.0s  18446744073709552 MB/s";
    }
    void progressLine() {
        const auto [progress, elapsedMs, bytes, line] =
            Fetch<int, qlonglong, qulonglong, QString>("progress", "elapsedMs", "bytes", "line");
        QCOMPARE(QString::fromStdString(FormatProgressLine(progress, elapsedMs, bytes)), line);
    }
};

QTEST_GUILESS_MAIN(TestMapCli)
#include "tst_mapcli.moc"
