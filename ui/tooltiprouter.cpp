#include "ui/tooltiprouter.h"

#include "view/textdraw.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolTip>
#include <QWindow>

CToolTipRouter::~CToolTipRouter() {
    delete m_pTip;
}

void CToolTipRouter::CreateToolTip(QWidget* pOwner, bool bEnable) {
    if (m_pOwner || !pOwner)
        return;
    m_pOwner = pOwner;
    m_pTip = new QLabel(pOwner, Qt::ToolTip | Qt::WindowTransparentForInput);
    m_pTip->setAttribute(Qt::WA_ShowWithoutActivating);
    m_pTip->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Plain text and no word wrap: a file name like <b>x</b> or a&b shows as typed, and a
    // dump keeps its columns, breaking only at its line feeds.
    m_pTip->setTextFormat(Qt::PlainText);
    m_pTip->setWordWrap(false);
    m_pTip->setFont(SystemFixedFont(8));
    m_pTip->setPalette(QToolTip::palette());
    m_pTip->setAutoFillBackground(true);
    m_pTip->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_pTip->setMargin(2);

    m_showTimer.setSingleShot(true);
    m_popTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &CToolTipRouter::ShowTip);
    connect(&m_popTimer, &QTimer::timeout, this, &CToolTipRouter::PopTip);
    // Mouse moves without a button reach a child only when it tracks the mouse, but they
    // always reach the owner's window first; the application's filter sees them there.
    qApp->installEventFilter(this);
    EnableToolTips(bEnable);
}

void CToolTipRouter::EnableToolTips(bool bEnable) {
    m_bEnabled = bEnable;
    if (!bEnable)
        Reset();
}

int32_t CToolTipRouter::RouteHitTest(int32_t x, int32_t y, ToolHitQuery& query) {
    query = ToolHitQuery();
    if (!m_pOwner)
        return -1;
    QPoint pt(x, y);
    QWidget* pWindow = m_pOwner;
    if (QWidget* pChild = m_pOwner->childAt(pt)) {
        pt = pChild->mapFrom(m_pOwner, pt);
        pWindow = pChild;
    }
    query.x = pt.x();
    query.y = pt.y();
    query.pWindow = pWindow;
    CToolHitEvent event(query);
    QCoreApplication::sendEvent(pWindow, &event);
    query.pWindow = pWindow; // the answer is not the receiver's to change
    return query.uId;
}

bool CToolTipRouter::IsOwnersWindow(const QObject* pObject) const {
    return m_pOwner && pObject == m_pOwner->window()->windowHandle();
}

bool CToolTipRouter::eventFilter(QObject* pWatched, QEvent* pEvent) {
    switch (pEvent->type()) {
    case QEvent::MouseMove: {
        // A tip that happens to lie under the mouse passes its moves on to the owner.
        const bool bTip = m_pTip && pWatched == m_pTip->windowHandle();
        if (!bTip && !IsOwnersWindow(pWatched))
            break;
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        if (pMouse->buttons() != Qt::NoButton)
            break;
        const QPoint ptGlobal = pMouse->globalPosition().toPoint();
        const QPoint ptOwner =
            bTip ? m_pOwner->mapFromGlobal(ptGlobal)
                 : m_pOwner->mapFrom(m_pOwner->window(), pMouse->position().toPoint());
        OnMouseMove(ptOwner, ptGlobal);
        break;
    }
    case QEvent::Leave:
        // Moving onto the tip leaves the owner's window without leaving the owner.
        if (IsOwnersWindow(pWatched) &&
            !m_pOwner->window()->rect().contains(m_pOwner->window()->mapFromGlobal(QCursor::pos())))
            Reset();
        break;
    case QEvent::Resize:
        // What lay under the tip has moved.
        if (m_pOwner && pWatched == m_pOwner->window())
            Reset();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        // Clicks and keys put the tip away, wherever in the owner's window they land.
        if (IsOwnersWindow(pWatched) ||
            (pWatched->isWidgetType() && m_pOwner &&
             static_cast<QWidget*>(pWatched)->window() == m_pOwner->window()))
            Reset();
        break;
    default:
        break;
    }
    return false;
}

void CToolTipRouter::OnMouseMove(QPoint ptOwner, QPoint ptGlobal) {
    if (!m_bEnabled)
        return;
    ToolHitQuery query;
    const int32_t nId = RouteHitTest(ptOwner.x(), ptOwner.y(), query);
    if (nId < 0) {
        Reset();
        return;
    }
    if (nId != m_nToolId || query.pWindow != m_pToolWindow) {
        const bool bWasUp = m_pTip && m_pTip->isVisible();
        HideTip();
        m_nToolId = nId;
        m_pToolWindow = query.pWindow;
        m_strToolText = QString::fromUtf8(query.strText);
        m_bPopped = false;
        m_nShowDelay = bWasUp ? m_nReshowMs : m_nInitialMs;
    }
    // The same tool keeps its tip, and its text, while the mouse moves on it.
    if ((m_pTip && m_pTip->isVisible()) || m_bPopped)
        return;
    m_ptShow = ptGlobal;
    m_showTimer.start(m_nShowDelay);
}

void CToolTipRouter::ShowTip() {
    if (!m_pTip || !m_bEnabled || m_strToolText.isEmpty())
        return;
    // Below and right of the mouse like other tips.
    PlaceTip(m_ptShow + QPoint(2, 16), m_ptShow.y() - 4);
}

void CToolTipRouter::ShowTipAt(QWidget* pWindow, int32_t nId, const QString& strText,
                               const QRect& rcGlobal) {
    if (!m_pTip)
        return;
    HideTip();
    m_nToolId = nId;
    m_pToolWindow = pWindow;
    m_strToolText = strText;
    m_bPopped = false;
    m_nShowDelay = m_nReshowMs;
    if (!strText.isEmpty())
        PlaceTip(rcGlobal.bottomLeft() + QPoint(0, 3), rcGlobal.top() - 2);
}

void CToolTipRouter::PlaceTip(QPoint ptBelow, int yAbove) {
    m_pTip->setText(m_strToolText);
    m_pTip->resize(m_pTip->sizeHint()); // adjustSize would wrap a long line at 2/3 of the screen
    QPoint pt = ptBelow;
    if (QScreen* pScreen = m_pOwner->screen()) {
        const QRect rcScreen = pScreen->geometry();
        pt.setX(
            std::max(rcScreen.left(), std::min(pt.x(), rcScreen.right() + 1 - m_pTip->width())));
        if (pt.y() + m_pTip->height() > rcScreen.bottom() + 1)
            pt.setY(yAbove - m_pTip->height());
        pt.setY(std::max(pt.y(), rcScreen.top()));
    }
    m_pTip->move(pt);
    m_pTip->show();
    m_popTimer.start(m_nAutoPopMs);
}

void CToolTipRouter::PopTip() {
    HideTip();
    m_bPopped = true;
}

void CToolTipRouter::HideTip() {
    m_showTimer.stop();
    m_popTimer.stop();
    if (m_pTip)
        m_pTip->hide();
}

void CToolTipRouter::Reset() {
    HideTip();
    m_nToolId = -1;
    m_pToolWindow = nullptr;
    m_strToolText.clear();
    m_bPopped = false;
}
