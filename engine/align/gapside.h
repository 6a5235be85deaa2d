#pragma once

#include "engine/align/chunker.h"
#include "engine/mappedwindow.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class CAlignReader;

// One file's share of a gap search: reads the file from where the gap began, cuts it into
// chunks and fingerprints its 4 KiB blocks, in steps the search sets. The blocks lie on one grid
// for both files, counted from the gap's start and aligned to file 1's offsets, so that block k
// of one file faces block k of the other on the gap's diagonal. Steps end on that grid.
class CGapSide {
public:
    static constexpr uint32_t kBlock = 4096;

    // A block of bytes, or a run of blocks wholly in a hole.
    struct CBlock {
        uint64_t nIndex; // counted from the first whole block of the gap
        uint64_t nCount; // 1, or the blocks of a hole
        uint64_t nPrint; // ChunkHash of its bytes: it only proposes, a compare decides
        bool bUniform;   // all its bytes the same
        uint8_t nByte;   // its first byte
        uint64_t End() const { return nIndex + nCount; }
    };

    // A new gap at nGap of reader's file, whose first whole block starts nFirstBlock bytes in.
    void Start(CAlignReader& reader, uint64_t nGap, uint64_t nFirstBlock);
    // Reads on to nEnd bytes past the gap's start, or to the file's end or an unreadable byte.
    // Chunks and blocks completed on the way replace those of the last step.
    void Step(uint64_t nEnd);
    // Where the hole the side has reached ends, past the gap's start; m_nDone when it is in none.
    uint64_t HoleEnd();
    // Lets the mapped window go, on the thread that stepped: the gap is over.
    void Close();

    std::vector<CChunk> m_chunks;
    std::vector<CBlock> m_blocks; // whole blocks: a hole's edge or a failure breaks one
    uint64_t m_nDone = 0;         // how far past the gap's start the file has been read
    bool m_bEnded = false;
    bool m_bUnreadable = false; // stopped at m_nDone, which could not be read

private:
    // Takes bytes from m_nDone on, to at most nEnd, from a mapped window, under CBusGuard; false
    // when none could be had or the mapping failed them, which leaves them to reads.
    bool StepMapped(uint64_t nEnd);
    static void FeedGuarded(void* pContext);
    void Feed(const uint8_t* p, uint64_t nCount);
    // Bytes that lie x bytes past the gap's start.
    void FeedBlocks(uint64_t x, const uint8_t* p, uint64_t nCount);
    void FeedHole(uint64_t nCount);

    CAlignReader* m_pReader = nullptr;
    uint64_t m_nGap = 0;
    uint64_t m_nFirstBlock = 0;
    CChunker m_chunker;
    uint8_t m_partial[kBlock] = {};     // a block whose bytes came in two loads
    uint64_t m_nPartial = ~uint64_t(0); // its index; another value: none under way
    // The data is taken where the page cache holds it, as the diagonal's is, rather than copied
    // out: most of a search's time went into the copy. A fault or a shrunk file has the bytes
    // before m_nReadEnd read instead.
    CMappedWindow m_window;
    uint64_t m_nReadEnd = 0;
    const uint8_t* m_pMapped = nullptr; // the guarded work's bytes
    uint64_t m_nMapped = 0;
};

// Runs one side's steps on a thread of its own, so that both files are read and chunked at
// once. Falls back to the caller's thread when no thread can be had.
class CStepThread {
public:
    CStepThread() = default;
    ~CStepThread();
    CStepThread(const CStepThread&) = delete;
    CStepThread& operator=(const CStepThread&) = delete;

    // Starts side.Step(nEnd); the side must not be touched until Wait returns.
    void Begin(CGapSide& side, uint64_t nEnd);
    // side.Close() on the thread that stepped it, waited for.
    void Close(CGapSide& side);
    void Wait();

private:
    void Loop();

    std::thread m_thread;
    bool m_bNoThread = false;
    std::mutex m_lock;
    std::condition_variable m_wake;
    CGapSide* m_pSide = nullptr; // the step asked for, null once done
    uint64_t m_nEnd = 0;
    bool m_bClose = false; // the side asked for is to be closed, not stepped
    bool m_bQuit = false;
};
