#pragma once
// The start, run and finish of a main window under test, and the answers to its dialogs.

#include "app/abortconfirm.h"
#include "app/appstate.h"
#include "app/mainwnd.h"
#include "app/messages.h"
#include "app/screenmetrics.h"
#include "tests/testutil.h"
#include "view/colorref.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace testutil;

struct CTestScreen : IScreenMetrics {
    QSize GetScreenSize() const override { return QSize(1024, 768); }
    int GetCaptionHeight() const override { return 18; }
};

// The main window whose dialog, when m_bScripted, confirms the command line's paths at once.
class CScriptedWnd : public CMainWnd {
public:
    using CMainWnd::CMainWnd;
    bool SelectFiles() override {
        ++m_nDialogs;
        return m_bScripted || CMainWnd::SelectFiles();
    }
    bool m_bScripted = true;
    int m_nDialogs = 0, m_nCloses = 0;     // the start commands and the close requests handled
    std::function<void()> m_afterProgress; // run once, right after a progress notice
    bool event(QEvent* pEvent) override {
        const bool bDone = CMainWnd::event(pEvent);
        m_nCloses += pEvent->type() == QEvent::Close;
        if (pEvent->type() == UWM_PROGRESS && m_afterProgress)
            std::exchange(m_afterProgress, nullptr)();
        return bDone;
    }
};

// Runs answer on the next modal window as soon as it is up; polls without delay.
inline void AnswerNextModal(std::function<void(QWidget&)> answer, int nTries = 20000) {
    QTimer::singleShot(0, [answer = std::move(answer), nTries]() mutable {
        if (QWidget* pModal = QApplication::activeModalWidget(); pModal && pModal->isVisible())
            return answer(*pModal);
        if (nTries > 0)
            AnswerNextModal(std::move(answer), nTries - 1);
    });
}

// Handles events until done() holds, false after nMs; unlike qWaitFor, never sleeps.
inline bool Await(const std::function<bool()>& done, int nMs = 60000) {
    const QDeadlineTimer deadline(nMs);
    QTimer tick; // wakes the loop for what changes without an event, e.g. a held worker
    tick.start(1);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

inline void ClickButton(QWidget& box, const QString& strName) {
    auto* pBox = qobject_cast<QMessageBox*>(&box);
    pBox->button(strName == "Yes" ? QMessageBox::Yes : QMessageBox::No)->click();
}

// Each entry of a folder with its bytes' hash and time: a run must leave the folder as it was.
inline QStringList FolderState(const QString& strPath) {
    QStringList state;
    for (const QFileInfo& info : QDir(strPath).entryInfoList(QDir::AllEntries | QDir::System |
                                                             QDir::NoDotAndDotDot | QDir::Hidden)) {
        QFile file(info.filePath());
        const bool bRead = info.isFile() && file.open(QIODevice::ReadOnly);
        state << info.fileName() << QString::number(info.lastModified().toMSecsSinceEpoch())
              << QString::number(bRead ? qHash(file.readAll()) : 0);
    }
    return state;
}

// Home and the desktop's folders point at an empty folder for the life of the test program.
struct CEmptyHome {
    CEmptyHome() {
        for (const char* pszName :
             {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            qputenv(pszName, m_home.path().toLocal8Bit());
    }
    QTemporaryDir m_home;
};

// A shown, active 800 x 600 main window on the test screen, its own state and folder, its
// finishes counted, and the worker's reads through a gate: nFree pass, the rest wait for Allow.
// The worker's open of a file named m_strRefused waits at the gate, then fails.
struct CWindowFixture : CFileSystem {
    explicit CWindowFixture(int nFree = 1 << 30)
        : m_nFree(nFree), installed(this), wnd(app, screen) {
        g_abortConfirm.m_bAbort.store(0);
        wnd.installEventFilter(&finishes);
        wnd.resize(800, 600);
        wnd.show();
        (void)QTest::qWaitForWindowActive(&wnd); // what a test does next may need the keys
    }
    ~CWindowFixture() { Release(); } // the window waits for a job it still has
    int Open(const char* pszPath, int nFlags) override {
        if (std::this_thread::get_id() == m_main)
            m_opened << pszPath;
        else if (QFileInfo(pszPath).fileName() == m_strRefused) {
            Pass();
            return errno = EACCES, -1;
        }
        return CFileSystem::Open(pszPath, nFlags);
    }
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        Pass();
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    void Pass() {
        std::unique_lock<std::mutex> lock(m_lock);
        m_open.wait(lock, [this] { return m_nFree > 0; });
        --m_nFree;
    }
    // The gate paces a run by its reads, so holes are read too, as where they cannot be learnt.
    off_t Seek(int, off_t, int) override { return errno = EINVAL, -1; }
    void Allow(int nReads) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nFree = nReads < 0 ? 1 << 30 : m_nFree + nReads;
        m_open.notify_all();
    }
    void Release() { Allow(-1); }

    void Start(const std::string& strPath1, const std::string& strPath2) {
        std::tie(app.m_cmdline.m_strPath1, app.m_cmdline.m_strPath2) = std::tie(strPath1, strPath2);
        QEvent start(ID_SELECT_FILES);
        QCoreApplication::sendEvent(&wnd, &start);
    }
    std::string File(const QString& strName, const QByteArray& bytes) {
        return WriteFile(dir, strName, bytes);
    }
    const CPaneBar::Pane& Pane(int n) { return wnd.GetStrip().GetPane(n); }
    QString Text(int n) { return QString::fromStdString(Pane(n).text); }
    bool WaitIdle() {
        return Await([this] { return !wnd.GetJob(); });
    }
    // Whether a run of str1 and str2 ended and left the window idle, as it shows it.
    bool ShowsFinished(const std::string& str1, const std::string& str2) {
        return Pane(PANE_PRIMARY).text == str1 && Pane(PANE_SECONDARY).text == str2 &&
               Pane(PANE_PRIMARY).color == CLR_NAME && Pane(PANE_SECONDARY).color == CLR_NAME &&
               Text(PANE_PROGRESS).startsWith("100% in ") &&
               wnd.windowTitle() == CMainWnd::kTitle && !wnd.GetJob();
    }
    // A fresh run of two small equal files reaches its end, once: the window is idle again.
    bool RunsAgain() {
        const int nBefore = finishes.m_nCount;
        const std::string str1 = File("again1", Pattern(5000)),
                          str2 = File("again2", Pattern(5000));
        Start(str1, str2);
        return WaitIdle() && finishes.m_nCount == nBefore + 1 && ShowsFinished(str1, str2);
    }
    // The blocks the plain run has compared so far; -1 with no plain run.
    int32_t Done() {
        auto* pJob = dynamic_cast<CCompareJob*>(wnd.GetJob());
        return pJob ? pJob->m_nDone.load() : -1;
    }
    uint32_t BlockSize() { return wnd.GetMapView().GetGeometry().m_nBlockSize; }

    const std::thread::id m_main = std::this_thread::get_id();
    QString m_strRefused;
    QStringList m_opened; // by the window itself
    std::mutex m_lock;
    std::condition_variable m_open;
    int m_nFree;
    CInstalledFileSystem installed;
    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CEventCounter finishes{UWM_FINISHED};
    CScriptedWnd wnd;
};
