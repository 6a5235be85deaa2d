#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

class CBlockStateArray;

// What quillet-map was asked to do.
struct CMapOptions {
    bool bHelp = false;
    bool bVersion = false;
    uint32_t nBlockSize = 0; // 0: chosen from the length
    bool bDump = false;      // print the hex dump of nDumpFirst to nDumpLast instead
    uint64_t nDumpFirst = 0;
    uint64_t nDumpLast = 0;
    std::string strFile1;
    std::string strFile2;
};

// The whole of quillet-map: args are the arguments after the program's name; the report or
// dump goes to out, trouble to err as "quillet-map: NAME: REASON", and the progress too when
// bTerminal. Returns the exit status: 0 all equal (or dump printed), 1 a difference, 2 trouble.
// Only reads the two files; writes nothing else.
int RunMap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool bTerminal);

std::string MapUsage();
std::string MapHelp();
std::string MapVersion();

// Reads the arguments after the program's name. False with a one-line reason for an
// unknown option, a bad block size or dump range, or not exactly two files (unless --help
// or --version).
bool ParseMapArgs(const std::vector<std::string>& args, CMapOptions& options,
                  std::string& strError);

// The smallest power of two, at least 4096, that keeps ceil(L / B) at or below 2^20.
uint32_t DefaultBlockSize(uint64_t nLength);

// Counts of each state over blocks 0 to K - 1.
struct CStateCounts {
    uint64_t nEqual = 0;
    uint64_t nDifferent = 0;
    uint64_t nLengthDiffers = 0;
    uint64_t nReadError = 0;
    uint64_t nPending = 0;
};
CStateCounts CountStates(const CBlockStateArray& states, uint32_t nBlocks);

// The report: the summary line, then one line per run of blocks that are not equal.
std::string FormatReport(const CBlockStateArray& states, uint32_t nBlocks, uint32_t nBlockSize,
                         uint64_t nLength);

// cmp's convention: 0 all equal, 1 a difference, 2 trouble (a block could not be read or
// was never compared).
int ExitStatusFor(const CStateCounts& counts);

// The one-line progress shown on a terminal: percent, elapsed time, throughput.
std::string FormatProgressLine(int32_t nProgress, int64_t nElapsedMs, uint64_t nBytesDone);
