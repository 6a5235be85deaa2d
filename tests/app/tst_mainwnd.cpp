#include "app/abortconfirm.h"
#include "app/appstate.h"
#include "app/mainwnd.h"
#include "app/messages.h"
#include "app/screenmetrics.h"
#include "tests/apputil.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QtTest>

#include <condition_variable>
#include <functional>
#include <utility>

using namespace testutil;

// The main window with the elapsed time's clock reading the job's start plus m_nOffset, and
// a hook run once right after a progress notice is handled.
class CTestWnd : public CMainWnd {
public:
    using CMainWnd::CMainWnd;
    int64_t m_nOffset = -1; // < 0: the real clock
    std::function<void()> m_afterProgress;

protected:
    bool SelectFiles() override { return false; } // the dialog has tests of its own
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

// A shown 800 x 600 main window that compares sparse files read through a gate letting
// nFree reads through.
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
    void createdAsTheScreenAllows();
    void layoutOfTheChildren_data();
    void layoutOfTheChildren();
    void selectFilesFromMenuAndKey();
    void escapeWithNoRunCloses();
    void closeDuringRun_data();
    void closeDuringRun();
    void progressMadeWhileThePauseRunsIsShown();
    void elapsedTextInPaneAndTitle_data();
    void elapsedTextInPaneAndTitle();
};

void TestMainWnd::createdAsTheScreenAllows() {
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

void TestMainWnd::layoutOfTheChildren_data() {
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("client");
    QTest::newRow("800 x 600") << QSize(800, 600) << QSize(800, 600);
    QTest::newRow("the minimum") << QSize(512, 400) << QSize(512, 400);
    QTest::newRow("below the minimum") << QSize(300, 200) << QSize(512, 400);
    QTest::newRow("above the screen") << QSize(2000, 900) << QSize(1024, 768);
}

void TestMainWnd::layoutOfTheChildren() {
    QFETCH(QSize, asked);
    QFETCH(QSize, client);
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

void TestMainWnd::selectFilesFromMenuAndKey() {
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
}

void TestMainWnd::escapeWithNoRunCloses() {
    RunFixture f;
    QVERIFY(f.bExposed);
    QTest::keyClick(&f.wnd, Qt::Key_Escape);
    QTRY_VERIFY(!f.wnd.isVisible());
}

void TestMainWnd::closeDuringRun_data() {
    QTest::addColumn<bool>("escape");    // the close request: Escape or the close box
    QTest::addColumn<QString>("answer"); // "yes", "no", or "end": the run ends meanwhile
    QTest::newRow("close box, No") << false << "no";
    QTest::newRow("Escape, No") << true << "no";
    QTest::newRow("close box, Yes") << false << "yes";
    QTest::newRow("Escape, Yes") << true << "yes";
    QTest::newRow("close box, run ends") << false << "end";
}

void TestMainWnd::closeDuringRun() {
    QFETCH(bool, escape);
    QFETCH(QString, answer);
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

void TestMainWnd::progressMadeWhileThePauseRunsIsShown() {
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

void TestMainWnd::elapsedTextInPaneAndTitle_data() {
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("0 ms") << qint64(0) << "0s";
    QTest::newRow("1 ms") << qint64(1) << "0.001s";
    QTest::newRow("4.999 s") << qint64(4999) << "4.999s";
    QTest::newRow("5 s") << qint64(5000) << "5s";
    QTest::newRow("59.999 s") << qint64(59999) << "59s";
    QTest::newRow("one minute") << qint64(60000) << "1:00s";
    QTest::newRow("one hour less 1 ms") << qint64(3599999) << "59:59s";
    QTest::newRow("one hour") << qint64(3600000) << "1:00:00s";
}

void TestMainWnd::elapsedTextInPaneAndTitle() {
    QFETCH(qint64, ms);
    QFETCH(QString, text);
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

QTEST_MAIN(TestMainWnd)
#include "tst_mainwnd.moc"
