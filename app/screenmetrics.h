#pragma once

#include <QSize>

// What the main window needs to know of the screen, behind an interface so that tests can
// give a screen of their own.
class IScreenMetrics {
public:
    virtual ~IScreenMetrics() = default;
    // Width and height in pixels of the largest screen.
    virtual QSize GetScreenSize() const = 0;
    // Height in pixels of a window's caption.
    virtual int GetCaptionHeight() const = 0;
};

// The screens the application runs on: the largest of them by area (1024 x 768 when there is
// none), and the style's title-bar height. Needs a QApplication.
const IScreenMetrics& SystemScreenMetrics();
