// The program's start-up as main() runs it, the toolkit's handling of the arguments included:
// as one process holds one application object, each case runs this program again as quillet.
#include "app/compareapp.h"
#include "app/mainwnd.h"
#include "tests/testutil.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QtTest>

using namespace testutil;

// In the child: notes and closes the usage box or the dialog, then reports them, the parse and the
// window. Its events are of low priority: the start command, posted before, always comes first.
struct CReporter : QObject {
    explicit CReporter(CCompareApp& theApp) : m_app(theApp) { customEvent(nullptr); }
    void customEvent(QEvent*) override {
        if (auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            auto* pBox = qobject_cast<QMessageBox*>(pDialog);
            m_strShown = pBox ? pBox->text()
                              : pDialog->findChild<QComboBox*>("111")->currentText() + "|" +
                                    pDialog->findChild<QComboBox*>("116")->currentText();
            pDialog->reject();
        } else if (m_app.m_pMainWnd && m_app.m_pMainWnd->isVisible()) {
            QCoreApplication::processEvents(); // the geometry the platform was told of, handled
            const QRect rc(m_app.m_pMainWnd->frameGeometry().topLeft(), m_app.m_pMainWnd->size());
            std::printf("%d %s %d,%d %dx%d %d\n", m_app.m_state.m_cmdline.m_nResult,
                        qPrintable(m_strShown), rc.x(), rc.y(), rc.width(), rc.height(),
                        QApplication::isRightToLeft());
            return QCoreApplication::exit(0);
        }
        QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
    }
    CCompareApp& m_app;
    QString m_strShown = "-";
};

class TestStartUp : public QObject {
    Q_OBJECT

private slots:
    // The child's report: the parse's result, what came up over the window (its folder left out),
    // where the window is ("computed" on the 800 x 800 screen), whether right to left.
    void startUp_data() {
        Columns<QStringList, QString>("args", "report");
        const auto row = [](const QString& strArgs, QString strReport) {
            QTest::addRow("%s", qPrintable(strArgs))
                << strArgs.split(' ', Qt::SkipEmptyParts)
                << strReport.replace("computed", "100,66 600x600");
        };
        row("", "0 - computed 0");
        row("-reverse a.bin", "1 a.bin| computed 1");
        for (const QString str :
             {"-reverse", "-style", "-platform", "-session", "-stylesheet", "-qwindowgeometry"})
            row("-- " + str + " 700x500", QString("2 %1|700x500 computed 0").arg(str));
        row("-qwindowgeometry 700x500+10+20", "0 - 10,20 700x500 0");
        row("-qwindowgeometry=700x500", "-1 Usage: Quillet [file1] [file2] computed 0");
    }
    void startUp() {
        const auto [args, report] = Fetch<QStringList, QString>("args", "report");
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), args);
        QVERIFY(child.waitForFinished(120000));
        const QString strErr = QString::fromLocal8Bit(child.readAllStandardError());
        // The toolkit took no name after "--" for the value of an option of its own.
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                     !strErr.contains("a.bin") && !strErr.contains("700x500"),
                 qPrintable(strErr));
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).remove(QDir::currentPath() + "/"),
                 report + "\n");
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("QUILLET_STARTUP_CHILD"))
        return RunQuillet(argc, argv, [](CCompareApp& theApp) { new CReporter(theApp); });
    qputenv("QUILLET_STARTUP_CHILD", "1"); // for the children only
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    return QTest::qExec(std::make_unique<TestStartUp>().get(), argc, argv);
}

#include "tst_startup.moc"
