#pragma once

#include "engine/align/chunker.h"
#include "engine/align/chunktable.h"
#include "engine/align/gapside.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class CAlignReader;

// How a gap between two equal stretches ended, and where the two files stand then: where they
// agree again (Anchor: on a new diagonal; Resync: on the gap's own), where a byte could not be
// read (Unreadable; the two positions are on the gap's diagonal, or at a file's end), or where
// their common tail begins once both ended (Ends).
struct CGapEnd {
    enum EHow : uint8_t { Anchor, Resync, Unreadable, Ends, Aborted };
    EHow eHow = Aborted;
    uint64_t nEnd1 = 0;
    uint64_t nEnd2 = 0;
    uint64_t nTail = 0; // how far past nEnd1 and nEnd2 the files are already known to agree
};

// Finds where two files agree again after they part. Both are cut into content-defined chunks
// from where they parted, in step (file 2 on a thread of its own): the chunk that ends first,
// counted from there, goes first, whichever file it is in, so the outcome never depends on load
// sizes or thread timing. Each chunk is looked up among the other file's; two consecutive chunks
// equal to two consecutive ones of the other file make an anchor, unless the bytes occur many
// times. Meanwhile the gap's own diagonal is watched, as an in-place change ends there: a whole
// 4 KiB block equal to the other file's ends the gap. The cost is linear: the search never reads
// further ahead than the files then advance.
//
// A block of one repeated byte (zeros, padding, a hole) equal on the gap's diagonal is weaker
// evidence: such bytes agree at any shift. There the search looks past the run: when the bytes
// after it agree on another diagonal that reaches back over the block, the run is matched on that
// one (something was inserted or deleted before the run); otherwise the gap ends at the block,
// and any length difference falls at the run's end.
class CGapSearch {
public:
    // Chunks whose bytes the other file has this often no longer anchor.
    static constexpr uint32_t kManyTimes = 8;
    // A common tail at the files' ends shorter than this is not told apart from the gap, nor are
    // shorter stretches after a run a shift.
    static constexpr uint32_t kMinTail = 256;
    // How far a run of one file may go on past the other's before no shift is looked for there.
    static constexpr uint64_t kRunReach = 256 * 1024;

    CGapSearch(CAlignReader& r1, CAlignReader& r2, const std::atomic<uint8_t>* pAbort)
        : m_pReader{&r1, &r2}, m_pAbort(pAbort) {}
    // The tables' memory; false when there is none.
    bool Allocate() { return m_table[0].Allocate() && m_table[1].Allocate(); }
    // Lets the tables' memory go: no gap is searched any more.
    void Release() {
        m_table[0].Release();
        m_table[1].Release();
    }
    // Searches from n1 in file 1 and n2 in file 2, which differ there. onProgress hears how far
    // file 1 has been read.
    CGapEnd Search(uint64_t n1, uint64_t n2, const std::function<void(uint64_t)>& onProgress);
    // True when a chunk of the last gap fell out of the window: a shift may have been missed.
    bool Dropped() const { return m_table[0].Dropped() || m_table[1].Dropped(); }
    // Calls visit(chunk) for each chunk of the last gap in file f (0 or 1) lying wholly in
    // [nFirst, nEnd), in order.
    template <typename F> void ForEachChunk(int f, uint64_t nFirst, uint64_t nEnd, F visit) const {
        CChunk chunk;
        for (uint64_t n = m_table[f].First(); n < m_table[f].Next(); ++n)
            if (m_table[f].Get(n, chunk) && chunk.nOffset >= nFirst && chunk.End() <= nEnd)
                visit(chunk);
    }

private:
    struct CCandidate {
        uint64_t nSeq;
        CChunk chunk;
        int64_t nDiagonal;
    };
    CGapEnd Walk(uint64_t n1, uint64_t n2, const std::function<void(uint64_t)>& onProgress);
    // Whether chunk a of file f has the same bytes as chunk b of the other file.
    bool SameBytes(int f, const CChunk& a, const CChunk& b);
    // Records a chunk of file f and looks it up; true, with end set, when it makes an anchor.
    bool OnChunk(int f, const CChunk& chunk, CGapEnd& end);
    // The first block where the gap's diagonal holds again and ends before nBefore, past the
    // gap's start; false if none.
    bool FirstEqualBlock(uint64_t nBefore, uint64_t& nAt, bool& bUniform, uint8_t& nByte);
    CGapEnd ResyncAt(uint64_t nBlock);
    // The gap's end when a block of byte c at file-1 offset nBlock is equal on its diagonal.
    CGapEnd RunAt(uint64_t nBlock, uint8_t c);
    CGapEnd BothEnded();

    CAlignReader* m_pReader[2];
    const std::atomic<uint8_t>* m_pAbort;
    CGapSide m_side[2];
    CStepThread m_thread; // reads file 2's side
    CChunkTable m_table[2];
    uint64_t m_nGap[2] = {}; // where the gap began in each file
    CChunk m_prev[2];        // each file's last chunk, when m_bPrev
    bool m_bPrev[2] = {};
    uint64_t m_nFirstBlock = 0; // where the gap's first whole block starts, past its start
    std::vector<CCandidate> m_candidates;
};
