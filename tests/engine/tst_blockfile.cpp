#include "engine/blockfile.h"
#include "tests/testutil.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace testutil;

// Counts opens and closes; with nSeeAs the look-up by name sees that kind of file, as when
// the name is pointed elsewhere between the look-up and the open.
struct CCountingFileSystem : CFileSystem {
    int StatPath(const char* pszPath, struct stat* pStat) override {
        const int nResult = CFileSystem::StatPath(pszPath, pStat);
        if (nSeeAs != 0)
            pStat->st_mode = (pStat->st_mode & ~S_IFMT) | nSeeAs;
        return nResult;
    }
    int Open(const char* pszPath, int nFlags) override {
        ++nOpens;
        this->nFlags = nFlags;
        return CFileSystem::Open(pszPath, nFlags);
    }
    int Close(int fd) override {
        ++nCloses;
        return CFileSystem::Close(fd);
    }
    mode_t nSeeAs = 0;
    int nOpens = 0;
    int nCloses = 0;
    int nFlags = 0;
};

static bool BindSocket(const QString& strPath) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, QFile::encodeName(strPath).constData(), sizeof addr.sun_path);
    const bool bBound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return bBound;
}

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

    // Each row opens a file first, then the row's path on the same object. What cannot be
    // compared is refused by its name, never opened: opening a terminal or a tape acts on it.
    // seenAs: the kind of file the look-up by name saw, when the name was then pointed at
    // the row's file.
    void refusesWhatCannotBeCompared_data() {
        Columns<QString, uint, QString, int>("path", "seenAs", "reason", "opens");
        const QString strFifo = m_dir.filePath("fifo"), strSocket = m_dir.filePath("socket");
        QCOMPARE(::mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
        QVERIFY(BindSocket(strSocket));
        const QString strGood = QString::fromStdString(WriteFile(m_dir, "second", "second"));
        const uint nAsIs = 0;
        QTest::newRow("regular file") << strGood << nAsIs << QString() << 2;
        QTest::newRow("missing") << m_dir.filePath("nothing") << nAsIs
                                 << "No such file or directory" << 1;
        QTest::newRow("directory") << m_dir.path() << nAsIs << "Is a directory" << 1;
        QTest::newRow("fifo") << strFifo << nAsIs << "Illegal seek" << 1;
        QTest::newRow("socket") << strSocket << nAsIs << "No such device or address" << 1;
        QTest::newRow("character device") << "/dev/zero" << nAsIs << "Illegal seek" << 1;
        QTest::newRow("a file became a fifo") << strFifo << uint(S_IFREG) << "Illegal seek" << 2;
        QTest::newRow("a disk became a file")
            << strGood << uint(S_IFBLK) << "Resource temporarily unavailable" << 2;
    }
    void refusesWhatCannotBeCompared() {
        const auto [path, seenAs, reason, opens] =
            Fetch<QString, uint, QString, int>("path", "seenAs", "reason", "opens");
        CCountingFileSystem fs;
        {
            CInstalledFileSystem installed(&fs);
            CInputFile file;
            QVERIFY(file.Open(WriteFile(m_dir, "first", "first")));
            fs.nSeeAs = mode_t(seenAs);
            QCOMPARE(file.Open(QFile::encodeName(path).toStdString()), reason.isEmpty());
            QCOMPARE(file.IsOpen(), reason.isEmpty());
            QCOMPARE(QString::fromStdString(file.GetErrorText()),
                     reason.isEmpty() ? QString("Success") : reason);
            if (reason.isEmpty()) {
                QByteArray got(16, '\0');
                QCOMPARE(got.left(int(file.Read(got.data(), 16))), QByteArray("second"));
            }
            QCOMPARE(fs.nOpens, opens);
            QVERIFY(fs.nFlags & O_NOCTTY);
        }
        QCOMPARE(fs.nCloses, fs.nOpens); // the first file too, closed by the second Open
    }
};

QTEST_GUILESS_MAIN(TestBlockFile)
#include "tst_blockfile.moc"
