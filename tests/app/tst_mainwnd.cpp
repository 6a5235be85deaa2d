#include "app/abortconfirm.h"
#include "app/appstate.h"
#include "app/compareapp.h"
#include "app/mainwnd.h"
#include "app/messages.h"
#include "tests/apputil.h"
#include "view/colorref.h"
#include "view/hexdump.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QtTest>

#include <functional>
#include <thread>
#include <utility>

// The main window with the elapsed time's clock reading the job's start plus m_nOffset, a
// hook run once right after a progress notice is handled, and a dialog that answers as the
// test says: a confirmed one sets the two paths as OK does.
class CTestWnd : public CMainWnd {
public:
    CTestWnd(CAppState& app, const IScreenMetrics& metrics)
        : CMainWnd(app, metrics), m_state(app) {}
    CAppState& m_state;
    int64_t m_nOffset = -1; // < 0: the real clock
    std::function<void()> m_afterProgress;
    bool m_bConfirm = false;
    int m_nDialogs = 0;
    std::string m_strPath1;
    std::string m_strPath2;

protected:
    bool SelectFiles() override {
        ++m_nDialogs;
        if (m_bConfirm) {
            m_state.m_cmdline.m_strPath1 = m_strPath1;
            m_state.m_cmdline.m_strPath2 = m_strPath2;
        }
        return m_bConfirm;
    }
    bool event(QEvent* pEvent) override {
        const bool bProgress = pEvent->type() == UWM_PROGRESS;
        const bool bDone = CMainWnd::event(pEvent);
        if (bProgress && m_afterProgress)
            std::exchange(m_afterProgress, nullptr)();
        return bDone;
    }
    int64_t Now() const override {
        if (m_nOffset < 0 || !GetJob())
            return CMainWnd::Now();
        return GetJob()->m_stopwatch.m_start.load() + m_nOffset;
    }
};

// Hands each new abort question, while it is up, to the answer.
class CBoxWatcher : public QObject {
public:
    explicit CBoxWatcher(std::function<void(QMessageBox&)> answer) : m_answer(std::move(answer)) {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            for (QWidget* pWindow : QApplication::topLevelWidgets())
                if (auto* pBox = qobject_cast<QMessageBox*>(pWindow);
                    pBox && pBox->isVisible() && pBox != m_pLast &&
                    pBox->windowTitle() == "Ask confirm abort") {
                    m_pLast = pBox;
                    ++m_nBoxes;
                    m_answer(*pBox);
                }
        });
        m_timer.start(10);
    }
    int m_nBoxes = 0;

private:
    std::function<void(QMessageBox&)> m_answer;
    QPointer<QMessageBox> m_pLast;
    QTimer m_timer;
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

// A shown 800 x 600 main window whose reads go through a gate letting nFree reads through.
struct RunFixture {
    explicit RunFixture(int nFree = 1 << 30) : gate(nFree), installed(&gate) {
        g_abortConfirm.m_bAbort.store(0);
        wnd.resize(800, 600);
        wnd.show();
        bExposed = QTest::qWaitForWindowExposed(&wnd);
    }
    ~RunFixture() { gate.Release(); } // the window waits for a job it still has
    bool Start(uint64_t nLength) {
        app.m_cmdline.m_strPath1 = WriteSparse(dir, "one.bin", nLength);
        app.m_cmdline.m_strPath2 = WriteSparse(dir, "two.bin", nLength);
        wnd.GetMapView().SetTotalLength(nLength);
        std::string strError;
        return wnd.StartJob(strError) && wnd.GetJob();
    }
    // The start command, its dialog confirmed with these two paths or cancelled.
    void StartCommand(const std::string& strPath1, const std::string& strPath2,
                      bool bConfirm = true) {
        wnd.m_bConfirm = bConfirm;
        wnd.m_strPath1 = strPath1;
        wnd.m_strPath2 = strPath2;
        QEvent start(ID_SELECT_FILES);
        QCoreApplication::sendEvent(&wnd, &start);
    }
    std::string File(const char* pszName, const QByteArray& bytes) {
        return WriteFile(dir, pszName, bytes);
    }
    const CPaneBar::Pane& GetPane(int n) { return wnd.GetStrip().GetPane(n); }
    bool WaitIdle() {
        return QTest::qWaitFor([this] { return !wnd.GetJob(); }, 60000);
    }
    std::string Pane0() { return wnd.GetStrip().GetPane(PANE_PROGRESS).text; }
    // Blocks per load of each file's reader, and the progress text once nLoads were made,
    // in a run of 16 MiB.
    uint32_t PerLoad() {
        const uint32_t B = wnd.GetMapView().GetGeometry().m_nBlockSize;
        return std::max<uint32_t>(B, 262144) / B;
    }
    std::string ProgressAfter(uint32_t nLoads) {
        const uint64_t P = uint64_t(nLoads) * PerLoad() * 10000 /
                           ((uint64_t(16) << 20) / wnd.GetMapView().GetGeometry().m_nBlockSize);
        return QString("%1.%2% in ").arg(P / 100).arg(P % 100, 2, 10, QChar('0')).toStdString();
    }

    CGatedFileSystem gate;
    CInstalledFileSystem installed;
    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CTestWnd wnd{app, screen};
    bool bExposed = false;
};

static const QString kTitle = "Quillet Tavrel  1.00";

class TestMainWnd : public QObject {
    Q_OBJECT

private slots:
    void createdAsTheScreenAllows() {
        CTestScreen screen;
        CAppState app;
        CMainWnd wnd(app, screen);
        const int s = wnd.GetStrip().GetPreferredSize().height();
        QCOMPARE(wnd.GetMaxMapSize(), QSize(1020, 768 - 18 - s - 8));
        QCOMPARE(app.m_states.m_nCount, (1019 / 4) * ((768 - 18 - s - 8 - 1) / 4));
        QCOMPARE(wnd.windowTitle(), kTitle);
        QVERIFY(!wnd.windowIcon().isNull());
        QCOMPARE(g_abortConfirm.m_pMainWnd.data(), &wnd);
    }
    void layoutOfTheChildren_data() {
        Columns<QSize, QSize>("asked", "client");
        QTest::newRow("below the minimum") << QSize(300, 200) << QSize(512, 400);
        QTest::newRow("above the screen") << QSize(2000, 900) << QSize(1024, 768);
    }
    void layoutOfTheChildren() {
        const auto [asked, client] = Fetch<QSize, QSize>("asked", "client");
        RunFixture f;
        f.wnd.resize(asked);
        QCOMPARE(f.wnd.size(), client);
        const int W = client.width();
        const int H = client.height();
        const int s = f.wnd.GetStrip().GetPreferredSize().height();
        QCOMPARE(f.wnd.GetMapView().geometry(), QRect(0, 0, W, H - s - 4));
        QCOMPARE(f.wnd.GetStrip().geometry(), QRect(0, H - s, W, s));
        QWidget* pSeparator = f.wnd.childAt(W / 2, H - s - 2);
        QVERIFY(pSeparator && pSeparator != &f.wnd.GetMapView() && pSeparator != &f.wnd.GetStrip());
        QCOMPARE(pSeparator->geometry(), QRect(0, H - s - 4, W, 4));
    }
    void keysAndMenu() {
        RunFixture f;
        QVERIFY(f.bExposed);
        CEventCounter posts(ID_SELECT_FILES);
        f.wnd.installEventFilter(&posts);
        QTest::keyClick(&f.wnd, Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(posts.m_nCount, 1);

        // A right click on the map opens the window's menu; its one item asks for files.
        QString strItem;
        QTimer::singleShot(50, [&strItem] {
            for (QWidget* pWindow : QApplication::topLevelWidgets())
                if (auto* pMenu = qobject_cast<QMenu*>(pWindow); pMenu && pMenu->isVisible()) {
                    strItem = pMenu->actions().value(0)->text();
                    pMenu->actions().value(0)->trigger();
                    pMenu->close();
                }
        });
        const QPoint pt(100, 100);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pt, f.wnd.GetMapView().mapToGlobal(pt));
        QApplication::sendEvent(&f.wnd.GetMapView(), &event);
        QTRY_COMPARE(posts.m_nCount, 2);
        QCOMPARE(strItem, QString("Select &Files"));
        // With no run, Escape closes the window.
        QTest::keyClick(&f.wnd, Qt::Key_Escape);
        QTRY_VERIFY(!f.wnd.isVisible());
    }
    void closeDuringRun_data() {
        // escape: Escape, not the close box; answer: "yes", "no", or "end" (the run ends first)
        Columns<bool, QString>("escape", "answer");
        QTest::newRow("Escape, No") << true << "no";
        QTest::newRow("close box, Yes") << false << "yes";
        QTest::newRow("close box, run ends") << false << "end";
    }
    void closeDuringRun() {
        const auto [escape, answer] = Fetch<bool, QString>("escape", "answer");
        RunFixture f(2); // each file's first load passes; the worker then waits
        QVERIFY(f.bExposed);
        QVERIFY(f.Start(uint64_t(16) << 20));
        const auto nLast = int32_t(f.wnd.GetMapView().GetGeometry().CellCount() - 1); // R = 1
        const std::string strProgress = f.ProgressAfter(1);
        QTRY_COMPARE(f.Pane0().substr(0, strProgress.size()), strProgress);
        const std::string strLast = f.Pane0();
        QCOMPARE(f.wnd.windowTitle().toStdString(), strLast);

        bool bBoxAsAsked = false;
        CBoxWatcher watcher([&](QMessageBox& box) {
            bBoxAsAsked = box.text() == "Do You want compare abort ?" &&
                          box.icon() == QMessageBox::Question &&
                          box.standardButtons() == (QMessageBox::Yes | QMessageBox::No) &&
                          box.parentWidget() == &f.wnd;
            if (answer == "end")
                f.gate.Release();
            else
                QTest::mouseClick(box.button(answer == "yes" ? QMessageBox::Yes : QMessageBox::No),
                                  Qt::LeftButton);
        });
        auto requestClose = [&] {
            if (escape) {
                QTest::keyClick(&f.wnd, Qt::Key_Escape);
                QTest::qWait(50);
            } else {
                QVERIFY(!f.wnd.close());
            }
        };
        requestClose();
        QTRY_COMPARE(watcher.m_nBoxes, 1);
        QVERIFY(bBoxAsAsked);
        if (answer == "no") { // the run goes on, the title still shows it
            QVERIFY(f.wnd.GetJob());
            QCOMPARE(f.wnd.windowTitle().toStdString(), strLast);
            f.gate.Release();
        } else if (answer == "yes") { // a second request asks nothing
            QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(1));
            requestClose();
            QTest::qWait(100);
            f.gate.Release();
        }
        QVERIFY(f.WaitIdle());
        QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(0));
        if (answer == "yes") { // stopped at the block after the held one; the last text stays
            QCOMPARE(f.app.m_states.Get(int32_t(f.PerLoad())), uint8_t(BLOCK_EQUAL));
            QCOMPARE(f.app.m_states.Get(int32_t(f.PerLoad() + 1)), uint8_t(BLOCK_PENDING));
            QCOMPARE(f.Pane0(), strLast);
            int x = 0;
            int y = 0;
            CMapView& view = f.wnd.GetMapView();
            CCellGeometry::CellOrigin(nLast, view.GetGeometry().m_nPitch, view.width(), x, y);
            QCOMPARE(view.grab().toImage().pixelColor(x, y), QColor(Qt::white));
        } else { // ran to its end; a box still up was closed as No
            QCOMPARE(f.app.m_states.Get(nLast), uint8_t(BLOCK_EQUAL));
            QCOMPARE(f.Pane0().substr(0, 8), std::string("100% in "));
        }
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        QVERIFY(f.wnd.isVisible());
        QCOMPARE(watcher.m_nBoxes, 1);
    }
    void progressMadeWhileThePauseRunsIsShown() {
        RunFixture f(2);
        // Right after the first progress is shown, and before any timer can run, the worker makes
        // the progress of a second load and stops again: its notice falls into the window's pause.
        bool bMade = false;
        f.wnd.m_afterProgress = [&] {
            f.gate.Allow(2);
            for (int i = 0; i < 10000 && !bMade; ++i) {
                bMade = f.wnd.GetJob()->m_nDone.load() == 2 * int32_t(f.PerLoad());
                QThread::msleep(1);
            }
        };
        QVERIFY(f.Start(uint64_t(16) << 20));
        const std::string strSecond = f.ProgressAfter(2);
        QTRY_COMPARE(f.Pane0().substr(0, strSecond.size()), strSecond);
        QVERIFY(bMade);
        QCOMPARE(f.wnd.windowTitle().toStdString(), f.Pane0());
    }
    void elapsedTextInPaneAndTitle_data() {
        Columns<qint64, QString>("ms", "text");
        QTest::newRow("4.999 s") << qint64(4999) << "4.999s";
        QTest::newRow("one hour") << qint64(3600000) << "1:00:00s";
    }
    void elapsedTextInPaneAndTitle() {
        const auto [ms, text] = Fetch<qint64, QString>("ms", "text");
        RunFixture f;
        f.wnd.m_nOffset = ms;
        QVERIFY(f.Start(64));   // 64 one-byte blocks: progress after 32 and 64
        f.wnd.GetJob()->Join(); // its notices are queued, not yet handled
        QEvent progress(UWM_PROGRESS);
        QApplication::sendEvent(&f.wnd, &progress);
        QCOMPARE(QString::fromStdString(f.Pane0()), "100.00% in " + text);
        QCOMPARE(f.wnd.windowTitle(), "100.00% in " + text);

        QVERIFY(f.WaitIdle());
        QCOMPARE(QString::fromStdString(f.Pane0()), "100% in " + text);
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        // With no job the notices change nothing.
        QEvent finished(UWM_FINISHED);
        QApplication::sendEvent(&f.wnd, &progress);
        QApplication::sendEvent(&f.wnd, &finished);
        QCOMPARE(QString::fromStdString(f.Pane0()), "100% in " + text);
        QCOMPARE(f.wnd.windowTitle(), kTitle);
    }

    void wholeRunThroughTheRealDialog() {
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
        QVERIFY(QString::fromStdString(wnd.GetStrip().GetPane(PANE_PROGRESS).text)
                    .startsWith("100% in "));
        QCOMPARE(wnd.windowTitle(), QString("Quillet Tavrel  1.00"));
        QCOMPARE(wnd.GetMapView().GetGeometry().m_nTotalLength, 300000u);
        QVERIFY(wnd.GetMapView().GetDiffCells() > 0);
    }
    // Nothing to run: a file that cannot be opened, two empty files, no thread to run on.
    void startsNoRun_data() {
        Columns<QByteArray, bool, QString, QString>("second", "noThread", "secondPane", "progress");
        QTest::newRow("second missing") << QByteArray() << false << "No such file or directory"
                                        << "";
        QTest::newRow("both empty") << QByteArray("") << false << ""
                                    << "";
        QTest::newRow("no thread") << QByteArray("x") << true << ""
                                   << "Cannot start: ";
    }
    void startsNoRun() {
        const auto [second, noThread, secondPane, progress] =
            Fetch<QByteArray, bool, QString, QString>("second", "noThread", "secondPane",
                                                      "progress");
        RunFixture f;
        SimulateThreadStartFailure(noThread);
        const std::string strSecond =
            second.isNull() ? f.dir.filePath("missing").toStdString() : f.File("two", second);
        f.StartCommand(f.File("one", second.isNull() ? "x" : second), strSecond);
        SimulateThreadStartFailure(false);
        QCOMPARE(f.GetPane(PANE_PRIMARY).color, CLR_NAME);
        const CPaneBar::Pane& pane = f.GetPane(PANE_SECONDARY);
        QCOMPARE(QString::fromStdString(pane.text),
                 secondPane.isEmpty() ? strSecond.c_str() : secondPane);
        QCOMPARE(pane.color, secondPane.isEmpty() ? CLR_NAME : CLR_ERROR);
        QVERIFY(QString::fromStdString(f.GetPane(PANE_PROGRESS).text).startsWith(progress));
        QCOMPARE(f.wnd.GetJob(), nullptr);
        QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, noThread ? 1u : 0u);
        QVERIFY(f.wnd.close());
    }
    void workerThatCannotOpenAFile() {
        RunFixture f;
        CWorkerCannotOpen fs;
        {
            CInstalledFileSystem installed(&fs);
            f.StartCommand(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
            QVERIFY(f.WaitIdle());
        }
        QCOMPARE(f.GetPane(PANE_SECONDARY).text, std::string("Comapre error: Permission denied"));
        QCOMPARE(f.GetPane(PANE_SECONDARY).color, CLR_ERROR);
        QCOMPARE(f.GetPane(PANE_PROGRESS).text, std::string());
        // The next run that does not fail shows names again, not the earlier error.
        f.StartCommand(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.GetPane(PANE_SECONDARY).color, CLR_NAME);
        QVERIFY(QString::fromStdString(f.GetPane(PANE_PROGRESS).text).startsWith("100% in "));
    }
    void cancelChangesNothingAndRunningIgnoresTheCommand() {
        RunFixture f(0);
        f.StartCommand(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
        QVERIFY(f.wnd.GetJob());
        f.StartCommand(f.File("three", "x"), f.File("four", "y"));
        QCOMPARE(f.wnd.m_nDialogs, 1); // ignored while the run is held
        f.gate.Release();
        QVERIFY(f.WaitIdle());
        const std::string strShown = f.GetPane(PANE_PRIMARY).text;
        f.StartCommand(f.File("five", "x"), f.File("six", "y"), false);
        QCOMPARE(f.wnd.m_nDialogs, 2);
        QCOMPARE(f.GetPane(PANE_PRIMARY).text, strShown);
        QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, 5000u);
    }
    void tooltipOfEachKindOfCell() {
        RunFixture f;
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
        QCOMPARE(Ask(int32_t(K / 2)),
                 "[" + QString::fromStdString(FormatRange(nFirst, nLast)) + "]");
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
    void startUp_data() {
        Columns<QStringList, int, bool>("args", "starts", "usage");
        QTest::newRow("no names") << QStringList{} << 0 << false;
        QTest::newRow("one name") << QStringList{"a.bin"} << 1 << false;
        QTest::newRow("three names") << QStringList{"a", "b", "c"} << 0 << true;
    }
    void startUp() {
        const auto [args, starts, usage] = Fetch<QStringList, int, bool>("args", "starts", "usage");
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
    void writesNoFile() {
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
        QCOMPARE(
            QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }
};

QTEST_MAIN(TestMainWnd)
#include "tst_mainwnd.moc"
