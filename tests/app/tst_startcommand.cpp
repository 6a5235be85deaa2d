#include "app/appstate.h"
#include "app/compareapp.h"
#include "app/mainwnd.h"
#include "app/messages.h"
#include "tests/apputil.h"
#include "ui/selectfilesdlg.h"
#include "ui/statusstrip.h"
#include "view/colorref.h"
#include "view/hexdump.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QProcess>
#include <QtTest>

#include <thread>

namespace {

// The main window whose dialog answers as the test says; a confirmed one sets the two
// paths as OK does.
class CScriptedWnd : public CMainWnd {
public:
    CScriptedWnd(CAppState& app, const IScreenMetrics& metrics)
        : CMainWnd(app, metrics), m_state(app) {}
    bool SelectFiles() override {
        ++m_nDialogs;
        if (!m_bConfirm)
            return false;
        m_state.m_cmdline.m_strPath1 = m_strPath1;
        m_state.m_cmdline.m_strPath2 = m_strPath2;
        return true;
    }
    CAppState& m_state;
    bool m_bConfirm = true;
    int m_nDialogs = 0;
    std::string m_strPath1;
    std::string m_strPath2;
};

// Opening a "two" file fails on the worker's thread only, as when it vanishes after the start.
class CWorkerCannotOpen : public CFileSystem {
public:
    int Open(const char* pszPath, int nFlags) override {
        if (std::this_thread::get_id() != m_main &&
            std::string(pszPath).find("two") != std::string::npos) {
            errno = EACCES;
            return -1;
        }
        return CFileSystem::Open(pszPath, nFlags);
    }
    std::thread::id m_main = std::this_thread::get_id();
};

struct Fixture {
    Fixture() {
        wnd.resize(800, 600);
        wnd.show();
        bExposed = QTest::qWaitForWindowExposed(&wnd);
    }
    void Start(const std::string& strPath1, const std::string& strPath2) {
        wnd.m_strPath1 = strPath1;
        wnd.m_strPath2 = strPath2;
        QEvent start(ID_SELECT_FILES);
        QCoreApplication::sendEvent(&wnd, &start);
    }
    bool WaitIdle() {
        return QTest::qWaitFor([this] { return !wnd.GetJob(); }, 60000);
    }
    const CPaneBar::Pane& GetPane(int n) { return wnd.GetStrip().GetPane(n); }
    std::string File(const char* pszName, const QByteArray& bytes) {
        return WriteFile(dir, pszName, bytes);
    }

    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CScriptedWnd wnd{app, screen};
    bool bExposed = false;
};

// Presses a button of the next modal window that comes up, by its object name or text.
void PressInNextModal(const QString& strButton) {
    QTimer::singleShot(50, [strButton] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal)
            return PressInNextModal(strButton);
        for (auto* pButton : pModal->findChildren<QAbstractButton*>())
            if (pButton->objectName() == strButton || pButton->text().remove('&') == strButton)
                return QTest::mouseClick(pButton, Qt::LeftButton);
    });
}

} // namespace

class TestStartCommand : public QObject {
    Q_OBJECT

private slots:
    void wholeRunThroughTheRealDialog();
    void fileThatCannotBeOpened();
    void workerThatCannotOpenAFile();
    void cancelChangesNothingAndRunningIgnoresTheCommand();
    void twoEmptyFilesStartNothing();
    void noThreadMeansNoJob();
    void tooltipOfEachKindOfCell();
    void startUp_data();
    void startUp();
    void writesNoFile();
};

void TestStartCommand::wholeRunThroughTheRealDialog() {
    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CMainWnd wnd(app, screen);
    wnd.resize(800, 600);
    wnd.show();
    app.m_cmdline.m_strPath1 = WriteFile(dir, "a & <b>.bin", Pattern(300000));
    app.m_cmdline.m_strPath2 = WriteFile(dir, "b.bin", Pattern(300000, 1));
    PressInNextModal("1"); // OK
    QEvent start(ID_SELECT_FILES);
    QCoreApplication::sendEvent(&wnd, &start);
    const CPaneBar::Pane& primary = wnd.GetStrip().GetPane(PANE_PRIMARY);
    QCOMPARE(primary.text, app.m_cmdline.m_strPath1);
    QCOMPARE(primary.color, CLR_NAME);
    QCOMPARE(wnd.GetStrip().GetPane(PANE_SECONDARY).color, CLR_NAME);
    QCOMPARE(app.m_history1.GetEntries().front(), app.m_cmdline.m_strPath1);
    QVERIFY(QTest::qWaitFor([&] { return !wnd.GetJob(); }, 60000));
    QVERIFY(
        QString::fromStdString(wnd.GetStrip().GetPane(PANE_PROGRESS).text).startsWith("100% in "));
    QCOMPARE(wnd.windowTitle(), QString("Quillet Tavrel  1.00"));
    QCOMPARE(wnd.GetMapView().GetGeometry().m_nTotalLength, 300000u);
    QVERIFY(wnd.GetMapView().GetDiffCells() > 0);
}

void TestStartCommand::fileThatCannotBeOpened() {
    Fixture f;
    f.Start(f.File("one", "x"), f.dir.filePath("missing").toStdString());
    QCOMPARE(f.GetPane(PANE_PRIMARY).color, CLR_NAME);
    QCOMPARE(f.GetPane(PANE_SECONDARY).text, std::string("No such file or directory"));
    QCOMPARE(f.GetPane(PANE_SECONDARY).color, CLR_ERROR);
    QCOMPARE(f.wnd.GetJob(), nullptr);
    QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, 0u);
}

void TestStartCommand::workerThatCannotOpenAFile() {
    Fixture f;
    CWorkerCannotOpen fs;
    {
        CInstalledFileSystem installed(&fs);
        f.Start(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
        QVERIFY(f.WaitIdle());
    }
    QCOMPARE(f.GetPane(PANE_SECONDARY).text, std::string("Comapre error: Permission denied"));
    QCOMPARE(f.GetPane(PANE_SECONDARY).color, CLR_ERROR);
    QCOMPARE(f.GetPane(PANE_PROGRESS).text, std::string());
    // The next run that does not fail shows names again, not the earlier error.
    f.Start(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
    QVERIFY(f.WaitIdle());
    QCOMPARE(f.GetPane(PANE_SECONDARY).color, CLR_NAME);
    QVERIFY(QString::fromStdString(f.GetPane(PANE_PROGRESS).text).startsWith("100% in "));
}

void TestStartCommand::cancelChangesNothingAndRunningIgnoresTheCommand() {
    Fixture f;
    CGatedFileSystem gate(0);
    CInstalledFileSystem installed(&gate);
    f.Start(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
    QVERIFY(f.wnd.GetJob());
    f.Start(f.File("three", "x"), f.File("four", "y"));
    QCOMPARE(f.wnd.m_nDialogs, 1); // ignored while the run is held
    gate.Release();
    QVERIFY(f.WaitIdle());
    const std::string strShown = f.GetPane(PANE_PRIMARY).text;
    f.wnd.m_bConfirm = false;
    f.Start(f.File("five", "x"), f.File("six", "y"));
    QCOMPARE(f.wnd.m_nDialogs, 2);
    QCOMPARE(f.GetPane(PANE_PRIMARY).text, strShown);
    QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, 5000u);
}

void TestStartCommand::twoEmptyFilesStartNothing() {
    Fixture f;
    f.Start(f.File("one", {}), f.File("two", {}));
    QCOMPARE(f.wnd.GetJob(), nullptr);
    QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, 0u);
}

void TestStartCommand::noThreadMeansNoJob() {
    Fixture f;
    SimulateThreadStartFailure(true);
    f.Start(f.File("one", "ab"), f.File("two", "ab"));
    SimulateThreadStartFailure(false);
    QCOMPARE(f.wnd.GetJob(), nullptr);
    QVERIFY(QString::fromStdString(f.GetPane(PANE_PROGRESS).text).startsWith("Cannot start: "));
    QVERIFY(f.wnd.close());
}

void TestStartCommand::tooltipOfEachKindOfCell() {
    Fixture f;
    const uint64_t nFour = uint64_t(1) << 32;
    std::string strOne = WriteSparse(f.dir, "one", nFour + 3 * 4096, nFour + 20, "A");
    std::string strTwo = WriteSparse(f.dir, "two", nFour + 2 * 4096 + 100, nFour + 20, "B");
    f.app.m_cmdline.m_strPath1 = strOne;
    f.app.m_cmdline.m_strPath2 = strTwo;
    QVERIFY(f.app.m_file1.Open(strOne) && f.app.m_file2.Open(strTwo));
    CMapView& map = f.wnd.GetMapView();
    QVERIFY(f.bExposed);
    map.SetTotalLength(nFour + 3 * 4096);
    map.repaint();
    const CCellGeometry& g = map.GetGeometry();
    const uint32_t K = g.CellCount();
    const uint32_t R = f.app.m_states.m_nPerCell;
    for (uint32_t i = 0; i < K * R && int64_t(i) < f.app.m_states.m_nCount; ++i)
        f.app.m_states.Set(int32_t(i), BLOCK_EQUAL);
    uint64_t nFirst = 0, nLast = 0;
    auto Ask = [&](int32_t i) {
        int32_t x = 0, y = 0;
        CCellGeometry::CellOrigin(i, g.m_nPitch, map.width(), x, y);
        ToolHitQuery query;
        query.x = x + 1;
        query.y = y + 1;
        CToolHitEvent event(query);
        QCoreApplication::sendEvent(&map, &event);
        return query.uId == i ? QString::fromStdString(query.strText) : QString("wrong cell");
    };
    // Equal: the range alone, in the long form above 4 GiB.
    g.GetCellRange(int32_t(K / 2), nFirst, nLast);
    QCOMPARE(Ask(int32_t(K / 2)), "[" + QString::fromStdString(FormatRange(nFirst, nLast)) + "]");
    // Red and yellow: the dump of both files, the differing byte bracketed.
    const int32_t nRed = int32_t((nFour + 20) / g.m_nCellSize);
    f.app.m_states.Set(int32_t(uint32_t(nRed) * R), BLOCK_DIFFERENT);
    f.app.m_states.Set(int32_t(K * R - 1), BLOCK_LENGTH_DIFFERS);
    QString strRed = Ask(nRed);
    QVERIFY2(strRed.contains("`") && strRed.contains("[41]") && strRed.contains("[42]"),
             qPrintable(strRed));
    QVERIFY(Ask(int32_t(K - 1)).contains("-----"));
    QCOMPARE(map.GetDiffCells(), 0u); // counted by paints, not by queries
}

void TestStartCommand::startUp_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("starts");
    QTest::addColumn<bool>("usage");
    QTest::newRow("no names") << QStringList{} << 0 << false;
    QTest::newRow("one name") << QStringList{"a.bin"} << 1 << false;
    QTest::newRow("two names") << QStringList{"a.bin", "b.bin"} << 1 << false;
    QTest::newRow("three names") << QStringList{"a", "b", "c"} << 0 << true;
    QTest::newRow("an option") << QStringList{"a.bin", "-x"} << 0 << true;
}

void TestStartCommand::startUp() {
    QFETCH(QStringList, args);
    QFETCH(int, starts);
    QFETCH(bool, usage);
    std::vector<std::string> list;
    for (const QString& arg : args)
        list.push_back(arg.toStdString());
    QString strUsage;
    QTimer::singleShot(100, [&] {
        if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            strUsage = pBox->text();
            pBox->accept();
        }
    });
    if (starts > 0) // the dialog the start command opens is cancelled
        PressInNextModal("2");
    CTestScreen screen;
    CCompareApp theApp;
    CEventCounter counter(ID_SELECT_FILES);
    QVERIFY(theApp.InitInstance(list, screen));
    theApp.m_pMainWnd->installEventFilter(&counter);
    QTest::qWait(150);
    QCOMPARE(counter.m_nCount, starts);
    QCOMPARE(strUsage, usage ? QString("Usage: Quillet [file1] [file2]") : QString());
    QCOMPARE(theApp.m_pMainWnd->geometry().size(), QSize(768, 576));
    theApp.m_pMainWnd->removeEventFilter(&counter);
}

void TestStartCommand::writesNoFile() {
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* pszName :
         {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        env.insert(pszName, home.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(QUILLET_BIN_DIR "/quillet", {QUILLET_SOURCE_DIR "/samples/primary.bin",
                                               QUILLET_SOURCE_DIR "/samples/secondary.bin"});
    QVERIFY(process.waitForStarted());
    QTest::qWait(1500);
    process.terminate();
    process.waitForFinished();
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

QTEST_MAIN(TestStartCommand)
#include "tst_startcommand.moc"
