// What happens to the files during a run, and aborts at every moment: the run always
// finishes, exactly once, and every block ends in the state its bytes call for.
#include "cli/mapcli.h"
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
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kCases)); ++i)
            QTest::newRow(kCases[i].pszName) << i;
    }
    void duringTheRun() {
        QFETCH(int, row);
        const Case& c = kCases[row];
        const QByteArray states = Runs(c.pszStates);
        QTemporaryDir dir;
        {
            CJobRun run;
            CFaultRun fault(c, dir, run.bAbort);
            QVERIFY(run.Run(fault.strFirst, fault.strSecond, M, c.nBlockSize));
            QCOMPARE(run.States(), states + '0'); // the entry past the last block stays unused
            QCOMPARE(run.nFinished.load(), 1);
            QCOMPARE(fault.nActed.load(), 0);
        }
        // quillet-map has no abort, and takes the run's length from the files themselves.
        if (c.action == Abort || std::max(c.nLength1, c.nLength2) != M)
            return;
        std::atomic<uint8_t> bUnused{0};
        CFaultRun fault(c, dir, bUnused);
        std::ostringstream out;
        std::ostringstream err;
        const int nStatus = RunMap(
            {"--block-size=" + std::to_string(c.nBlockSize), fault.strFirst, fault.strSecond}, out,
            err, false);
        QCOMPARE(fault.nActed.load(), 0);
        const auto n = [&states](char ch) { return int(states.count(ch)); };
        const QString strSummary =
            QString(
                "blocks=%1 block_size=%2 equal=%3 different=%4 length_differs=%5 read_error=%6\n")
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
    void abortRacingTheFinishNeverLosesIt() {
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
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
