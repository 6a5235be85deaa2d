// The comparison engine: files opened or refused, one state per block, and holes passed over
// unread with the same states and dumps as a run that reads every byte.
#include "engine/filelayout.h"
#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "view/hexdump.h"

#include <QtTest>

#include <random>

using namespace testutil;

namespace {
// "2*3 4 0" -> "22240"; a text not starting with a digit stands for itself.
QByteArray Runs(const QByteArray& text) {
    if (text.isEmpty() || text[0] < '0' || text[0] > '9')
        return text;
    QByteArray out;
    for (const QByteArray& run : text.split(' '))
        out += QByteArray(run.size() > 1 ? run.mid(2).toInt() : 1, run[0]);
    return out;
}

// One comparison from start to finish, as the window makes it: each block's state as a digit,
// one past the last block too; "refused: why" when it could not start.
struct CRun : IJobSink {
    CBlockStateArray states;
    CLockedText error1, error2;
    std::atomic<uint8_t> bAbort{0};
    CCompareJob* pJob = nullptr;
    std::vector<int32_t> progress; // each value posted
    int nFinished = 0;

    void PostProgress() override { progress.push_back(pJob->m_nProgress.load()); }
    void PostFinished() override { ++nFinished; }
    QByteArray Run(const std::string& strPath1, const std::string& strPath2, uint64_t L, uint32_t B,
                   uint64_t nFirst = 0, bool bStop = false, int32_t nLacking = 0) {
        states.AllocateCount(B ? int32_t((L - nFirst + B - 1) / B) + 1 - nLacking : 1);
        const CJobSetup setup{strPath1, strPath2, L,    B,      &states, &bAbort,
                              &error1,  &error2,  this, nFirst, bStop};
        std::string strError;
        if (!StartCompareJob(pJob, setup, strError))
            return pJob ? "not null" : "refused: " + QByteArray::fromStdString(strError);
        pJob->Join(); // the worker's writes are seen from here on
        delete std::exchange(pJob, nullptr);
        QByteArray out = nFinished == 1 ? "" : "finished " + QByteArray::number(nFinished);
        for (int32_t i = 0; i < states.m_nCount; ++i)
            out += char('0' + states.Get(i));
        return out;
    }
};

// Reads and fails like its base; every look-up by name sees a file of kind nSeeAs; with
// bNoSeekData holes cannot be learnt. Counts opens and closes.
struct CToldFileSystem : CFaultyFileSystem {
    int StatPath(const char* pszPath, struct stat* pStat) override {
        const int nResult = CFaultyFileSystem::StatPath(pszPath, pStat);
        if (nResult == 0 && nSeeAs != 0)
            pStat->st_mode = (pStat->st_mode & ~S_IFMT) | nSeeAs;
        return nResult;
    }
    int Open(const char* pszPath, int nFlags) override {
        ++nOpens;
        bNoCtty = nFlags & O_NOCTTY;
        return CFaultyFileSystem::Open(pszPath, nFlags);
    }
    int Close(int fd) override { return ++nCloses, CFaultyFileSystem::Close(fd); }
    off_t Seek(int fd, off_t nOffset, int nWhence) override {
        return bNoSeekData ? (errno = EINVAL, -1) : CFaultyFileSystem::Seek(fd, nOffset, nWhence);
    }
    mode_t nSeeAs = 0;
    bool bNoSeekData = false, bNoCtty = true;
    std::atomic<int> nOpens{0}, nCloses{0};
};

// Writes bytes and punches holes into runs of whole 4 KiB pages (now and then all of it),
// which then read as zeros, as bytes now does. Returns the runs left as data; nHoles counts the
// holes.
std::vector<std::pair<int64_t, int64_t>> WriteHoley(const std::string& strPath, QByteArray& bytes,
                                                    unsigned nSeed, int& nHoles) {
    std::mt19937 random(nSeed);
    std::vector<std::pair<int64_t, int64_t>> data;
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
        qFatal("cannot write %s", strPath.c_str());
    const bool bAll = random() % 8 == 0;
    bool bHole = random() % 2;
    for (int64_t n = 0, nRun = 0; n < bytes.size(); n += nRun, bHole = !bHole) {
        nRun =
            bAll ? bytes.size() : std::min<int64_t>(bytes.size() - n, 4096 * (1 + random() % 50));
        // The last page whole, or the file system keeps it as data.
        const int64_t nPunch = (nRun + 4095) & ~4095;
        if ((bHole || bAll) &&
            ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, n, nPunch) == 0)
            ++nHoles, bytes.replace(n, nRun, QByteArray(nRun, '\0'));
        else
            data.push_back({n, n + nRun});
    }
    ::close(fd);
    return data;
}

QByteArray Dump(const std::string& strPath1, const std::string& strPath2, uint64_t nFirst,
                uint64_t nLast) {
    CInputFile file1, file2;
    if (!file1.Open(strPath1) || !file2.Open(strPath2))
        return "cannot open";
    return QByteArray::fromStdString(BuildHexDump(file1, file2, nFirst, nLast));
}

constexpr uint64_t G4 = 1ull << 32;

// A file of zeros (a pattern with "pattern") against one like it with 01 at differAt,
// compared from first to end (0: the longer length). how: "stop" at the first difference,
// "abort" before the start, "tight" for a state array a block too short, "nothread" when no
// thread can be had. second: another path for the second file; seeAs: what every look-up by
// name sees. reads, posts, last: of both readers and the progress, when not -1.
const struct {
    const char* pszName;
    const char* pszStates;
    const char* pszHow = "";
    uint64_t nLength1 = 1000, nLength2 = 1000, nDifferAt = UINT64_MAX;
    uint32_t B = 64;
    uint64_t nFirst = 0, nEnd = 0;
    const char* pszSecond = nullptr;
    mode_t nSeeAs = 0;
    const char* pszErrors = "|";
    int nOpens = 2, nReads = -1, nPosts = -1, nLast = -1;
} s_runs[] = {
    {"1000 against 1500", "2*2 3 2*12 4*9 0", "", 1000, 1500, 130},
    {"short last block differs", "2*15 3 0", "", 1000, 1000, 990},
    {"one empty file", "4*2 0", "", 0, 100},
    {"block of one byte", "2*2 3 2 4 0", "", 5, 4, 2, 1},
    {"beyond 4 GiB", "2*65537 3 2 4 0", "", G4 + 196708, G4 + 196658, G4 + 65536, 65536},
    {"part ending before the difference", "2*14 0", "", 1000, 1000, 990, 64, 100, 990},
    {"part starting inside a block", "3 2*14 0", "", 1000, 1000, 130, 64, 100},
    {"empty part", "0", "", 1000, 1000, 130, 64, 1000, 1000},
    {"stop at a difference", "2*2 3 0*22", "stop", 1000, 1500, 130},
    {"stop at a length difference", "4 0*2", "stop", 0, 100},
    {"stop, but all equal", "2*16 0", "stop"},
    {"stop in a part above 4 GiB", "2*3 3 0*63", "stop", G4 + 4096, G4 + 4096, G4 + 100, 64,
     G4 - 128},
    {"20 blocks", "2*20 0", "pattern", 5120, 5120, UINT64_MAX, 256, 0, 0, {}, 0, "|", 2, 2, 0},
    {"64 blocks",
     "2*64 0",
     "pattern",
     16384,
     16384,
     UINT64_MAX,
     256,
     0,
     0,
     {},
     0,
     "|",
     2,
     2,
     2,
     10000},
    {"39063 blocks, the last short",
     "2*39063 0",
     "pattern",
     10000000,
     10000000,
     UINT64_MAX,
     256,
     0,
     0,
     {},
     0,
     "|",
     2,
     78,
     1220,
     9994},
    {"blocks above the buffer",
     "2*4 0",
     "pattern",
     (3 << 20) + 5,
     (3 << 20) + 5,
     UINT64_MAX,
     1 << 20,
     0,
     0,
     {},
     0,
     "|",
     2,
     8,
     0},
    {"aborted", "0*17", "abort"},
    {"second missing", "0*17", "", 1000, 1000, UINT64_MAX, 64, 0, 0, "gone", 0,
     "|Comapre error: No such file or directory", 1},
    {"second a directory", "0*17", "", 1000, 1000, UINT64_MAX, 64, 0, 0, ".", 0,
     "|Comapre error: Is a directory", 1},
    {"second a fifo", "0*17", "", 1000, 1000, UINT64_MAX, 64, 0, 0, "fifo", 0,
     "|Comapre error: Illegal seek", 1},
    {"second a character device", "0*17", "", 1000, 1000, UINT64_MAX, 64, 0, 0, "/dev/zero", 0,
     "|Comapre error: Illegal seek", 1},
    {"a socket", "0*17", "", 1000, 1000, UINT64_MAX, 64, 0, 0, nullptr, S_IFSOCK,
     "Compare error: No such device or address|", 0},
    {"a fifo seen as a file", "0*17", "", 1000, 1000, UINT64_MAX, 64, 0, 0, "fifo", S_IFREG,
     "|Comapre error: Illegal seek", 2},
    {"a file seen as a disk", "0*17", "", 1000, 1000, UINT64_MAX, 64, 0, 0, nullptr, S_IFBLK,
     "Compare error: Resource temporarily unavailable|", 1},
    {"block size 0", "refused: Invalid argument", "", 100, 100, UINT64_MAX, 0},
    {"block size 3", "refused: Invalid argument", "", 100, 100, UINT64_MAX, 3},
    {"block size 2^31", "refused: Invalid argument", "", 100, 100, UINT64_MAX, 1u << 31},
    {"100 blocks, room for 99", "refused: Value too large for defined data type", "tight", 100, 100,
     UINT64_MAX, 1},
    {"no thread", "refused: Resource temporarily unavailable", "nothread"},
};
} // namespace

class TestEngine : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanup() { SetHoleSkipping(true); }

    void runs_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(s_runs)); ++i)
            QTest::newRow(s_runs[i].pszName) << i;
    }
    void runs() {
        const auto& c = s_runs[std::get<0>(Fetch<int>("row"))];
        const QByteArray how = c.pszHow;
        const QByteArray bytes = how == "pattern" ? Pattern(qsizetype(c.nLength1)) : "";
        const std::string strPath1 = WriteFile(m_dir, "first", bytes, c.nLength1);
        std::string strPath2 = WriteFile(m_dir, "second", c.nDifferAt < c.nLength2 ? "\x01" : bytes,
                                         c.nLength2, c.nDifferAt < c.nLength2 ? c.nDifferAt : 0);
        ::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600);
        if (c.pszSecond)
            strPath2 =
                c.pszSecond[0] == '/' ? c.pszSecond : m_dir.filePath(c.pszSecond).toStdString();
        CToldFileSystem fs;
        fs.nSeeAs = c.nSeeAs;
        QByteArray states;
        {
            CInstalledFileSystem installed(&fs);
            CRun run;
            run.bAbort = how == "abort";
            SimulateThreadStartFailure(how == "nothread");
            states = run.Run(strPath1, strPath2, c.nEnd ? c.nEnd : std::max(c.nLength1, c.nLength2),
                             c.B, c.nFirst, how == "stop", how == "tight" ? 2 : 0);
            SimulateThreadStartFailure(false);
            QCOMPARE(QByteArray::fromStdString(run.error1.Get() + "|" + run.error2.Get()),
                     c.pszErrors);
            if (c.nPosts >= 0) {
                QCOMPARE(int(run.progress.size()), c.nPosts);
                QCOMPARE(run.progress.empty() ? -1 : run.progress.back(), c.nLast);
                QVERIFY(std::is_sorted(run.progress.begin(), run.progress.end()));
            }
        }
        QCOMPARE(states, Runs(c.pszStates));
        if (states[0] != 'r') // what cannot be compared is refused by its name, never opened
            QCOMPARE(fs.nOpens.load(), c.nOpens);
        QCOMPARE(fs.nCloses.load(), fs.nOpens.load());
        QVERIFY(fs.bNoCtty);
        if (c.nReads >= 0)
            QCOMPARE(fs.nReads.load(), c.nReads);
    }

    // Random pairs: unequal lengths, a file empty or all hole, bytes changed, holes alike or
    // not, short reads and interruptions, read errors next to holes, and now and then holes
    // that cannot be learnt. Each block's state is what its bytes call for, with holes skipped
    // or not; the dumps do not change; a hole is read only in blocks that straddle its edges.
    void randomPairs() {
        std::mt19937 random(20261207);
        const int nTrials = 100;
        int nSkipped = 0;
        for (int nTrial = 0; nTrial < nTrials; ++nTrial) {
            const auto nLength1 = int64_t(random() % 4 == 0 ? random() % 3 : random() % 1200000);
            const int64_t nLength[2] = {nLength1,
                                        int64_t(random() % 2 ? nLength1 : random() % 1200000)};
            const QByteArray bytes = Pattern(std::max(nLength[0], nLength[1]), random());
            const unsigned nLayout = random();
            std::string strPath[2];
            QByteArray written[2];
            std::vector<std::pair<int64_t, int64_t>> data[2];
            int nHoles = 0;
            uint64_t nDataBytes = 0;
            for (int f : {0, 1}) {
                written[f] = bytes.left(nLength[f]);
                for (int k = f ? int(random() % 4) : 0; k > 0 && nLength[f] > 0; --k)
                    written[f][qsizetype(random() % uint64_t(nLength[f]))] =
                        char(1 + random() % 255);
                strPath[f] = m_dir.filePath(f ? "two" : "one").toStdString();
                data[f] = WriteHoley(strPath[f], written[f], f && random() % 2 ? random() : nLayout,
                                     nHoles);
                for (const auto& [nFirst, nEnd] : data[f])
                    nDataBytes += uint64_t(nEnd - nFirst);
            }
            CToldFileSystem fs;
            fs.bNoSeekData = random() % 10 == 0;
            fs.nShortReads = random() % 8 == 0 ? 1000 : 0;
            fs.bInterruptEvery = fs.nShortReads;
            const int f = int(random() % 2);
            if (random() % 3 == 0 && !data[f].empty()) {
                const auto [nFirst, nEnd] = data[f][random() % data[f].size()];
                const int64_t nSpan = 1 + int64_t(random() % uint64_t(nEnd - nFirst));
                fs.nFailFirst = uint64_t(random() % 2 ? nFirst : nEnd - nSpan);
                fs.nFailEnd = fs.nFailFirst + uint64_t(nSpan);
                fs.strFailPath = f ? "/two" : "/one";
            }
            const uint32_t B = 1u << (random() % 19);
            const uint64_t L = uint64_t(std::max(nLength[0], nLength[1]));
            if (L == 0)
                continue;
            const QString strCase = QString("trial %1: lengths %2 %3, block size %4")
                                        .arg(nTrial)
                                        .arg(nLength[0])
                                        .arg(nLength[1])
                                        .arg(B);
            CInstalledFileSystem installed(&fs);
            QByteArray expected, states[2], dumps[2];
            for (uint64_t p = 0; p < L; p += B) {
                const QByteArray a = written[0].mid(p, B), b = written[1].mid(p, B);
                expected += a.size() != b.size() ? '4' : a != b ? '3' : '2';
            }
            for (bool bSkip : {false, true}) {
                SetHoleSkipping(bSkip);
                fs.nAsked = 0;
                states[bSkip] = CRun().Run(strPath[0], strPath[1], L, B);
                if (bSkip && !fs.bNoSeekData && !fs.nShortReads && fs.strFailPath.empty())
                    QVERIFY2(fs.nAsked <= nDataBytes + 2 * uint64_t(nHoles) * B,
                             qPrintable(strCase));
                std::mt19937 ranges(nTrial);
                for (int k = 0; k < 3; ++k) {
                    const uint64_t nFirst = ranges() % L;
                    dumps[bSkip] += Dump(strPath[0], strPath[1], nFirst,
                                         std::min(L - 1, nFirst + ranges() % 600000));
                }
            }
            if (fs.strFailPath.empty())
                QVERIFY2(states[0] == expected + '0', qPrintable(strCase));
            QVERIFY2(states[1] == states[0], qPrintable(strCase));
            QVERIFY2(dumps[1] == dumps[0], qPrintable(strCase));
            nSkipped += nHoles && !fs.bNoSeekData;
        }
        QVERIFY(nSkipped > nTrials / 3); // the layouts did have holes to skip
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
