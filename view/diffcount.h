#pragma once

#include "engine/blockstatearray.h"

#include <cstdint>

// The number of differing cells the strip shows: every light-red cell, and all yellow cells
// together as one, since a length difference runs from one point to the end of the map.
class CDiffCount {
public:
    // Counts one cell showing state nState.
    void Add(uint8_t nState) {
        m_nDifferent += nState == BLOCK_DIFFERENT;
        m_bLengthDiffers |= nState == BLOCK_LENGTH_DIFFERS;
    }
    uint32_t Total() const { return m_nDifferent + (m_bLengthDiffers ? 1 : 0); }

private:
    uint32_t m_nDifferent = 0;
    bool m_bLengthDiffers = false;
};
