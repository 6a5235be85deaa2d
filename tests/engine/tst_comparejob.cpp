#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "tests/testutil.h"

#include <QtTest>

#include <condition_variable>
#include <random>

using namespace testutil;

namespace {

// Records what the worker reports: every progress value at the moment it is posted, and
// how often the finish arrives.
class CRecordingSink : public IJobSink {
public:
    explicit CRecordingSink(CCompareJob* const* ppJob) : m_ppJob(ppJob) {}
    void PostProgress() override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_progress.push_back((*m_ppJob)->m_nProgress.load());
    }
    void PostFinished() override {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_nFinished;
        m_finished.notify_all();
    }
    bool WaitFinished() {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_finished.wait_for(lock, std::chrono::seconds(120),
                                   [this] { return m_nFinished > 0; });
    }

    std::mutex m_lock;
    std::condition_variable m_finished;
    std::vector<int32_t> m_progress;
    int m_nFinished = 0;

private:
    CCompareJob* const* m_ppJob;
};

// One comparison from start to finish, as the window runs it.
struct CRun {
    CBlockStateArray states;
    CLockedText error1;
    CLockedText error2;
    std::atomic<uint8_t> bAbort{0};
    CCompareJob* pJob = nullptr;
    CRecordingSink sink{&pJob};

    bool Run(const std::string& strPath1, const std::string& strPath2, uint64_t nLength,
             uint32_t nBlockSize, int32_t nCapacity = 1 << 20) {
        states.AllocateCount(nCapacity);
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
        if (!StartCompareJob(pJob, setup, strError))
            return false;
        bool bFinished = sink.WaitFinished();
        pJob->Join();
        delete pJob;
        pJob = nullptr;
        return bFinished;
    }
    QByteArray States(int32_t nCount) const {
        QByteArray bytes;
        for (int32_t i = 0; i < nCount; ++i)
            bytes.append(char('0' + states.Get(i)));
        return bytes;
    }
};

} // namespace

class TestCompareJob : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void fileAgainstItselfIsAllEqual();
    void flippingOneByteMakesExactlyThatBlockDiffer();
    void blockStates_data();
    void blockStates();
    void progressPosts_data();
    void progressPosts();
    void progressBeyondFourHundredThousandBlocksDoesNotOverflow();
    void smallBlocksAreServedFromQuarterMegabyteLoads();
    void blocksAboveTheBufferCostOneReadEach();
    void unreadableRegionIsBlackAndTheRestCompared();
    void abortBeforeTheFirstBlockComparesNothing();
    void workerThatCannotOpenAFileSaysWhyAndFinishes_data();
    void workerThatCannotOpenAFileSaysWhyAndFinishes();
    void noThreadMeansNoJobAndNothingPosted();
    void setupsThatCannotRunAreRefused();
    void offsetsBeyondFourGiB();
};

void TestCompareJob::fileAgainstItselfIsAllEqual() {
    std::string strPath = WriteFile(m_dir, "self", Pattern(100000));
    CRun run;
    QVERIFY(run.Run(strPath, strPath, 100000, 4096));
    QCOMPARE(run.States(26), QByteArray(25, '2') + '0');
    QCOMPARE(run.sink.m_nFinished, 1);
}

void TestCompareJob::flippingOneByteMakesExactlyThatBlockDiffer() {
    const int nLength = 50000;
    QByteArray original = Pattern(nLength, 3);
    std::string strOriginal = WriteFile(m_dir, "original", original);
    std::mt19937 random(12345);
    for (int nTrial = 0; nTrial < 20; ++nTrial) {
        int nAt = int(random() % nLength);
        uint32_t nBlockSize = 1u << (random() % 14);
        QByteArray changed = original;
        changed[nAt] = char(changed[nAt] ^ (1 + random() % 255));
        CRun run;
        QVERIFY(run.Run(strOriginal, WriteFile(m_dir, "changed", changed), nLength, nBlockSize));
        int32_t K = int32_t((nLength + nBlockSize - 1) / nBlockSize);
        QByteArray expected(K, '2');
        expected[nAt / int(nBlockSize)] = '3';
        QCOMPARE(run.States(K), expected);
    }
}

void TestCompareJob::blockStates_data() {
    QTest::addColumn<int>("length1");
    QTest::addColumn<int>("length2");
    QTest::addColumn<int>("differAt"); // -1: no differing byte
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<QByteArray>("states");
    QTest::newRow("1000 against 1500") << 1000 << 1500 << 130 << 64
                                       << QByteArray("223"
                                                     "222222222222"
                                                     "4"
                                                     "44444444");
    QTest::newRow("equal lengths, short last block differs")
        << 1000 << 1000 << 990 << 64 << QByteArray(15, '2') + "3";
    QTest::newRow("one empty file") << 0 << 100 << -1 << 64 << QByteArray("44");
    QTest::newRow("one byte") << 1 << 1 << 0 << 4096 << QByteArray("3");
    QTest::newRow("block of one byte") << 5 << 4 << 2 << 1 << QByteArray("22324");
}

void TestCompareJob::blockStates() {
    QFETCH(int, length1);
    QFETCH(int, length2);
    QFETCH(int, differAt);
    QFETCH(int, blockSize);
    QFETCH(QByteArray, states);
    QByteArray longer = Pattern(qMax(length1, length2));
    QByteArray first = longer.left(length1);
    QByteArray second = longer.left(length2);
    if (differAt >= 0)
        second[differAt] = char(~second[differAt]);
    CRun run;
    QVERIFY(run.Run(WriteFile(m_dir, "first", first), WriteFile(m_dir, "second", second),
                    uint64_t(qMax(length1, length2)), uint32_t(blockSize)));
    QCOMPARE(run.States(int32_t(states.size()) + 1), states + '0');
}

void TestCompareJob::progressPosts_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("posts");
    QTest::addColumn<int>("last");
    QTest::newRow("20 blocks") << 20 * 256 << 0 << -1;
    QTest::newRow("64 blocks") << 64 * 256 << 2 << 10000;
    QTest::newRow("39063 blocks, the last one short") << 10000000 << 1220 << 9994;
}

void TestCompareJob::progressPosts() {
    QFETCH(int, length);
    QFETCH(int, posts);
    QFETCH(int, last);
    std::string strPath = WriteFile(m_dir, "progress", Pattern(length));
    CRun run;
    QVERIFY(run.Run(strPath, strPath, uint64_t(length), 256));
    QCOMPARE(int(run.sink.m_progress.size()), posts);
    if (posts > 0)
        QCOMPARE(run.sink.m_progress.back(), last);
    QVERIFY(std::is_sorted(run.sink.m_progress.begin(), run.sink.m_progress.end()));
    QCOMPARE(run.sink.m_nFinished, 1);
}

void TestCompareJob::progressBeyondFourHundredThousandBlocksDoesNotOverflow() {
    std::string strPath = WriteFile(m_dir, "half-million", Pattern(500000));
    CRun run;
    QVERIFY(run.Run(strPath, strPath, 500000, 1));
    QCOMPARE(int(run.sink.m_progress.size()), 15625);
    QCOMPARE(run.sink.m_progress[429504 / 32 - 1], 8590);
    QCOMPARE(run.sink.m_progress.back(), 10000);
}

void TestCompareJob::smallBlocksAreServedFromQuarterMegabyteLoads() {
    std::string strPath = WriteFile(m_dir, "ten-million", Pattern(10000000));
    CFaultyFileSystem fs;
    CInstalledFileSystem installed(&fs);
    CRun run;
    QVERIFY(run.Run(strPath, strPath, 10000000, 256));
    QCOMPARE(fs.nReads.load(), 2 * 39);
}

void TestCompareJob::blocksAboveTheBufferCostOneReadEach() {
    const int nBlock = 1 << 20;
    std::string strPath = WriteFile(m_dir, "big-blocks", Pattern(3 * nBlock + 5));
    CFaultyFileSystem fs;
    CInstalledFileSystem installed(&fs);
    CRun run;
    QVERIFY(run.Run(strPath, strPath, 3 * nBlock + 5, nBlock));
    QCOMPARE(fs.nReads.load(), 2 * 4);
    QCOMPARE(run.States(5), QByteArray("22220"));
}

void TestCompareJob::unreadableRegionIsBlackAndTheRestCompared() {
    QByteArray bytes = Pattern(1 << 20);
    std::string strGood = WriteFile(m_dir, "good", bytes);
    QByteArray changed = bytes;
    changed[900000] = 'x';
    std::string strBad = WriteFile(m_dir, "bad", changed);
    CFaultyFileSystem fs;
    fs.strFailPath = "bad";
    fs.nFailFirst = 300000;
    fs.nFailEnd = 500000;
    CInstalledFileSystem installed(&fs);
    CRun run;
    QVERIFY(run.Run(strGood, strBad, 1 << 20, 65536));
    // Blocks 4 to 7 (262144 to 524287) touch the bad range; block 13 holds the change.
    QCOMPARE(run.States(17), QByteArray("2222555522222322"
                                        "0"));
}

void TestCompareJob::abortBeforeTheFirstBlockComparesNothing() {
    std::string strPath = WriteFile(m_dir, "abort", Pattern(10000));
    CRun run;
    run.bAbort = 1;
    QVERIFY(run.Run(strPath, strPath, 10000, 64));
    QCOMPARE(run.States(200), QByteArray(200, '0'));
    QCOMPARE(run.sink.m_nFinished, 1);
    QVERIFY(run.sink.m_progress.empty());
}

void TestCompareJob::workerThatCannotOpenAFileSaysWhyAndFinishes_data() {
    QTest::addColumn<bool>("firstMissing");
    QTest::newRow("first") << true;
    QTest::newRow("second") << false;
}

void TestCompareJob::workerThatCannotOpenAFileSaysWhyAndFinishes() {
    QFETCH(bool, firstMissing);
    std::string strThere = WriteFile(m_dir, "there", Pattern(100));
    std::string strGone = m_dir.filePath("gone").toStdString();
    CRun run;
    QVERIFY(run.Run(firstMissing ? strGone : strThere, firstMissing ? strThere : strGone, 100, 4));
    QCOMPARE(run.sink.m_nFinished, 1);
    QCOMPARE(run.States(25), QByteArray(25, '0'));
    if (firstMissing) {
        QCOMPARE(run.error1.Get(), std::string("Compare error: No such file or directory"));
        QVERIFY(run.error2.Get().empty());
    } else {
        QVERIFY(run.error1.Get().empty());
        QCOMPARE(run.error2.Get(), std::string("Comapre error: No such file or directory"));
    }
}

void TestCompareJob::noThreadMeansNoJobAndNothingPosted() {
    std::string strPath = WriteFile(m_dir, "nothread", Pattern(100));
    CRun run;
    SimulateThreadStartFailure(true);
    bool bStarted = run.Run(strPath, strPath, 100, 4);
    SimulateThreadStartFailure(false);
    QVERIFY(!bStarted);
    QCOMPARE(run.pJob, nullptr);
    QCOMPARE(run.sink.m_nFinished, 0);
}

void TestCompareJob::setupsThatCannotRunAreRefused() {
    std::string strPath = WriteFile(m_dir, "refused", Pattern(100));
    const uint32_t blockSizes[] = {0, 3, 0x80000000u};
    for (uint32_t nBlockSize : blockSizes) {
        CRun run;
        QVERIFY(!run.Run(strPath, strPath, 100, nBlockSize));
        QCOMPARE(run.pJob, nullptr);
    }
    CRun tooMany; // 100 blocks for a 99-byte array
    QVERIFY(!tooMany.Run(strPath, strPath, 100, 1, 99));
    QCOMPARE(tooMany.sink.m_nFinished, 0);
}

void TestCompareJob::offsetsBeyondFourGiB() {
    const uint64_t nFour = uint64_t(1) << 32;
    const uint64_t nLength = nFour + 3 * 65536 + 100;
    std::string strFirst = WriteSparse(m_dir, "sparse1", nLength, nFour + 65536, "A");
    std::string strSecond = WriteSparse(m_dir, "sparse2", nLength - 50, nFour + 65536, "B");
    CRun run;
    QVERIFY(run.Run(strFirst, strSecond, nLength, 65536));
    const int32_t K = int32_t((nLength + 65535) / 65536);
    QCOMPARE(run.States(K).count('2'), K - 2);
    QCOMPARE(run.States(K + 1).right(5), QByteArray("2324") + '0');
}

QTEST_GUILESS_MAIN(TestCompareJob)
#include "tst_comparejob.moc"
