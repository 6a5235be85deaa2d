#pragma once

#include "engine/align/chunker.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

// The chunks one file has shown since the current gap began, for looking up those of the other
// file. A ring of the newest kCapacity records, chained by hash: a bounded window (about 9 GiB of
// file at the average chunk size) in bounded memory (16 MiB, touched only as records come),
// whatever the files' sizes. Older records fall out; Dropped then says the window was exceeded.
class CChunkTable {
public:
    static constexpr uint32_t kCapacity = uint32_t(1) << 19;

    // Gets the memory; false when there is none.
    bool Allocate();
    // Lets the memory go once no gap is searched any more.
    void Release() {
        m_pRing.reset();
        m_pHeads.reset();
    }
    // A new gap: every record held so far is forgotten.
    void Begin() { m_nBegin = m_nNext; }
    // Records a chunk; returns its sequence number.
    uint64_t Add(const CChunk& chunk);
    // True when a record of this gap has fallen out.
    bool Dropped() const { return m_nNext - m_nBegin > kCapacity; }
    // The record with sequence number n; false when it is not of this gap or has fallen out.
    bool Get(uint64_t n, CChunk& chunk) const;
    // Sequence numbers of this gap's records still held: [First(), Next()).
    uint64_t First() const { return Dropped() ? m_nNext - kCapacity : m_nBegin; }
    uint64_t Next() const { return m_nNext; }

    // Calls visit(n, chunk) for every record held whose hash is nHash, newest first, until visit
    // returns false.
    template <typename F> void ForEach(uint64_t nHash, F visit) const {
        CChunk chunk;
        for (uint64_t n = m_pHeads[Bucket(nHash)]; n-- > 0 && Get(n, chunk);) {
            if (chunk.nHash == nHash && !visit(n, chunk))
                return;
            const uint32_t nBack = m_pRing[n % kCapacity].nBack;
            if (nBack == 0 || nBack > n)
                return;
            n -= nBack - 1; // the loop's n-- then steps onto the previous record of the bucket
        }
    }

private:
    // Left uninitialised on purpose: a ring never filled costs no memory.
    struct CRecord {
        uint64_t nOffset;
        uint64_t nHash;
        uint32_t nLength;
        uint32_t nBack; // how many records back the previous one of its bucket was; 0: none
    };
    struct CFree {
        void operator()(void* p) const { std::free(p); }
    };
    static uint32_t Bucket(uint64_t nHash) { return uint32_t(nHash >> 45); } // 2^19 buckets

    std::unique_ptr<CRecord[]> m_pRing;
    std::unique_ptr<uint64_t[], CFree> m_pHeads; // per bucket, the newest sequence number + 1
    uint64_t m_nBegin = 0;                       // the first sequence number of the current gap
    uint64_t m_nNext = 0;
};
