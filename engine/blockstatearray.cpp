#include "engine/blockstatearray.h"

#include <new>

void CBlockStateArray::Allocate(int32_t nMaxWidth, int32_t nMaxHeight) {
    AllocateCount(((nMaxWidth - 1) / 4) * ((nMaxHeight - 1) / 4));
}

bool CBlockStateArray::AllocateCount(int32_t nCount) {
    if (nCount < 0)
        nCount = 0;
    std::lock_guard<std::mutex> guard(m_lock);
    m_pStates.reset(new (std::nothrow) std::atomic<uint8_t>[size_t(nCount)]);
    m_nCount = m_pStates ? nCount : 0;
    for (int32_t i = 0; i < m_nCount; ++i)
        m_pStates[i].store(BLOCK_PENDING, std::memory_order_relaxed);
    return m_pStates != nullptr;
}

void CBlockStateArray::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    for (int32_t i = 0; i < m_nCount; ++i)
        m_pStates[i].store(BLOCK_PENDING, std::memory_order_relaxed);
}

uint8_t CBlockStateArray::GroupMax(int32_t i) const {
    if (m_nPerCell == 0 || i < 0)
        return 0;
    int64_t nFirst = int64_t(i) * m_nPerCell;
    int64_t nEnd = nFirst + m_nPerCell;
    if (nEnd > m_nCount)
        nEnd = m_nCount;
    uint8_t nMax = 0;
    for (int64_t j = nFirst; j < nEnd; ++j) {
        uint8_t s = m_pStates[j].load(std::memory_order_relaxed);
        if (s > nMax)
            nMax = s;
    }
    return nMax;
}
