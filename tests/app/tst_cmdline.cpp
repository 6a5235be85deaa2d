#include "app/cmdline.h"
#include "tests/testutil.h"

#include <QDir>
#include <QtTest>

using namespace testutil;

static QString Here(const QString& strName) {
    return QDir::currentPath() + "/" + strName;
}

class TestCmdline : public QObject {
    Q_OBJECT

private slots:
    // Arguments as the shell split them, or (windows) one Windows command line.
    void parse_data() {
        Columns<bool, QStringList, int, QString, QString>("windows", "args", "result", "first",
                                                          "second");
        const QString none;
        QTest::newRow("nothing") << false << QStringList{} << 0 << none << none;
        QTest::newRow("empty name") << false << QStringList{""} << 1 << none << none;
        QTest::newRow("two, normalised")
            << false << QStringList{"a.bin", "/x/../b.bin"} << 2 << Here("a.bin") << "/b.bin";
        QTest::newRow("three") << false << QStringList{"a", "b", "c"} << -1 << none << none;
        QTest::newRow("name and option")
            << false << QStringList{"a.bin", "-x"} << -1 << Here("a.bin") << none;
        QTest::newRow("dash dash ends options")
            << false << QStringList{"--", "-odd.bin", "--"} << 2 << Here("-odd.bin") << Here("--");
        QTest::newRow("line: blanks only") << true << QStringList{" \t "} << 0 << none << none;
        QTest::newRow("line: tab, quoted")
            << true << QStringList{"a\t\"my file.bin\""} << 2 << Here("a") << Here("my file.bin");
        QTest::newRow("line: quote inside a name")
            << true << QStringList{"ab\"c d\"e"} << 2 << Here("abc d") << Here("e");
        QTest::newRow("line: unclosed quote")
            << true << QStringList{"x \"a b"} << 2 << Here("x") << Here("a b");
        QTest::newRow("line: empty quotes") << true << QStringList{"\"\""} << 1 << none << none;
        QTest::newRow("line: an option alone") << true << QStringList{"/x=1"} << -1 << none << none;
        QTest::newRow("line: slash is an option")
            << true << QStringList{"a.bin /tmp/b.bin"} << -1 << Here("a.bin") << none;
    }
    void parse() {
        const auto [windows, args, result, first, second] =
            Fetch<bool, QStringList, int, QString, QString>("windows", "args", "result", "first",
                                                            "second");
        CCmdline cmdline;
        QCOMPARE(windows ? cmdline.ParseCommandLine(args.value(0).toStdString())
                         : cmdline.Parse(StdList(args)),
                 result >= 0);
        QCOMPARE(cmdline.m_nResult, result);
        QCOMPARE(QString::fromStdString(cmdline.m_strPath1), first);
        QCOMPARE(QString::fromStdString(cmdline.m_strPath2), second);
    }

    void rejectedLineLeavesThePathsAsTheyWere() {
        CCmdline cmdline;
        QVERIFY(cmdline.Parse({"/a", "/b"}));
        QVERIFY(!cmdline.Parse({"x", "y", "z"}));
        QCOMPARE(cmdline.m_strPath1 + cmdline.m_strPath2, std::string("/a/b"));
    }
};

QTEST_GUILESS_MAIN(TestCmdline)
#include "tst_cmdline.moc"
