#pragma once
// The program's own event numbers, shared by every widget: the worker's notices, the request
// to close the abort question, the tooltip query and the start command.

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <string>

inline constexpr QEvent::Type UWM_PROGRESS = QEvent::Type(2001);
inline constexpr QEvent::Type UWM_FINISHED = QEvent::Type(2002);
inline constexpr QEvent::Type UWM_CLOSEBOX = QEvent::Type(2003);
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

// UWM_CLOSEBOX, posted to the main window: end the question box m_pBox as if No was answered.
class CCloseBoxEvent : public QEvent {
public:
    explicit CCloseBoxEvent(QWidget* pBox) : QEvent(UWM_CLOSEBOX), m_pBox(pBox) {}
    QPointer<QWidget> m_pBox; // null once the box is gone
};
