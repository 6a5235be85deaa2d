// quillet-map against whatever a file name may point at: it ends in a report or a clear
// "quillet-map: NAME: REASON", never blocks, and writes nothing anywhere.
#include "cli/mapcli.h"
#include "tests/testutil.h"

#include <QDirIterator>
#include <QProcess>
#include <QtTest>

#include <climits>
#include <map>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace testutil;

namespace {

struct CResult {
    int nStatus;
    QByteArray out;
    QByteArray err;
};

CResult MapInProcess(const QByteArrayList& args) {
    std::vector<std::string> list;
    for (const QByteArray& arg : args)
        list.push_back(arg.toStdString());
    std::ostringstream out;
    std::ostringstream err;
    int nStatus = RunMap(list, out, err, false);
    return {nStatus, QByteArray::fromStdString(out.str()), QByteArray::fromStdString(err.str())};
}

QByteArray Summary(uint64_t nBlocks, uint32_t nBlockSize, uint64_t nEqual, uint64_t nDifferent,
                   uint64_t nLengthDiffers) {
    return QString("blocks=%1 block_size=%2 equal=%3 different=%4 length_differs=%5 "
                   "read_error=0\n")
        .arg(nBlocks)
        .arg(nBlockSize)
        .arg(nEqual)
        .arg(nDifferent)
        .arg(nLengthDiffers)
        .toUtf8();
}

// Serves reads that fall wholly in a hole of a sparse file as zeros without asking the
// system, and without even clearing a buffer it cleared before: the bytes delivered are the
// file's, but a 64 GiB file costs the comparison alone.
class CHoleFileSystem : public CFileSystem {
public:
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        off_t nData = ::lseek(fd, nOffset, SEEK_DATA);
        if ((nData < 0 && errno == ENXIO) || (nData >= 0 && uint64_t(nData) >= nOffset + nCount)) {
            off_t nEnd = ::lseek(fd, 0, SEEK_END);
            if (nEnd <= nOffset)
                return 0;
            nCount = std::min<uint64_t>(nCount, uint64_t(nEnd - nOffset));
            std::lock_guard<std::mutex> guard(m_lock);
            size_t& nZero = m_zeroed[pDest];
            if (nZero < nCount) {
                std::memset(pDest, 0, nCount);
                nZero = nCount;
            }
            return ssize_t(nCount);
        }
        ssize_t n = CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
        std::lock_guard<std::mutex> guard(m_lock);
        std::erase_if(m_zeroed, [&](const auto& entry) {
            auto* p = static_cast<char*>(entry.first);
            auto* q = static_cast<char*>(pDest);
            return p < q + nCount && q < p + entry.second;
        });
        return n;
    }

private:
    std::mutex m_lock;
    std::map<void*, size_t> m_zeroed; // buffers known to hold that many zeros
};

// Refuses to open the file named strPath with nErrno; every other call goes to the system.
class CRefusingFileSystem : public CFileSystem {
public:
    int Open(const char* pszPath, int nFlags) override {
        if (strPath == pszPath) {
            errno = nErrno;
            return -1;
        }
        return CFileSystem::Open(pszPath, nFlags);
    }
    std::string strPath;
    int nErrno = EACCES;
};

// Every entry under strDir with its size and modification time.
QStringList Snapshot(const QString& strDir) {
    QStringList entries;
    QDirIterator it(strDir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QByteArray path = QFile::encodeName(it.next());
        struct stat st = {};
        ::lstat(path.constData(), &st);
        entries << QString("%1 %2 %3.%4")
                       .arg(QString::fromLocal8Bit(path))
                       .arg(st.st_size)
                       .arg(st.st_mtim.tv_sec)
                       .arg(st.st_mtim.tv_nsec);
    }
    entries.sort();
    return entries;
}

} // namespace

class TestHostile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_root;
    QByteArrayList m_made; // removed by name: Qt cannot name what is not UTF-8

    // Writes m_root/name; the name's bytes are kept as they are, UTF-8 or not.
    QByteArray Put(const QByteArray& name, const QByteArray& bytes) {
        QByteArray path = name.startsWith('/') ? name : m_root + '/' + name;
        m_made.append(path);
        int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (::write(fd, bytes.constData(), size_t(bytes.size())) != ssize_t(bytes.size()))
                path.clear();
            ::close(fd);
        }
        return path;
    }

private slots:
    void initTestCase();
    void hostileInput_data();
    void hostileInput();
    void sparseFilesAroundFourGiB_data();
    void sparseFilesAroundFourGiB();
    void faultsDuringTheRun_data();
    void faultsDuringTheRun();
    void permissionDenied_data();
    void permissionDenied();
    void programWritesNothing();
    void cleanupTestCase();
};

void TestHostile::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_root = QFile::encodeName(m_dir.path());
}

void TestHostile::hostileInput_data() {
    QTest::addColumn<QByteArrayList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray bytes = Pattern(5000);
    const QByteArray file = Put("plain", bytes);
    const QByteArray equal = Summary(2, 4096, 2, 0, 0);

    const QByteArray folder = m_root + "/folder";
    QDir().mkdir(QFile::decodeName(folder));
    const QByteArray fifo = m_root + "/fifo";
    ::mkfifo(fifo.constData(), 0600);
    const QByteArray socketPath = m_root + "/socket";
    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.constData());
    QVERIFY(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    ::close(s); // the name stays, a socket nobody listens on
    const QByteArray loop = m_root + "/loop";
    ::symlink("loop2", loop.constData());
    ::symlink("loop", (m_root + "/loop2").constData());
    const QByteArray dangling = m_root + "/dangling";
    ::symlink("nowhere", dangling.constData());
    // 19 nested folders of 200 bytes and a file: a path of over 3,900 bytes that works,
    // then one more level for a path past PATH_MAX.
    QByteArray deep = m_root;
    while (deep.size() < 3800) {
        deep += '/' + QByteArray(200, 'd');
        ::mkdir(deep.constData(), 0700);
    }
    QByteArray longName = deep + "/" + QByteArray(4000 - deep.size() - 1, 'f');
    QByteArray tooLong = deep + "/" + QByteArray(200, 'd') + "/" + QByteArray(200, 'f');
    ::mkdir((deep + "/" + QByteArray(200, 'd')).constData(), 0700);
    QVERIFY(Put(longName, bytes) == longName);
    QVERIFY(longName.size() == 4000 && tooLong.size() > PATH_MAX);

    auto Err = [](const QByteArray& name, const char* pszReason) {
        return "quillet-map: " + name + ": " + pszReason + "\n";
    };
    QTest::newRow("directory") << QByteArrayList{file, folder} << 2 << QByteArray()
                               << Err(folder, "Is a directory");
    QTest::newRow("fifo never blocks")
        << QByteArrayList{fifo, file} << 2 << QByteArray() << Err(fifo, "Illegal seek");
    QTest::newRow("socket") << QByteArrayList{file, socketPath} << 2 << QByteArray()
                            << Err(socketPath, "No such device or address");
    QTest::newRow("/dev/zero") << QByteArrayList{"/dev/zero", file} << 2 << QByteArray()
                               << Err("/dev/zero", "Illegal seek");
    QTest::newRow("/proc file of length 0 by stat")
        << QByteArrayList{"/proc/self/status", "/proc/self/maps"} << 2 << QByteArray()
        << Err("/proc/self/status", "its length is given as 0 but it has content");
    QTest::newRow("symlink loop") << QByteArrayList{loop, file} << 2 << QByteArray()
                                  << Err(loop, "Too many levels of symbolic links");
    QTest::newRow("dangling symlink") << QByteArrayList{file, dangling} << 2 << QByteArray()
                                      << Err(dangling, "No such file or directory");
    QTest::newRow("4,000-byte path")
        << QByteArrayList{longName, file} << 0 << equal << QByteArray();
    QTest::newRow("path past PATH_MAX")
        << QByteArrayList{file, tooLong} << 2 << QByteArray() << Err(tooLong, "File name too long");
    QTest::newRow("dump of a directory") << QByteArrayList{"--dump=0:15", folder, file} << 2
                                         << QByteArray() << Err(folder, "Is a directory");
    for (const char* pszName :
         {"blank name", "a & b", "<b>bold", "tab\there", "new\nline", "\xff\xfe not UTF-8"}) {
        QByteArray name = Put(pszName, bytes);
        QTest::addRow("name %s: compared", pszName)
            << QByteArrayList{name, file} << 0 << equal << QByteArray();
        QByteArray missing = m_root + "/missing " + pszName;
        QTest::addRow("name %s: missing", pszName)
            << QByteArrayList{file, missing} << 2 << QByteArray()
            << Err(missing, "No such file or directory");
    }
    Put("-x", bytes.left(4999)); // found in the working folder, like any relative name
    const QByteArray shorter =
        Summary(2, 4096, 1, 0, 1) + "length-differs 0x0000000000001000 0x0000000000001387\n";
    QTest::newRow("leading - after --")
        << QByteArrayList{"--", file, "-x"} << 1 << shorter << QByteArray();
    QTest::newRow("leading - as ./-x")
        << QByteArrayList{file, "./-x"} << 1 << shorter << QByteArray();
    QTest::newRow("leading - taken for an option")
        << QByteArrayList{"-x", file} << 2 << QByteArray()
        << "quillet-map: unknown option '-x'\n" + QByteArray::fromStdString(MapUsage()) + "\n";
    const QByteArray empty = Put("empty", {});
    const QByteArray one = Put("one", "a");
    QTest::newRow("both empty") << QByteArrayList{empty, empty} << 0 << Summary(0, 4096, 0, 0, 0)
                                << QByteArray();
    QTest::newRow("empty against one byte")
        << QByteArrayList{empty, one} << 1
        << Summary(1, 4096, 0, 0, 1) + "length-differs 0x0000000000000000 0x0000000000000000\n"
        << QByteArray();
    QTest::newRow("one byte differs")
        << QByteArrayList{one, Put("other", "b")} << 1
        << Summary(1, 4096, 0, 1, 0) + "different 0x0000000000000000 0x0000000000000000\n"
        << QByteArray();
}

void TestHostile::hostileInput() {
    QFETCH(QByteArrayList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QString strWorking = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QStringList before = Snapshot(m_dir.path());
    CResult result = MapInProcess(args);
    QDir::setCurrent(strWorking);
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, out);
    QCOMPARE(result.nStatus, status);
    QCOMPARE(Snapshot(m_dir.path()), before);
}

// Sparse pairs differing in their last byte, at the 32-bit boundaries and at 64 GiB.
void TestHostile::sparseFilesAroundFourGiB_data() {
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<QByteArray>("out");
    const qulonglong G = 1ull << 30;
    QTest::newRow("2^32 - 1") << 4 * G - 1
                              << Summary(1048576, 4096, 1048575, 1, 0) +
                                     "different 0x00000000FFFFF000 0x00000000FFFFFFFE\n";
    QTest::newRow("2^32") << 4 * G
                          << Summary(1048576, 4096, 1048575, 1, 0) +
                                 "different 0x00000000FFFFF000 0x00000000FFFFFFFF\n";
    QTest::newRow("2^32 + 1") << 4 * G + 1
                              << Summary(524289, 8192, 524288, 1, 0) +
                                     "different 0x0000000100000000 0x0000000100000000\n";
    QTest::newRow("64 GiB") << 64 * G
                            << Summary(1048576, 65536, 1048575, 1, 0) +
                                   "different 0x0000000FFFFF0000 0x0000000FFFFFFFFF\n";
}

void TestHostile::sparseFilesAroundFourGiB() {
    QFETCH(qulonglong, length);
    QFETCH(QByteArray, out);
#ifdef QUILLET_SANITIZED
    if (length > (1ull << 33))
        QSKIP("too slow under the sanitizers; the plain build runs it (tests/cli/CMakeLists.txt)");
#endif
    QTemporaryDir dir;
    std::string strFirst = WriteSparse(dir, "sparse1", length, length - 1, "a");
    std::string strSecond = WriteSparse(dir, "sparse2", length, length - 1, "b");
    CHoleFileSystem fs;
    CInstalledFileSystem installed(&fs);
    CResult result =
        MapInProcess({QByteArray::fromStdString(strFirst), QByteArray::fromStdString(strSecond)});
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, out);
    QCOMPARE(result.nStatus, 1);
}

void TestHostile::faultsDuringTheRun_data() {
    QTest::addColumn<QString>("action"); // done to the second file before its read at 512 KiB
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("truncated") << "truncate" << 1
                               << Summary(16, 65536, 9, 0, 7) +
                                      "length-differs 0x0000000000090000 0x00000000000FFFFF\n"
                               << QByteArray();
    QTest::newRow("deleted") << "unlink" << 0 << Summary(16, 65536, 16, 0, 0) << QByteArray();
    QTest::newRow("renamed") << "rename" << 0 << Summary(16, 65536, 16, 0, 0) << QByteArray();
    QTest::newRow("unreadable region")
        << "fail" << 2
        << Summary(16, 65536, 12, 0, 0).replace("read_error=0", "read_error=4") +
               "read-error 0x0000000000040000 0x000000000007FFFF\n"
        << QByteArray("quillet-map: 4 blocks could not be read\n");
}

void TestHostile::faultsDuringTheRun() {
    QFETCH(QString, action);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QTemporaryDir dir;
    QByteArray bytes = Pattern(1 << 20);
    std::string strFirst = WriteFile(dir, "first", bytes);
    std::string strSecond = WriteFile(dir, "second", bytes);
    CEventFileSystem fs;
    fs.strTarget = strSecond;
    fs.nTriggerAt = 524288;
    if (action == "fail") {
        fs.strFailPath = "second";
        fs.nFailFirst = 300000;
        fs.nFailEnd = 500000;
    }
    std::atomic<int> nActed{-1};
    fs.m_onTrigger = [&] {
        if (action == "truncate")
            nActed = ::truncate(strSecond.c_str(), 600000);
        else if (action == "unlink")
            nActed = ::unlink(strSecond.c_str());
        else if (action == "rename")
            nActed = std::rename(strSecond.c_str(), (strSecond + ".moved").c_str());
        else
            nActed = 0;
    };
    CInstalledFileSystem installed(&fs);
    CResult result = MapInProcess({"--block-size=65536", QByteArray::fromStdString(strFirst),
                                   QByteArray::fromStdString(strSecond)});
    QCOMPARE(nActed.load(), 0);
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, out);
    QCOMPARE(result.nStatus, status);
}

void TestHostile::permissionDenied_data() {
    QTest::addColumn<bool>("real"); // chmod 000 instead of the file layer
    QTest::addColumn<bool>("atRead");
    QTest::newRow("layer refuses the open") << false << false;
    QTest::newRow("layer refuses a read") << false << true;
    QTest::newRow("mode 000") << true << false;
}

void TestHostile::permissionDenied() {
    QFETCH(bool, real);
    QFETCH(bool, atRead);
    QByteArray bytes = Pattern(100000);
    QByteArray good = Put("readable", bytes);
    QByteArray locked = Put("locked", bytes);
    CRefusingFileSystem refusing;
    CFaultyFileSystem faulty;
    faulty.strFailPath = "locked";
    faulty.nFailFirst = 40000;
    faulty.nFailEnd = 45000;
    faulty.nErrno = EACCES;
    if (real) {
        if (::geteuid() == 0)
            QSKIP("running as root, which mode 000 does not stop; the layer rows stand in");
        QVERIFY(::chmod(locked.constData(), 0) == 0);
    }
    refusing.strPath = locked.toStdString();
    CFileSystem* pLayer = atRead ? static_cast<CFileSystem*>(&faulty) : &refusing;
    CInstalledFileSystem installed(real ? nullptr : pLayer);
    CResult result = MapInProcess({"--block-size=16384", good, locked});
    ::chmod(locked.constData(), 0644);
    if (atRead) {
        QCOMPARE(result.out, Summary(7, 16384, 6, 0, 0).replace("read_error=0", "read_error=1") +
                                 "read-error 0x0000000000008000 0x000000000000BFFF\n");
        QCOMPARE(result.err, QByteArray("quillet-map: 1 blocks could not be read\n"));
    } else {
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.err, "quillet-map: " + locked + ": Permission denied\n");
    }
    QCOMPARE(result.nStatus, 2);
}

// The real program, with an empty home: neither it nor the compared files' folder gains
// anything, and the files keep their bytes and times, whatever the outcome.
void TestHostile::programWritesNothing() {
    QTemporaryDir home;
    QTemporaryDir files;
    QByteArray bytes = Pattern(70000);
    QByteArray changed = bytes;
    changed[66000] = 'x';
    QString strFirst = QString::fromStdString(WriteFile(files, "first", bytes));
    QString strSecond = QString::fromStdString(WriteFile(files, "second", changed));
    QString strFifo = files.filePath("fifo");
    ::mkfifo(QFile::encodeName(strFifo).constData(), 0600);
    QStringList before = Snapshot(files.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    for (const char* pszName :
         {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "TMPDIR"})
        env.insert(pszName, home.path());
    const struct {
        QStringList args;
        int nStatus;
    } runs[] = {
        {{strFirst, strFirst}, 0},
        {{strFirst, strSecond}, 1},
        {{"--dump=65536:70000", strFirst, strSecond}, 0},
        {{strFirst, strFifo}, 2},
        {{strFirst, files.filePath("missing")}, 2},
        {{"--block-size=3", strFirst, strSecond}, 2},
    };
    for (const auto& run : runs) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(files.path());
        process.start(QUILLET_BIN_DIR "/quillet-map", run.args);
        QVERIFY2(process.waitForFinished(30000), qPrintable(run.args.join(' ')));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), run.nStatus);
    }
    QCOMPARE(Snapshot(home.path()), QStringList());
    QCOMPARE(Snapshot(files.path()), before);
}

void TestHostile::cleanupTestCase() {
    for (const QByteArray& path : m_made)
        ::unlink(path.constData());
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
