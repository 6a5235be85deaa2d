#include "ui/panebar.h"

#include "ui/tiptext.h"
#include "view/events.h"
#include "view/textdraw.h"

#include <QMouseEvent>
#include <QPainter>

CPaneBar::CPaneBar(int nPanes, QWidget* pParent)
    : QWidget(pParent), m_panes(size_t(std::max(nPanes, 0))), m_tips(m_panes.size()),
      m_font(SystemSansFont(10)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPaneBar::SetPaneText(int nIndex, const std::string& strText) {
    if (IsPane(nIndex) && m_panes[size_t(nIndex)].text != strText) {
        m_panes[size_t(nIndex)].text = strText;
        update();
    }
}

void CPaneBar::FormatPaneText(int nIndex, const char* pszFormat, ...) {
    if (!IsPane(nIndex))
        return;
    va_list args;
    va_start(args, pszFormat);
    SetPaneText(nIndex, VFormatText(2047, pszFormat, args));
    va_end(args);
}

void CPaneBar::SetPaneColor(int nIndex, COLORREF clr) {
    if (IsPane(nIndex) && m_panes[size_t(nIndex)].color != clr) {
        m_panes[size_t(nIndex)].color = clr;
        update();
    }
}

void CPaneBar::SetPaneTip(int nIndex, const std::string& strText) {
    if (IsPane(nIndex))
        m_tips[size_t(nIndex)] = strText;
}

std::string CPaneBar::GetPaneTip(int nIndex) const {
    return IsPane(nIndex) ? m_tips[size_t(nIndex)] : std::string();
}

QSize CPaneBar::GetPreferredSize() const {
    return QSize(0, GetFontHeight(this, m_font) + 6);
}

int CPaneBar::HitTest(int x, int /*y*/) const {
    int nLeft = 0;
    for (int i = 0; i < GetPaneCount(); ++i) {
        const int32_t nWidth = m_panes[size_t(i)].width;
        if (nWidth <= 0)
            continue;
        if (x < nLeft + nWidth)
            return i;
        nLeft += nWidth;
    }
    return -1;
}

void CPaneBar::OnPaneDoubleClick(int /*nIndex*/, Qt::KeyboardModifiers /*flags*/) {}

bool CPaneBar::event(QEvent* pEvent) {
    if (pEvent->type() != UWM_TOOLHITTEST)
        return QWidget::event(pEvent);
    ToolHitQuery& query = static_cast<CToolHitEvent*>(pEvent)->m_query;
    const int nIndex = HitTest(query.x, query.y);
    if (nIndex >= 0) {
        query.uId = nIndex;
        query.strText = DupTipText(512, GetPaneTip(nIndex));
    }
    return true;
}

void CPaneBar::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    RecalcLayout(width(), height());
}

void CPaneBar::paintEvent(QPaintEvent* /*pEvent*/) {
    QPainter dc(this);
    const QPalette& pal = palette();
    const QColor clrShadow = pal.color(QPalette::Dark);
    const QColor clrHighlight = pal.color(QPalette::Light);
    const int h = height();
    dc.fillRect(rect(), pal.color(QPalette::Button));
    int nLeft = 0;
    for (const Pane& pane : m_panes) {
        if (pane.width <= 0)
            continue;
        // A sunken frame one pixel in from each side: shadow along the top and the left,
        // highlight along the right and the bottom, which own the two far corners.
        const int l = nLeft + 1;
        const int w = pane.width - 2;
        if (w > 0 && h > 0) {
            dc.fillRect(l, 0, w - 1, 1, clrShadow);
            dc.fillRect(l, 0, 1, h - 1, clrShadow);
            dc.fillRect(l + w - 1, 0, 1, h, clrHighlight);
            dc.fillRect(l, h - 1, w, 1, clrHighlight);
        }
        const QRect rcText(nLeft + 3, 0, pane.width - 6, h);
        if (rcText.width() > 0)
            DrawTextPiece(dc, QString::fromUtf8(pane.text), rcText, pane.color, pane.format,
                          m_font);
        nLeft += pane.width;
    }
}

void CPaneBar::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(pEvent);
        return;
    }
    const QPoint pt = pEvent->position().toPoint();
    const int nIndex = HitTest(pt.x(), pt.y());
    if (nIndex >= 0)
        OnPaneDoubleClick(nIndex, pEvent->modifiers());
}
