#pragma once

#include "cli/mapreport.h"

#include <cstddef>
#include <cstdint>
#include <functional>

class CInputFile;

// The most a comparison of streams reads of each side at once; it stops within this many bytes
// past the first difference. Half of a pipe's usual 64 KiB: the writer fills one half while
// this side compares the other (a full pipe's worth each time made both wait in turn, and
// took twice as long).
inline constexpr size_t kStreamChunk = 32 * 1024;

// One side of a comparison read once, in order: a stream's descriptor, or an open file read on
// from its position.
class CSequentialReader {
public:
    explicit CSequentialReader(int fd) : m_fd(fd) {}
    explicit CSequentialReader(CInputFile& file) : m_pFile(&file) {}

    // Reads nCount bytes, fewer only when the input ends (then m_bEnded) or a read fails (then
    // m_nError is its errno). Once ended, reads nothing more: a terminal would wait again.
    size_t Fill(uint8_t* pDest, size_t nCount);
    // Passes over nCount bytes, reading a stream's into pScratch (kStreamChunk bytes).
    void Skip(uint64_t nCount, uint8_t* pScratch);

    uint64_t m_nOffset = 0; // bytes read or passed over
    bool m_bEnded = false;
    int m_nError = 0;

private:
    int m_fd = -1;
    CInputFile* m_pFile = nullptr;
};

struct CStreamSetup {
    uint32_t nBlockSize = 0;
    uint64_t nFirst = 0; // where block 0 starts; what comes before is passed over
    uint64_t nLast = 0;  // the last byte compared, at most INT64_MAX
    bool bStopAtDifference = false;
    std::function<void(uint64_t)> onRead; // after each piece, with where both have got to
};

struct CStreamOutcome {
    CMapSummary summary; // every block when not stopped at a difference
    int nFailed = 0;     // 1 or 2: the side whose read failed, and then nothing else counts
    bool bDiffers = false;
    uint64_t nFirstDifference = 0; // the first byte that differs, or where one side ended
    uint8_t nFirstState = 0;       // BLOCK_DIFFERENT or BLOCK_LENGTH_DIFFERS
    int nEnded = 0;                // 1 or 2: the side that ended first inside what was compared
};

// Compares the two sides block by block as they are read, in memory that does not grow with
// their length (only with the runs that differ). Each block gets the state the engine gives it.
CStreamOutcome CompareSequentially(CSequentialReader& reader1, CSequentialReader& reader2,
                                   const CStreamSetup& setup);
