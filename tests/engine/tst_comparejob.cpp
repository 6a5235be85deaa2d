#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "tests/testutil.h"

#include <QtTest>

#include <random>

using namespace testutil;

namespace {
// One comparison from start to finish; records every progress value as it is posted.
struct CRun : IJobSink {
    CBlockStateArray states;
    CLockedText error1, error2;
    std::atomic<uint8_t> bAbort{0};
    CCompareJob* pJob = nullptr;
    std::vector<int32_t> progress;
    int nFinished = 0;
    std::string strError;
    uint64_t nFirst = 0;
    bool bStop = false;

    void PostProgress() override { progress.push_back(pJob->m_nProgress.load()); }
    void PostFinished() override { ++nFinished; }
    // True when the job started and finished exactly once.
    bool Run(const std::string& strPath1, const std::string& strPath2, uint64_t nLength,
             uint32_t nBlockSize, int32_t nCapacity = 1 << 20) {
        states.AllocateCount(nCapacity);
        CJobSetup setup{strPath1, strPath2, nLength, nBlockSize, &states,
                        &bAbort,  &error1,  &error2, this};
        setup.nFirst = nFirst;
        setup.bStopAtDifference = bStop;
        if (!StartCompareJob(pJob, setup, strError))
            return false;
        pJob->Join(); // the worker's writes are seen from here on
        delete std::exchange(pJob, nullptr);
        return nFinished == 1;
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
    // A file against itself: every block equal, a progress post every 32 blocks, the file
    // read in loads of 256 KiB or one per larger block.
    void againstItself_data() {
        // reads: by both readers
        Columns<int, uint, int, int, int>("length", "blockSize", "posts", "last", "reads");
        QTest::newRow("20 blocks") << 20 * 256 << 256u << 0 << -1 << 2;
        QTest::newRow("64 blocks") << 64 * 256 << 256u << 2 << 10000 << 2;
        QTest::newRow("39063 blocks, the last short") << 10000000 << 256u << 1220 << 9994 << 78;
        QTest::newRow("500000 blocks") << 500000 << 1u << 15625 << 10000 << 4;
        QTest::newRow("blocks above the buffer") << (3 << 20) + 5 << (1u << 20) << 0 << -1 << 8;
    }
    void againstItself() {
        const auto [length, blockSize, posts, last, reads] =
            Fetch<int, uint, int, int, int>("length", "blockSize", "posts", "last", "reads");
        const std::string strPath = WriteFile(m_dir, "self", Pattern(length));
        CInstalledFaultyFileSystem fs;
        CRun run;
        QVERIFY(run.Run(strPath, strPath, uint64_t(length), blockSize));
        const int32_t K = int32_t((uint32_t(length) + blockSize - 1) / blockSize);
        QCOMPARE(run.States(K + 1), QByteArray(K, '2') + '0');
        QCOMPARE(int(run.progress.size()), posts);
        QCOMPARE(run.progress.empty() ? -1 : run.progress.back(), last);
        QVERIFY(std::is_sorted(run.progress.begin(), run.progress.end()));
        QCOMPARE(fs.nReads.load(), reads);
    }

    void flippingOneByteMakesExactlyThatBlockDiffer() {
        const int nLength = 50000;
        const QByteArray original = Pattern(nLength, 3);
        const std::string strOriginal = WriteFile(m_dir, "original", original);
        std::mt19937 random(12345);
        for (int nTrial = 0; nTrial < 20; ++nTrial) {
            const int nAt = int(random() % nLength);
            const uint32_t nBlockSize = 1u << (random() % 14);
            QByteArray changed = original;
            changed[nAt] = char(changed[nAt] ^ (1 + random() % 255));
            CRun run;
            QVERIFY(
                run.Run(strOriginal, WriteFile(m_dir, "changed", changed), nLength, nBlockSize));
            QByteArray expected(int32_t((nLength + nBlockSize - 1) / nBlockSize), '2');
            expected[nAt / int(nBlockSize)] = '3';
            QCOMPARE(run.States(int32_t(expected.size())), expected);
        }
    }

    // A file of zeros against one with 01 at one offset (its length: nowhere), compared from
    // first to end (0: the longer length), to the first difference when stop.
    void blockStates_data() {
        Columns<qulonglong, qulonglong, qulonglong, uint, QByteArray, qulonglong, qulonglong, bool>(
            "length1", "length2", "differAt", "blockSize", "states", "first", "end", "stop");
        const qulonglong nFour = 1ull << 32;
        QTest::newRow("1000 against 1500")
            << 1000ull << 1500ull << 130ull << 64u
            << "223" + QByteArray(12, '2') + QByteArray(9, '4') << 0ull << 0ull << false;
        QTest::newRow("short last block differs")
            << 1000ull << 1000ull << 990ull << 64u << QByteArray(15, '2') + "3" << 0ull << 0ull
            << false;
        QTest::newRow("one empty file")
            << 0ull << 100ull << 100ull << 64u << QByteArray("44") << 0ull << 0ull << false;
        QTest::newRow("block of one byte")
            << 5ull << 4ull << 2ull << 1u << QByteArray("22324") << 0ull << 0ull << false;
        QTest::newRow("beyond 4 GiB") << nFour + 196708 << nFour + 196658 << nFour + 65536 << 65536u
                                      << QByteArray(65536, '2') + "2324" << 0ull << 0ull << false;
        QTest::newRow("part ending before the difference")
            << 1000ull << 1000ull << 990ull << 64u << QByteArray(14, '2') << 100ull << 990ull
            << false;
        QTest::newRow("part starting inside a block")
            << 1000ull << 1000ull << 130ull << 64u << "3" + QByteArray(14, '2') << 100ull << 0ull
            << false;
        QTest::newRow("stop at a difference")
            << 1000ull << 1500ull << 130ull << 64u << QByteArray("223") << 0ull << 0ull << true;
        QTest::newRow("stop at a length difference")
            << 0ull << 100ull << 100ull << 64u << QByteArray("4") << 0ull << 0ull << true;
        QTest::newRow("stop, but all equal")
            << 1000ull << 1000ull << 1000ull << 64u << QByteArray(16, '2') << 0ull << 0ull << true;
        QTest::newRow("stop in a part above 4 GiB")
            << nFour + 4096 << nFour + 4096 << nFour + 100 << 64u << QByteArray("2223")
            << nFour - 128 << 0ull << true;
    }
    void blockStates() {
        const auto [length1, length2, differAt, blockSize, states, first, end, stop] =
            Fetch<qulonglong, qulonglong, qulonglong, uint, QByteArray, qulonglong, qulonglong,
                  bool>("length1", "length2", "differAt", "blockSize", "states", "first", "end",
                        "stop");
        CRun run;
        run.nFirst = first;
        run.bStop = stop;
        QVERIFY(
            run.Run(WriteFile(m_dir, "first", {}, length1),
                    WriteFile(m_dir, "second", differAt < length2 ? "\x01" : "", length2, differAt),
                    end ? end : qMax(length1, length2), blockSize));
        QCOMPARE(run.States(int32_t(states.size()) + 1), states + '0');
    }

    void unreadableRegionIsBlackAndTheRestCompared() {
        const QByteArray bytes = Pattern(1 << 20);
        QByteArray changed = bytes;
        changed[900000] = 'x';
        CInstalledFaultyFileSystem fs;
        fs.strFailPath = "bad";
        fs.nFailFirst = 300000;
        fs.nFailEnd = 500000;
        CRun run;
        QVERIFY(run.Run(WriteFile(m_dir, "good", bytes), WriteFile(m_dir, "bad", changed), 1 << 20,
                        65536));
        // Blocks 4 to 7 (262144 to 524287) touch the bad range; block 13 holds the change.
        QCOMPARE(run.States(17), QByteArray("22225555222223220"));
    }

    // The job finishes, posts no progress and leaves every block pending.
    void runsThatCompareNothing_data() {
        // missing: which file, if any; errors: of the two files, joined by a bar
        Columns<bool, int, QString>("abort", "missing", "errors");
        QTest::newRow("aborted") << true << 0 << "|";
        QTest::newRow("first missing") << false << 1 << "Compare error: No such file or directory|";
        QTest::newRow("second missing")
            << false << 2 << "|Comapre error: No such file or directory";
    }
    void runsThatCompareNothing() {
        const auto [abort, missing, errors] =
            Fetch<bool, int, QString>("abort", "missing", "errors");
        const std::string strThere = WriteFile(m_dir, "there", Pattern(10000));
        const std::string strGone = m_dir.filePath("gone").toStdString();
        CRun run;
        run.bAbort = abort;
        QVERIFY(run.Run(missing == 1 ? strGone : strThere, missing == 2 ? strGone : strThere, 10000,
                        64));
        QCOMPARE(run.States(200), QByteArray(200, '0'));
        QVERIFY(run.progress.empty());
        QCOMPARE(QString::fromStdString(run.error1.Get() + "|" + run.error2.Get()), errors);
    }

    // Nothing is started and nothing posted; the reason is the system's text.
    void setupsThatCannotRunAreRefused_data() {
        Columns<uint, int, bool, QString>("blockSize", "capacity", "noThread", "error");
        QTest::newRow("block size 0") << 0u << 100 << false << "Invalid argument";
        QTest::newRow("block size 3") << 3u << 100 << false << "Invalid argument";
        QTest::newRow("block size 2^31") << 0x80000000u << 100 << false << "Invalid argument";
        QTest::newRow("100 blocks, room for 99")
            << 1u << 99 << false << "Value too large for defined data type";
        QTest::newRow("no thread") << 1u << 100 << true << "Resource temporarily unavailable";
    }
    void setupsThatCannotRunAreRefused() {
        const auto [blockSize, capacity, noThread, error] =
            Fetch<uint, int, bool, QString>("blockSize", "capacity", "noThread", "error");
        const std::string strPath = WriteFile(m_dir, "refused", Pattern(100));
        CRun run;
        SimulateThreadStartFailure(noThread);
        const bool bStarted = run.Run(strPath, strPath, 100, blockSize, capacity);
        SimulateThreadStartFailure(false);
        QVERIFY(!bStarted && run.pJob == nullptr && run.nFinished == 0);
        QCOMPARE(QString::fromStdString(run.strError), error);
    }
};

QTEST_GUILESS_MAIN(TestCompareJob)
#include "tst_comparejob.moc"
