#include "cli/mapreport.h"

#include "engine/blockstatearray.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace {
constexpr uint64_t kMaxBlockSize = uint64_t(1) << 30;
constexpr uint64_t kDefaultMaxBlocks = uint64_t(1) << 20;
} // namespace

uint32_t DefaultBlockSize(uint64_t nLength) {
    uint64_t nBlockSize = 4096;
    // Rounded up without adding first: a length near 2^64 would wrap to a few blocks.
    while (nBlockSize < kMaxBlockSize &&
           nLength / nBlockSize + (nLength % nBlockSize != 0) > kDefaultMaxBlocks)
        nBlockSize *= 2;
    return uint32_t(nBlockSize);
}

void CStateCounts::Add(uint8_t nState) {
    switch (nState) {
    case BLOCK_EQUAL:
        ++nEqual;
        break;
    case BLOCK_DIFFERENT:
        ++nDifferent;
        break;
    case BLOCK_LENGTH_DIFFERS:
        ++nLengthDiffers;
        break;
    case BLOCK_READ_ERROR:
        ++nReadError;
        break;
    default:
        ++nPending;
        break;
    }
}

CStateCounts CountStates(const CBlockStateArray& states, uint32_t nBlocks) {
    CStateCounts counts;
    for (uint32_t i = 0; i < nBlocks && int64_t(i) < states.m_nCount; ++i)
        counts.Add(states.Get(int32_t(i)));
    return counts;
}

const char* StateName(uint8_t nState) {
    switch (nState) {
    case BLOCK_DIFFERENT:
        return "different";
    case BLOCK_LENGTH_DIFFERS:
        return "length-differs";
    case BLOCK_READ_ERROR:
        return "read-error";
    default:
        return "pending";
    }
}

void CMapSummary::Add(uint8_t nState, uint64_t nEndOfBlock) {
    counts.Add(nState);
    if (nState != BLOCK_EQUAL) {
        if (!runs.empty() && runs.back().nState == nState && runs.back().nLast + 1 == nEnd)
            runs.back().nLast = nEndOfBlock - 1;
        else
            runs.push_back({nState, nEnd, nEndOfBlock - 1});
    }
    ++nBlocks;
    nEnd = nEndOfBlock;
}

CMapSummary Summarize(const CBlockStateArray& states, const CBlockSpan& span) {
    CMapSummary summary;
    summary.nFirst = span.nFirst;
    summary.nEnd = span.nFirst;
    summary.nBlockSize = span.nBlockSize;
    const uint32_t nLimit = uint32_t(std::min<int64_t>(span.nBlocks, states.m_nCount));
    for (uint32_t i = 0; i < nLimit; ++i)
        summary.Add(states.Get(int32_t(i)),
                    std::min(span.nEnd, summary.nEnd + uint64_t(span.nBlockSize)));
    return summary;
}

std::string FormatReport(const CMapSummary& summary) {
    const CStateCounts& counts = summary.counts;
    char szLine[160];
    std::snprintf(szLine, sizeof szLine,
                  "blocks=%" PRIu64 " block_size=%" PRIu32 " equal=%" PRIu64 " different=%" PRIu64
                  " length_differs=%" PRIu64 " read_error=%" PRIu64 "\n",
                  summary.nBlocks, summary.nBlockSize, counts.nEqual, counts.nDifferent,
                  counts.nLengthDiffers, counts.nReadError);
    std::string strReport = szLine;
    for (const CStateRun& run : summary.runs) {
        std::snprintf(szLine, sizeof szLine, "%s 0x%016" PRIX64 " 0x%016" PRIX64 "\n",
                      StateName(run.nState), run.nFirst, run.nLast);
        strReport += szLine;
    }
    return strReport;
}

std::string FormatFirstDifference(uint8_t nState, uint64_t nOffset, const std::string& strEnded) {
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "%s %" PRIu64 " 0x%016" PRIX64, StateName(nState), nOffset,
                  nOffset);
    const std::string strEof = nState == BLOCK_LENGTH_DIFFERS ? " EOF on " + strEnded : "";
    return szLine + strEof + '\n';
}

int ExitStatusFor(const CStateCounts& counts) {
    if (counts.nReadError != 0 || counts.nPending != 0)
        return 2;
    return counts.nDifferent != 0 || counts.nLengthDiffers != 0 ? 1 : 0;
}

std::string FormatProgressLine(int32_t nProgress, int64_t nElapsedMs, uint64_t nBytesDone) {
    double dSeconds = double(nElapsedMs) / 1000.0;
    double dRate = dSeconds > 0 ? double(nBytesDone) / dSeconds / 1e6 : 0.0;
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "%3d.%02d%%  %.1fs  %.0f MB/s", nProgress / 100,
                  nProgress % 100, dSeconds, dRate);
    return szLine;
}

std::string FormatStreamProgressLine(uint64_t nBytesDone, int64_t nElapsedMs) {
    const std::string strRate = FormatProgressLine(0, nElapsedMs, nBytesDone);
    char szDone[32];
    std::snprintf(szDone, sizeof szDone, "%.0f MB", double(nBytesDone) / 1e6);
    return szDone + strRate.substr(strRate.find('%') + 1); // in the percent's place
}
