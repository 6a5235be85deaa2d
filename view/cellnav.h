#pragma once

#include <cstdint>

class CBlockStateArray;

// Where the map's selection goes from the keyboard: to a neighbouring cell, or to the next
// cell that is not equal. Cells run row by row, nColumns to a row; -1 means no cell.

enum class ECellMove { Left, Right, Up, Down, First, Last };

// The cell a move leads to from nFrom among nCells cells. From no selection any move but Last
// selects cell 0; a selection past the last cell (the map shrank) counts as the last cell.
// A move that would leave the cells stays, except Down into a last row too short for the
// column, which ends on the last cell. -1 when there are no cells.
int32_t MoveCell(int32_t nFrom, ECellMove move, uint32_t nCells, int32_t nColumns);

// The nearest of the first nCells cells after nFrom (or before it, !bForward) whose state,
// grouped by the array's m_nPerCell as the map shows it, is above BLOCK_EQUAL: different,
// length differs or unreadable. nFrom -1 starts before the first cell, or after the last
// when going back. -1 when there is none; cells not compared yet are pending, so during a
// run this sees the cells compared so far. Reads without the lock, as the worker writes.
int32_t FindDifference(const CBlockStateArray& states, uint32_t nCells, int32_t nFrom,
                       bool bForward);

// What the map says at the end of the search.
inline constexpr const char* kNoFurtherDifference = "No further difference";
inline constexpr const char* kNoEarlierDifference = "No earlier difference";
