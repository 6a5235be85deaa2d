// The program's start-up as main() runs it, the toolkit's own handling of the arguments
// included. Only one application object may exist in a process, so each case runs this test
// program again as a child that starts up as quillet does and reports what it did.
#include "app/compareapp.h"
#include "app/mainwnd.h"
#include "app/progresstext.h"
#include "app/screenmetrics.h"
#include "tests/testutil.h"
#include "ui/selectfilesdlg.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QProcess>
#include <QtTest>

#include <cstdio>

using namespace testutil;

namespace {
const char kChildVariable[] = "QUILLET_STARTUP_CHILD";

void Report(const char* pszKey, const QString& strValue) {
    std::printf("%s=%s\n", pszKey, strValue.toUtf8().constData());
    std::fflush(stdout);
}

QString RectText(const QRect& rc) {
    return QString("%1,%2 %3x%4").arg(rc.x()).arg(rc.y()).arg(rc.width()).arg(rc.height());
}

// In the child: notes and closes the usage box and the Select-files dialog as they come up,
// then reports the parse and the window and quits. It acts on an event of low priority, so
// that the start command, posted before it is, always comes first, however loaded the machine.
class CReporter : public QObject {
public:
    explicit CReporter(CCompareApp& theApp) : m_app(theApp) { Next(); }

protected:
    bool event(QEvent* pEvent) override {
        if (pEvent->type() != QEvent::User)
            return QObject::event(pEvent);
        QWidget* pModal = QApplication::activeModalWidget();
        if (auto* pBox = qobject_cast<QMessageBox*>(pModal)) {
            Report("shown", "usage: " + pBox->text());
            pBox->accept();
        } else if (auto* pDialog = qobject_cast<CSelectFilesDlg*>(pModal)) {
            Report("shown", "dialog: " + pDialog->findChild<QComboBox*>("111")->currentText() +
                                " | " + pDialog->findChild<QComboBox*>("116")->currentText());
            pDialog->reject();
        } else if (!pModal && m_app.m_pMainWnd && m_app.m_pMainWnd->isVisible()) {
            return ReportAndQuit(), true;
        }
        Next();
        return true;
    }

private:
    void Next() {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
    }
    void ReportAndQuit() {
        const CCmdline& cmdline = m_app.m_state.m_cmdline;
        Report("result", QString::number(cmdline.m_nResult));
        Report("first", QString::fromStdString(cmdline.m_strPath1));
        Report("second", QString::fromStdString(cmdline.m_strPath2));
        // Placed by its frame, sized by its client area, as the platform has it once the
        // geometry it was told of is handled.
        QCoreApplication::processEvents();
        const QWidget& wnd = *m_app.m_pMainWnd;
        Report("window", RectText(QRect(wnd.frameGeometry().topLeft(), wnd.size())));
        const QSize screen = SystemScreenMetrics().GetScreenSize();
        const CRect rc = InitialWindowRect(screen.width(), screen.height());
        Report("computed",
               RectText(QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top)));
        Report("rtl", QString::number(QApplication::layoutDirection() == Qt::RightToLeft));
        QCoreApplication::exit(0);
    }
    CCompareApp& m_app;
};

void ReportStartUp(CCompareApp& theApp) {
    new CReporter(theApp); // lives as long as the process
}
} // namespace

class TestStartUp : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString Here(const QString& strName) const { return m_dir.path() + "/" + strName; }

private slots:
    // shown: what came up over the window ("usage", or "dialog" pre-filled with the paths);
    // window: the toolkit placed it at that geometry, or (empty) it took the computed one.
    void startUp_data() {
        Columns<QStringList, int, QString, QString, QString, QString, bool>(
            "args", "result", "first", "second", "shown", "window", "rtl");
        const QString none, usage = "usage", dialog = "dialog";
        QTest::newRow("nothing") << QStringList{} << 0 << none << none << none << none << false;
        QTest::newRow("one name") << QStringList{"a.bin"} << 1 << Here("a.bin") << none << dialog
                                  << none << false;
        QTest::newRow("an option alone")
            << QStringList{"-x=1"} << -1 << none << none << usage << none << false;
        QTest::newRow("a slash begins a path")
            << QStringList{"/x=1"} << 1 << "/x=1" << none << dialog << none << false;
        QTest::newRow("three names")
            << QStringList{"a", "b", "c"} << -1 << none << none << usage << none << false;
        QTest::newRow("toolkit option before --")
            << QStringList{"-reverse", "a.bin"} << 1 << Here("a.bin") << none << dialog << none
            << true;
        QTest::newRow("-reverse after --")
            << QStringList{"--", "-reverse", "b.bin"} << 2 << Here("-reverse") << Here("b.bin")
            << dialog << none << false;
        for (const char* pszOption : {"-style", "-platform", "-session", "-stylesheet"})
            QTest::addRow("%s after --", pszOption)
                << QStringList{"--", pszOption, "a.bin"} << 2 << Here(pszOption) << Here("a.bin")
                << dialog << none << false;
        QTest::newRow("-qwindowgeometry after --")
            << QStringList{"--", "-qwindowgeometry", "700x500"} << 2 << Here("-qwindowgeometry")
            << Here("700x500") << dialog << none << false;
        QTest::newRow("-qwindowgeometry") << QStringList{"-qwindowgeometry", "700x500+10+20"} << 0
                                          << none << none << none << "10,20 700x500" << false;
        QTest::newRow("-qwindowgeometry=, not the toolkit's")
            << QStringList{"-qwindowgeometry=700x500"} << -1 << none << none << usage << none
            << false;
        // Only the X11 platform takes -geometry; on the others it is an option of ours.
        QTest::newRow("-geometry offscreen") << QStringList{"-geometry", "700x500"} << -1
                                             << Here("700x500") << none << usage << none << false;
    }
    void startUp() {
        const auto [args, result, first, second, shown, window, rtl] =
            Fetch<QStringList, int, QString, QString, QString, QString, bool>(
                "args", "result", "first", "second", "shown", "window", "rtl");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildVariable, "1");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(m_dir.path());
        child.start(QCoreApplication::applicationFilePath(), args);
        QVERIFY(child.waitForFinished(120000));
        const QString strErr = QString::fromLocal8Bit(child.readAllStandardError());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(strErr));
        QMap<QString, QString> seen;
        for (const QString& strLine : QString::fromUtf8(child.readAllStandardOutput()).split('\n'))
            if (!strLine.isEmpty())
                seen.insert(strLine.section('=', 0, 0), strLine.section('=', 1));

        QCOMPARE(seen.value("result"), QString::number(result));
        QCOMPARE(seen.value("first"), first);
        QCOMPARE(seen.value("second"), second);
        const QString strShown = shown == "usage"    ? "usage: Usage: Quillet [file1] [file2]"
                                 : shown == "dialog" ? "dialog: " + first + " | " + second
                                                     : QString();
        QCOMPARE(seen.value("shown"), strShown);
        QCOMPARE(seen.value("window"), window.isEmpty() ? seen.value("computed") : window);
        QVERIFY(!seen.value("computed").isEmpty());
        QCOMPARE(seen.value("rtl"), QString::number(rtl));
        // The toolkit took no name after "--" for the value of an option of its own.
        QVERIFY2(!strErr.contains("a.bin") && !strErr.contains("700x500"), qPrintable(strErr));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(kChildVariable))
        return RunQuillet(argc, argv, ReportStartUp);
    QCoreApplication app(argc, argv);
    TestStartUp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
