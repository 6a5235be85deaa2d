#include "engine/align/chunktable.h"

#include <new>

bool CChunkTable::Allocate() {
    if (!m_pRing)
        m_pRing.reset(new (std::nothrow) CRecord[kCapacity]);
    // calloc: zero pages the system hands out as they are touched. A zero head: no record yet.
    if (!m_pHeads)
        m_pHeads.reset(static_cast<uint64_t*>(std::calloc(size_t(1) << 19, sizeof(uint64_t))));
    return m_pRing && m_pHeads;
}

uint64_t CChunkTable::Add(const CChunk& chunk) {
    const uint64_t n = m_nNext++;
    uint64_t& rHead = m_pHeads[Bucket(chunk.nHash)];
    // Heads left from earlier gaps point before m_nBegin, where Get finds nothing.
    const uint64_t nBack = rHead > 0 ? n - (rHead - 1) : 0;
    m_pRing[n % kCapacity] = {chunk.nOffset, chunk.nHash, chunk.nLength,
                              nBack <= kCapacity ? uint32_t(nBack) : 0};
    rHead = n + 1;
    return n;
}

bool CChunkTable::Get(uint64_t n, CChunk& chunk) const {
    if (n < m_nBegin || n >= m_nNext || m_nNext - n > kCapacity)
        return false;
    const CRecord& r = m_pRing[n % kCapacity];
    chunk = {r.nOffset, r.nHash, r.nLength, false};
    return true;
}
