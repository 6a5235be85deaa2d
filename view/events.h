#pragma once
// The event numbers the map, the strip and the main window share: the tooltip query and the
// start command. They live here, below the widgets that send them, so that no widget has to
// reach up into the application for them.

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdint>
#include <string>

inline constexpr QEvent::Type UWM_TOOLHITTEST = QEvent::Type(2004);
inline constexpr QEvent::Type ID_SELECT_FILES = QEvent::Type(3001);

// The tooltip question and its answer. A widget that has a tool at (x, y) sets uId to an
// index that stays the same while the mouse stays on the same thing, and strText to the tip.
struct ToolHitQuery {
    int32_t x = 0; // in the receiver's client coordinates
    int32_t y = 0;
    int32_t uId = -1;           // -1: no tool here
    std::string strText;        // UTF-8, shown as plain text
    QWidget* pWindow = nullptr; // the widget asked, set by the router
};

// UWM_TOOLHITTEST, sent (never posted) so that the answer is there when sendEvent returns.
class CToolHitEvent : public QEvent {
public:
    explicit CToolHitEvent(ToolHitQuery& query) : QEvent(UWM_TOOLHITTEST), m_query(query) {}
    ToolHitQuery& m_query;
};

// Asks the main window, the top level of pWidget, to select files and compare.
inline void PostSelectFiles(QWidget* pWidget) {
    QCoreApplication::postEvent(pWidget->window(), new QEvent(ID_SELECT_FILES));
}
