// What happens to the files during a run, and aborts at every moment: the run always
// finishes, exactly once, and every block ends in the state its bytes call for.
#include "cli/mapcli.h"
#include "tests/engine/alignrun.h"
#include "tests/engine/faultcases.h"

#include <QtTest>

#include <random>
#include <sstream>
#include <thread>

using namespace faults;

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void duringTheRun_data() {
        Columns<int>("row");
        for (int i = 0; i < int(std::size(kCases)); ++i)
            QTest::newRow(kCases[i].pszName) << i;
    }
    void duringTheRun() {
        const Case& c = kCases[std::get<0>(Fetch<int>("row"))];
        const QByteArray states = Runs(c.pszStates);
        QTemporaryDir dir;
        CJobRun run;
        {
            CFaultRun fault(c, dir);
            if (fault.pszSkip)
                QSKIP(fault.pszSkip);
            QVERIFY(run.Run(fault.strFirst, fault.strSecond, M, c.nBlockSize));
            QCOMPARE(run.States(), states + '0'); // the entry past the last block stays unused
            QVERIFY(run.nFinished == 1 && fault.nActed == 0);
        }
        // quillet-map takes the run's length from the files themselves.
        if (std::max(c.nLength1, c.nLength2) != M)
            return;
        CFaultRun fault(c, dir);
        std::ostringstream out, err;
        const int nStatus = RunMap(
            {"-b", std::to_string(c.nBlockSize), fault.strFirst, fault.strSecond}, out, err, false);
        const auto n = [&states](char ch) { return int(states.count(ch)); };
        QCOMPARE(out.str().substr(0, out.str().find('\n')),
                 QString::asprintf("blocks=%d block_size=%u equal=%d different=%d "
                                   "length_differs=%d read_error=%d",
                                   int(states.size()), c.nBlockSize, n('2'), n('3'), n('4'), n('5'))
                     .toStdString());
        QVERIFY(fault.nActed == 0 && nStatus == (n('5') ? 2 : (n('3') + n('4')) ? 1 : 0));
    }
    // The same rows through the aligned comparison, given the lengths the plain one is: every
    // block holds the worst the plain comparison says of it.
    void alignedDuringTheRun_data() { duringTheRun_data(); }
    void alignedDuringTheRun() {
        const Case& c = kCases[std::get<0>(Fetch<int>("row"))];
        QTemporaryDir dir;
        CAlignRun run;
        CFaultRun fault(c, dir);
        if (fault.pszSkip)
            QSKIP(fault.pszSkip);
        QVERIFY(run.Run(fault.strFirst, fault.strSecond, M, M));
        QCOMPARE(run.Blocks(M, c.nBlockSize), Runs(c.pszStates));
        QVERIFY(run.nFinished == 1 && fault.nActed == 0 && run.alignment.m_bComplete);
    }
    // The abort flag raised from another thread at any moment, also while the last block is
    // being posted: the finish arrives once, and the blocks compared are a prefix of the file.
    void abortRacingTheFinishNeverLosesIt() {
        QTemporaryDir dir;
        const int nBlocks = 32; // the only progress post comes right after the last block
        const std::string strPath = WriteFile(dir, "race", Pattern(nBlocks * 1024));
        std::mt19937 random(7);
        using Clock = std::chrono::steady_clock;
        Clock::duration tWhole{}; // what the last run aborted only after its last block took
        int nWhole[2] = {};       // runs whole: aborted after the last block; at random
        for (int n = 0; n < 400; ++n) {
            CJobRun run;
            run.onProgress = [&run, n] { run.bAbort |= n % 4 == 0; };
            const auto tStart = Clock::now(), tAbort = tStart + tWhole * int(random() % 200) / 100;
            QVERIFY(run.Run(strPath, strPath, nBlocks * 1024, 1024, [&] {
                while (n % 4 && Clock::now() < tAbort)
                    std::this_thread::yield();
                run.bAbort |= n % 4 != 0;
            }));
            tWhole = n % 4 ? tWhole : Clock::now() - tStart;
            const int nCompared = int(run.States().count('2'));
            QCOMPARE(run.States() + char('0' + run.nFinished),
                     QByteArray(nCompared, '2') + QByteArray(nBlocks + 1 - nCompared, '0') + '1');
            nWhole[n % 4 != 0] += nCompared == nBlocks;
        }
        // Every run aborted after its last block is whole; those aborted at random, some.
        QVERIFY2(nWhole[0] == 100 && nWhole[1] > 0 && nWhole[1] < 300,
                 qPrintable(QString::asprintf("%d and %d whole", nWhole[0], nWhole[1])));
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
