#pragma once

#include "engine/align/alignment.h"
#include "engine/blockstatearray.h"
#include "view/colorref.h"

#include <cstdint>

inline constexpr COLORREF CLR_MAP_BACKGROUND = 0xC0C0C0; // light grey
inline constexpr COLORREF CLR_SELECTION = 0x00FF00;      // green frame of the selected cell

// The colour of a cell whose highest block state is nState; a value no one records (1, or
// anything above BLOCK_READ_ERROR) shows as pending.
constexpr COLORREF StateColor(uint8_t nState) {
    switch (nState) {
    case BLOCK_EQUAL:
        return 0xFF8080; // light blue
    case BLOCK_DIFFERENT:
        return 0x8080FF; // light red
    case BLOCK_LENGTH_DIFFERS:
        return 0x00FFFF; // yellow
    case BLOCK_READ_ERROR:
        return 0x000000; // black
    default:
        return 0xFFFFFF; // white
    }
}

// The colour of an aligned map's cell whose worst is nCell (CELL_*); pending shows white.
constexpr COLORREF AlignCellColor(uint8_t nCell) {
    switch (nCell) {
    case CELL_EQUAL:
        return StateColor(BLOCK_EQUAL);
    case CELL_SHIFTED:
        return 0xFFC860; // sky blue, RGB(96, 200, 255)
    case CELL_INSERTED:
        return 0xE060C0; // purple, RGB(192, 96, 224)
    case CELL_DELETED:
        return 0x40B0FF; // orange, RGB(255, 176, 64)
    case CELL_DIFFERENT:
        return StateColor(BLOCK_DIFFERENT);
    case CELL_READ_ERROR:
        return StateColor(BLOCK_READ_ERROR);
    default:
        return StateColor(BLOCK_PENDING);
    }
}
