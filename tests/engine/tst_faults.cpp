// What happens to the files during a run, and aborts at every moment: the run always
// finishes, exactly once, and every block ends in the state its bytes call for.
#include "cli/mapcli.h"
#include "tests/testutil.h"

#include <QtTest>

#include <cstdio>
#include <random>
#include <sstream>
#include <thread>

using namespace testutil;

namespace {

// "2*9 4*7" -> "2222222224444444", and a '0' for the unused entry past the last block.
QByteArray Runs(const char* pszRuns) {
    QByteArray bytes;
    for (const QByteArray& run : QByteArray(pszRuns).split(' ')) {
        int nStar = int(run.indexOf('*'));
        bytes += QByteArray(nStar < 0 ? 1 : run.mid(nStar + 1).toInt(), run[0]);
    }
    return bytes + '0';
}

constexpr int M = 1 << 20;

enum Action { None, Truncate, TruncateBoth, TruncateInHole, Grow, Unlink, Rename, Abort };

// The run takes 1 MiB; loads are 256 KiB. The action is done to the second file before its
// first read at or past nAt; nArg is the new length.
const struct {
    const char* pszName;
    int nLength1, nLength2;
    uint32_t nBlockSize;
    Action action;
    uint64_t nAt, nArg;
    const char* pszFailPath; // reads of it fail over [nFailFirst, nFailEnd)
    uint64_t nFailFirst, nFailEnd;
    const char* pszStates;
} s_cases[] = {
    {"truncated", M, M, 65536, Truncate, 524288, 600000, "", 0, 0, "2*9 4*7"},
    {"truncated to nothing", M, M, 65536, Truncate, 262144, 0, "", 0, 0, "2*4 4*12"},
    // Both files have a hole over [262144, 786432); the second ends inside it from its first read.
    {"truncated inside a hole", M, M, 65536, TruncateInHole, 0, 600000, "", 0, 0, "2*9 4*7"},
    {"both truncated: not equal for want of bytes", M, M, 65536, TruncateBoth, 262144, 262144, "",
     0, 0, "2*4 4*12"},
    {"both shrunk before the worker opened them", 600000, 600000, 65536, None, 0, 0, "", 0, 0,
     "2*9 4*7"},
    {"grows: the length at opening holds", M, 600000, 65536, Grow, 0, 2 * M, "", 0, 0, "2*9 4*7"},
    {"deleted: the open file keeps its bytes", M, M, 65536, Unlink, 524288, 0, "", 0, 0, "2*16"},
    {"renamed", M, M, 65536, Rename, 524288, 0, "", 0, 0, "2*16"},
    {"unreadable region", M, M, 65536, None, 0, 0, "second", 300000, 500000, "2*4 5*4 2*8"},
    {"load failing part way serves what it got", M, M, 4096, None, 0, 0, "second", 200000, 210000,
     "2*48 5*4 2*204"},
    {"both readers failing", M, M, 65536, None, 0, 0, ".bin", 300000, 500000, "2*4 5*4 2*8"},
    {"shorter file's last load fails", M, 600000, 65536, None, 0, 0, "second", 524288, M,
     "2*8 5*2 4*6"},
    {"longer file unreadable past the shorter's end", M, 600000, 65536, None, 0, 0, "first", 655360,
     M, "2*9 4 5*6"},
    {"truncated inside an unreadable region", M, M, 65536, Truncate, 524288, 600000, "second",
     400000, 500000, "2*6 5*2 2 4*7"},
    // One block per load, so the flag is raised while exactly that block is being read.
    {"abort at the first block", M, M, 262144, Abort, 0, 0, "", 0, 0, "2 0*3"},
    {"abort at a middle block", M, M, 262144, Abort, 262144, 0, "", 0, 0, "2*2 0*2"},
    {"abort at the last block", M, M, 262144, Abort, 786432, 0, "", 0, 0, "2*4"},
};

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void duringTheRun_data();
    void duringTheRun();
    void abortRacingTheFinishNeverLosesIt();
};

void TestFaults::duringTheRun_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(s_cases)); ++i)
        QTest::newRow(s_cases[i].pszName) << i;
}

void TestFaults::duringTheRun() {
    QFETCH(int, row);
    const auto& c = s_cases[row];
    QTemporaryDir dir;
    const QByteArray bytes = Pattern(M);
    std::string strFirst;
    std::string strSecond;
    std::atomic<int> nActed{0}; // set on the worker thread
    // Writes both files afresh and arms the fault, which the worker's read sets off.
    auto Arm = [&](CEventFileSystem& fs, std::atomic<uint8_t>& bAbort) {
        strFirst = WriteFile(dir, "first.bin", bytes.left(c.nLength1));
        strSecond = WriteFile(dir, "second.bin", bytes.left(c.nLength2));
        if (c.action == TruncateInHole)
            for (const std::string& strPath : {strFirst, strSecond}) {
                const int fd = ::open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
                QVERIFY(::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 262144,
                                    524288) == 0);
                ::close(fd);
            }
        fs.strFailPath = c.pszFailPath;
        fs.nFailFirst = c.nFailFirst;
        fs.nFailEnd = c.nFailEnd;
        fs.strTarget = strSecond;
        fs.nTriggerAt = c.nAt;
        nActed = c.action == None ? 0 : -1;
        fs.m_onTrigger = [&] {
            const off_t nArg = off_t(c.nArg);
            int nResult = c.action == TruncateBoth ? ::truncate(strFirst.c_str(), nArg) : 0;
            if (c.action == Truncate || c.action == TruncateBoth || c.action == TruncateInHole ||
                c.action == Grow)
                nResult |= ::truncate(strSecond.c_str(), nArg);
            else if (c.action == Unlink)
                nResult = ::unlink(strSecond.c_str());
            else if (c.action == Rename)
                nResult = std::rename(strSecond.c_str(), (strSecond + ".moved").c_str());
            else if (c.action == Abort)
                bAbort = 1;
            nActed = nResult;
        };
    };
    {
        CJobRun run;
        CEventFileSystem fs;
        Arm(fs, run.bAbort);
        CInstalledFileSystem installed(&fs);
        QVERIFY(run.Run(strFirst, strSecond, M, c.nBlockSize));
        QCOMPARE(run.States(), Runs(c.pszStates));
        QCOMPARE(run.nFinished.load(), 1);
        QCOMPARE(nActed.load(), 0);
    }
    // quillet-map has no abort, and takes the run's length from the files themselves.
    if (c.action == Abort || std::max(c.nLength1, c.nLength2) != M)
        return;
    CEventFileSystem fs;
    std::atomic<uint8_t> bUnused{0};
    Arm(fs, bUnused);
    CInstalledFileSystem installed(&fs);
    std::ostringstream out;
    std::ostringstream err;
    const int nStatus = RunMap(
        {"--block-size=" + std::to_string(c.nBlockSize), strFirst, strSecond}, out, err, false);
    QCOMPARE(nActed.load(), 0);
    const QByteArray states = Runs(c.pszStates).chopped(1);
    const auto n = [&states](char ch) { return int(states.count(ch)); };
    const QString strSummary =
        QString("blocks=%1 block_size=%2 equal=%3 different=%4 length_differs=%5 read_error=%6\n")
            .arg(states.size())
            .arg(c.nBlockSize)
            .arg(n('2'))
            .arg(n('3'))
            .arg(n('4'))
            .arg(n('5'));
    QVERIFY2(QString::fromStdString(out.str()).startsWith(strSummary), out.str().c_str());
    QCOMPARE(nStatus, n('5') ? 2 : (n('3') + n('4')) ? 1 : 0);
}

// The abort flag raised from another thread at any moment, also while the last block is
// being posted: the finish arrives once, and the blocks compared are a prefix of the file.
void TestFaults::abortRacingTheFinishNeverLosesIt() {
    QTemporaryDir dir;
    const int nBlocks = 32; // the only progress post comes right after the last block
    std::string strPath = WriteFile(dir, "race", Pattern(nBlocks * 1024));
    std::mt19937 random(7);
    const int nIterations = 400;
    int nWhole = 0;
    for (int n = 0; n < nIterations; ++n) {
        CJobRun run;
        if (n % 4 == 0)
            run.onProgress = [&run] { run.bAbort = 1; };
        QVERIFY(run.Run(strPath, strPath, nBlocks * 1024, 1024, [&] {
            if (n % 4 != 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 400));
                run.bAbort = 1;
            }
        }));
        QCOMPARE(run.nFinished.load(), 1);
        const QByteArray states = run.States();
        const int nCompared = int(states.count('2'));
        QCOMPARE(states, QByteArray(nCompared, '2') + QByteArray(nBlocks + 1 - nCompared, '0'));
        nWhole += nCompared == nBlocks;
    }
    // Both ends of the race were reached, or the test proved nothing.
    QVERIFY(nWhole > 0);
    QVERIFY(nWhole < nIterations);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
