#pragma once

#include <QImage>

#include <cstdint>

// The map's off-screen surface: an image in the screen's 32-bit format that only grows, so
// that it is allocated once at the largest map area and never while a comparison runs. A
// paint writes into m_bitmap and copies it to the window in one piece.
class COffscreenDC {
public:
    // Makes the surface at least cx x cy. False when it was large enough already; true when
    // it was made anew, its contents then undefined. Prepare(-1, -1) releases the image and
    // keeps the sizes. A null m_bitmap after a true return means memory ran out.
    bool Prepare(int32_t cx, int32_t cy);

    int32_t m_nHeight = 0; // allocated height in pixels
    int32_t m_nWidth = 0;  // allocated width in pixels
    QImage m_bitmap;
};
