#pragma once

#include "view/events.h"

#include <QLabel>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

// The one tooltip of a top-level window and its children. On every mouse move over the owner
// it asks the deepest child under the mouse (UWM_TOOLHITTEST) which tool lies there; a tip is
// shown after the mouse rests, and replaced only when the answered id or widget changes.
class CToolTipRouter : public QObject {
    Q_OBJECT
public:
    CToolTipRouter() = default;
    ~CToolTipRouter() override;

    // Makes the tip window for pOwner and starts watching its mouse moves; tips are shown
    // only while enabled. Called once; a second call does nothing.
    void CreateToolTip(QWidget* pOwner, bool bEnable);
    // Tips on or off; off hides a tip that is up.
    void EnableToolTips(bool bEnable);
    // Asks the deepest visible child of the owner under (x, y), in the owner's client
    // coordinates (the owner itself when no child is there), and returns the id it answered,
    // -1 for no tool. query holds the point as the widget saw it, its answer and the widget.
    int32_t RouteHitTest(int32_t x, int32_t y, ToolHitQuery& query);

    // Shows strText at once beside rcGlobal (below it, or above where the screen ends there),
    // as the tip of tool nId of pWindow: a key asked for it, so no rest and no enabling is
    // waited for. It goes as a mouse tip goes: on a key, a click, a move to another tool, a
    // resize of the owner's window or after its time.
    void ShowTipAt(QWidget* pWindow, int32_t nId, const QString& strText, const QRect& rcGlobal);

    // The tip window while one exists (for tests): a label that shows its text as plain text.
    QLabel* GetTipWindow() const { return m_pTip; }

    int m_nInitialMs = 1000;  // rest before a tip appears
    int m_nReshowMs = 200;    // rest before the next tool's tip appears while one is up
    int m_nAutoPopMs = 30000; // how long a tip stays up while the mouse does not move

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void OnMouseMove(QPoint ptOwner, QPoint ptGlobal);
    void ShowTip();
    // Shows the tip's text at ptBelow, or with its bottom at yAbove when it would leave the
    // screen below, kept on the screen across.
    void PlaceTip(QPoint ptBelow, int yAbove);
    void PopTip();
    void HideTip();
    // Forgets the current tool, so that the next rest on it shows its tip again.
    void Reset();
    bool IsOwnersWindow(const QObject* pObject) const;

    QPointer<QWidget> m_pOwner;
    QPointer<QLabel> m_pTip;
    bool m_bEnabled = false;
    QTimer m_showTimer;
    QTimer m_popTimer;
    QPointer<QWidget> m_pToolWindow; // who answered the current tool
    int32_t m_nToolId = -1;
    QString m_strToolText;
    int m_nShowDelay = 0;
    bool m_bPopped = false; // the current tool's tip has been up its full time
    QPoint m_ptShow;        // global position of the mouse when the tip is to appear
};
