#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
};
CStateCounts CountStates(const CBlockStateArray& states, uint32_t nBlocks);

// "different", "length-differs", "read-error", "pending".
const char* StateName(uint8_t nState);

// Calls visit for every maximal run of blocks in one state other than equal, in order, with
// the file offsets of its first and last byte.
void ForEachRun(const CBlockStateArray& states, const CBlockSpan& span,
                const std::function<void(uint8_t, uint64_t, uint64_t)>& visit);

// The report: the summary line, then one line per run of blocks that are not equal.
std::string FormatReport(const CBlockStateArray& states, const CBlockSpan& span);

// The answer of --first: STATE DECIMAL 0xHEX and a line feed.
std::string FormatFirstDifference(uint8_t nState, uint64_t nOffset);

// cmp's convention: 0 all equal, 1 a difference, 2 trouble (a block could not be read or
// was never compared).
int ExitStatusFor(const CStateCounts& counts);

// The one-line progress shown on a terminal: percent, elapsed time, throughput.
std::string FormatProgressLine(int32_t nProgress, int64_t nElapsedMs, uint64_t nBytesDone);
