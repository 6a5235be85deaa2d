#include "engine/blockfile.h"
#include "tests/testutil.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace testutil;

class TestBlockFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void servesBlocksFromWholeBufferLoads();
    void blockNotCoveredByTheLoadCausesAFreshLoad();
    void requestAtOrPastTheEndReadsNothing();
    void backwardsIntoTheLoadIsServedFromTheBuffer();
    void failedLoadIsRetriedAndClearedByTheNextGoodOne();
    void readLoopsOverShortReadsAndInterruptions();
    void emptyFileServesNothing();
    void offsetsBeyondFourGiB();
    void refusesWhatCannotBeCompared_data();
    void refusesWhatCannotBeCompared();
};

void TestBlockFile::servesBlocksFromWholeBufferLoads() {
    QByteArray bytes = Pattern(1000000);
    std::string strPath = WriteFile(m_dir, "million", bytes);
    CFaultyFileSystem fs;
    CInstalledFileSystem installed(&fs);

    CBlockFile file;
    QVERIFY(file.OpenBuffered(strPath, 262144));
    QCOMPARE(file.m_nLength, 1000000);
    QList<int64_t> loads;
    for (int64_t pos = 0; pos < 1000000; pos += 65536) {
        file.SeekTo(pos);
        uint32_t nGot = 0;
        const uint8_t* p = file.GetBlock(65536, nGot);
        QCOMPARE(nGot, pos == 983040 ? 16960u : 65536u);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), nGot), bytes.mid(pos, nGot));
        QCOMPARE(file.GetPosition(), pos + nGot);
        QCOMPARE(file.m_dwError, 0u);
        if (loads.isEmpty() || loads.last() != file.m_posBuffer)
            loads.append(file.m_posBuffer);
    }
    QCOMPARE(loads, QList<int64_t>({0, 262144, 524288, 786432}));
    QCOMPARE(fs.nReads.load(), 4);
}

void TestBlockFile::blockNotCoveredByTheLoadCausesAFreshLoad() {
    QByteArray bytes = Pattern(300000);
    CBlockFile file;
    QVERIFY(file.OpenBuffered(WriteFile(m_dir, "three", bytes), 262144));
    uint32_t nGot = 0;
    for (int64_t pos : {0, 100000}) {
        file.SeekTo(pos);
        file.GetBlock(100000, nGot);
        QCOMPARE(file.m_posBuffer, 0);
    }
    file.SeekTo(200000);
    const uint8_t* p = file.GetBlock(100000, nGot);
    QCOMPARE(file.m_posBuffer, 200000);
    QCOMPARE(nGot, 100000u);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), nGot), bytes.mid(200000));
}

void TestBlockFile::requestAtOrPastTheEndReadsNothing() {
    CFaultyFileSystem fs;
    fs.strFailPath = "ten";
    fs.nFailFirst = 0;
    fs.nFailEnd = 10;
    CInstalledFileSystem installed(&fs);
    CBlockFile file;
    QVERIFY(file.OpenBuffered(WriteFile(m_dir, "ten", Pattern(10)), 4096));
    uint32_t nGot = 99;
    file.GetBlock(4, nGot); // fails, and leaves its error code
    QCOMPARE(file.m_dwError, uint32_t(EIO));
    int nReads = fs.nReads.load();
    for (int64_t pos : {10, 11, 1 << 20}) {
        file.SeekTo(pos);
        const uint8_t* p = file.GetBlock(4, nGot);
        QCOMPARE(nGot, 0u);
        QCOMPARE(p, file.m_pBuffer.get());
        QCOMPARE(file.m_dwError, uint32_t(EIO));
    }
    QCOMPARE(fs.nReads.load(), nReads);
}

void TestBlockFile::backwardsIntoTheLoadIsServedFromTheBuffer() {
    QByteArray bytes = Pattern(8192);
    CFaultyFileSystem fs;
    CInstalledFileSystem installed(&fs);
    CBlockFile file;
    QVERIFY(file.OpenBuffered(WriteFile(m_dir, "back", bytes), 8192));
    uint32_t nGot = 0;
    file.SeekTo(4096);
    file.GetBlock(1024, nGot);
    file.SeekTo(5000);
    const uint8_t* p = file.GetBlock(100, nGot);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), nGot), bytes.mid(5000, 100));
    file.SeekTo(4500);
    p = file.GetBlock(100, nGot);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), nGot), bytes.mid(4500, 100));
    QCOMPARE(fs.nReads.load(), 1);
}

void TestBlockFile::failedLoadIsRetriedAndClearedByTheNextGoodOne() {
    QByteArray bytes = Pattern(64 * 1024);
    CFaultyFileSystem fs;
    fs.strFailPath = "faulty";
    fs.nFailFirst = 20000;
    fs.nFailEnd = 32768;
    CInstalledFileSystem installed(&fs);
    CBlockFile file;
    QVERIFY(file.OpenBuffered(WriteFile(m_dir, "faulty", bytes), 8192));
    // The load at 16384 reads up to the bad range and fails there: it serves what it got.
    struct Step {
        int64_t nPos;
        uint32_t nGot;
        uint32_t nError;
    };
    const Step steps[] = {{0, 8192, 0},    {8192, 8192, 0},  {16384, 3616, EIO},
                          {24576, 0, EIO}, {32768, 8192, 0}, {40960, 8192, 0}};
    for (const Step& step : steps) {
        file.SeekTo(step.nPos);
        uint32_t nGot = 0;
        const uint8_t* p = file.GetBlock(8192, nGot);
        QCOMPARE(nGot, step.nGot);
        QCOMPARE(file.m_dwError, step.nError);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), nGot), bytes.mid(step.nPos, nGot));
    }
}

void TestBlockFile::readLoopsOverShortReadsAndInterruptions() {
    QByteArray bytes = Pattern(262144 + 77);
    CFaultyFileSystem fs;
    fs.nShortReads = 1000;
    fs.bInterruptEvery = true;
    CInstalledFileSystem installed(&fs);
    CInputFile file;
    QVERIFY(file.Open(WriteFile(m_dir, "short", bytes)));
    QByteArray got(bytes.size() + 10, '\0');
    QCOMPARE(file.Read(got.data(), uint32_t(got.size())), uint32_t(bytes.size()));
    QCOMPARE(file.GetLastError(), 0);
    QCOMPARE(got.left(bytes.size()), bytes);
    QCOMPARE(file.GetPosition(), bytes.size());
}

void TestBlockFile::emptyFileServesNothing() {
    CFaultyFileSystem fs;
    CInstalledFileSystem installed(&fs);
    CBlockFile file;
    QVERIFY(file.OpenBuffered(WriteFile(m_dir, "empty", {}), 262144));
    QCOMPARE(file.m_nLength, 0);
    uint32_t nGot = 1;
    file.GetBlock(4096, nGot);
    QCOMPARE(nGot, 0u);
    QCOMPARE(fs.nReads.load(), 0);
}

void TestBlockFile::offsetsBeyondFourGiB() {
    const uint64_t nFour = uint64_t(1) << 32;
    std::string strPath = WriteSparse(m_dir, "sparse", nFour + 4096, nFour + 10, "marker");
    CBlockFile file;
    QVERIFY(file.OpenBuffered(strPath, 262144));
    QCOMPARE(uint64_t(file.m_nLength), nFour + 4096);
    QCOMPARE(file.GetSize(), nFour + 4096);
    file.SeekTo(int64_t(nFour));
    uint32_t nGot = 0;
    const uint8_t* p = file.GetBlock(65536, nGot);
    QCOMPARE(nGot, 4096u);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p) + 10, 6), QByteArray("marker"));
}

void TestBlockFile::refusesWhatCannotBeCompared_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    QString strFifo = m_dir.filePath("fifo");
    ::mkfifo(strFifo.toLocal8Bit().constData(), 0600);
    QString strSocket = m_dir.filePath("sock");
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, strSocket.toLocal8Bit().constData(), sizeof addr.sun_path);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::close(fd);
    QTest::newRow("missing") << m_dir.filePath("nothing") << "No such file or directory";
    QTest::newRow("directory") << m_dir.path() << "Is a directory";
    QTest::newRow("fifo") << strFifo << "Illegal seek";
    QTest::newRow("socket") << strSocket << "No such device or address";
    QTest::newRow("character device") << "/dev/zero"
                                      << "Illegal seek";
}

void TestBlockFile::refusesWhatCannotBeCompared() {
    QFETCH(QString, path);
    QFETCH(QString, reason);
    CInputFile file;
    QVERIFY(!file.Open(path.toStdString()));
    QVERIFY(!file.IsOpen());
    QCOMPARE(QString::fromStdString(file.GetErrorText()), reason);
}

QTEST_GUILESS_MAIN(TestBlockFile)
#include "tst_blockfile.moc"
