// What happens to the files during a run, and aborts at every moment: the run always
// finishes, exactly once, and every block ends in the state its bytes call for.
#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "tests/testutil.h"

#include <QtTest>

#include <condition_variable>
#include <cstdio>
#include <random>
#include <thread>

using namespace testutil;

namespace {

class CCountingSink : public IJobSink {
public:
    void PostProgress() override {
        if (m_onProgress)
            m_onProgress();
    }
    void PostFinished() override {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_nFinished;
        m_finished.notify_all();
    }
    bool WaitFinished() {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_finished.wait_for(lock, std::chrono::seconds(60),
                                   [this] { return m_nFinished > 0; });
    }
    int Finished() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_nFinished;
    }

    std::function<void()> m_onProgress; // called on the worker thread

private:
    std::mutex m_lock;
    std::condition_variable m_finished;
    int m_nFinished = 0;
};

// One run as the window makes it; Start and Finish may be split to act in between.
struct CRun {
    CBlockStateArray states;
    CLockedText error1;
    CLockedText error2;
    std::atomic<uint8_t> bAbort{0};
    CCountingSink sink;
    CCompareJob* pJob = nullptr;

    bool Start(const std::string& strPath1, const std::string& strPath2, uint64_t nLength,
               uint32_t nBlockSize) {
        states.AllocateCount(int32_t((nLength + nBlockSize - 1) / nBlockSize) + 1);
        CJobSetup setup;
        setup.strPath1 = strPath1;
        setup.strPath2 = strPath2;
        setup.nTotalLength = nLength;
        setup.nBlockSize = nBlockSize;
        setup.pStates = &states;
        setup.pAbort = &bAbort;
        setup.pError1 = &error1;
        setup.pError2 = &error2;
        setup.pSink = &sink;
        std::string strError;
        return StartCompareJob(pJob, setup, strError);
    }
    // True when the finish came; the job is gone afterwards either way.
    bool Finish() {
        bool bFinished = sink.WaitFinished();
        pJob->Join();
        delete pJob;
        pJob = nullptr;
        return bFinished;
    }
    QByteArray States() const {
        QByteArray bytes;
        for (int32_t i = 0; i < states.m_nCount; ++i)
            bytes.append(char('0' + states.Get(i)));
        return bytes;
    }
};

// "2*9 4*7" -> "2222222224444444", and a '0' for the unused entry past the last block.
QByteArray Runs(const char* pszRuns) {
    QByteArray bytes;
    for (const QByteArray& run : QByteArray(pszRuns).split(' ')) {
        int nStar = int(run.indexOf('*'));
        bytes += QByteArray(nStar < 0 ? 1 : run.mid(nStar + 1).toInt(), run[0]);
    }
    return bytes + '0';
}

enum Action { None, Truncate, TruncateBoth, Grow, Unlink, Rename, Abort };

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void duringTheRun_data();
    void duringTheRun();
    void abortRacingTheFinishNeverLosesIt();
};

void TestFaults::duringTheRun_data() {
    QTest::addColumn<int>("length2");
    QTest::addColumn<uint>("blockSize");
    QTest::addColumn<int>("action"); // done to the second file before its read at "at"
    QTest::addColumn<qulonglong>("at");
    QTest::addColumn<qulonglong>("arg"); // the new length; Abort: unused
    QTest::addColumn<QString>("failPath");
    QTest::addColumn<qulonglong>("failFirst");
    QTest::addColumn<qulonglong>("failEnd");
    QTest::addColumn<QByteArray>("states");
    // The first file has 1 MiB; loads are 256 KiB, four 64 KiB blocks each.
    const qulonglong M = 1 << 20;
    QTest::newRow("truncated") << int(M) << 65536u << int(Truncate) << 524288ull << 600000ull << ""
                               << 0ull << 0ull << Runs("2*9 4*7");
    QTest::newRow("truncated to nothing") << int(M) << 65536u << int(Truncate) << 262144ull << 0ull
                                          << "" << 0ull << 0ull << Runs("2*4 4*12");
    QTest::newRow("both truncated: not equal for want of bytes")
        << int(M) << 65536u << int(TruncateBoth) << 262144ull << 262144ull << "" << 0ull << 0ull
        << Runs("2*4 4*12");
    QTest::newRow("grows: the length at opening holds")
        << 600000 << 65536u << int(Grow) << 0ull << 2 * M << "" << 0ull << 0ull << Runs("2*9 4*7");
    QTest::newRow("deleted: the open file keeps its bytes")
        << int(M) << 65536u << int(Unlink) << 524288ull << 0ull << "" << 0ull << 0ull
        << Runs("2*16");
    QTest::newRow("renamed") << int(M) << 65536u << int(Rename) << 524288ull << 0ull << "" << 0ull
                             << 0ull << Runs("2*16");
    QTest::newRow("unreadable region") << int(M) << 65536u << int(None) << 0ull << 0ull << "second"
                                       << 300000ull << 500000ull << Runs("2*4 5*4 2*8");
    QTest::newRow("load failing part way serves what it got")
        << int(M) << 4096u << int(None) << 0ull << 0ull << "second" << 200000ull << 210000ull
        << Runs("2*48 5*4 2*204");
    QTest::newRow("both readers failing") << int(M) << 65536u << int(None) << 0ull << 0ull << ".bin"
                                          << 300000ull << 500000ull << Runs("2*4 5*4 2*8");
    QTest::newRow("shorter file's last load fails")
        << 600000 << 65536u << int(None) << 0ull << 0ull << "second" << 524288ull << M
        << Runs("2*8 5*2 4*6");
    QTest::newRow("longer file unreadable past the shorter's end")
        << 600000 << 65536u << int(None) << 0ull << 0ull << "first" << 655360ull << M
        << Runs("2*9 4 5*6");
    QTest::newRow("truncated inside an unreadable region")
        << int(M) << 65536u << int(Truncate) << 524288ull << 600000ull << "second" << 400000ull
        << 500000ull << Runs("2*6 5*2 2 4*7");
    // One block per load, so the flag is raised while exactly that block is being read.
    QTest::newRow("abort at the first block")
        << int(M) << 262144u << int(Abort) << 0ull << 0ull << "" << 0ull << 0ull << Runs("2 0*3");
    QTest::newRow("abort at a middle block") << int(M) << 262144u << int(Abort) << 262144ull << 0ull
                                             << "" << 0ull << 0ull << Runs("2*2 0*2");
    QTest::newRow("abort at the last block") << int(M) << 262144u << int(Abort) << 786432ull << 0ull
                                             << "" << 0ull << 0ull << Runs("2*4");
}

void TestFaults::duringTheRun() {
    QFETCH(int, length2);
    QFETCH(uint, blockSize);
    QFETCH(int, action);
    QFETCH(qulonglong, at);
    QFETCH(qulonglong, arg);
    QFETCH(QString, failPath);
    QFETCH(qulonglong, failFirst);
    QFETCH(qulonglong, failEnd);
    QFETCH(QByteArray, states);
    QTemporaryDir dir;
    QByteArray bytes = Pattern(1 << 20);
    std::string strFirst = WriteFile(dir, "first.bin", bytes);
    std::string strSecond = WriteFile(dir, "second.bin", bytes.left(length2));
    CRun run;
    CEventFileSystem fs;
    fs.strFailPath = failPath.toStdString();
    fs.nFailFirst = failFirst;
    fs.nFailEnd = failEnd;
    fs.strTarget = strSecond;
    fs.nTriggerAt = at;
    std::atomic<int> nActed{action == None ? 0 : -1}; // set on the worker thread
    fs.m_onTrigger = [&] {
        const std::string strMoved = strSecond + ".moved";
        int nResult = 0;
        if (action == TruncateBoth)
            nResult = ::truncate(strFirst.c_str(), off_t(arg));
        if (action == Truncate || action == TruncateBoth || action == Grow)
            nResult |= ::truncate(strSecond.c_str(), off_t(arg));
        else if (action == Unlink)
            nResult = ::unlink(strSecond.c_str());
        else if (action == Rename)
            nResult = std::rename(strSecond.c_str(), strMoved.c_str());
        else if (action == Abort)
            run.bAbort = 1;
        nActed = nResult;
    };
    CInstalledFileSystem installed(&fs);
    QVERIFY(run.Start(strFirst, strSecond, 1 << 20, blockSize));
    QVERIFY(run.Finish());
    QCOMPARE(run.States(), states);
    QCOMPARE(run.sink.Finished(), 1);
    QCOMPARE(nActed.load(), 0);
    QVERIFY(run.error1.Get().empty() && run.error2.Get().empty());
}

// The abort flag raised from another thread at any moment, also while the last block is
// being posted: the finish arrives once, and the blocks compared are a prefix of the file.
void TestFaults::abortRacingTheFinishNeverLosesIt() {
    const int nBlocks = 32; // the only progress post comes right after the last block
    std::string strPath = WriteFile(m_dir, "race", Pattern(nBlocks * 1024));
    std::mt19937 random(7);
    const int nIterations = 400;
    int nWhole = 0;
    for (int n = 0; n < nIterations; ++n) {
        CRun run;
        if (n % 4 == 0)
            run.sink.m_onProgress = [&run] { run.bAbort = 1; };
        QVERIFY(run.Start(strPath, strPath, nBlocks * 1024, 1024));
        if (n % 4 != 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 400));
            run.bAbort = 1;
        }
        QVERIFY(run.Finish());
        QCOMPARE(run.sink.Finished(), 1);
        QByteArray states = run.States();
        int nCompared = int(states.count('2'));
        QCOMPARE(states, QByteArray(nCompared, '2') + QByteArray(nBlocks + 1 - nCompared, '0'));
        nWhole += nCompared == nBlocks;
    }
    // Both ends of the race were reached, or the test proved nothing.
    QVERIFY(nWhole > 0);
    QVERIFY(nWhole < nIterations);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
