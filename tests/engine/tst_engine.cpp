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
    uint64_t nFirst = 0;
    bool bStop = false;
    int32_t nMissing = 0; // blocks the state array lacks room for

    void PostProgress() override { progress.push_back(pJob->m_nProgress.load()); }
    void PostFinished() override { ++nFinished; }
    QByteArray Run(const std::string& strPath1, const std::string& strPath2, uint64_t L,
                   uint32_t B) {
        states.AllocateCount(B ? int32_t((L - nFirst + B - 1) / B) + 1 - nMissing : 1);
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

// Reads and fails like its base; the look-up by name, and with bSeenOpen the open file too,
// sees a file of kind nSeeAs; with bNoSeekData holes cannot be learnt. Counts opens, closes
// and questions about holes.
struct CToldFileSystem : CFaultyFileSystem {
    int StatPath(const char* pszPath, struct stat* pStat) override {
        return Seen(CFaultyFileSystem::StatPath(pszPath, pStat), pStat);
    }
    int Stat(int fd, struct stat* pStat) override {
        const int nResult = CFaultyFileSystem::Stat(fd, pStat);
        return bSeenOpen ? Seen(nResult, pStat) : nResult;
    }
    int Open(const char* pszPath, int nFlags) override {
        ++nOpens;
        this->nFlags = nFlags;
        return CFaultyFileSystem::Open(pszPath, nFlags);
    }
    int Close(int fd) override { return ++nCloses, CFaultyFileSystem::Close(fd); }
    off_t Seek(int fd, off_t nOffset, int nWhence) override {
        ++nAskedLayout;
        return bNoSeekData ? (errno = EINVAL, -1) : CFaultyFileSystem::Seek(fd, nOffset, nWhence);
    }
    int Seen(int nResult, struct stat* pStat) const {
        if (nResult == 0 && nSeeAs != 0)
            pStat->st_mode = (pStat->st_mode & ~S_IFMT) | nSeeAs;
        return nResult;
    }
    mode_t nSeeAs = 0;
    bool bSeenOpen = false, bNoSeekData = false;
    int nOpens = 0, nCloses = 0, nFlags = 0;
    std::atomic<int> nAskedLayout{0};
};

// Punches holes into runs of whole 4 KiB pages of the file (now and then all of it), which
// then read as zeros. Returns the runs left as data; nHoles counts the holes.
std::vector<std::pair<int64_t, int64_t>> PunchHoles(const std::string& strPath, int64_t nLength,
                                                    unsigned nSeed, int& nHoles) {
    std::mt19937 random(nSeed);
    std::vector<std::pair<int64_t, int64_t>> data;
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
    const bool bAll = random() % 8 == 0;
    bool bHole = random() % 2;
    for (int64_t n = 0, nRun = 0; n < nLength; n += nRun, bHole = !bHole) {
        nRun = bAll ? nLength : std::min<int64_t>(nLength - n, 4096 * (1 + random() % 50));
        if ((bHole || bAll) && ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, n,
                                           (nRun + 4095) & ~4095) == 0)
            ++nHoles;
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

// A file of zeros against one with 01 at differAt (its length: nowhere), compared from first
// to end (0: the longer length). how: "stop" at the first difference, "abort" before the
// start, "gone1" or "gone2" for a missing file, "tight" for a block without room in the
// array, "nothread" when no thread can be had.
const struct {
    const char* pszName;
    uint64_t nLength1, nLength2, nDifferAt;
    uint32_t nBlockSize;
    uint64_t nFirst, nEnd;
    QByteArray how, states;
} s_runs[] = {
    {"1000 against 1500", 1000, 1500, 130, 64, 0, 0, "", "2*2 3 2*12 4*9 0"},
    {"short last block differs", 1000, 1000, 990, 64, 0, 0, "", "2*15 3 0"},
    {"one empty file", 0, 100, 100, 64, 0, 0, "", "4*2 0"},
    {"block of one byte", 5, 4, 2, 1, 0, 0, "", "2*2 3 2 4 0"},
    {"beyond 4 GiB", G4 + 196708, G4 + 196658, G4 + 65536, 65536, 0, 0, "", "2*65537 3 2 4 0"},
    {"part ending before the difference", 1000, 1000, 990, 64, 100, 990, "", "2*14 0"},
    {"part starting inside a block", 1000, 1000, 130, 64, 100, 0, "", "3 2*14 0"},
    {"empty part", 1000, 1000, 130, 64, 1000, 1000, "", "0"},
    {"stop at a difference", 1000, 1500, 130, 64, 0, 0, "stop", "2*2 3 0*22"},
    {"stop at a length difference", 0, 100, 100, 64, 0, 0, "stop", "4 0*2"},
    {"stop, but all equal", 1000, 1000, 1000, 64, 0, 0, "stop", "2*16 0"},
    {"stop in a part above 4 GiB", G4 + 4096, G4 + 4096, G4 + 100, 64, G4 - 128, 0, "stop",
     "2*3 3 0*63"},
    {"aborted", 1000, 1000, 1000, 64, 0, 0, "abort", "0*17"},
    {"first missing", 1000, 1000, 1000, 64, 0, 0, "gone1", "0*17"},
    {"second missing", 1000, 1000, 1000, 64, 0, 0, "gone2", "0*17"},
    {"block size 0", 100, 100, 100, 0, 0, 0, "", "refused: Invalid argument"},
    {"block size 3", 100, 100, 100, 3, 0, 0, "", "refused: Invalid argument"},
    {"block size 2^31", 100, 100, 100, 1u << 31, 0, 0, "", "refused: Invalid argument"},
    {"100 blocks, room for 99", 100, 100, 100, 1, 0, 0, "tight",
     "refused: Value too large for defined data type"},
    {"no thread", 100, 100, 100, 1, 0, 0, "nothread", "refused: Resource temporarily unavailable"},
};
} // namespace

class TestEngine : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanup() { SetHoleSkipping(true); }

    // A file against itself: every block equal, a progress post every 32 blocks, the file
    // read in loads of 256 KiB or one per larger block. reads: by both readers.
    void againstItself_data() {
        Columns<int, uint, int, int, int>("length", "blockSize", "posts", "last", "reads");
        QTest::newRow("20 blocks") << 20 * 256 << 256u << 0 << -1 << 2;
        QTest::newRow("64 blocks") << 64 * 256 << 256u << 2 << 10000 << 2;
        QTest::newRow("39063 blocks, the last short") << 10000000 << 256u << 1220 << 9994 << 78;
        QTest::newRow("blocks above the buffer") << (3 << 20) + 5 << (1u << 20) << 0 << -1 << 8;
    }
    void againstItself() {
        const auto [length, blockSize, posts, last, reads] =
            Fetch<int, uint, int, int, int>("length", "blockSize", "posts", "last", "reads");
        const std::string strPath = WriteFile(m_dir, "self", Pattern(length));
        CInstalledFaultyFileSystem fs;
        CRun run;
        const int K = int((uint32_t(length) + blockSize - 1) / blockSize);
        QCOMPARE(run.Run(strPath, strPath, uint64_t(length), blockSize), QByteArray(K, '2') + '0');
        QCOMPARE(int(run.progress.size()), posts);
        QCOMPARE(run.progress.empty() ? -1 : run.progress.back(), last);
        QVERIFY(std::is_sorted(run.progress.begin(), run.progress.end()));
        QCOMPARE(fs.nReads.load(), reads);
    }

    // Flipping byte i makes exactly block i / B differ, also when the file layer delivers
    // short reads and interruptions.
    void flippingOneByteMakesExactlyThatBlockDiffer() {
        const int nLength = 50000;
        const QByteArray original = Pattern(nLength, 3);
        const std::string strOriginal = WriteFile(m_dir, "original", original);
        std::mt19937 random(12345);
        for (int nTrial = 0; nTrial < 20; ++nTrial) {
            const int nAt = int(random() % nLength);
            const uint32_t B = 1u << (random() % 14);
            QByteArray changed = original;
            changed[nAt] = char(changed[nAt] ^ (1 + random() % 255));
            const std::string strChanged = WriteFile(m_dir, "changed", changed);
            CInstalledFaultyFileSystem fs;
            fs.nShortReads = nTrial % 2 ? 1000 : 0;
            fs.bInterruptEvery = nTrial % 2;
            QByteArray expected(int((nLength + B - 1) / B), '2');
            expected[nAt / int(B)] = '3';
            CRun run;
            QCOMPARE(run.Run(strOriginal, strChanged, nLength, B), expected + '0');
        }
    }

    void runs_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(s_runs)); ++i)
            QTest::newRow(s_runs[i].pszName) << i;
    }
    void runs() {
        const auto& c = s_runs[std::get<0>(Fetch<int>("row"))];
        const std::string strGone = m_dir.filePath("gone").toStdString();
        const std::string strPath1 = WriteFile(m_dir, "first", {}, c.nLength1);
        const std::string strPath2 = WriteFile(
            m_dir, "second", c.nDifferAt < c.nLength2 ? "\x01" : "", c.nLength2, c.nDifferAt);
        CRun run;
        run.nFirst = c.nFirst;
        run.bStop = c.how == "stop";
        run.bAbort = c.how == "abort";
        run.nMissing = c.how == "tight" ? 2 : 0;
        SimulateThreadStartFailure(c.how == "nothread");
        const QByteArray states =
            run.Run(c.how == "gone1" ? strGone : strPath1, c.how == "gone2" ? strGone : strPath2,
                    c.nEnd ? c.nEnd : std::max(c.nLength1, c.nLength2), c.nBlockSize);
        SimulateThreadStartFailure(false);
        QCOMPARE(states, Runs(c.states));
        const std::string strGoneText = "error: No such file or directory";
        QCOMPARE(run.error1.Get() + "|" + run.error2.Get(),
                 c.how == "gone1"   ? "Compare " + strGoneText + "|"
                 : c.how == "gone2" ? "|Comapre " + strGoneText
                                    : "|");
    }

    // Each row opens a file first, then the row's path on the same object. What cannot be
    // compared is refused by its name, never opened: opening a terminal or a tape acts on it.
    // seenAs: what the look-up by name saw, when the name was then pointed at the row's file.
    void refusesWhatCannotBeCompared_data() {
        Columns<QString, uint, QString, int>("path", "seenAs", "reason", "opens");
        const QString strFifo = m_dir.filePath("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
        const QString strFile = QString::fromStdString(WriteFile(m_dir, "second", "second"));
        QTest::newRow("regular file") << strFile << 0u << QString() << 2;
        QTest::newRow("missing") << m_dir.filePath("no") << 0u << "No such file or directory" << 1;
        QTest::newRow("directory") << m_dir.path() << 0u << "Is a directory" << 1;
        QTest::newRow("fifo") << strFifo << 0u << "Illegal seek" << 1;
        QTest::newRow("socket") << strFile << uint(S_IFSOCK) << "No such device or address" << 1;
        QTest::newRow("character device") << "/dev/zero" << 0u << "Illegal seek" << 1;
        QTest::newRow("a file became a fifo") << strFifo << uint(S_IFREG) << "Illegal seek" << 2;
        QTest::newRow("a disk became a file")
            << strFile << uint(S_IFBLK) << "Resource temporarily unavailable" << 2;
    }
    void refusesWhatCannotBeCompared() {
        const auto [path, seenAs, reason, opens] =
            Fetch<QString, uint, QString, int>("path", "seenAs", "reason", "opens");
        CToldFileSystem fs;
        {
            CInstalledFileSystem installed(&fs);
            CInputFile file;
            QVERIFY(file.Open(WriteFile(m_dir, "first", "first")));
            fs.nSeeAs = mode_t(seenAs);
            QCOMPARE(file.Open(QFile::encodeName(path).toStdString()), reason.isEmpty());
            QCOMPARE(QString::fromStdString(file.GetErrorText()),
                     reason.isEmpty() ? QString("Success") : reason);
            QByteArray got(16, '\0');
            QCOMPARE(got.left(int(file.Read(got.data(), 16))), reason.isEmpty() ? "second" : "");
            QCOMPARE(fs.nOpens, opens);
            QVERIFY(fs.nFlags & O_NOCTTY);
        }
        QCOMPARE(fs.nCloses, fs.nOpens); // the first file too, closed by the second Open
    }

    // Random layouts of holes, unequal lengths, a file empty or all hole, bytes against holes,
    // read errors next to holes, and now and then holes that cannot be learnt: a run that
    // skips holes gives the states and dumps of one that reads everything, and reads of each
    // hole at most the blocks straddling its edges.
    void holesSkippedSameAsReadingEverything() {
        std::mt19937 random(20261207);
        const int nTrials = 100;
        int nSkipped = 0;
        for (int nTrial = 0; nTrial < nTrials; ++nTrial) {
            const auto nLength1 = int64_t(random() % 4 == 0 ? random() % 3 : random() % 1200000);
            const int64_t nLength[2] = {nLength1, random() % 2 ? nLength1 : random() % 1200000};
            const QByteArray bytes = Pattern(std::max(nLength[0], nLength[1]), random());
            const unsigned nLayout = random();
            std::string strPath[2];
            std::vector<std::pair<int64_t, int64_t>> data[2];
            int nHoles[2] = {0, 0};
            int64_t nDataBytes = 0;
            for (int f : {0, 1}) {
                QByteArray mine = bytes.left(nLength[f]);
                for (int k = f ? int(random() % 4) : 0; k > 0 && nLength[f] > 0; --k)
                    mine[qsizetype(random() % uint64_t(nLength[f]))] = char(1 + random() % 255);
                strPath[f] = WriteFile(m_dir, f ? "two" : "one", mine);
                data[f] = PunchHoles(strPath[f], nLength[f], f && random() % 2 ? random() : nLayout,
                                     nHoles[f]);
                for (const auto& [nFirst, nEnd] : data[f])
                    nDataBytes += nEnd - nFirst;
            }
            CToldFileSystem fs;
            fs.bNoSeekData = random() % 10 == 0;
            fs.bSeenOpen = !fs.bNoSeekData && random() % 9 == 0;
            fs.nSeeAs = fs.bSeenOpen ? S_IFBLK : 0; // a block device: its holes are its own
            const int f = int(random() % 2);
            if (random() % 3 == 0 && !data[f].empty()) {
                const auto [nFirst, nEnd] = data[f][random() % data[f].size()];
                const int64_t nSpan = 1 + int64_t(random() % uint64_t(nEnd - nFirst));
                fs.nFailFirst = uint64_t(random() % 2 ? nFirst : nEnd - nSpan);
                fs.nFailEnd = fs.nFailFirst + uint64_t(nSpan);
                fs.strFailPath = f ? "two" : "one";
            }
            const uint32_t B = 1u << (4 + random() % 15);
            const uint64_t L = uint64_t(std::max(nLength[0], nLength[1]));
            if (L == 0)
                continue;
            const QString strCase = QString("trial %1: lengths %2 %3, block size %4")
                                        .arg(nTrial)
                                        .arg(nLength[0])
                                        .arg(nLength[1])
                                        .arg(B);
            CInstalledFileSystem installed(&fs);
            QByteArray states[2], dumps[2];
            for (bool bSkip : {false, true}) {
                SetHoleSkipping(bSkip);
                fs.nAsked = 0;
                fs.nAskedLayout = 0;
                CRun run;
                states[bSkip] = run.Run(strPath[0], strPath[1], L, B);
                const uint64_t nEdges = 2 * uint64_t(nHoles[0] + nHoles[1]);
                if (bSkip && fs.nSeeAs == 0 && !fs.bNoSeekData && fs.strFailPath.empty())
                    QVERIFY2(fs.nAsked <= uint64_t(nDataBytes) + nEdges * B,
                             qPrintable(strCase + QString(" %1 %2 %3 %4")
                                                      .arg(fs.nAsked.load())
                                                      .arg(nDataBytes)
                                                      .arg(nEdges)
                                                      .arg(fs.nReads.load())));
                if (fs.nSeeAs != 0)
                    QCOMPARE(fs.nAskedLayout.load(), 0);
                std::mt19937 ranges(nTrial);
                for (int k = 0; k < 3; ++k) {
                    const uint64_t nFirst = ranges() % L;
                    dumps[bSkip] += Dump(strPath[0], strPath[1], nFirst,
                                         std::min(L - 1, nFirst + ranges() % 600000));
                }
            }
            QVERIFY2(states[1] == states[0], qPrintable(strCase));
            QVERIFY2(dumps[1] == dumps[0], qPrintable(strCase));
            nSkipped += nHoles[0] && nHoles[1] && fs.nSeeAs == 0 && !fs.bNoSeekData;
        }
        QVERIFY(nSkipped > nTrials / 3); // the layouts did have holes to skip
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
