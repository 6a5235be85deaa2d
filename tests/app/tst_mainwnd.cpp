#include "app/abortconfirm.h"
#include "app/compareapp.h"
#include "app/progresstext.h"
#include "tests/app/windowutil.h"
#include "view/colorref.h"
#include "view/hexdump.h"

#include <QMenu>
#include <QProcess>

#include <optional>
#include <thread>
#include <utility>

// The scripted window with the elapsed time's clock reading the job's start plus m_nOffset,
// and a hook run once right after a progress notice is handled.
class CTestWnd : public CScriptedWnd {
public:
    using CScriptedWnd::CScriptedWnd;
    int64_t m_nOffset = -1; // < 0: the real clock
    std::function<void()> m_afterProgress;

protected:
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
    const CPaneBar::Pane& Pane(int n) { return wnd.GetStrip().GetPane(n); }
    QString Text(int n) { return QString::fromStdString(Pane(n).text); }
    bool WaitIdle() {
        return QTest::qWaitFor([this] { return !wnd.GetJob(); }, 60000);
    }
    // Blocks per load of each file's reader, and the progress text once nLoads were made,
    // in a run of 16 MiB.
    uint32_t PerLoad() {
        const uint32_t B = wnd.GetMapView().GetGeometry().m_nBlockSize;
        return std::max<uint32_t>(B, 262144) / B;
    }
    QString ProgressAfter(uint32_t nLoads) {
        const uint64_t P = uint64_t(nLoads) * PerLoad() * 10000 /
                           ((uint64_t(16) << 20) / wnd.GetMapView().GetGeometry().m_nBlockSize);
        return QString("%1.%2% in ").arg(P / 100).arg(P % 100, 2, 10, QChar('0'));
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
    void layoutOfTheChildren_data() {
        Columns<QSize, QSize>("asked", "client");
        QTest::newRow("below the minimum") << QSize(300, 200) << QSize(512, 400);
        QTest::newRow("above the screen") << QSize(2000, 900) << QSize(1024, 768);
    }
    void layoutOfTheChildren() {
        const auto [asked, client] = Fetch<QSize, QSize>("asked", "client");
        RunFixture f;
        const int s = f.wnd.GetStrip().GetPreferredSize().height();
        QCOMPARE(f.wnd.GetMaxMapSize(), QSize(1020, 768 - 18 - s - 8));
        QCOMPARE(f.app.m_states.m_nCount, (1019 / 4) * ((768 - 18 - s - 8 - 1) / 4));
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        QVERIFY(!f.wnd.windowIcon().isNull());
        QCOMPARE(g_abortConfirm.m_pMainWnd.data(), &f.wnd);
        f.wnd.resize(asked);
        QCOMPARE(f.wnd.size(), client);
        const int W = client.width(), H = client.height();
        QCOMPARE(f.wnd.GetMapView().geometry(), QRect(0, 0, W, H - s - 4));
        QCOMPARE(f.wnd.GetStrip().geometry(), QRect(0, H - s, W, s));
        QWidget* pSeparator = f.wnd.childAt(W / 2, H - s - 2);
        QVERIFY(pSeparator && pSeparator != &f.wnd.GetMapView() && pSeparator != &f.wnd.GetStrip());
        QCOMPARE(pSeparator->geometry(), QRect(0, H - s - 4, W, 4));
    }
    void keysAndMenu() {
        RunFixture f;
        QVERIFY(f.bExposed);
        // The map has the keys, and passes on those it does not take.
        CMapView& map = f.wnd.GetMapView();
        QCOMPARE(QApplication::focusWidget(), &map);
        CEventCounter posts(ID_SELECT_FILES);
        f.wnd.installEventFilter(&posts);
        QTest::keyClick(&map, Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(posts.m_nCount, 1);
        // A right click on the map opens the window's menu; its one item asks for files.
        QString strItem;
        QTimer::singleShot(50, [&strItem] {
            if (auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
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
        QTest::keyClick(&map, Qt::Key_Escape); // with no run, Escape closes the window
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
        QVERIFY(f.bExposed && f.Start(uint64_t(16) << 20));
        const auto nLast = int32_t(f.wnd.GetMapView().GetGeometry().CellCount() - 1); // R = 1
        QTRY_VERIFY(f.Text(PANE_PROGRESS).startsWith(f.ProgressAfter(1)));
        const QString strLast = f.Text(PANE_PROGRESS);
        QCOMPARE(f.wnd.windowTitle(), strLast);

        int nBoxes = 0;
        bool bBoxAsAsked = false;
        QPointer<QMessageBox> pLast;
        QTimer watch; // answers each new abort question while it is up
        connect(&watch, &QTimer::timeout, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox || !pBox->isVisible() || pBox == pLast)
                return;
            pLast = pBox;
            ++nBoxes;
            bBoxAsAsked = pBox->windowTitle() == "Ask confirm abort" &&
                          pBox->text() == "Do You want compare abort ?" &&
                          pBox->icon() == QMessageBox::Question &&
                          pBox->standardButtons() == (QMessageBox::Yes | QMessageBox::No) &&
                          pBox->parentWidget() == &f.wnd;
            if (answer == "end")
                f.gate.Release();
            else
                ClickButton(*pBox, answer == "yes" ? "Yes" : "No");
        });
        watch.start(10);
        auto requestClose = [&] {
            if (escape)
                QTest::keyClick(&f.wnd, Qt::Key_Escape);
            else
                QVERIFY(!f.wnd.close());
            QTest::qWait(50);
        };
        requestClose();
        QTRY_COMPARE(nBoxes, 1);
        QVERIFY(bBoxAsAsked);
        if (answer == "no") { // the run goes on, the title still shows it
            QVERIFY(f.wnd.GetJob());
            QCOMPARE(f.wnd.windowTitle(), strLast);
        } else if (answer == "yes") { // a second request asks nothing
            QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(1));
            requestClose();
        }
        f.gate.Release();
        QVERIFY(f.WaitIdle());
        QCOMPARE(g_abortConfirm.m_bAbort.load(), uint8_t(0));
        CMapView& view = f.wnd.GetMapView();
        if (answer == "yes") { // stopped where it was held; the last cell was never begun
            QVERIFY(f.Text(PANE_PROGRESS).startsWith(f.ProgressAfter(1)));
            int x = 0, y = 0;
            CCellGeometry::CellOrigin(nLast, view.GetGeometry().m_nPitch, view.width(), x, y);
            QCOMPARE(view.grab().toImage().pixelColor(x, y), QColor(Qt::white));
        } else { // ran to its end; a box still up was closed as No
            QCOMPARE(f.app.m_states.Get(nLast), uint8_t(BLOCK_EQUAL));
            QVERIFY(f.Text(PANE_PROGRESS).startsWith("100% in "));
        }
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        QVERIFY(f.wnd.isVisible());
        QCOMPARE(nBoxes, 1);
    }
    // A Yes and the finish right after a shown progress, before its pause is over: the text
    // tells where the worker stopped, not what the last notice said.
    void abandonedRunShowsWhereItStopped() {
        RunFixture f(2);
        QVERIFY(f.bExposed && f.Start(uint64_t(16) << 20));
        QTRY_VERIFY(f.Text(PANE_PROGRESS).startsWith(f.ProgressAfter(1)));
        CCompareJob& job = *f.wnd.GetJob();
        const int32_t nNext = int32_t(2 * f.PerLoad());
        f.gate.Allow(2); // no events handled meanwhile
        while (job.m_nDone.load() < nNext)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        g_abortConfirm.m_bAbort.store(1);
        f.gate.Release();
        job.Join();
        QCoreApplication::sendPostedEvents(&f.wnd, UWM_FINISHED); // before any timer
        QVERIFY(!f.wnd.GetJob());
        QVERIFY2(f.Text(PANE_PROGRESS).startsWith(f.ProgressAfter(2)),
                 qPrintable(f.Text(PANE_PROGRESS)));
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
        QTRY_VERIFY(f.Text(PANE_PROGRESS).startsWith(f.ProgressAfter(2)));
        QVERIFY(bMade);
        QCOMPARE(f.wnd.windowTitle(), f.Text(PANE_PROGRESS));
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
        QEvent progress(UWM_PROGRESS), finished(UWM_FINISHED);
        QApplication::sendEvent(&f.wnd, &progress);
        QCOMPARE(f.Text(PANE_PROGRESS), "100.00% in " + text);
        QCOMPARE(f.wnd.windowTitle(), "100.00% in " + text);
        QVERIFY(f.WaitIdle());
        // Shown once finished, and no notice without a job changes it.
        for (QEvent* pEvent : {&progress, &finished, &progress}) {
            QCOMPARE(f.Text(PANE_PROGRESS), "100% in " + text);
            QCOMPARE(f.wnd.windowTitle(), kTitle);
            QApplication::sendEvent(&f.wnd, pEvent);
        }
    }
    void wholeRunThroughTheRealDialog() {
        RunFixture f;
        f.wnd.m_bScripted = false;
        f.app.m_cmdline.m_strPath1 = f.File("a & <b>.bin", Pattern(300000));
        f.app.m_cmdline.m_strPath2 = f.File("b.bin", Pattern(300000, 1));
        AnswerNextModal([](QWidget& dialog) { ClickButton(dialog, "1"); });
        f.StartCommand(f.app.m_cmdline.m_strPath1, f.app.m_cmdline.m_strPath2);
        QCOMPARE(f.Pane(PANE_PRIMARY).text, f.app.m_cmdline.m_strPath1);
        QCOMPARE(f.Pane(PANE_PRIMARY).color, CLR_NAME);
        QCOMPARE(f.Pane(PANE_SECONDARY).color, CLR_NAME);
        QCOMPARE(f.app.m_history1.GetEntries().front(), f.app.m_cmdline.m_strPath1);
        QVERIFY(f.WaitIdle());
        QVERIFY(f.Text(PANE_PROGRESS).startsWith("100% in "));
        QCOMPARE(f.wnd.windowTitle(), kTitle);
        QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, 300000u);
        QVERIFY(f.wnd.GetMapView().GetDiffCells() > 0);
        // Keys reach the map once the dialog is gone.
        QCOMPARE(QApplication::focusWidget(), &f.wnd.GetMapView());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down, Qt::AltModifier);
        QVERIFY(f.wnd.GetMapView().GetGeometry().m_nSelected >= 0);
    }
    // Runs that show an error: a file that cannot be opened, two empty files, no thread to
    // run on, a file the worker cannot open. The next sound run shows names again.
    void runsWithAnError_data() {
        Columns<QByteArray, QString, QString, QString, uint>("second", "fault", "secondPane",
                                                             "progress", "length");
        const QString none;
        QTest::newRow("second missing")
            << QByteArray() << none << "No such file or directory" << none << 0u;
        QTest::newRow("both empty") << QByteArray("") << none << none << none << 0u;
        QTest::newRow("no thread") << QByteArray("x") << "thread" << none << "Cannot start: " << 1u;
        QTest::newRow("worker cannot open") << Pattern(5000) << "worker"
                                            << "Comapre error: Permission denied" << none << 5000u;
        QTest::newRow("worker cannot open, Yes given")
            << Pattern(5000) << "worker, Yes"
            << "Comapre error: Permission denied" << none << 5000u;
    }
    void runsWithAnError() {
        const auto [second, fault, secondPane, progress, length] =
            Fetch<QByteArray, QString, QString, QString, uint>("second", "fault", "secondPane",
                                                               "progress", "length");
        RunFixture f;
        {
            CWorkerCannotOpen fs;
            std::optional<CInstalledFileSystem> installed;
            if (fault.startsWith("worker"))
                installed.emplace(&fs);
            SimulateThreadStartFailure(fault == "thread");
            const std::string strSecond =
                second.isNull() ? f.dir.filePath("missing").toStdString() : f.File("two", second);
            f.StartCommand(f.File("one", second.isNull() ? "x" : second), strSecond);
            SimulateThreadStartFailure(false);
            if (fault == "worker, Yes") // before the finish is handled
                g_abortConfirm.m_bAbort.store(1);
            if (!fault.startsWith("worker"))
                QCOMPARE(f.wnd.GetJob(), nullptr);
            QVERIFY(f.WaitIdle());
            QCOMPARE(f.Pane(PANE_PRIMARY).color, CLR_NAME);
            QCOMPARE(f.Text(PANE_SECONDARY), secondPane.isEmpty() ? strSecond.c_str() : secondPane);
            QCOMPARE(f.Pane(PANE_SECONDARY).color, secondPane.isEmpty() ? CLR_NAME : CLR_ERROR);
            QVERIFY(f.Text(PANE_PROGRESS).startsWith(progress));
            QCOMPARE(progress.isEmpty(), f.Text(PANE_PROGRESS).isEmpty());
            QCOMPARE(f.wnd.GetMapView().GetGeometry().m_nTotalLength, uint64_t(length));
        }
        f.StartCommand(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.Pane(PANE_SECONDARY).color, CLR_NAME);
        QVERIFY(f.Text(PANE_PROGRESS).startsWith("100% in "));
        QVERIFY(f.wnd.close());
    }
    void cancelChangesNothingAndRunningIgnoresTheCommand() {
        RunFixture f(0);
        f.StartCommand(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
        QVERIFY(f.wnd.GetJob());
        f.StartCommand(f.File("three", "x"), f.File("four", "y"));
        QCOMPARE(f.wnd.m_nDialogs, 1); // ignored while the run is held
        f.gate.Release();
        QVERIFY(f.WaitIdle());
        const std::string strShown = f.Pane(PANE_PRIMARY).text;
        f.StartCommand(f.File("five", "x"), f.File("six", "y"), false);
        QCOMPARE(f.wnd.m_nDialogs, 2);
        QCOMPARE(f.Pane(PANE_PRIMARY).text, strShown);
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
        const uint32_t K = g.CellCount(), R = f.app.m_states.m_nPerCell;
        for (uint32_t i = 0; i < K * R && int64_t(i) < f.app.m_states.m_nCount; ++i)
            f.app.m_states.Set(int32_t(i), BLOCK_EQUAL);
        // Equal: the range alone, in the long form above 4 GiB.
        uint64_t nFirst = 0, nLast = 0;
        g.GetCellRange(int32_t(K / 2), nFirst, nLast);
        QCOMPARE(AskCellTip(map, int32_t(K / 2)),
                 "[" + QString::fromStdString(FormatRange(nFirst, nLast)) + "]");
        // Red and yellow: the dump of both files, the differing byte bracketed.
        const int32_t nRed = int32_t((nFour + 20) / g.m_nCellSize);
        f.app.m_states.Set(int32_t(uint32_t(nRed) * R), BLOCK_DIFFERENT);
        f.app.m_states.Set(int32_t(K * R - 1), BLOCK_LENGTH_DIFFERS);
        const QString strRed = AskCellTip(map, nRed);
        QVERIFY2(strRed.contains("`") && strRed.contains("[41]") && strRed.contains("[42]"),
                 qPrintable(strRed));
        QVERIFY(AskCellTip(map, int32_t(K - 1)).contains("-----"));
        QCOMPARE(map.GetDiffCells(), 0u); // counted by paints, not by queries
    }
    // No tip before the first comparison, even where one would be; then the platform's
    // timing: a second's rest, 200 ms from one tip to the next, 30 seconds up.
    void tipsWaitForTheFirstRun() {
        RunFixture f;
        CToolTipRouter& tips = f.wnd.GetToolTips();
        QCOMPARE(tips.m_nInitialMs, 1000);
        QCOMPARE(tips.m_nReshowMs, 200);
        QCOMPARE(tips.m_nAutoPopMs, 30000);
        tips.m_nInitialMs = 50;
        CStatusStrip& strip = f.wnd.GetStrip();
        strip.SetPaneTip(PANE_PRIMARY, "/a/tip.bin");
        const QPoint pt = strip.mapTo(&f.wnd, QPoint(strip.GetPane(PANE_PROGRESS).width + 5, 5));
        auto tipUp = [&tips] { return tips.GetTipWindow() && tips.GetTipWindow()->isVisible(); };
        QTest::mouseMove(&f.wnd, pt);
        QTest::qWait(10 * tips.m_nInitialMs);
        QVERIFY(!tipUp());
        f.StartCommand(f.File("one", Pattern(5000)), f.File("two", Pattern(5000)));
        QVERIFY(f.WaitIdle());
        QTest::mouseMove(&f.wnd, pt + QPoint(1, 0));
        QTRY_VERIFY(tipUp());
        QCOMPARE(tips.GetTipWindow()->text(), f.dir.filePath("one"));
    }
    // A laptop screen at (0, 0) and a larger one to its right: the window takes the larger
    // one's size and lies on it.
    void placedOnTheLargestScreen() {
        const QRect largest = LargestScreen({QRect(0, 0, 1366, 768), QRect(1366, 0, 2560, 1440)});
        QCOMPARE(largest, QRect(1366, 0, 2560, 1440));
        QCOMPARE(LargestScreen({}), QRect(0, 0, 1024, 768));
        struct : IScreenMetrics {
            QSize GetScreenSize() const override { return QSize(2560, 1440); }
            QPoint GetScreenOrigin() const override { return QPoint(1366, 0); }
            int GetCaptionHeight() const override { return 18; }
        } screen;
        CCompareApp theApp;
        QVERIFY(theApp.InitInstance({}, screen));
        const CRect r = InitialWindowRect(2560, 1440);
        QCOMPARE(QRect(theApp.m_pMainWnd->pos(), theApp.m_pMainWnd->size()),
                 QRect(1366 + r.left, r.top, r.right - r.left, r.bottom - r.top));
    }
    void writesNoFile() {
        CEmptyHome home; // the last test: the program's own home no longer matters
        QProcess process;
        process.start(QUILLET_BIN_DIR "/quillet", {QUILLET_SOURCE_DIR "/samples/primary.bin",
                                                   QUILLET_SOURCE_DIR "/samples/secondary.bin"});
        QVERIFY(process.waitForStarted());
        QTest::qWait(1500);
        process.terminate();
        process.waitForFinished();
        QCOMPARE(home.Created(), QStringList());
    }
};

QTEST_MAIN(TestMainWnd)
#include "tst_mainwnd.moc"
