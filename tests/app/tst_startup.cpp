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

using namespace testutil;

namespace {
QString RectText(const QRect& rc) {
    return QString("%1,%2 %3x%4").arg(rc.x()).arg(rc.y()).arg(rc.width()).arg(rc.height());
}

// In the child: notes and closes the usage box or the Select-files dialog as it comes up, then
// reports it, the parse and the window, and quits. It acts on an event of low priority, so
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
            m_strShown = pBox->text() == "Usage: Quillet [file1] [file2]" ? "usage" : pBox->text();
            pBox->accept();
        } else if (auto* pDialog = qobject_cast<CSelectFilesDlg*>(pModal)) {
            m_strShown = pDialog->findChild<QComboBox*>("111")->currentText() + "|" +
                         pDialog->findChild<QComboBox*>("116")->currentText();
            pDialog->reject();
        } else if (!pModal && m_app.m_pMainWnd && m_app.m_pMainWnd->isVisible()) {
            // Placed by its frame, sized by its client area, as the platform has it once the
            // geometry it was told of is handled.
            QCoreApplication::processEvents();
            const QWidget& wnd = *m_app.m_pMainWnd;
            const QString strWindow = RectText(QRect(wnd.frameGeometry().topLeft(), wnd.size()));
            const QSize screen = SystemScreenMetrics().GetScreenSize();
            const CRect rc = InitialWindowRect(screen.width(), screen.height());
            const CCmdline& cmdline = m_app.m_state.m_cmdline;
            std::printf("%d %s|%s %s %s %d\n", cmdline.m_nResult, cmdline.m_strPath1.c_str(),
                        cmdline.m_strPath2.c_str(), qPrintable(m_strShown),
                        strWindow == RectText(QRect(rc.left, rc.top, rc.right - rc.left,
                                                    rc.bottom - rc.top))
                            ? "computed"
                            : qPrintable(strWindow),
                        QApplication::layoutDirection() == Qt::RightToLeft);
            QCoreApplication::exit(0);
            return true;
        }
        Next();
        return true;
    }

private:
    void Next() {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
    }
    CCompareApp& m_app;
    QString m_strShown = "-";
};
} // namespace

class TestStartUp : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // The child's report, its folder left out: the parse's result and paths, what came up over
    // the window (the usage box, or the dialog with the paths), where the toolkit placed the
    // window (or "computed") and whether it lays out right to left.
    void startUp_data() {
        Columns<QStringList, QString>("args", "report");
        const auto row = [](const QString& strName, const QStringList& args, const QString& str) {
            QTest::addRow("%s", qPrintable(strName)) << args << str;
        };
        row("nothing", {}, "0 | - computed 0");
        row("one name", {"a.bin"}, "1 a.bin| a.bin| computed 0");
        row("an option alone", {"-x=1"}, "-1 | usage computed 0");
        row("a slash begins a path", {"/x=1"}, "1 /x=1| /x=1| computed 0");
        row("toolkit option before --", {"-reverse", "a.bin"}, "1 a.bin| a.bin| computed 1");
        for (const QString str :
             {"-reverse", "-style", "-platform", "-session", "-stylesheet", "-qwindowgeometry"})
            row(str + " after --", {"--", str, "700x500"},
                QString("2 %1|700x500 %1|700x500 computed 0").arg(str));
        row("-qwindowgeometry", {"-qwindowgeometry", "700x500+10+20"}, "0 | - 10,20 700x500 0");
        row("-qwindowgeometry=, not the toolkit's", {"-qwindowgeometry=700x500"},
            "-1 | usage computed 0");
        // Only the X11 platform takes -geometry; on the others it is an option of ours.
        row("-geometry offscreen", {"-geometry", "700x500"}, "-1 700x500| usage computed 0");
    }
    void startUp() {
        const auto [args, report] = Fetch<QStringList, QString>("args", "report");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLET_STARTUP_CHILD", "1");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(m_dir.path());
        child.start(QCoreApplication::applicationFilePath(), args);
        QVERIFY(child.waitForFinished(120000));
        const QString strErr = QString::fromLocal8Bit(child.readAllStandardError());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(strErr));
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).remove(m_dir.path() + "/"),
                 report + "\n");
        // The toolkit took no name after "--" for the value of an option of its own.
        QVERIFY2(!strErr.contains("a.bin") && !strErr.contains("700x500"), qPrintable(strErr));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("QUILLET_STARTUP_CHILD"))
        return RunQuillet(argc, argv, [](CCompareApp& theApp) { new CReporter(theApp); });
    QCoreApplication app(argc, argv);
    TestStartUp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
