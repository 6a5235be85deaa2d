#pragma once
// Fixtures of the window's fault and endurance tests: a window whose dialog answers as told,
// answers given to the next modal window, and the checks that nothing was written.

#include "app/appstate.h"
#include "app/mainwnd.h"
#include "app/messages.h"
#include "tests/apputil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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
        if (!m_bConfirm)
            return false;
        m_state.m_cmdline.m_strPath1 = m_strPath1;
        m_state.m_cmdline.m_strPath2 = m_strPath2;
        return true;
    }
    CAppState& m_state;
    bool m_bScripted = true;
    bool m_bConfirm = true;
    int m_nDialogs = 0;
    std::string m_strPath1;
    std::string m_strPath2;
};

// Lets a set number of reads through, then holds the rest until told; Hold closes it again.
class CReusableGate : public CFileSystem {
public:
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        std::unique_lock<std::mutex> lock(m_lock);
        ++m_nWaiting;
        m_open.wait(lock, [this] { return m_nFree > 0; });
        --m_nWaiting;
        --m_nFree;
        lock.unlock();
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    void Hold(int nFree) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nFree = nFree;
        m_open.notify_all();
    }
    void Release() { Hold(1 << 30); }
    // Reads held now: 1 once the worker stands at the gate.
    int Waiting() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_nFree > 0 ? 0 : m_nWaiting;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_open;
    int m_nFree = 1 << 30;
    int m_nWaiting = 0;
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
class CFileStamp {
public:
    explicit CFileStamp(const std::string& strPath) : m_strPath(strPath), m_taken(Take()) {}
    bool Unchanged() const { return Take() == m_taken; }

private:
    std::pair<std::string, int64_t> Take() const {
        std::string bytes;
        if (FILE* pFile = std::fopen(m_strPath.c_str(), "rb")) {
            char buffer[65536];
            while (const size_t nRead = std::fread(buffer, 1, sizeof buffer, pFile))
                bytes.append(buffer, nRead);
            std::fclose(pFile);
        }
        struct stat st = {};
        ::stat(m_strPath.c_str(), &st);
        return {bytes, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }
    std::string m_strPath;
    std::pair<std::string, int64_t> m_taken;
};

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
