#include "view/maprender.h"

#include "view/cellgeometry.h"
#include "view/mapcolors.h"

std::array<uint32_t, 256> StatePixels() {
    std::array<uint32_t, 256> rgb{};
    for (size_t s = 0; s < rgb.size(); ++s)
        rgb[s] = PixelFromRef(StateColor(uint8_t(s)));
    return rgb;
}

namespace {
// One scanline at a time: the first pixel row of a row of squares is written pixel by pixel,
// copied to the squares' other rows, and the gap below is background.
void DrawGrid(CPixelBuffer& pixels, int32_t w, int32_t h, int32_t P,
              const std::vector<uint8_t>& cells, const std::array<uint32_t, 256>& rgb) {
    const uint32_t clrBack = PixelFromRef(CLR_MAP_BACKGROUND);
    const int32_t nColumns = CCellGeometry::ColumnCount(P, w);
    pixels.Fill(0, 0, w, 1, clrBack);
    size_t i = 0;
    int32_t y = 1;
    for (; i < cells.size() && y < h; y += P) {
        uint32_t* pRow = pixels.Row(y);
        int32_t x = 0;
        if (w > 0)
            pRow[x] = clrBack;
        ++x;
        for (int32_t c = 0; c < nColumns && i < cells.size(); ++c, ++i) {
            std::fill_n(pRow + x, std::clamp(w - x, 0, P - 1), rgb[cells[i]]);
            x += P - 1;
            if (x < w)
                pRow[x] = clrBack;
            ++x;
        }
        if (x < w)
            std::fill(pRow + x, pRow + w, clrBack);
        for (int32_t r = 1; r < P - 1 && y + r < h; ++r)
            std::copy_n(pRow, w, pixels.Row(y + r));
        pixels.Fill(0, y + P - 1, w, 1, clrBack);
    }
    if (y < h)
        pixels.Fill(0, y, w, h - y, clrBack);
}
} // namespace

void DrawMap(CPixelBuffer& pixels, int32_t w, int32_t h, int32_t P,
             const std::vector<uint8_t>& cells, const std::array<uint32_t, 256>& rgb,
             int32_t nSelected) {
    DrawGrid(pixels, w, h, P, cells, rgb);
    if (nSelected >= 0 && size_t(nSelected) < cells.size()) {
        int32_t x = 0;
        int32_t y = 0;
        CCellGeometry::CellOrigin(nSelected, P, w, x, y);
        DrawSquare(pixels, x, y, P, rgb[cells[size_t(nSelected)]], true);
    }
}
