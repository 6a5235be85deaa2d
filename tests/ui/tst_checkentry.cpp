#include "ui/checkentry.h"

#include "tests/testutil.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace testutil;

class TestCheckEntry : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        WriteFile(m_dir, "one.bin", "x");
        WriteFile(m_dir, "empty.bin", {});
        WriteSparse(m_dir, "four-gib.bin", uint64_t(4) << 30);
        QVERIFY(QDir(m_dir.path()).mkdir("sub"));
        QVERIFY(QFile::link(m_dir.filePath("one.bin"), m_dir.filePath("link")));
        QVERIFY(QFile::link(m_dir.filePath("gone.bin"), m_dir.filePath("dangling")));
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600), 0);
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, QFile::encodeName(m_dir.filePath("socket")).constData(),
                 sizeof addr.sun_path);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    void verdict_data() {
        Columns<QString, QString>("name", "verdict"); // name: in the folder unless absolute
        const QString none, zero = "File length is zero", missing = "File not found";
        QTest::newRow("empty text") << none << "No file";
        QTest::newRow("one byte") << "one.bin" << none;
        QTest::newRow("4 GiB, all 64 bits of the length") << "four-gib.bin" << none;
        QTest::newRow("length zero") << "empty.bin" << zero;
        QTest::newRow("directory") << "sub/" << zero;
        QTest::newRow("missing") << "gone.bin" << missing;
        QTest::newRow("below a file") << "one.bin/x" << missing;
        QTest::newRow("link to a file") << "link" << none;
        QTest::newRow("dangling link") << "dangling" << missing;
        QTest::newRow("FIFO") << "fifo" << zero;
        QTest::newRow("socket") << "socket" << zero;
        QTest::newRow("character device") << "/dev/zero" << zero;
    }
    void verdict() {
        const auto [name, verdict] = Fetch<QString, QString>("name", "verdict");
        QString path = name.isEmpty() || name.startsWith('/') ? name : m_dir.filePath(name);
        QCOMPARE(QString::fromStdString(CheckEntryPath(QFile::encodeName(path).toStdString())),
                 verdict);
    }
};

QTEST_GUILESS_MAIN(TestCheckEntry)
#include "tst_checkentry.moc"
