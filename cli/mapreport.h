#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CBlockStateArray;

// The smallest power of two, at least 4096, that keeps ceil(L / B) at or below 2^20.
uint32_t DefaultBlockSize(uint64_t nLength);

// The bytes a comparison covered: nBlocks blocks of nBlockSize bytes from nFirst on, the
// last one cut at nEnd (exclusive). Block i starts at nFirst + i * nBlockSize.
struct CBlockSpan {
    uint64_t nFirst = 0;
    uint64_t nEnd = 0;
    uint32_t nBlockSize = 0;
    uint32_t nBlocks = 0;
};

// Counts of each state over the span's blocks.
struct CStateCounts {
    uint64_t nEqual = 0;
    uint64_t nDifferent = 0;
    uint64_t nLengthDiffers = 0;
    uint64_t nReadError = 0;
    uint64_t nPending = 0;

    void Add(uint8_t nState);
};
CStateCounts CountStates(const CBlockStateArray& states, uint32_t nBlocks);

// "different", "length-differs", "read-error", "pending".
const char* StateName(uint8_t nState);

// A maximal run of blocks in one state other than equal, by its first and last byte's offsets.
struct CStateRun {
    uint8_t nState = 0;
    uint64_t nFirst = 0;
    uint64_t nLast = 0;
};

// What a comparison found: its blocks from nFirst to nEnd (exclusive), counted by state, and
// the runs that are not equal. Takes memory for the runs only, so a stream read once can be
// summed up block by block.
struct CMapSummary {
    uint64_t nFirst = 0;
    uint64_t nEnd = 0;
    uint32_t nBlockSize = 0;
    uint64_t nBlocks = 0;
    CStateCounts counts;
    std::vector<CStateRun> runs;

    // Appends the next block, whose bytes end before nEnd, and moves nEnd there.
    void Add(uint8_t nState, uint64_t nEndOfBlock);
};

// The summary of the span's blocks as the states record them.
CMapSummary Summarize(const CBlockStateArray& states, const CBlockSpan& span);

// The report: the summary line, then one line per run of blocks that are not equal.
std::string FormatReport(const CMapSummary& summary);

// The answer of --first: STATE DECIMAL 0xHEX, for a length difference then " EOF on " and the
// name of the file that ended there, and a line feed.
std::string FormatFirstDifference(uint8_t nState, uint64_t nOffset, const std::string& strEnded);

// cmp's convention: 0 all equal, 1 a difference, 2 trouble (a block could not be read or
// was never compared).
int ExitStatusFor(const CStateCounts& counts);

// The one-line progress shown on a terminal: percent, elapsed time, throughput.
std::string FormatProgressLine(int32_t nProgress, int64_t nElapsedMs, uint64_t nBytesDone);
// The same for a stream, whose length is not known: bytes compared instead of the percent.
std::string FormatStreamProgressLine(uint64_t nBytesDone, int64_t nElapsedMs);
