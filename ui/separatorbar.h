#pragma once

#include <QWidget>

// The thin bar between the map and the strip: a highlight line along its top and a shadow
// line along its bottom, or along its left and right when it is upright.
class CSeparatorBar : public QWidget {
    Q_OBJECT
public:
    explicit CSeparatorBar(QWidget* pParent = nullptr);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
};
