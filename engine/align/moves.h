#pragma once

#include "engine/align/chunker.h"

#include <atomic>
#include <cstdint>
#include <vector>

class CAlignment;
class CAlignReader;

// The chunks of what the pass found deleted from file 1 and inserted in file 2, kept (up to
// kMaxRecords each, 6 MiB) so that afterwards the same bytes deleted in one place and inserted
// in another can be called moved.
class CMoveFinder {
public:
    static constexpr size_t kMaxRecords = size_t(1) << 18;

    void AddDeleted(const CChunk& chunk) { Add(m_deleted, chunk); }
    void AddInserted(const CChunk& chunk) { Add(m_inserted, chunk); }
    bool HasDeleted() const { return !m_deleted.empty(); }
    bool HasInserted() const { return !m_inserted.empty(); }
    // True when a record was not kept: a move may have been missed.
    bool Dropped() const { return m_bDropped; }

    // Matches deleted chunks with inserted ones, proves each match by comparing the bytes and
    // widens it as far as they agree within both segments, then relabels what matched: the
    // deleted bytes become moved ones pointing at file 2's, and those file-2 bytes leave their
    // inserted segment. The first chunk of file 1 takes the first unclaimed match in file 2.
    void Apply(CAlignment& alignment, CAlignReader& r1, CAlignReader& r2,
               const std::atomic<uint8_t>* pAbort);

private:
    struct CMove {
        uint64_t nOffset1;
        uint64_t nOffset2;
        uint64_t nLength;
    };
    void Add(std::vector<CChunk>& records, const CChunk& chunk);
    // The alignment with the moves written in.
    static void Rewrite(CAlignment& alignment, const std::vector<CMove>& moves);

    std::vector<CChunk> m_deleted; // in file-1 order
    std::vector<CChunk> m_inserted;
    bool m_bDropped = false;
};
