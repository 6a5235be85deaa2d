// quillet-map against whatever a file name may point at: it ends in a report or a clear
// "quillet-map: NAME: REASON", never blocks, and writes nothing anywhere.
#include "cli/mapcli.h"
#include "tests/testutil.h"

#include <QDirIterator>
#include <QProcess>
#include <QtTest>

#include <climits>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace testutil;

namespace {

QByteArray Summary(qulonglong nBlocks, unsigned nBlockSize, qulonglong nEqual,
                   qulonglong nDifferent, qulonglong nLengthDiffers, qulonglong nReadError = 0) {
    return QString::asprintf("blocks=%llu block_size=%u equal=%llu different=%llu "
                             "length_differs=%llu read_error=%llu\n",
                             nBlocks, nBlockSize, nEqual, nDifferent, nLengthDiffers, nReadError)
        .toUtf8();
}

// Refuses to open the file named strPath; every other call goes to the system.
class CRefusingFileSystem : public CFileSystem {
public:
    int Open(const char* pszPath, int nFlags) override {
        if (strPath == pszPath) {
            errno = EACCES;
            return -1;
        }
        return CFileSystem::Open(pszPath, nFlags);
    }
    std::string strPath;
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
        entries << QString::fromLocal8Bit(path) + QString(" %1 %2.%3")
                                                      .arg(st.st_size)
                                                      .arg(st.st_mtim.tv_sec)
                                                      .arg(st.st_mtim.tv_nsec);
    }
    entries.sort();
    return entries;
}

// The file layer a row runs under.
// Locked: no layer, the file itself made unreadable (mode 000), which root is not stopped by.
enum Layer { System, RefuseOpen, RefuseRead, Locked };

} // namespace

class TestHostile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_root = QFile::encodeName(m_dir.path());
    QByteArrayList m_made; // removed by name: Qt cannot name what is not UTF-8

    // Writes m_root/name; the name's bytes are kept as they are, UTF-8 or not.
    QByteArray Put(const QByteArray& name, const QByteArray& bytes) {
        QByteArray path = name.startsWith('/') ? name : m_root + '/' + name;
        m_made.append(path);
        int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            path.clear();
        ::close(fd);
        return path;
    }

private slots:
    void hostileInput_data();
    void hostileInput();
    void programWritesNothing();
    void cleanupTestCase();
};

void TestHostile::hostileInput_data() {
    Columns<QByteArrayList, int, int, QByteArray, QByteArray>("args", "layer", "status", "out",
                                                              "err");
    const QByteArray bytes = Pattern(5000);
    const QByteArray file = Put("plain", bytes);
    const QByteArray equal = Summary(2, 4096, 2, 0, 0);
    auto Err = [](const QByteArray& name, const char* pszReason) {
        return "quillet-map: " + name + ": " + pszReason + "\n";
    };
    auto Row = [](const char* pszName, const QByteArrayList& args, int nStatus,
                  const QByteArray& out, const QByteArray& err, Layer layer = System) {
        QTest::newRow(pszName) << args << int(layer) << nStatus << out << err;
    };

    const QByteArray socketPath = m_root + "/socket";
    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.constData());
    QVERIFY(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    ::close(s); // the name stays, a socket nobody listens on
    ::symlink("loop2", (m_root + "/loop").constData());
    ::symlink("loop", (m_root + "/loop2").constData());
    ::symlink("nowhere", (m_root + "/dangling").constData());
    // Nested folders of 200 bytes and a file: a path of 4,000 bytes that works, then one
    // more level for a path past PATH_MAX.
    QByteArray deep = m_root;
    while (deep.size() < 3800)
        ::mkdir((deep += '/' + QByteArray(200, 'd')).constData(), 0700);
    QByteArray longName = deep + "/" + QByteArray(4000 - deep.size() - 1, 'f');
    ::mkdir((deep + "/" + QByteArray(200, 'd')).constData(), 0700);
    QByteArray tooLong = deep + "/" + QByteArray(200, 'd') + "/" + QByteArray(200, 'f');
    QVERIFY(Put(longName, bytes) == longName && longName.size() == 4000);
    QVERIFY(tooLong.size() > PATH_MAX);

    Row("socket", {file, socketPath}, 2, {}, Err(socketPath, "No such device or address"));
    Row("/dev/zero", {"/dev/zero", file}, 2, {}, Err("/dev/zero", "Illegal seek"));
    Row("/proc file of length 0 by stat", {"/proc/self/status", "/proc/self/maps"}, 2, {},
        Err("/proc/self/status", "its length is given as 0 but it has content"));
    Row("symlink loop", {m_root + "/loop", file}, 2, {},
        Err(m_root + "/loop", "Too many levels of symbolic links"));
    Row("dangling symlink", {file, m_root + "/dangling"}, 2, {},
        Err(m_root + "/dangling", "No such file or directory"));
    Row("4,000-byte path", {longName, file}, 0, equal, {});
    Row("path past PATH_MAX", {file, tooLong}, 2, {}, Err(tooLong, "File name too long"));
    Row("dump of a directory", {"--dump=0:15", m_root, file}, 2, {}, Err(m_root, "Is a directory"));
    for (const char* pszName :
         {"blank name", "a & b", "<b>bold", "tab\there", "new\nline", "\xff\xfe not UTF-8"}) {
        QByteArray tag = QByteArray(pszName).toPercentEncoding(" &<>"); // one printable line
        QByteArray missing = m_root + "/missing " + pszName;
        Row("name " + tag + ": compared", {Put(pszName, bytes), file}, 0, equal, {});
        Row("name " + tag + ": missing", {file, missing}, 2, {},
            Err(missing, "No such file or directory"));
    }
    Put("-x", bytes.left(4999)); // found in the working folder, like any relative name
    const QByteArray shorter =
        Summary(2, 4096, 1, 0, 1) + "length-differs 0x0000000000001000 0x0000000000001387\n";
    Row("leading - after --", {"--", file, "-x"}, 1, shorter, {});
    Row("leading - as ./-x", {file, "./-x"}, 1, shorter, {});
    Row("empty against one byte", {Put("empty", {}), Put("one", "a")}, 1,
        Summary(1, 4096, 0, 0, 1) + "length-differs 0x0000000000000000 0x0000000000000000\n", {});

    const QByteArray locked = Put("locked", Pattern(100000));
    const QByteArray readable = Put("readable", Pattern(100000));
    Row("permission denied at opening", {readable, locked}, 2, {}, Err(locked, "Permission denied"),
        RefuseOpen);
    Row("permission denied at a read", {"--block-size=16384", readable, locked}, 2,
        Summary(7, 16384, 6, 0, 0, 1) + "read-error 0x0000000000008000 0x000000000000BFFF\n",
        "quillet-map: 1 blocks could not be read\n", RefuseRead);
    Row("permission denied for real", {readable, locked}, 2, {}, Err(locked, "Permission denied"),
        Locked);

    // Sparse pairs differing in their last byte, at the 32-bit boundaries and at 64 GiB.
    auto Sparse = [&](const char* pszName, uint64_t n, const QByteArray& out) {
        auto Make = [&](const char* pszByte) {
            const QString strName = QString("sparse %1 %2").arg(pszName, pszByte);
            return QByteArray::fromStdString(WriteSparse(m_dir, strName, n, n - 1, pszByte));
        };
        Row(pszName, {Make("a"), Make("b")}, 1, out, {}, System);
    };
    const QByteArray oneIn2p20 = Summary(1048576, 4096, 1048575, 1, 0);
    Sparse("2^32 - 1", (4ull << 30) - 1,
           oneIn2p20 + "different 0x00000000FFFFF000 0x00000000FFFFFFFE\n");
    Sparse("2^32", 4ull << 30, oneIn2p20 + "different 0x00000000FFFFF000 0x00000000FFFFFFFF\n");
    Sparse("2^32 + 1", (4ull << 30) + 1,
           Summary(524289, 8192, 524288, 1, 0) +
               "different 0x0000000100000000 0x0000000100000000\n");
    Sparse("64 GiB", 64ull << 30,
           Summary(1048576, 65536, 1048575, 1, 0) +
               "different 0x0000000FFFFF0000 0x0000000FFFFFFFFF\n");
}

void TestHostile::hostileInput() {
    const auto [args, layer, status, out, err] =
        Fetch<QByteArrayList, int, int, QByteArray, QByteArray>("args", "layer", "status", "out",
                                                                "err");
    CRefusingFileSystem refusing;
    refusing.strPath = (m_root + "/locked").toStdString();
    CFaultyFileSystem faulty;
    faulty.strFailPath = "locked";
    faulty.nFailFirst = 40000;
    faulty.nFailEnd = 45000;
    faulty.nErrno = EACCES;
    CFileSystem* pLayers[] = {nullptr, &refusing, &faulty, nullptr};
    CInstalledFileSystem installed(pLayers[layer]);
    const QByteArray locked = m_root + "/locked";
    if (layer == Locked) {
        if (::geteuid() == 0)
            QSKIP("running as root, which mode 000 does not stop; the layer rows stand in");
        QVERIFY(::chmod(locked.constData(), 0) == 0);
    }
    const QString strWorking = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const QStringList before = Snapshot(m_dir.path());
    std::vector<std::string> list;
    for (const QByteArray& arg : args)
        list.push_back(arg.toStdString());
    std::ostringstream outStream;
    std::ostringstream errStream;
    const int nStatus = RunMap(list, outStream, errStream, false);
    QDir::setCurrent(strWorking);
    ::chmod(locked.constData(), 0644);
    QCOMPARE(QByteArray::fromStdString(errStream.str()), err);
    QCOMPARE(QByteArray::fromStdString(outStream.str()), out);
    QCOMPARE(nStatus, status);
    QCOMPARE(Snapshot(m_dir.path()), before);
}

// The real program, with an empty home: neither it nor the compared files' folder gains
// anything, and the files keep their bytes and times, whatever the outcome.
void TestHostile::programWritesNothing() {
    QTemporaryDir home;
    QTemporaryDir files;
    QByteArray changed = Pattern(70000);
    changed[66000] = 'x';
    QString strFirst = QString::fromStdString(WriteFile(files, "first", Pattern(70000)));
    QString strSecond = QString::fromStdString(WriteFile(files, "second", changed));
    QString strFifo = files.filePath("fifo");
    ::mkfifo(QFile::encodeName(strFifo).constData(), 0600);
    QStringList before = Snapshot(files.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* pszName :
         {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "TMPDIR"})
        env.insert(pszName, home.path());
    const std::pair<QStringList, int> runs[] = {
        {{strFirst, strFirst}, 0},
        {{strFirst, strSecond}, 1},
        {{"--dump=65536:70000", strFirst, strSecond}, 0},
        {{strFirst, strFifo}, 2},
        {{strFirst, files.filePath("missing")}, 2},
        {{"--block-size=3", strFirst, strSecond}, 2},
    };
    for (const auto& [args, nStatus] : runs) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(files.path());
        process.start(QUILLET_BIN_DIR "/quillet-map", args);
        QVERIFY2(process.waitForFinished(30000), qPrintable(args.join(' ')));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), nStatus);
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
