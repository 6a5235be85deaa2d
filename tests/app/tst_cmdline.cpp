#include "app/cmdline.h"

#include <QDir>
#include <QtTest>

class TestCmdline : public QObject {
    Q_OBJECT

private slots:
    void tokenize_data();
    void tokenize();
    void parseWindowsLine_data();
    void parseWindowsLine();
    void parseArguments_data();
    void parseArguments();
    void parseLeavesPathsOfARejectedLineAsItWas();
    void fullPath_data();
    void fullPath();
};

using Tokens = QStringList;

static QString Here(const QString& strName) {
    return QDir::cleanPath(QDir::currentPath() + "/" + strName);
}

void TestCmdline::tokenize_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Tokens>("tokens");
    QTest::newRow("empty") << "" << Tokens{};
    QTest::newRow("blanks only") << " \t " << Tokens{};
    QTest::newRow("two names") << "a.bin b.bin" << Tokens{"a.bin", "b.bin"};
    QTest::newRow("quoted, tab, name")
        << "\"my file.bin\"\tother.bin" << Tokens{"my file.bin", "other.bin"};
    QTest::newRow("quote inside a token ends it") << "ab\"c d\"e" << Tokens{"abc d", "e"};
    QTest::newRow("quoted blank") << "\"a b\"" << Tokens{"a b"};
    QTest::newRow("empty quotes") << "\"\"" << Tokens{""};
    QTest::newRow("unclosed quote") << "x \"a b" << Tokens{"x", "a b"};
    QTest::newRow("options") << "/x=1 a" << Tokens{"/x=1", "a"};
}

void TestCmdline::tokenize() {
    QFETCH(QString, line);
    QFETCH(Tokens, tokens);
    Tokens got;
    for (const std::string& token : CCmdline::Tokenize(line.toStdString()))
        got << QString::fromStdString(token);
    QCOMPARE(got, tokens);
}

void TestCmdline::parseWindowsLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("nothing") << "" << 0 << ""
                             << "";
    QTest::newRow("one") << "a.bin" << 1 << Here("a.bin") << "";
    QTest::newRow("two") << "a.bin b.bin" << 2 << Here("a.bin") << Here("b.bin");
    QTest::newRow("three") << "a b c" << -1 << ""
                           << "";
    QTest::newRow("name and option") << "a.bin /x" << -1 << Here("a.bin") << "";
    QTest::newRow("option alone") << "/x=1" << -1 << ""
                                  << "";
    QTest::newRow("quoted with blank")
        << "\"my file.bin\"\tother.bin" << 2 << Here("my file.bin") << Here("other.bin");
    QTest::newRow("empty quotes") << "\"\"" << 1 << ""
                                  << "";
    QTest::newRow("slash is an option") << "/tmp/a.bin" << -1 << ""
                                        << "";
}

void TestCmdline::parseWindowsLine() {
    QFETCH(QString, line);
    QFETCH(int, result);
    QFETCH(QString, first);
    QFETCH(QString, second);
    CCmdline cmdline;
    QCOMPARE(cmdline.ParseCommandLine(line.toStdString()), result >= 0);
    QCOMPARE(cmdline.m_nResult, result);
    QCOMPARE(QString::fromStdString(cmdline.m_strPath1), first);
    QCOMPARE(QString::fromStdString(cmdline.m_strPath2), second);
}

void TestCmdline::parseArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("nothing") << QStringList{} << 0 << ""
                             << "";
    QTest::newRow("absolute path") << QStringList{"/tmp/a.bin"} << 1 << "/tmp/a.bin"
                                   << "";
    QTest::newRow("two") << QStringList{"a.bin", "/x/../b.bin"} << 2 << Here("a.bin") << "/b.bin";
    QTest::newRow("three") << QStringList{"a", "b", "c"} << -1 << ""
                           << "";
    QTest::newRow("option") << QStringList{"a.bin", "-x"} << -1 << Here("a.bin") << "";
    QTest::newRow("long option") << QStringList{"--geometry"} << -1 << ""
                                 << "";
    QTest::newRow("dash dash ends options")
        << QStringList{"--", "-odd-name.bin", "--"} << 2 << Here("-odd-name.bin") << Here("--");
    QTest::newRow("blank and ampersand")
        << QStringList{"my file&.bin"} << 1 << Here("my file&.bin") << "";
    QTest::newRow("a lone dash is an option") << QStringList{"-"} << -1 << ""
                                              << "";
    QString strLong(4000, 'n');
    QTest::newRow("4000-byte name") << QStringList{"/" + strLong} << 1 << "/" + strLong << "";
}

void TestCmdline::parseArguments() {
    QFETCH(QStringList, args);
    QFETCH(int, result);
    QFETCH(QString, first);
    QFETCH(QString, second);
    std::vector<std::string> list;
    for (const QString& arg : args)
        list.push_back(arg.toStdString());
    CCmdline cmdline;
    QCOMPARE(cmdline.Parse(list), result >= 0);
    QCOMPARE(cmdline.m_nResult, result);
    QCOMPARE(QString::fromStdString(cmdline.m_strPath1), first);
    QCOMPARE(QString::fromStdString(cmdline.m_strPath2), second);
}

void TestCmdline::parseLeavesPathsOfARejectedLineAsItWas() {
    CCmdline cmdline;
    QVERIFY(cmdline.Parse({"/a", "/b"}));
    QVERIFY(!cmdline.Parse({"x", "y", "z"}));
    QCOMPARE(cmdline.m_strPath1, std::string("/a"));
    QCOMPARE(cmdline.m_strPath2, std::string("/b"));
}

void TestCmdline::fullPath_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("full");
    QTest::newRow("empty stays empty") << QByteArray() << QByteArray();
    QTest::newRow("dot segments") << QByteArray("/a/./b/../c") << QByteArray("/a/c");
    QTest::newRow("relative") << QByteArray("x/y") << QDir::currentPath().toUtf8() + "/x/y";
    QTest::newRow("not UTF-8") << QByteArray("/tmp/\xff\xfe.bin")
                               << QByteArray("/tmp/\xff\xfe.bin");
}

void TestCmdline::fullPath() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, full);
    QCOMPARE(QByteArray::fromStdString(CCmdline::FullPath(name.toStdString())), full);
}

QTEST_GUILESS_MAIN(TestCmdline)
#include "tst_cmdline.moc"
