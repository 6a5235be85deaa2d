#pragma once

#include <cstdint>

class CBlockStateArray;

// The map's arithmetic: from the longer file's length L, the state array's capacity N and
// the client size it derives the block size B, the cell size C, the blocks per cell R (kept
// in the array's m_nPerCell), the cell count K, the pitch P, where each square lies, which
// cell is under a point and which bytes a cell covers. A value type the map view owns; the
// client size always comes in as arguments. Sizes divide as signed 32-bit values that
// truncate toward zero. No input divides by zero, and C is never below B.
class CCellGeometry {
public:
    // The array must outlive the geometry; its capacity is read at every SetTotalLength.
    explicit CCellGeometry(CBlockStateArray& states) : m_pStates(&states) {}

    // The smallest power of two not below n (1 for 0 and 1); 2^31 for anything above it.
    static uint32_t NextPowerOfTwo(uint32_t n);
    // The 4-pixel squares that fit in w x h: ((w - 1) / 4) * ((h - 1) / 4); 0 when either
    // side holds none, and at most INT32_MAX.
    static int32_t CellsInArea(int32_t w, int32_t h);
    // The pitch for K cells in w x h, 4 to 25: one less than the first p from 5 to 25 at
    // which the grid holds no more than K squares, 25 when none does.
    static int32_t ChoosePitch(int32_t w, int32_t h, uint32_t nCells);
    // Squares in one row at pitch P in width w: at least 1.
    static int32_t ColumnCount(int32_t nPitch, int32_t w);
    // Top-left pixel of square i at pitch P in width w; squares go row by row from (1, 1).
    static void CellOrigin(int32_t i, int32_t nPitch, int32_t w, int32_t& x, int32_t& y);

    // C for the current L in w x h: the smallest power of two that keeps every cell on a
    // 4-pixel square, but never below B; the current C when w x h holds no such square.
    uint32_t CellSizeFor(int32_t w, int32_t h) const;
    // K = ceil(L / C); 0 with no comparison.
    uint32_t CellCount() const;

    // A new comparison of length L (0: none) in a client area of w x h: clears the state
    // array, fixes B, C and R and drops the selection. Returns C, for the status strip.
    uint32_t SetTotalLength(uint64_t nLength, int32_t w, int32_t h);
    // The client area became cx x cy: only C changes, and nothing at all while L is 0.
    // Returns C, for the status strip.
    uint32_t OnSize(int32_t cx, int32_t cy);

    struct CPaintNumbers {
        uint32_t nCells;   // K
        int32_t nPitch;    // P
        uint32_t nPerCell; // R
    };
    // K, P and R for a paint of w x h; keeps P in m_nPitch and R in the array's m_nPerCell.
    // The caller holds the array's lock, as the paint does while it reads the states.
    CPaintNumbers PrepareForPaint(int32_t w, int32_t h);

    // The cell whose hit zone holds (x, y) in a client area w wide, or -1 for none (no
    // comparison, no paint yet, or past the last cell).
    int32_t CellFromPoint(int32_t x, int32_t y, int32_t w) const;
    // First and last byte of cell i, the last cell cut at L - 1. False, with both set to
    // all ones, when there is no cell i.
    bool GetCellRange(int32_t i, uint64_t& nFirst, uint64_t& nLast) const;

    uint64_t m_nTotalLength = 0; // L; 0 = no comparison
    uint32_t m_nBlockSize = 0;   // B
    uint32_t m_nCellSize = 0;    // C
    int32_t m_nPitch = 0;        // P; 0 until the first paint with a comparison
    int32_t m_nSelected = -1;    // the selected cell, -1 for none
    int32_t m_nCapacity = 0;     // N, the state array's size when L was last set

private:
    CBlockStateArray* m_pStates;
};
