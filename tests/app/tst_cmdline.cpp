// The command line as the program takes it, and the texts and areas it derives for the window.
#include "app/cmdline.h"
#include "app/progresstext.h"
#include "tests/testutil.h"

#include <QtTest>

using namespace testutil;

class TestCmdline : public QObject {
    Q_OBJECT

private slots:
    // Arguments as the shell split them, or (line) one Windows command line; paths relative
    // to the current folder are shown without it.
    void parse_data() {
        Columns<bool, QStringList, int, QString>("line", "args", "result", "paths");
        const auto row = [](const char* pszName, bool bLine, const QStringList& args, int nResult,
                            const char* pszPaths) {
            QTest::newRow(pszName) << bLine << args << nResult << QString(pszPaths);
        };
        row("two, normalised", false, {"a.bin", "/x/../b.bin"}, 2, "a.bin|/b.bin");
        row("three", false, {"a", "b", "c"}, -1, "|");
        row("dash dash ends options", false, {"--", "-odd.bin", "--"}, 2, "-odd.bin|--");
        row("tab, quoted", true, {"a\t\"my file.bin\""}, 2, "a|my file.bin");
        row("quote inside a name", true, {"ab\"c d\"e"}, 2, "abc d|e");
        row("unclosed quote", true, {"x \"a b"}, 2, "x|a b");
        row("empty quotes", true, {"\"\""}, 1, "|");
        row("slash is an option", true, {"a.bin /tmp/b.bin"}, -1, "a.bin|");
        row("--align", false, {"a", "--align", "b"}, 2, "a|b aligned");
        row("--align beside another option", false, {"--align", "-x", "a"}, -1, "a| aligned");
        row("--align after dash dash is a name", false, {"--", "--align"}, 1, "--align|");
    }
    void parse() {
        const auto [line, args, result, paths] =
            Fetch<bool, QStringList, int, QString>("line", "args", "result", "paths");
        CCmdline cmdline;
        QCOMPARE(line ? cmdline.ParseCommandLine(args.value(0).toStdString())
                      : cmdline.Parse(StdList(args)),
                 result >= 0);
        QCOMPARE(cmdline.m_nResult, result);
        QCOMPARE(QString::fromStdString(cmdline.m_strPath1 + "|" + cmdline.m_strPath2 +
                                        (cmdline.m_bAlign ? " aligned" : ""))
                     .remove(QDir::currentPath() + "/"),
                 paths);
    }

    // The progress texts and the window's areas, whose sides are divided by 4 before 3 times.
    void texts() {
        std::string strElapsed;
        for (int64_t nMs : {0, -5, 1, 4999, 5000, 125000, 3723000})
            strElapsed += FormatElapsed(nMs) + " ";
        QCOMPARE(QString::fromStdString(strElapsed), "0s 0s 0.001s 4.999s 5s 2:05s 1:02:03s ");
        QCOMPARE(QString::fromStdString(FormatProgress(5, "0.250s") + ", " +
                                        FormatProgress(10000, "42s") + ", " +
                                        FormatFinished("1:02:03s")),
                 "0.05% in 0.250s, 100.00% in 42s, 100% in 1:02:03s");
        const CRect r = InitialWindowRect(1023, 767); // 800 x 800: the start-up test's
        QCOMPARE(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top),
                 QRect(129, 64, 765, 573));
    }
};

QTEST_GUILESS_MAIN(TestCmdline)
#include "tst_cmdline.moc"
