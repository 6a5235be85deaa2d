// The comparison engine: files refused, a state per block, holes passed over as if read.
#include "engine/blockfile.h"
#include "tests/engine/faultcases.h"
#include "view/hexdump.h"

#include <QtTest>

#include <random>

using namespace testutil;

namespace {
// One comparison as the window makes it: each block's state, one past the last too, or "refused".
struct CRun : CJobRun {
    CCompareJob* pJob = nullptr;
    std::vector<int32_t> progress; // each value posted

    void PostProgress() override { progress.push_back(pJob->m_nProgress.load()); }
    QByteArray Run(const std::string& strPath1, const std::string& strPath2, uint64_t L, uint32_t B,
                   uint64_t nFirst = 0, bool bTight = false) {
        states.AllocateCount(B ? int32_t((L - nFirst + B - 1) / B) + (bTight ? -1 : 1) : 1);
        const CJobSetup setup{strPath1, strPath2, L,       B,    &states,
                              &bAbort,  &error1,  &error2, this, nFirst};
        std::string strError;
        if (!StartCompareJob(pJob, setup, strError))
            return pJob ? "not null" : "refused: " + QByteArray::fromStdString(strError);
        pJob->Join(); // the worker's writes are seen from here on
        delete std::exchange(pJob, nullptr);
        return (nFinished == 1 ? "" : "finished " + QByteArray::number(nFinished)) + States();
    }
};

// Look-ups by name see a file of kind nSeeAs, opened files are of kind nOpenedAs (0: as they
// are), which say they hold no data; counts opens and closes; no O_NOCTTY, no open.
struct CToldFileSystem : CFaultyFileSystem {
    static int As(mode_t nKind, struct stat* pStat, int nResult) {
        pStat->st_mode = nKind ? (pStat->st_mode & ~S_IFMT) | nKind : pStat->st_mode;
        return nResult;
    }
    int StatPath(const char* pszPath, struct stat* pStat) override {
        return As(nSeeAs, pStat, CFaultyFileSystem::StatPath(pszPath, pStat));
    }
    int Stat(int fd, struct stat* pStat) override {
        return As(nOpenedAs, pStat, CFaultyFileSystem::Stat(fd, pStat));
    }
    off_t Seek(int fd, off_t nOffset, int nWhence) override { // a device may say anything
        return nOpenedAs ? (errno = ENXIO, -1) : CFaultyFileSystem::Seek(fd, nOffset, nWhence);
    }
    int Open(const char* pszPath, int n) override {
        ++nOpens;
        return n & O_NOCTTY ? CFaultyFileSystem::Open(pszPath, n) : (errno = EPERM, -1);
    }
    int Close(int fd) override {
        ++nCloses;
        return CFaultyFileSystem::Close(fd);
    }
    mode_t nSeeAs = 0, nOpenedAs = 0;
    std::atomic<int> nOpens{0}, nCloses{0};
};

constexpr uint64_t G4 = 1ull << 32;

// Zeros against 01 at differAt (0: nowhere), from first to end (0: the longer length). how: "tight"
// room a block short, "disk" seen by name as disks, "device" open too; errors named for their text.
const struct {
    const char *pszName, *pszOutcome, *pszHow;
    uint32_t B = 64;
    uint64_t nLength1 = 1000, nLength2 = 1000, nDifferAt = 0, nFirst = 0, nEnd = 0;
} s_runs[] = {
    {"beyond 4 GiB", "2*65537 3 2 4 0", "", 65536, G4 + 196708, G4 + 196658, G4 + 65536},
    {"part starting inside a block", "3 2*14 0", "", 64, 1000, 1000, 130, 100},
    {"empty part", "0", "", 64, 1000, 1000, 130, 1000, 1000},
    {"block devices: holes not asked for", "2*2 3 2*13 0", "device", 64, 1000, 1000, 130},
    {"seen as a disk", "0*17 Compare error: EAGAIN| opened 1", "disk"},
    {"block size 0", "refused: EINVAL", "", 0},
    {"block size 2^31", "refused: EINVAL", "", 1u << 31},
    {"room a block short", "refused: EOVERFLOW", "tight", 1},
    {"no thread", "refused: EAGAIN", "nothread"},
};
} // namespace

class TestEngine : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanup() { SetHoleSkipping(true), SimulateThreadStartFailure(false); }

    void runs() { // the row's name leads what is compared
        for (const auto& c : s_runs) {
            const QByteArray how = c.pszHow;
            CToldFileSystem fs;
            fs.nSeeAs = how == "disk" || how == "device" ? S_IFBLK : 0;
            fs.nOpenedAs = how == "device" ? S_IFBLK : 0;
            CInstalledFileSystem installed(&fs);
            CRun run;
            SimulateThreadStartFailure(how == "nothread");
            QByteArray outcome = run.Run(
                WriteFile(m_dir, "first", {}, c.nLength1),
                WriteFile(m_dir, "second", c.nDifferAt ? "\x01" : "", c.nLength2, c.nDifferAt),
                c.nEnd ? c.nEnd : std::max(c.nLength1, c.nLength2), c.B, c.nFirst, how == "tight");
            if (const std::string e = run.error1.Get() + "|" + run.error2.Get(); e != "|")
                outcome += " " + e + " opened " + std::to_string(fs.nOpens);
            for (int n : {EAGAIN, EINVAL, EOVERFLOW}) // the system's text, in its language
                outcome.replace(testutil::ErrorText(n).toLocal8Bit(), strerrorname_np(n));
            QCOMPARE(c.pszName + outcome, c.pszName + faults::Runs(c.pszOutcome));
            run.states.Clear(); // as before the window's next run
            QVERIFY(fs.nCloses == fs.nOpens &&
                    run.States() == QByteArray(run.states.m_nCount, '0'));
        }
    }

    // Random pairs, holes, short reads, read errors: states as the bytes call for, and states and
    // dump alike with holes skipped or not; a hole is read only by blocks astride its edges.
    void randomPairs() {
        // What the file system makes of a hole over all but the first and last byte of 4 MiB.
        const faults::DataRuns probe =
            faults::PunchHole(WriteFile(m_dir, "probe", Pattern(1 << 22)), 1, (1 << 22) - 2);
        const int64_t G = probe.size() == 2 ? probe[0].second : 0;
        std::mt19937 random(20261207);
        CBlockFile reader; // for every file of every trial, each time as if it were new
        for (int nTrial = 0; nTrial < 100; ++nTrial) {
            const auto n1 = int64_t(random() % 4 ? random() % 1200000 : random() % 3);
            const int64_t nLength[2] = {n1, int64_t(random() % 2 ? n1 : random() % 1200000)};
            const QByteArray bytes = Pattern(std::max(n1, nLength[1]), random());
            const unsigned nLayout = random();
            std::string strPath[2], dumps[2];
            QByteArray written[2], expected, states[2];
            faults::DataRuns data[2];
            uint64_t nHoles = 0, nData = 0;
            for (int f : {0, 1}) {
                written[f] = bytes.left(nLength[f]);
                for (int k = f ? int(random() % 4) : 0; k > 0 && nLength[f] > 0; --k)
                    written[f][qsizetype(random() % nLength[f])] = char(1 + random() % 255);
                strPath[f] = WriteFile(m_dir, f ? "two" : "one", written[f]);
                // Holes over random runs of whole units, the rest data; zeros in written too.
                std::mt19937 layout(f && random() % 2 ? random() : nLayout);
                for (int64_t n = 0, nRun = 0, bHole = layout() % 2; n < nLength[f];
                     n += nRun, bHole ^= 1) {
                    nRun =
                        std::min<int64_t>(nLength[f] - n, G ? G * (1 + layout() % 50) : nLength[f]);
                    if (bHole && G) {
                        faults::PunchHole(strPath[f], n, (nRun + G - 1) / G * G); // the last whole
                        written[f].replace(n, nRun, QByteArray(nRun, '\0'));
                        ++nHoles;
                    } else {
                        data[f].push_back({n, n + nRun});
                        nData += uint64_t(nRun);
                    }
                }
                QCOMPARE(faults::PunchHole(strPath[f], 0, 0), data[f]); // the holes are there
            }
            CToldFileSystem fs;
            fs.nShortReads = (fs.bInterruptEvery = random() % 8 == 0) ? 1000 : 0;
            if (const int f = int(random() % 2); random() % 3 == 0 && !data[f].empty()) {
                std::tie(fs.nFailFirst, fs.nFailEnd) = data[f][random() % data[f].size()];
                fs.strFailPath = f ? "/two" : "/one"; // a run of data between holes unreadable
            }
            const uint32_t B = 1u << (random() % 21);
            const uint64_t L = uint64_t(std::max(n1, nLength[1])), K = (L + B - 1) / B;
            for (uint64_t p = 0; p < L; p += B) {
                const QByteArray a = written[0].mid(p, B), b = written[1].mid(p, B);
                expected += a.size() != b.size() ? '4' : a != b ? '3' : '2';
            }
            CInstalledFileSystem installed(&fs);
            for (bool bSkip : {false, true}) {
                SetHoleSkipping(bSkip);
                fs.nAsked = 0;
                CRun run;
                states[bSkip] = run.Run(strPath[0], strPath[1], L, B);
                const auto& p = run.progress; // a post per 32 blocks, 100 % at the 32nd of 32
                QVERIFY(p.size() == K / 32 && std::is_sorted(p.begin(), p.end()) &&
                        (p.empty() || (p.back() <= 10000 && (K % 32 || p.back() == 10000))));
                if (bSkip && !fs.nShortReads && fs.strFailPath.empty())
                    QVERIFY(fs.nAsked <= nData + 2 * nHoles * B);
                CInputFile file1, file2;
                QVERIFY(file1.Open(strPath[0]) && file2.Open(strPath[1]));
                dumps[bSkip] = BuildHexDump(file1, file2, L / 3, L - (L > 0));
            }
            QVERIFY(states[1] == states[0] && dumps[1] == dumps[0]);
            QVERIFY(!fs.strFailPath.empty() || states[0] == expected + '0');
            // One reader, the failing file first: blocks in random order are served as written.
            for (int f : {int(fs.strFailPath == "/two"), int(fs.strFailPath != "/two")}) {
                QVERIFY(!reader.IsOpen() && reader.OpenBuffered(strPath[f], std::max(B, 262144u)) &&
                        !reader.m_dwError && !reader.GetLastError() && !reader.GetPosition());
                const uint64_t nFailEnd = fs.strFailPath == (f ? "/two" : "/one") ? fs.nFailEnd : 0;
                for (uint32_t k = 0, n = 0; k < std::min<uint64_t>(K, 32); ++k) {
                    const uint64_t p = random() % K * B;
                    reader.SeekTo(int64_t(p));
                    const auto* pBlock = reinterpret_cast<const char*>(reader.GetBlock(B, n));
                    const auto nServed = int64_t((p < nFailEnd ? fs.nFailFirst : L) - p);
                    QCOMPARE(pBlock ? QByteArray(pBlock, n) : QByteArray(n, '\0'),
                             written[f].mid(p, std::clamp<int64_t>(nServed, 0, B)));
                }
                reader.Close();
            }
        }
        if (!G)
            QSKIP("the file system here makes no holes: the pairs were compared without");
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
