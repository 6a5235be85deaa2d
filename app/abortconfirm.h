#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>

// The question before a running comparison is abandoned, and the abort flag it sets. The
// worker reads the flag before every block; the finish handler clears it.
class CAbortConfirm {
public:
    // The box's title; no other window of the program may carry it, it is found by it.
    static constexpr const char* kTitle = "Ask confirm abort";

    // Asks strQuestion in a modal Yes/No box owned by the main window, after closing a box
    // left open; Yes sets the flag. While the flag is set no box is shown. Returns the flag.
    // The box runs a nested event loop: the window's events are handled while it is up.
    uint8_t Ask(const QString& strQuestion);
    // Finds an open question box by its title and has the main window close it as No (event
    // 2003 naming the box). True when one was found.
    bool CloseOpenBox();
    // Ends pBox, when it still exists, with the answer No; the main window's 2003 handler.
    static void EndBox(QWidget* pBox);

    std::atomic<uint8_t> m_bAbort{0};
    QPointer<QWidget> m_pMainWnd; // owner of the box and receiver of 2003; may be null

private:
    QPointer<QWidget> m_pClosing; // the box CloseOpenBox has asked to close
};

extern CAbortConfirm g_abortConfirm;
