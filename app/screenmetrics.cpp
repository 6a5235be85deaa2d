#include "app/screenmetrics.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

namespace {

QRect Largest() {
    QList<QRect> screens;
    for (const QScreen* pScreen : QGuiApplication::screens())
        screens.append(pScreen->geometry());
    return LargestScreen(screens);
}

class CSystemScreenMetrics : public IScreenMetrics {
public:
    QSize GetScreenSize() const override { return Largest().size(); }
    QPoint GetScreenOrigin() const override { return Largest().topLeft(); }
    int GetCaptionHeight() const override {
        return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    }
};

} // namespace

QRect LargestScreen(const QList<QRect>& screens) {
    QRect largest;
    for (const QRect& screen : screens)
        if (int64_t(screen.width()) * screen.height() > int64_t(largest.width()) * largest.height())
            largest = screen;
    return largest.isEmpty() ? QRect(0, 0, 1024, 768) : largest;
}

const IScreenMetrics& SystemScreenMetrics() {
    static const CSystemScreenMetrics metrics;
    return metrics;
}
