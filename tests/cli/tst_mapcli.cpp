// quillet-map: refusals, then runs on files made here, each also with -s, --first and --json.
#include "cli/mapcli.h"
#include "cli/mapstream.h"
#include "cli/mapunits.h"
#include "tests/testutil.h"
#include "ui/pathtext.h"

#include <QtTest>

#include <csignal>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <thread>

using namespace testutil;

#define USAGE                                                                                      \
    "\nUsage: quillet-map [OPTION]... [--] FILE1 FILE2\nTry 'quillet-map --help' for more "        \
    "information."

namespace {
// The report from "BLOCKS SIZE EQUAL DIFFERENT LENGTH READ; STATE FIRST LAST [AT]; ...", in hex.
QByteArray Report(const QByteArray& brief) {
    QString str = "blocks=%1 block_size=%2 equal=%3 different=%4 length_differs=%5 read_error=%6\n";
    for (const QByteArray& n : brief.split(';')[0].split(' '))
        str = str.arg(QString::fromLatin1(n));
    for (const QByteArray& run : brief.split(';').mid(1)) {
        const QList<QByteArray> r = run.trimmed().split(' ');
        str += QString::asprintf("%s 0x%016llX 0x%016llX\n", r[0].constData(),
                                 r[1].toULongLong(nullptr, 16), r[2].toULongLong(nullptr, 16));
    }
    return str.toUtf8();
}

struct CRun {
    QByteArray err, out; // err: what follows the progress, if any
    int nStatus;
    bool bProgress;
    qint64 nLeft; // what the pipe on standard input still held
    QByteArray Told() const { return err + out + char('0' + nStatus); }
};

// The name quillet-map is given for "pipe<NAME", "nbpipe<NAME" (non-blocking) and "file<NAME"
// (standard input) and for
// "fifo<NAME" (the FIFO "fifo"); the file whose bytes it holds.
QByteArray Typed(const QByteArray& arg) {
    return !arg.contains('<') ? arg : QByteArray(arg.startsWith("fifo") ? "fifo" : "-");
}
QByteArray Source(const QByteArray& arg) {
    return arg.mid(arg.indexOf('<') + 1);
}

// In this process, on a terminal, with any file written held to 100 bytes as by a full disk.
// A pipe or the FIFO is filled by a thread, at the pace quillet-map reads.
CRun Run(QByteArrayList args) {
    int nStdin = -1, fds[2] = {-1, -1};
    std::thread writer;
    for (QByteArray& arg : args) {
        const QByteArray kind = arg.left(arg.indexOf('<')), source = Source(arg);
        arg = Typed(arg);
        if (kind == "file")
            nStdin = ::open(source, O_RDONLY | O_CLOEXEC);
        else if (kind.endsWith("pipe") && ::pipe2(fds, O_CLOEXEC) == 0)
            nStdin = fds[0];
        if (kind == "nbpipe") // as some programs leave the standard input they hand over
            ::fcntl(nStdin, F_SETFL, O_NONBLOCK);
        QFile file(source);
        if ((kind.endsWith("pipe") || kind == "fifo") && file.open(QIODevice::ReadOnly))
            writer = std::thread([bytes = file.readAll(), fd = fds[1]] {
                const int w = fd >= 0 ? fd : ::open("fifo", O_WRONLY | O_CLOEXEC);
                [[maybe_unused]] const ssize_t n = ::write(w, bytes.data(), size_t(bytes.size()));
                ::close(w);
            });
    }
    std::ostringstream out, err;
    rlimit saved = {}, limit = {100, RLIM_INFINITY};
    ::prlimit(0, RLIMIT_FSIZE, &limit, &saved);
    const int nStatus = RunMap({args.begin(), args.end()}, out, err, true, nStdin);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    qint64 nLeft = 0;
    char buffer[65536];
    for (ssize_t n; fds[0] >= 0 && ::fcntl(fds[0], F_SETFL, 0) == 0 &&
                    (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        nLeft += n;
    if (writer.joinable())
        writer.join();
    ::close(nStdin);
    const size_t n = err.str().rfind("\033[K");
    return {QByteArray::fromStdString(err.str().substr(n == std::string::npos ? 0 : n + 3)),
            QByteArray::fromStdString(out.str()), nStatus, n != std::string::npos, nLeft};
}

QStringList Snapshot() { // every file under the working folder, with its size
    QStringList entries;
    QDirIterator it(".", QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next() + QString::number(it.fileInfo().size());
    return entries;
}
} // namespace

class TestMapCli : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    CInstalledFaultyFileSystem m_faulty; // reads of "locked" fail from 4096 to 8191

private slots:
    void arguments() { // how the reason begins; what is taken shows in the runs below
        const char* const kRows[][2] = {
            {"--bl=3000 a b", "option '--bl': block size '3000' is not a power of two from 1 to"},
            {"-b 0 a b", "option '-b': block size '0' is not"},
            {"--=1 a b", "option '--' is ambiguous"},
            {"--qu=1 a b", "option '--qu' takes no value"},
            {"a b --bl", "option '--bl' needs a value"},
            {"a", "two files are needed"},
            {"a -- b c", "more than two files given"},
            {"--json -s a b", "-s prints nothing, so it goes with no --json"},
            {"--json --fi a b", "--fi and --json are two outputs; choose one"},
            {"--range=10:9 a b", "option '--range': range '10:9' is not FIRST:LAST, offsets in"},
            {"--range=1x5:9 a b", "option '--range': range '1x5:9' is not"},
            {"--range=0:0x8000000000000000 a b",
             "option '--range': offset '0x8000000000000000' is too large; the most is"},
            {"--range=bad --json a b", "option '--range': range 'bad' is not FIRST:LAST"},
            {"--json --range=1:99999999999999999999 a b", "option '--range': offset '999"},
            {"-b 2G a b", "option '-b': block size '2G' is too large; the most is 1073741824"},
            {"-b 1kB a b", "option '-b': block size '1kB' is not a power of two"},
            {"-s- a b", "invalid option -- '-'"},
            {"-- - -", "standard input ('-') can stand for one of the files only"},
            {"--png=- --js a b", "--png=- and --js both write to standard output; choose one"},
            {"--dump=1: a b", "option '--dump': dump range '1:' is not"},
            {"--dump=0:9 --range=10:20 a b", "the --dump range lies outside the --range"},
            {"--dump=0:0x80000000 a b", "option '--dump': dump range '0:0x80000000' is not"},
            {"--png=m --size=4x768 a b", "option '--size': map size '4x768' is not WxH with"},
            {"--png=m --size=16385x5 a b", "option '--size': map size '16385x5' is not"},
            {"--png=m --size=10x0x10 a b", "option '--size': map size '10x0x10' is not"},
            {"--png= a b", "option '--png' needs the name of the picture to write"},
            {"--size=640x480 a b", "--size is the size of the picture; it needs --png"},
            {"--png=m -b 4096 a b", "--png takes the window's block size; leave out -b"},
            {"--png=m --dump=0:1 a b", "--dump compares nothing, so it draws no --png"},
            {"--p=m -s a b", "-s stops at the first difference, so it draws no --p"},
            {"--align -s a b", "-s stops at the first block that differs, so it goes with no --a"},
            {"--first --al a b", "--first stops at the first block that differs, so it goes wi"},
            {"--dump=0:9 --al a b", "--dump shows bytes at one offset in both files, so it goes"},
            {"--json --al --range=0:9 a b",
             "--al follows bytes wherever they moved, so it takes the whole files; leave out --ra"},
            {"--al -b 4K a b", "--al compares no blocks; leave out -b"}};
        for (const auto& [args, reason] : kRows) { // all in one process, as the fuzzer runs it
            const CRun run = Run(QByteArray(args).split(' '));
            // --json anywhere before "--" has the reason told as a document too.
            const QByteArray json = "{\"format\":1,\"error\":\"" +
                                    run.err.mid(13, run.err.indexOf('\n') - 13) +
                                    "\",\"status\":2}";
            QVERIFY2(run.nStatus == 2 && run.err.startsWith("quillet-map: " + QByteArray(reason)) &&
                         run.err.endsWith(USAGE "\n") &&
                         run.out == (QByteArray(args).contains("--j") ? json + '\n' : ""),
                     args);
        }
    }

    void units() { // the suffix table, as GNU tools read sizes: TEXT=VALUE, big or bad
        for (const QByteArray& row :
             QByteArray("4K=4096 3k=3072 1KiB=1024 1kB=1000 1KB=1000 1M=1048576 1MB=1000000 "
                        "2G=2147483648 5TB=5000000000000 1PiB=1125899906842624 0Q=0 0x1E=30 "
                        "7E=8070450532247928832 0x10K=16384 16E=big 1Z=big 1RB=big K=bad 1X=bad "
                        "18446744073709551616=big 1Ki=bad 1iB=bad =bad 0x=bad -1=bad 1K2=bad")
                 .split(' ')) {
            uint64_t n = 0;
            const QByteArray text = row.left(row.indexOf('=')), words[] = {"", "bad", "big"};
            const auto e = size_t(ParseByteCount(text.toStdString(), UINT64_MAX, n)); // Ok is 0
            QCOMPARE(text + '=' + (e ? words[e] : QByteArray::number(n)), row);
        }
    }

    void initTestCase() {
        ::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the program
        ::signal(SIGPIPE, SIG_IGN); // as does a write to a FIFO whose reader stopped early
        QVERIFY(QDir::setCurrent(m_dir.path()) && ::mkfifo("fifo", 0600) == 0);
        QByteArray bytes = Pattern(10000);
        for (const char* pszName : {"base", "same", "locked", "a & b", "new\nline", "not UTF-8"})
            WriteFile(m_dir, pszName, bytes);
        ::rename("not UTF-8", "\xff\xfe not UTF-8");
        WriteFile(m_dir, "-x", bytes.replace(9999, 1, "x"));
        WriteFile(m_dir, "longer", Pattern(600000)); // more than the worker reads at once
        WriteFile(m_dir, "wide", Pattern(600000, 1));
        WriteFile(m_dir, "empty", {});
        // Random bytes, where content-defined chunks find where the files agree again.
        QByteArray random(600000, Qt::Uninitialized);
        std::mt19937 generator(24);
        for (char& c : random)
            c = char(generator());
        WriteFile(m_dir, "r", random);
        WriteFile(m_dir, "r-4096@300000", QByteArray(random).remove(300000, 4096));
        WriteFile(m_dir, "rmove",
                  random.left(100000) + random.mid(200000) + random.mid(100000, 100000));
        WriteFile(m_dir, "r+1@5000", Pattern(10000).insert(5000, 'Q'));
        WriteFile(m_dir, "big1", {}, (1ull << 32) + 8192);
        WriteFile(m_dir, "big2", "\x01", (1ull << 32) + 8192, (1ull << 32) + 100);
        WriteFile(m_dir, "huge", {}, (1ull << 30) + 1);
        QVERIFY(QDir().mkdir("dir"));
        std::tie(m_faulty.strFailPath, m_faulty.nFailFirst, m_faulty.nFailEnd) =
            std::tuple("locked", 4096, 8192);
    }
    void cleanupTestCase() { ::unlink("\xff\xfe not UTF-8"); } // a name Qt cannot spell

    void runs_data() {
        // args split at '|'; out as Report() reads it, the first run ending where --first points;
        // err without "quillet-map: " and "\n"; reads: the most -s and --first make together.
        Columns<QByteArrayList, QByteArray, QByteArray, int>("cmd", "out", "err", "reads");
        auto row = [](QByteArray args, const char* out, QByteArray err = {}, int most = INT_MAX) {
            QTest::newRow(args.toPercentEncoding(" |&<>-./:=")) // one printable line
                << args.split('|') << QByteArray(out) << err << most;
        };
        auto sys = [](int nErrno) { return ErrorText(nErrno).toLocal8Bit(); };
        row("--|base|-x", "3 4096 2 1 0 0; different 2000 270F 270F");
        row("--range|0x1:0x270F|base|./-x", "3 4096 2 1 0 0; different 2001 270F 270F");
        row("--range=0:9999|base|longer", "3 4096 3 0 0 0");
        row("--range=0x2000:0x7FFFFFFFFFFFFFFF|base|longer",
            "145 4096 0 0 145 0; length-differs 2000 927BF 2710", {}, 5);
        row("longer|wide", "147 4096 0 147 0 0; different 0 927BF 0", {}, 6);
        row("empty|empty", "0 4096 0 0 0 0");
        row("big1|big2", "524289 8192 524288 1 0 0; different 100000000 100001FFF 100000064");
        row("base|locked", "3 4096 2 0 0 1; read-error 1000 1FFF", "1 blocks could not be read");
        row("--range=20000:30000|base|same", "0 4096 0 0 0 0"); // nothing compared is equal
        row("--range=0:10|empty|empty", "0 4096 0 0 0 0");
        row("--range|8K:|base|./-x", "1 4096 0 1 0 0; different 2000 270F 270F");
        row("-b|4K|--range=0x2000:|pipe<base|longer",
            "145 4096 0 0 145 0; length-differs 2000 927BF 2710");
        row("longer|nbpipe<wide", "147 4096 0 147 0 0; different 0 927BF 0");
        row("fifo<longer|wide", "147 4096 0 147 0 0; different 0 927BF 0");
        row("file<base|./-x", "3 4096 2 1 0 0; different 2000 270F 270F");
        row("pipe<base|locked", "", "locked: " + sys(EIO));
        row("--png=dir/m.png|file<base|same", "10000 1 10000 0 0 0", "dir/m.png: " + sys(EFBIG));
        row("--png=m.png|pipe<base|same", "", "-: is a pipe; --png needs the length first");
        row("--dump=0:9|base|fifo", "", "fifo: is a FIFO; --dump needs the length first");
        row("base|missing \xff", "", "missing \xff: " + sys(ENOENT));
        row("base|dir", "", "dir: " + sys(EISDIR));
        row("/dev/zero|base", "", "/dev/zero: is a character device, not compared");
        row("/proc/self/status|/proc/self/maps", "",
            "/proc/self/status: its length is given as 0 but it has content");
        row("--fast|base|same", "", "unknown option '--fast'" USAGE);
        row("-b1|huge|huge", "",
            "block size 1 gives 1073741825 blocks, more than 1073741824; choose a larger "
            "one" USAGE);
        row("--png=same|base|same", "", "same: is one of the files compared; name another picture");
        row("--png=dir/m.png|base|same", "10000 1 10000 0 0 0", "dir/m.png: " + sys(EFBIG));
        row("--png=m.png|--size=5x5|huge|huge", "",
            "m.png: a map of 5x5 cannot show files this long; choose a larger --size");
        for (const char* pszName : {"a & b", "new\nline", "\xff\xfe not UTF-8"})
            row(QByteArray(pszName) + "|base", "3 4096 3 0 0 0");
    }
    void runs() {
        const auto [args, brief, why, reads] =
            Fetch<QByteArrayList, QByteArray, QByteArray, int>("cmd", "out", "err", "reads");
        const QByteArray out = brief.isEmpty() ? brief : Report(brief);
        const int status = why.isEmpty() ? out.count('\n') > 1 : 2; // 1: a run not equal
        const QByteArray err = why.isEmpty() ? why : "quillet-map: " + why + '\n';
        const QStringList before = Snapshot();
        QCOMPARE(Run(args).Told(), err + out + char('0' + status));
        QCOMPARE(Snapshot(), before);
        if (args.join().contains("--png") || args.join().contains("--dump"))
            return;
        const QByteArray arg1 = args[args.size() - 2], arg2 = args.last();
        const bool bShorter1 = QFileInfo(Source(arg1)).size() < QFileInfo(Source(arg2)).size();
        const QList<QByteArray> run = brief.split(';').value(1).trimmed().split(' '); // the first
        const qulonglong n = run.value(3).toULongLong(nullptr, 16);
        m_faulty.nReads = 0;
        const CRun quiet = Run(QByteArrayList{"-s"} + args); // the status alone, no progress
        QCOMPARE(quiet.Told() + char('0' + quiet.bProgress), err + char('0' + status) + '0');
        const QByteArray piped = arg1.contains("pipe<") ? arg1 : arg2;
        if (piped.contains("pipe<") && status == 1) // no further than the first difference
            QCOMPARE_LE(QFileInfo(Source(piped)).size() - quiet.nLeft, qint64(n + kStreamChunk));
        const CRun first = Run(QByteArrayList{"--first"} + args);
        QCOMPARE_LE(m_faulty.nReads.load(), reads);
        const QByteArray ended = Typed(bShorter1 ? arg1 : arg2); // where the lengths part
        const QByteArray eof = run[0] == "length-differs" ? " EOF on " + ended : "";
        const QString strAt = QString::asprintf("%s %llu 0x%016llX", run[0].data(), n, n) + eof;
        QCOMPARE(first.Told(),
                 err + (status == 1 ? strAt.toUtf8() + '\n' : "") + char('0' + status));
        // JSON tells what the text does, and the paths byte for byte as the window shows them.
        const CRun json = Run(QByteArrayList{"--json"} + args);
        QCOMPARE(json.err + char('0' + json.nStatus), err + char('0' + status));
        const QJsonObject doc = QJsonDocument::fromJson(json.out).object();
        auto text = [](auto b) { return QString::fromStdU16String(PathToText(b.toStdString())); };
        QCOMPARE(doc["format"].toInt() * 10 + doc["status"].toInt(-1), 10 + status);
        QCOMPARE(doc["error"].toString(),
                 text(why.chopped(why.endsWith(USAGE) ? sizeof USAGE - 1 : 0)));
        QCOMPARE(doc["eof"].toString(),
                 out.contains("length-differs") ? bShorter1 ? "file1" : "file2" : "");
        QString told = // the JSON's counts and runs, as the text report shows them
            QString::asprintf("%lld %lld", doc["blocks"].toInteger(),
                              doc["block_size"].toInteger());
        for (const char* pszCount : {"equal", "different", "length_differs", "read_error"})
            told += ' ' + QString::number(doc["counts"][pszCount].toInteger());
        for (const QJsonValue& run : doc["runs"].toArray()) {
            QVERIFY(!run["state"].toString().contains('-')); // snake_case, as every name
            told += QString::asprintf("; %s %llx %llx",
                                      qPrintable(run["state"].toString().replace('_', '-')),
                                      run["first"].toInteger(), run["last"].toInteger());
        }
        QCOMPARE(out.isEmpty() ? QByteArray() : Report(told.toUtf8()), out);
        QCOMPARE(doc["file1"]["path"].toString() + doc["file2"]["path"].toString(),
                 out.isEmpty() ? "" : text(Typed(arg1)) + text(Typed(arg2)));
    }

    // --align on pairs made by one edit: the text, the same told as JSON, and its exit status.
    void aligned_data() {
        Columns<QByteArrayList, QByteArray, QByteArray, int>("cmd", "out", "err", "status");
        auto row = [](const char* args, QByteArray out, QByteArray err = {}, int status = 1) {
            QTest::newRow(args) << QByteArray(args).split('|') << out.replace(';', '\n') << err
                                << status;
        };
        auto sys = [](int nErrno) { return ErrorText(nErrno).toLocal8Bit(); };
        const char* const kSummary = "segments=%d equal=%d different=%d inserted=%d deleted=%d "
                                     "moved=%d read_error=%d complete=yes;";
        auto summary = [&](auto... n) { return QString::asprintf(kSummary, n...).toUtf8(); };
        row("base|same", summary(1, 1, 0, 0, 0, 0, 0), {}, 0);
        row("empty|empty", summary(0, 0, 0, 0, 0, 0, 0), {}, 0);
        row("base|r+1@5000", summary(3, 2, 0, 1, 0, 0, 0) +
                                 "inserted 0x0000000000001388+0 0x0000000000001388+1;"
                                 "equal 0x0000000000001388+5000 0x0000000000001389+5000 +1;");
        row("r+1@5000|base", summary(3, 2, 0, 0, 1, 0, 0) +
                                 "deleted 0x0000000000001388+1 0x0000000000001388+0;"
                                 "equal 0x0000000000001389+5000 0x0000000000001388+5000 -1;");
        row("base|./-x",
            summary(2, 1, 1, 0, 0, 0, 0) + "different 0x000000000000270F+1 0x000000000000270F+1;");
        row("base|longer", summary(2, 1, 0, 1, 0, 0, 0) +
                               "inserted 0x0000000000002710+0 0x0000000000002710+590000;");
        row("empty|base", summary(1, 0, 0, 1, 0, 0, 0) +
                              "inserted 0x0000000000000000+0 0x0000000000000000+10000;");
        row("r|r-4096@300000",
            summary(3, 2, 0, 0, 1, 0, 0) +
                "deleted 0x00000000000493E0+4096 0x00000000000493E0+0;"
                "equal 0x000000000004A3E0+295904 0x00000000000493E0+295904 -4096;");
        row("r|rmove", summary(3, 2, 0, 0, 0, 1, 0) +
                           "moved 0x00000000000186A0+100000 0x000000000007A120+100000 +400000;"
                           "equal 0x0000000000030D40+400000 0x00000000000186A0+400000 -100000;");
        row("base|locked",
            summary(3, 2, 0, 0, 0, 0, 1) +
                "read-error 0x0000000000001000+4096 0x0000000000001000+4096;",
            "1 segments could not be read", 2);
        row("base|missing", "", "missing: " + sys(ENOENT), 2);
        row("pipe<base|same", "",
            "-: is a pipe, read once in order; --align needs to read both files at will", 2);
        row("base|fifo", "",
            "fifo: is a FIFO, read once in order; --align needs to read both files at will", 2);
    }
    void aligned() {
        const auto [args, out, why, status] =
            Fetch<QByteArrayList, QByteArray, QByteArray, int>("cmd", "out", "err", "status");
        const QByteArray err = why.isEmpty() ? why : "quillet-map: " + why + '\n';
        QCOMPARE(Run(QByteArrayList{"--align"} + args).Told(), err + out + char('0' + status));
        if (out.isEmpty())
            return;
        // The JSON lists every segment, in file-1 order, tiling file 1; the text shows the same.
        const CRun json = Run(QByteArrayList{"--json", "--align"} + args);
        const QJsonObject doc = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(doc["status"].toInt(-1) * 10 + json.nStatus, status * 11);
        QVERIFY(!doc.contains("runs") && !doc.contains("blocks"));
        const QJsonObject alignment = doc["alignment"].toObject();
        QByteArray told = out.left(out.indexOf('\n') + 1);
        qint64 nEnd1 = 0;
        QList<std::pair<qint64, qint64>> ranges2;
        for (const QJsonValue& v : alignment["segments"].toArray()) {
            const qint64 o1 = v["offset1"].toInteger(), n1 = v["length1"].toInteger(),
                         o2 = v["offset2"].toInteger(), n2 = v["length2"].toInteger();
            QCOMPARE(o1, nEnd1);
            nEnd1 = o1 + n1;
            ranges2 << std::pair(o2, o2 + n2);
            const QByteArray kind = v["kind"].toString().toUtf8();
            if (kind == "equal" && o1 == o2)
                continue;
            told +=
                QString::asprintf("%s 0x%016llX+%lld 0x%016llX+%lld", kind.data(), o1, n1, o2, n2)
                    .toUtf8();
            if (kind == "equal" || kind == "moved")
                told += QString::asprintf(" %+lld", o2 - o1).toUtf8();
            told += '\n';
        }
        std::sort(ranges2.begin(), ranges2.end());
        qint64 nEnd2 = 0;
        for (const auto& [first, end] : ranges2)
            QCOMPARE(first, std::exchange(nEnd2, end));
        QCOMPARE(nEnd1 * 1000000 + nEnd2,
                 doc["file1"]["length"].toInteger() * 1000000 + doc["file2"]["length"].toInteger());
        QCOMPARE(alignment["complete"].toBool() ? "yes" : "no",
                 out.contains("complete=yes") ? "yes" : "no");
        QCOMPARE(told, out);
    }

    // Read once from a pipe, a pair gives what the engine gives for files, at any block size,
    // with blocks smaller than the reads, astride them and larger; equal pairs too.
    void streamsAnswerAsFiles() {
        QByteArray edges = Pattern(600000);
        for (int at : {32767, 32768, 65536 + 4095, 300001})
            edges[at] = char(~edges[at]);
        WriteFile(m_dir, "edges", edges.left(500001));
        for (const QByteArray b : {"1", "16", "4K", "32K", "64K", "1M"})
            for (const QByteArray mode : {"--json", "--silent", "--first", "--range=32760:"})
                for (const auto& [f1, f2] : {std::pair("edges", "longer"),
                                             {"longer", "edges"},
                                             {"base", "./-x"},
                                             {"empty", "base"},
                                             {"same", "base"}}) {
                    QByteArray told = Run({mode, "-b", b, "pipe<" + QByteArray(f1), f2}).Told();
                    told.replace("EOF on -", "EOF on " + QByteArray(f1));
                    QCOMPARE(told.replace("\"path\":\"-\"", "\"path\":\"" + QByteArray(f1) + '"'),
                             Run({mode, "-b", b, f1, f2}).Told());
                }
    }

    // The smallest power of two from 4096 that keeps 2^20 blocks; help; a dump inside a range
    // shows only the part in the range; no rate yet, rather than an infinite one, at 0 ms.
    void parts() {
        for (uint64_t n : {0ull, 1ull << 32, (1ull << 32) + 1, ~0ull})
            QCOMPARE(DefaultBlockSize(n), n <= 1ull << 32 ? 4096u : n == ~0ull ? 1u << 30 : 8192u);
        QCOMPARE(Run({"-sh"}).Told().toStdString(), MapHelp() + "0");
        const CRun dump = Run({"--dump=9000:9999", "base", "./-x"});
        QVERIFY(dump.out.contains("\n00002708: 5F") && dump.out.contains("[78]") && !dump.nStatus);
        QCOMPARE(Run({"--range=9000:9999", "--dump=0:0XFFFF", "base", "./-x"}).Told(), dump.Told());
        // Past both ends: nothing compared, which is equal; the dump is its frame alone.
        const CRun past = Run({"--dump=20000:20100", "base", "same"});
        QVERIFY(past.out.startsWith("[00004E20 - 00004E84]\n=") && !past.out.contains(": "));
        QCOMPARE(past.nStatus, 0);
        const CRun png = Run({"--png=-", "base", "./-x"}); // the picture alone, whatever the limit
        QVERIFY(png.out.startsWith("\x89PNG\r\n\x1a\n") &&
                png.out.endsWith("IEND\xae\x42\x60\x82"));
        QCOMPARE(png.nStatus, 1);
        QVERIFY(Run({"-V"}).out.contains("\nLicense GPLv3+: GNU GPL version 3 or later"));
        QCOMPARE(QByteArray(FormatProgressLine(5000, 0, 4096).c_str()).right(9), "s  0 MB/s");
        const QByteArray stream = FormatStreamProgressLine(2000000, 1000).c_str(); // no percent
        QVERIFY(stream.startsWith("2 MB  1") && stream.endsWith("s  2 MB/s"));
    }
};

QTEST_GUILESS_MAIN(TestMapCli)
#include "tst_mapcli.moc"
