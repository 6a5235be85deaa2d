#include "ui/separatorbar.h"

#include <QPainter>

CSeparatorBar::CSeparatorBar(QWidget* pParent) : QWidget(pParent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSeparatorBar::paintEvent(QPaintEvent* /*pEvent*/) {
    QPainter dc(this);
    const QPalette& pal = palette();
    const int w = width();
    const int h = height();
    dc.fillRect(rect(), pal.color(QPalette::Button));
    if (w > h) {
        dc.fillRect(0, 0, w, 1, pal.color(QPalette::Light));
        dc.fillRect(0, h - 1, w, 1, pal.color(QPalette::Dark));
    } else {
        dc.fillRect(0, 0, 1, h, pal.color(QPalette::Light));
        dc.fillRect(w - 1, 0, 1, h, pal.color(QPalette::Dark));
    }
}
