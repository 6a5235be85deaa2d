#pragma once
// The start, run and finish of a main window under test, and the answers to its dialogs.

#include "app/abortconfirm.h"
#include "app/appstate.h"
#include "app/mainwnd.h"
#include "app/messages.h"
#include "tests/apputil.h"
#include "view/colorref.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <thread>

// The main window whose dialog, when m_bScripted, answers at once: confirmed with the two
// paths, or cancelled. Otherwise the real dialog runs.
class CScriptedWnd : public CMainWnd {
public:
    CScriptedWnd(CAppState& app, const IScreenMetrics& metrics)
        : CMainWnd(app, metrics), m_state(app) {}
    bool SelectFiles() override {
        ++m_nDialogs;
        if (!m_bScripted)
            return CMainWnd::SelectFiles();
        m_state.m_cmdline.m_strPath1 = m_strPath1;
        m_state.m_cmdline.m_strPath2 = m_strPath2;
        return m_bConfirm;
    }
    CAppState& m_state;
    bool m_bScripted = true;
    bool m_bConfirm = true;
    int m_nDialogs = 0;
    std::string m_strPath1;
    std::string m_strPath2;
};

// Lets nFree of the worker's reads through, then holds the rest until told; the window's own
// reads (the cells' dumps) always pass.
class CRunGate : public CGatedFileSystem {
public:
    using CGatedFileSystem::CGatedFileSystem;
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        if (std::this_thread::get_id() == m_main)
            return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
        return CGatedFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    const std::thread::id m_main = std::this_thread::get_id();
};

// Runs answer on the next modal window as soon as it is up; polls without delay, so that a
// few hundred dialogs cost no waiting.
inline void AnswerNextModal(std::function<void(QWidget&)> answer, int nTries = 20000) {
    QTimer::singleShot(0, [answer = std::move(answer), nTries]() mutable {
        if (QWidget* pModal = QApplication::activeModalWidget(); pModal && pModal->isVisible())
            return answer(*pModal);
        if (nTries > 0)
            AnswerNextModal(std::move(answer), nTries - 1);
    });
}

// Handles events until done() holds; false after nMs. Unlike QTest::qWaitFor it does not
// sleep between looks, so hundreds of runs wait no longer than they take.
inline bool Await(const std::function<bool()>& done, int nMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // wakes the loop for what changes without an event, e.g. a held worker
    tick.start(1);
    while (!done()) {
        if (clock.hasExpired(nMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Clicks the message box's Yes or No, or the dialog's button of that object name ("1" OK,
// "2" Cancel).
inline void ClickButton(QWidget& modal, const QString& strName) {
    if (auto* pBox = qobject_cast<QMessageBox*>(&modal))
        return pBox->button(strName == "Yes" ? QMessageBox::Yes : QMessageBox::No)->click();
    if (auto* pButton = modal.findChild<QAbstractButton*>(strName))
        pButton->click();
}

// OK when the dialog allows it, Cancel otherwise: a dialog left up would hold the test.
inline void ConfirmOrCancel(QWidget& dialog) {
    auto* pOk = dialog.findChild<QAbstractButton*>("1");
    ClickButton(dialog, pOk && pOk->isEnabled() ? "1" : "2");
}

// The tooltip's question to the map about cell i; the text, or "wrong cell".
inline QString AskCellTip(CMapView& map, int32_t i) {
    int32_t x = 0;
    int32_t y = 0;
    CCellGeometry::CellOrigin(i, map.GetGeometry().m_nPitch, map.width(), x, y);
    ToolHitQuery query;
    query.x = x + 1;
    query.y = y + 1;
    CToolHitEvent event(query);
    QCoreApplication::sendEvent(&map, &event);
    return query.uId == i ? QString::fromStdString(query.strText) : QString("wrong cell");
}

// A file's bytes and modification time, to show that a run left it as it was.
inline std::pair<QByteArray, int64_t> FileStamp(const std::string& strPath) {
    QFile file(QString::fromStdString(strPath));
    return {file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(),
            QFileInfo(file).lastModified().toMSecsSinceEpoch()};
}

// The names in a folder, to show that a run created nothing beside the compared files.
inline QStringList FolderEntries(const QTemporaryDir& dir) {
    return QDir(dir.path())
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

// Points the home and the desktop's settings, cache and data folders at an empty temporary
// folder for the life of the test program; Created() lists what appeared there.
class CEmptyHome {
public:
    CEmptyHome() {
        for (const char* pszName :
             {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            qputenv(pszName, m_home.path().toLocal8Bit());
    }
    QStringList Created() const { return FolderEntries(m_home); }

private:
    QTemporaryDir m_home;
};

// A shown, active 800 x 600 main window on the test screen (or the one given), its own state
// and folder, the worker's reads through a gate letting nFree pass, its finishes counted.
struct CWindowFixture {
    explicit CWindowFixture(int nFree = 1 << 30, const IScreenMetrics* pMetrics = nullptr)
        : gate(nFree), installed(&gate), wnd(app, pMetrics ? *pMetrics : screen) {
        g_abortConfirm.m_bAbort.store(0);
        wnd.installEventFilter(&finishes);
        wnd.resize(800, 600);
        wnd.show();
        bActive = QTest::qWaitForWindowActive(&wnd);
    }
    ~CWindowFixture() { gate.Release(); } // the window waits for a job it still has

    // The start command, its dialog confirmed with these two paths or cancelled.
    void Start(const std::string& strPath1, const std::string& strPath2, bool bConfirm = true) {
        wnd.m_bConfirm = bConfirm;
        wnd.m_strPath1 = strPath1;
        wnd.m_strPath2 = strPath2;
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
    // Whether a run of str1 and str2 ended and left the window idle: both names shown in their
    // colour, the progress at its end, the title back.
    bool ShowsFinished(const std::string& str1, const std::string& str2) {
        return Pane(PANE_PRIMARY).text == str1 && Pane(PANE_SECONDARY).text == str2 &&
               Pane(PANE_PRIMARY).color == CLR_NAME && Pane(PANE_SECONDARY).color == CLR_NAME &&
               Text(PANE_PROGRESS).startsWith("100% in ") &&
               wnd.windowTitle() == CMainWnd::kTitle && !wnd.GetJob();
    }
    // A fresh run of two small equal files reaches its end, once: the window is idle again.
    bool RunsAgain() {
        const int nBefore = finishes.m_nCount;
        const std::string str1 = File("again1", Pattern(5000));
        const std::string str2 = File("again2", Pattern(5000));
        Start(str1, str2);
        return WaitIdle() && finishes.m_nCount == nBefore + 1 && ShowsFinished(str1, str2);
    }
    uint32_t BlockSize() { return wnd.GetMapView().GetGeometry().m_nBlockSize; }

    CRunGate gate;
    CInstalledFileSystem installed;
    QTemporaryDir dir;
    CTestScreen screen;
    CAppState app;
    CEventCounter finishes{UWM_FINISHED};
    CScriptedWnd wnd;
    bool bActive = false;
};
