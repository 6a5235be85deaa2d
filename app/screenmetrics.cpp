#include "app/screenmetrics.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

namespace {

class CSystemScreenMetrics : public IScreenMetrics {
public:
    QSize GetScreenSize() const override {
        QSize largest;
        for (const QScreen* pScreen : QGuiApplication::screens()) {
            const QSize size = pScreen->size();
            if (int64_t(size.width()) * size.height() > int64_t(largest.width()) * largest.height())
                largest = size;
        }
        return largest.isEmpty() ? QSize(1024, 768) : largest;
    }
    int GetCaptionHeight() const override {
        return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    }
};

} // namespace

const IScreenMetrics& SystemScreenMetrics() {
    static const CSystemScreenMetrics metrics;
    return metrics;
}
