#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// One byte per block; a higher state outweighs a lower one when blocks share a cell.
enum : uint8_t {
    BLOCK_PENDING = 0,
    BLOCK_EQUAL = 2,
    BLOCK_DIFFERENT = 3,
    BLOCK_LENGTH_DIFFERS = 4,
    BLOCK_READ_ERROR = 5,
};

// The states the worker records and the map paints. The worker stores single bytes without
// the lock; clearing and painting take m_lock. Sized once, never resized.
class CBlockStateArray {
public:
    CBlockStateArray() = default;
    CBlockStateArray(const CBlockStateArray&) = delete;
    CBlockStateArray& operator=(const CBlockStateArray&) = delete;

    // Room for one state per 4-pixel square of the largest map area, all pending.
    void Allocate(int32_t nMaxWidth, int32_t nMaxHeight);
    // Room for nCount states (0 when negative), all pending; false when memory ran out.
    bool AllocateCount(int32_t nCount);
    // Every state back to BLOCK_PENDING, under the lock.
    void Clear();
    // The highest state among the blocks of cell i (m_nPerCell of them); blocks past the
    // array are not read; 0 when m_nPerCell is 0.
    uint8_t GroupMax(int32_t i) const;

    uint8_t Get(int32_t i) const { return m_pStates[i].load(std::memory_order_relaxed); }
    void Set(int32_t i, uint8_t nState) { m_pStates[i].store(nState, std::memory_order_relaxed); }

    std::unique_ptr<std::atomic<uint8_t>[]> m_pStates;
    int32_t m_nCount = 0;
    uint32_t m_nPerCell = 0; // blocks per cell, written by the map's geometry
    mutable std::mutex m_lock;
};
