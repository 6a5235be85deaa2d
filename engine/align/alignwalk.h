#pragma once

#include "engine/align/alignment.h"
#include "engine/align/chunker.h"
#include "engine/align/gapsearch.h"
#include "engine/align/moves.h"

#include <atomic>
#include <cstdint>
#include <functional>

class CAlignReader;

// The aligned comparison of two open files. Walks the diagonal (offsets x in file 1 and x + d in
// file 2) comparing as the plain comparison does; where the files part, tries small shifts,
// then searches for where they agree again; after the pass, finds moves among what was deleted
// and inserted.
class CAlignWalk {
public:
    // Shifts up to this many bytes are tried where the files part, before anything is chunked.
    static constexpr uint32_t kProbeReach = 64;
    // A shift is taken when it gives this many equal bytes (or equal bytes up to both ends).
    static constexpr uint32_t kProbeLength = 256;

    // onProgress hears how far file 1 has been settled, from the worker's thread.
    CAlignWalk(CAlignReader& r1, CAlignReader& r2, CAlignment& out,
               const std::atomic<uint8_t>* pAbort, std::function<void(uint64_t)> onProgress)
        : m_r1(r1), m_r2(r2), m_out(out), m_pAbort(pAbort), m_onProgress(std::move(onProgress)),
          m_gap(r1, r2, pAbort) {}
    // The search tables' memory; false when there is none.
    bool Allocate() { return m_gap.Allocate(); }
    // Fills the alignment, which Reset has sized for the readers' lengths.
    void Run();

private:
    enum EStop { Mismatch, End1, End2, EndBoth, Unreadable1, Unreadable2, Aborted };

    bool IsAborted() const { return m_pAbort && m_pAbort->load(std::memory_order_relaxed); }
    // Compares forward from p1 and p2 on their diagonal, moving them past what is equal.
    EStop Diagonal(uint64_t& p1, uint64_t& p2);
    // The equal stretch that starts at p1, p2 is being walked; bFound: it follows a match found
    // on purpose, so that even a short one stands.
    void BeginEqual(uint64_t p1, uint64_t p2, bool bFound);
    // Adds the stretch's bytes up to q1, q2 as far as they are sure to stand, so that a long
    // stretch shows while it is walked; EndEqual adds the rest, which must stand.
    void ShowEqual(uint64_t q1, uint64_t q2);
    void EndEqual(uint64_t q1, uint64_t q2);
    // The small shift (a bytes of file 1 and b of file 2 skipped) after which the files agree.
    bool Probe(uint64_t n1, uint64_t n2, uint32_t& a, uint32_t& b);
    // Adds what lies between two equal stretches; keeps the chunks of what is only in one file.
    void AddGap(uint64_t n1, uint64_t nEnd1, uint64_t n2, uint64_t nEnd2, bool bChunked);
    // Adds an unreadable stretch of file f (0 or 1) at p1, p2: both positions move past it.
    void AddUnreadable(int f, uint64_t& p1, uint64_t& p2);
    // The rest of file f from nFrom has nothing against it: deleted or inserted, and unreadable
    // where it cannot be read; chunked for moves when the other file's pass kept chunks. False
    // when aborted.
    bool AddTail(int f, uint64_t nFrom, uint64_t nOther);
    // Too many segments: the rest of both files is one segment.
    void AddRest(uint64_t p1, uint64_t p2);

    CAlignReader& m_r1;
    CAlignReader& m_r2;
    CAlignment& m_out;
    const std::atomic<uint8_t>* m_pAbort;
    std::function<void(uint64_t)> m_onProgress;
    CGapSearch m_gap;
    CMoveFinder m_moves;
    CChunker m_tailChunker;
    std::vector<CChunk> m_tailChunks;
    bool m_bMissed = false;   // a shift or a move may have been missed
    uint64_t m_nStretch1 = 0; // where the equal stretch being walked began in file 1
    uint64_t m_nShown1 = 0;   // how far it has been added, in file 1 and file 2
    uint64_t m_nShown2 = 0;
    bool m_bStretchStands = false; // it stands however short it ends
};
