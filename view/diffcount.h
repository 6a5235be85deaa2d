#pragma once

#include "engine/blockstatearray.h"

#include <cstdint>

// The number of differing cells the strip shows: every light-red cell, and all yellow cells
// together as one, since a length difference runs from one point to the end of the map.
class CDiffCount {
public:
    // A cell now shows state nState; Remove takes back one that no longer does.
    void Add(uint8_t nState) { Change(nState, 1); }
    void Remove(uint8_t nState) { Change(nState, -1); }
    uint32_t Total() const { return uint32_t(m_nDifferent) + (m_nLengthDiffers > 0 ? 1 : 0); }

private:
    void Change(uint8_t nState, int64_t nBy) {
        m_nDifferent += nState == BLOCK_DIFFERENT ? nBy : 0;
        m_nLengthDiffers += nState == BLOCK_LENGTH_DIFFERS ? nBy : 0;
    }

    int64_t m_nDifferent = 0;
    int64_t m_nLengthDiffers = 0;
};
