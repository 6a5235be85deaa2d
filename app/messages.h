#pragma once
// The main window's own event numbers: the worker's notices and the request to close the abort
// question. Those the widgets below share are in view/events.h.

#include "view/events.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

inline constexpr QEvent::Type UWM_PROGRESS = QEvent::Type(2001);
inline constexpr QEvent::Type UWM_FINISHED = QEvent::Type(2002);
inline constexpr QEvent::Type UWM_CLOSEBOX = QEvent::Type(2003);

// UWM_CLOSEBOX, posted to the main window: end the question box m_pBox as if No was answered.
class CCloseBoxEvent : public QEvent {
public:
    explicit CCloseBoxEvent(QWidget* pBox) : QEvent(UWM_CLOSEBOX), m_pBox(pBox) {}
    QPointer<QWidget> m_pBox; // null once the box is gone
};
