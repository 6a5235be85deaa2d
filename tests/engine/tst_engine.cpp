// The comparison engine: files refused, a state per block, holes passed over as if read.
#include "engine/filelayout.h"
#include "engine/inputfile.h"
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
                   uint64_t nFirst = 0, bool bStop = false, bool bTight = false) {
        states.AllocateCount(B ? int32_t((L - nFirst + B - 1) / B) + (bTight ? -1 : 1) : 1);
        const CJobSetup setup{strPath1, strPath2, L,    B,      &states, &bAbort,
                              &error1,  &error2,  this, nFirst, bStop};
        std::string strError;
        if (!StartCompareJob(pJob, setup, strError))
            return pJob ? "not null" : "refused: " + QByteArray::fromStdString(strError);
        pJob->Join(); // the worker's writes are seen from here on
        delete std::exchange(pJob, nullptr);
        return (nFinished == 1 ? "" : "finished " + QByteArray::number(nFinished)) + States();
    }
};

// Look-ups by name see a file of kind nSeeAs; counts opens and closes; no O_NOCTTY, no open.
struct CToldFileSystem : CFaultyFileSystem {
    int StatPath(const char* pszPath, struct stat* pStat) override {
        const int nResult = CFaultyFileSystem::StatPath(pszPath, pStat);
        pStat->st_mode = nSeeAs ? (pStat->st_mode & ~S_IFMT) | nSeeAs : pStat->st_mode;
        return nResult;
    }
    int Open(const char* pszPath, int n) override {
        ++nOpens;
        return n & O_NOCTTY ? CFaultyFileSystem::Open(pszPath, n) : (errno = EPERM, -1);
    }
    int Close(int fd) override {
        ++nCloses;
        return CFaultyFileSystem::Close(fd);
    }
    mode_t nSeeAs = 0;
    std::atomic<int> nOpens{0}, nCloses{0};
};

// Punches holes into random runs of 4 KiB pages (zeros in bytes too); returns the runs of data.
std::vector<std::pair<int64_t, int64_t>> PunchHoles(const std::string& strPath, QByteArray& bytes,
                                                    unsigned nSeed, uint64_t& nHoles,
                                                    uint64_t& nData) {
    std::mt19937 random(nSeed);
    std::vector<std::pair<int64_t, int64_t>> data;
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
    for (int64_t n = 0, nRun = 0, nHole = random() % 2; n < bytes.size(); n += nRun, nHole ^= 1) {
        nRun = std::min<int64_t>(bytes.size() - n, 4096 * (1 + random() % 50));
        if (nHole &&
            ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, n,
                        (nRun + 4095) & ~4095) == 0) { // the last page whole, or it stays data
            ++nHoles;
            bytes.replace(n, nRun, QByteArray(nRun, '\0'));
        } else {
            data.push_back({n, n + nRun});
            nData += uint64_t(nRun);
        }
    }
    ::close(fd);
    return data;
}

constexpr uint64_t G4 = 1ull << 32;

// Zeros against 01 at differAt (0: nowhere), from first to end (0: the longer length). how: "stop"
// at a difference, "tight": room a block short, "nothread", "disk": seen by name as disks.
const struct {
    const char *pszName, *pszOutcome, *pszHow;
    uint32_t B = 64;
    uint64_t nLength1 = 1000, nLength2 = 1000, nDifferAt = 0, nFirst = 0, nEnd = 0;
} s_runs[] = {
    {"beyond 4 GiB", "2*65537 3 2 4 0", "", 65536, G4 + 196708, G4 + 196658, G4 + 65536},
    {"part ending before the difference", "2*14 0", "", 64, 1000, 1000, 990, 100, 990},
    {"part starting inside a block", "3 2*14 0", "", 64, 1000, 1000, 130, 100},
    {"empty part", "0", "", 64, 1000, 1000, 130, 1000, 1000},
    {"stop at a difference", "2*2 3 0*22", "stop", 64, 1000, 1500, 130},
    {"stop at a length difference", "4 0*2", "stop", 64, 0, 100},
    {"seen as a disk", "0*17 Compare error: Resource temporarily unavailable| opened 1", "disk"},
    {"block size 0", "refused: Invalid argument", "", 0},
    {"block size 2^31", "refused: Invalid argument", "", 1u << 31},
    {"room a block short", "refused: Value too large for defined data type", "tight", 1},
    {"no thread", "refused: Resource temporarily unavailable", "nothread"},
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
            fs.nSeeAs = how == "disk" ? S_IFBLK : 0;
            CInstalledFileSystem installed(&fs);
            CRun run;
            SimulateThreadStartFailure(how == "nothread");
            QByteArray outcome = run.Run(
                WriteFile(m_dir, "first", {}, c.nLength1),
                WriteFile(m_dir, "second", c.nDifferAt ? "\x01" : "", c.nLength2, c.nDifferAt),
                c.nEnd ? c.nEnd : std::max(c.nLength1, c.nLength2), c.B, c.nFirst, how == "stop",
                how == "tight");
            if (const std::string e = run.error1.Get() + "|" + run.error2.Get(); e != "|")
                outcome += " " + e + " opened " + std::to_string(fs.nOpens);
            QCOMPARE(c.pszName + outcome, c.pszName + faults::Runs(c.pszOutcome));
            QCOMPARE(fs.nCloses.load(), fs.nOpens.load());
        }
    }

    // Random pairs, holes, short reads, read errors: states as the bytes call for, and states and
    // dump alike with holes skipped or not; a hole is read only by blocks astride its edges.
    void randomPairs() {
        std::mt19937 random(20261207);
        for (int nTrial = 0; nTrial < 100; ++nTrial) {
            const auto n1 = int64_t(random() % 4 ? random() % 1200000 : random() % 3);
            const int64_t nLength[2] = {n1, int64_t(random() % 2 ? n1 : random() % 1200000)};
            const QByteArray bytes = Pattern(std::max(n1, nLength[1]), random());
            const unsigned nLayout = random();
            std::string strPath[2], dumps[2];
            QByteArray written[2], expected, states[2];
            std::vector<std::pair<int64_t, int64_t>> data[2];
            uint64_t nHoles = 0, nData = 0;
            for (int f : {0, 1}) {
                written[f] = bytes.left(nLength[f]);
                for (int k = f ? int(random() % 4) : 0; k > 0 && nLength[f] > 0; --k)
                    written[f][qsizetype(random() % nLength[f])] = char(1 + random() % 255);
                strPath[f] = WriteFile(m_dir, f ? "two" : "one", written[f]);
                data[f] = PunchHoles(strPath[f], written[f], f && random() % 2 ? random() : nLayout,
                                     nHoles, nData);
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
                if (file1.Open(strPath[0]) && file2.Open(strPath[1]))
                    dumps[bSkip] = BuildHexDump(file1, file2, L / 3, L - (L > 0));
            }
            QVERIFY(states[1] == states[0] && dumps[1] == dumps[0]);
            QVERIFY(!fs.strFailPath.empty() || states[0] == expected + '0');
        }
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
