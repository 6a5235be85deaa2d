#pragma once

#include "engine/blockstatearray.h"
#include "view/colorref.h"
#include "view/mapcolors.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// The map's squares drawn into a 32-bit pixel buffer: the window's paint and quillet-map's
// picture both draw through these, so the two show the same pixels.

// A pixel as a 32-bit image stores it: 0xFFRRGGBB.
constexpr uint32_t PixelFromRef(COLORREF clr) {
    return 0xFF000000u | (clr & 0xFF) << 16 | (clr & 0xFF00) | (clr >> 16 & 0xFF);
}

// The pixel of each state byte.
std::array<uint32_t, 256> StatePixels();

// Solid rectangles written straight into the rows of a pixel buffer, cut at its edges: half a
// million squares per paint are too many for one call into a drawing library each.
class CPixelBuffer {
public:
    // nStride is the distance between rows in bytes; the buffer is not owned.
    CPixelBuffer(uint32_t* pBits, ptrdiff_t nStride, int32_t w, int32_t h)
        : m_pBits(reinterpret_cast<unsigned char*>(pBits)), m_nStride(nStride), m_w(w), m_h(h) {}

    uint32_t* Row(int32_t y) const { return reinterpret_cast<uint32_t*>(m_pBits + y * m_nStride); }
    int32_t Width() const { return m_w; }
    int32_t Height() const { return m_h; }

    void Fill(int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rgb) {
        if (x >= 0 && y >= 0 && x + cx <= m_w && y + cy <= m_h) {
            for (int32_t row = y; row < y + cy; ++row)
                std::fill_n(Row(row) + x, cx, rgb);
            return;
        }
        const int32_t l = std::max(x, 0);
        const int32_t r = std::min(x + cx, m_w);
        const int32_t b = std::min(y + cy, m_h);
        for (int32_t row = std::max(y, 0); row < b && l < r; ++row)
            std::fill(Row(row) + l, Row(row) + r, rgb);
    }

    // The outline along the inside edge of the cx x cy rectangle at (x, y).
    void Frame(int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rgb) {
        Fill(x, y, cx, 1, rgb);
        Fill(x, y + cy - 1, cx, 1, rgb);
        Fill(x, y, 1, cy, rgb);
        Fill(x + cx - 1, y, 1, cy, rgb);
    }

private:
    unsigned char* m_pBits;
    ptrdiff_t m_nStride;
    int32_t m_w;
    int32_t m_h;
};

// The state cell i shows: the highest of its R blocks that lie in the array. Read without
// the array's lock, as the worker writes: the caller holds the lock against a clear.
inline uint8_t CellState(const std::atomic<uint8_t>* pStates, int64_t nStates, uint32_t i,
                         uint32_t R) {
    uint8_t s = 0;
    if (R == 1) { // the common case, and the one with the most cells
        if (int64_t(i) < nStates)
            s = pStates[i].load(std::memory_order_relaxed);
        return s;
    }
    const int64_t nFirst = int64_t(i) * R;
    const int64_t nEnd = std::min<int64_t>(nFirst + R, nStates);
    for (int64_t j = nFirst; j < nEnd; ++j)
        s = std::max(s, pStates[j].load(std::memory_order_relaxed));
    return s;
}

// The square of a cell at (x, y), with the selection frame when it is the selected one. The
// frame runs along the square's left and top edges and through the gap to its right and
// below, where no other square reaches.
inline void DrawSquare(CPixelBuffer& pixels, int32_t x, int32_t y, int32_t P, uint32_t rgb,
                       bool bSelected) {
    pixels.Fill(x, y, P - 1, P - 1, rgb);
    if (bSelected) {
        const uint32_t clrFrame = PixelFromRef(CLR_SELECTION);
        pixels.Frame(x, y, P, P, clrFrame);
        if (P > 12)
            pixels.Frame(x + 1, y + 1, P - 2, P - 2, clrFrame);
    }
}

// The whole w x h map at pitch P: background, cells[i] in the colour rgb[cells[i]], and the
// selected cell (-1: none) framed.
void DrawMap(CPixelBuffer& pixels, int32_t w, int32_t h, int32_t P,
             const std::vector<uint8_t>& cells, const std::array<uint32_t, 256>& rgb,
             int32_t nSelected);
