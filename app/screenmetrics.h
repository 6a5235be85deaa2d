#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// What the main window needs to know of the screen, behind an interface so that tests can
// give a screen of their own.
class IScreenMetrics {
public:
    virtual ~IScreenMetrics() = default;
    // Width and height in pixels of the largest screen.
    virtual QSize GetScreenSize() const = 0;
    // Where that screen's top-left corner lies among all screens.
    virtual QPoint GetScreenOrigin() const { return QPoint(0, 0); }
    // Height in pixels of a window's caption.
    virtual int GetCaptionHeight() const = 0;
};

// The largest of the screens' rectangles by area, the first of equal ones; 1024 x 768 at
// (0, 0) when there is none.
QRect LargestScreen(const QList<QRect>& screens);

// The screens the application runs on: the largest of them by area (1024 x 768 when there is
// none), and the style's title-bar height. Needs a QApplication.
const IScreenMetrics& SystemScreenMetrics();
