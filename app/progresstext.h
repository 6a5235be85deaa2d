#pragma once

#include <cstdint>
#include <string>

// The texts and rectangles the main window computes from numbers alone.

// The elapsed time as the progress pane shows it: "0s", "3.042s", "42s", "2:05s",
// "1:02:03s". A negative time counts as 0.
std::string FormatElapsed(int64_t nElapsedMs);

// "12.34% in 3.042s" for a progress of 1234 hundredths of a percent.
std::string FormatProgress(int32_t nProgress, const std::string& strElapsed);

// "100% in 1:02:03s", the text of a comparison that ran to its end.
std::string FormatFinished(const std::string& strElapsed);

struct CSize {
    int32_t cx = 0;
    int32_t cy = 0;
};

// The largest map area the screen allows: the screen less the window's frame, caption,
// status strip and separator.
CSize GetMaxMapSize(int32_t nScreenWidth, int32_t nScreenHeight, int32_t nCaptionHeight,
                    int32_t nStripHeight);

struct CRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// The window's first place on a screen of the given size: three quarters of each side,
// centred across, a third of the free height above and two thirds below.
CRect InitialWindowRect(int32_t nScreenWidth, int32_t nScreenHeight);
