#include "engine/blockfile.h"
#include "tests/testutil.h"

#include <QtTest>

#include <sys/stat.h>

using namespace testutil;

static QByteArray Bytes(const uint8_t* p, uint32_t n) {
    return QByteArray(reinterpret_cast<const char*>(p), qsizetype(n));
}

class TestBlockFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // A block within the load, even behind the last one, is served from the buffer; one that
    // runs past it loads afresh from its own position.
    void servesBlocksFromTheLoad() {
        const QByteArray bytes = Pattern(20000);
        CInstalledFaultyFileSystem fs;
        CBlockFile file;
        QVERIFY(file.OpenBuffered(WriteFile(m_dir, "blocks", bytes), 8192));
        for (int64_t pos : {4096, 5000, 4500, 12200}) {
            file.SeekTo(pos);
            uint32_t nGot = 0;
            const uint8_t* p = file.GetBlock(100, nGot);
            QCOMPARE(Bytes(p, nGot), bytes.mid(pos, 100));
            QCOMPARE(file.GetPosition(), pos + 100);
        }
        QCOMPARE(fs.nReads.load(), 2);
        QCOMPARE(file.m_posBuffer, 12200);
    }

    // The load at 16384 serves what it read up to the bad range; past the end nothing is read
    // and the last error stays; a good load clears it.
    void failedLoadIsRetriedAndClearedByTheNextGoodOne() {
        const QByteArray bytes = Pattern(64 * 1024);
        CInstalledFaultyFileSystem fs;
        fs.strFailPath = "faulty";
        fs.nFailFirst = 20000;
        fs.nFailEnd = 32768;
        CBlockFile file;
        QVERIFY(file.OpenBuffered(WriteFile(m_dir, "faulty", bytes), 8192));
        const uint32_t steps[][3] = {{0, 8192, 0},       {16384, 3616, EIO}, {24576, 0, EIO},
                                     {1u << 20, 0, EIO}, {32768, 8192, 0},   {40960, 8192, 0}};
        for (const auto& step : steps) {
            file.SeekTo(step[0]);
            uint32_t nGot = 99;
            const uint8_t* p = file.GetBlock(8192, nGot);
            QCOMPARE(nGot, step[1]);
            QCOMPARE(file.m_dwError, step[2]);
            QCOMPARE(Bytes(p, nGot), bytes.mid(step[0], nGot));
        }
        QCOMPARE(fs.nReads.load(), 6); // the load at 16384 fails on its second read
    }

    void readLoopsOverShortReadsAndInterruptions() {
        const QByteArray bytes = Pattern(262144 + 77);
        CInstalledFaultyFileSystem fs;
        fs.bInterruptEvery = true;
        fs.nShortReads = 1000;
        CInputFile file;
        QVERIFY(file.Open(WriteFile(m_dir, "short", bytes)));
        QByteArray got(bytes.size() + 10, '\0');
        QCOMPARE(file.Read(got.data(), uint32_t(got.size())), uint32_t(bytes.size()));
        QCOMPARE(file.GetLastError(), 0);
        QCOMPARE(got.left(bytes.size()), bytes);
        QCOMPARE(file.GetPosition(), bytes.size());
    }

    void offsetsBeyondFourGiB() {
        const uint64_t nFour = uint64_t(1) << 32;
        CBlockFile file;
        QVERIFY(file.OpenBuffered(WriteFile(m_dir, "sparse", "marker", nFour + 4096, nFour + 10),
                                  262144));
        QCOMPARE(uint64_t(file.m_nLength), nFour + 4096);
        file.SeekTo(int64_t(nFour));
        uint32_t nGot = 0;
        const uint8_t* p = file.GetBlock(65536, nGot);
        QCOMPARE(Bytes(p + 10, 6), QByteArray("marker"));
        QCOMPARE(nGot, 4096u);
    }

    void refusesWhatCannotBeCompared_data() {
        Columns<QString, QString>("path", "reason");
        const QString strFifo = m_dir.filePath("fifo");
        QCOMPARE(::mkfifo(strFifo.toLocal8Bit().constData(), 0600), 0);
        QTest::newRow("missing") << m_dir.filePath("nothing") << "No such file or directory";
        QTest::newRow("directory") << m_dir.path() << "Is a directory";
        QTest::newRow("fifo") << strFifo << "Illegal seek";
        QTest::newRow("character device") << "/dev/zero" << QString("Illegal seek");
    }
    void refusesWhatCannotBeCompared() {
        const auto [path, reason] = Fetch<QString, QString>("path", "reason");
        CInputFile file;
        QVERIFY(!file.Open(path.toStdString()) && !file.IsOpen());
        QCOMPARE(QString::fromStdString(file.GetErrorText()), reason);
    }
};

QTEST_GUILESS_MAIN(TestBlockFile)
#include "tst_blockfile.moc"
