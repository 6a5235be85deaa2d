#pragma once

#include "engine/align/alignment.h"

#include <array>
#include <cstdint>
#include <vector>

// The aligned map's cells, in file 1's offsets: the worst kind (CELL_*) each holds, as
// CAlignment::WorstKind says and quillet-map's picture draws it. Brought up to date with what a
// running comparison settled since the last look, so that a progress step costs only the
// cells it reached.
class CAlignCells {
public:
    // The kinds of nCells cells of nCellSize bytes each over the alignment's file 1, whose
    // generation is nGeneration (CSharedAlignment::Generation). All cells are worked out again
    // when the cell size, the count or the generation changed, else only those from the cell
    // where the segments ended at the last look to where they end now.
    void Update(const CAlignment& alignment, uint64_t nGeneration, uint64_t nCellSize,
                uint32_t nCells);
    // The next Update works out every cell.
    void Invalidate() { m_bValid = false; }
    // CELL_PENDING for a cell not worked out.
    uint8_t Kind(uint32_t i) const {
        return i < m_kinds.size() ? m_kinds[i] : uint8_t(CELL_PENDING);
    }
    // The segments of each kind (by EAlignKind) at the last Update.
    const std::array<uint64_t, 6>& Counts() const { return m_counts; }

private:
    std::array<uint64_t, 6> m_counts{};
    size_t m_nSegments = 0; // segments counted
    std::vector<uint8_t> m_kinds;
    bool m_bValid = false;
    uint64_t m_nGeneration = 0;
    uint64_t m_nCellSize = 0;
    uint64_t m_nCovered = 0; // file-1 bytes the segments reached at the last look
};

// The stops of the keys that step through an aligned map: the nearest cell after nFrom (before
// it when !bForward) among nCells cells of nCellSize bytes that holds a segment other than an
// equal one (inserted, deleted, different, unreadable), or where an equal or moved stretch
// begins at another shift than the one before it: that is where bytes came or went. nFrom -1
// starts before the first cell, or after the last going back. -1 when there is none.
int32_t FindAlignStop(const CAlignment& alignment, uint64_t nCellSize, uint32_t nCells,
                      int32_t nFrom, bool bForward);

// What the aligned map's colours mean, as the tip over the map outside the cells says.
inline constexpr const char* kAlignLegend =
    "Aligned map, in file 1's offsets; a cell shows the worst it holds:\n"
    "black       unreadable\n"
    "light red   different\n"
    "orange      deleted: bytes only in file 1\n"
    "purple      inserted: file 2 has bytes here that file 1 has not\n"
    "sky blue    equal or moved, at another offset in file 2\n"
    "light blue  equal at the same offset\n"
    "white       not compared yet";
