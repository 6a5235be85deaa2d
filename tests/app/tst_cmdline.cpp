// The command line as the program takes it, and the texts and areas it derives for the window.
#include "app/cmdline.h"
#include "app/progresstext.h"
#include "tests/testutil.h"

#include <QDir>
#include <QtTest>

using namespace testutil;

static QString Area(int x, int y, int cx, int cy) {
    return QString("%1,%2 %3x%4").arg(x).arg(y).arg(cx).arg(cy);
}

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
        row("nothing", false, {}, 0, "|");
        row("empty name", false, {""}, 1, "|");
        row("two, normalised", false, {"a.bin", "/x/../b.bin"}, 2, "a.bin|/b.bin");
        row("three", false, {"a", "b", "c"}, -1, "|");
        row("name and option", false, {"a.bin", "-x"}, -1, "a.bin|");
        row("dash dash ends options", false, {"--", "-odd.bin", "--"}, 2, "-odd.bin|--");
        row("blanks only", true, {" \t "}, 0, "|");
        row("tab, quoted", true, {"a\t\"my file.bin\""}, 2, "a|my file.bin");
        row("quote inside a name", true, {"ab\"c d\"e"}, 2, "abc d|e");
        row("unclosed quote", true, {"x \"a b"}, 2, "x|a b");
        row("empty quotes", true, {"\"\""}, 1, "|");
        row("slash is an option", true, {"a.bin /tmp/b.bin"}, -1, "a.bin|");
    }
    void parse() {
        const auto [line, args, result, paths] =
            Fetch<bool, QStringList, int, QString>("line", "args", "result", "paths");
        CCmdline cmdline;
        QCOMPARE(line ? cmdline.ParseCommandLine(args.value(0).toStdString())
                      : cmdline.Parse(StdList(args)),
                 result >= 0);
        QCOMPARE(cmdline.m_nResult, result);
        QCOMPARE(QString::fromStdString(cmdline.m_strPath1 + "|" + cmdline.m_strPath2)
                     .remove(QDir::currentPath() + "/"),
                 paths);
    }

    // Window areas: each side is divided by 4 before it is multiplied by 3.
    void texts_data() {
        Columns<QString, QString>("made", "text");
        const auto row = [](const QString& strName, const QString& strMade, const char* pszText) {
            QTest::addRow("%s", qPrintable(strName)) << strMade << QString(pszText);
        };
        const auto T = QString::fromStdString;
        for (const auto& [nMs, pszText] : {std::pair{0, "0s"},
                                           {-5, "0s"},
                                           {1, "0.001s"},
                                           {4999, "4.999s"},
                                           {5000, "5s"},
                                           {125000, "2:05s"},
                                           {3723000, "1:02:03s"}})
            row(QString("%1 ms").arg(nMs), T(FormatElapsed(nMs)), pszText);
        row("progress", T(FormatProgress(5, "0.250s")), "0.05% in 0.250s");
        row("progress whole", T(FormatProgress(10000, "42s")), "100.00% in 42s");
        row("finished", T(FormatFinished("1:02:03s")), "100% in 1:02:03s");
        const CSize map = GetMaxMapSize(1023, 767, 18, 19);
        row("map area", Area(0, 0, map.cx, map.cy), "0,0 1019x722");
        for (const auto& [cx, cy, pszText] :
             {std::tuple{1024, 768, "128,64 768x576"}, {1023, 767, "129,64 765x573"}}) {
            const CRect r = InitialWindowRect(cx, cy);
            row("window", Area(r.left, r.top, r.right - r.left, r.bottom - r.top), pszText);
        }
    }
    void texts() {
        const auto [made, text] = Fetch<QString, QString>("made", "text");
        QCOMPARE(made, text);
    }
};

QTEST_GUILESS_MAIN(TestCmdline)
#include "tst_cmdline.moc"
