#pragma once

#include "view/colorref.h"

#include <QFont>
#include <QSize>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

// A row of text panes, each drawn as a sunken frame with one line of text in its own colour
// and alignment, with a tooltip string per pane. Texts are drawn and tipped literally.
// A setter that changes what a pane shows schedules the bar's repaint itself: the bar paints
// over its whole area, so its parent's repaint never reaches it.
class CPaneBar : public QWidget {
    Q_OBJECT
public:
    struct Pane {
        std::string text; // UTF-8
        COLORREF color = CLR_BLACK;
        int format = Qt::AlignVCenter | Qt::TextSingleLine; // Qt alignment and text flags
        int32_t width = 0; // frame included; 0 or less takes no room
    };

    explicit CPaneBar(int nPanes, QWidget* pParent = nullptr);

    // The setters ignore an index outside the panes.
    void SetPaneText(int nIndex, const std::string& strText);
    // printf-style; the result is cut to 2047 bytes.
    void FormatPaneText(int nIndex, const char* pszFormat, ...)
        __attribute__((format(printf, 3, 4)));
    void SetPaneColor(int nIndex, COLORREF clr);
    void SetPaneTip(int nIndex, const std::string& strText);
    // Width 0 and the strip font's line height plus 6.
    QSize GetPreferredSize() const;
    // The pane under the horizontal position x, or -1; y is not looked at.
    int HitTest(int x, int y) const;

    int GetPaneCount() const { return int(m_panes.size()); }
    // The pane's record; nIndex must be a pane's.
    const Pane& GetPane(int nIndex) const { return m_panes[size_t(nIndex)]; }
    const QFont& GetStripFont() const { return m_font; }

    // Computes the pane widths for a client area of cx by cy pixels; run on every resize.
    virtual void RecalcLayout(int cx, int cy) = 0;
    // A left-button double-click landed on pane nIndex with these keys held.
    virtual void OnPaneDoubleClick(int nIndex, Qt::KeyboardModifiers flags);
    // The tooltip string of a pane; "" outside the panes.
    virtual std::string GetPaneTip(int nIndex) const;

protected:
    bool event(QEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;

    bool IsPane(int nIndex) const { return nIndex >= 0 && nIndex < GetPaneCount(); }

    std::vector<Pane> m_panes;
    std::vector<std::string> m_tips;

private:
    QFont m_font;
};
