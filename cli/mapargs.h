#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What quillet-map prints on standard output: one of these at a time.
enum class EMapOutput {
    Report, // the summary line and the runs
    Quiet,  // nothing: the exit status alone
    First,  // the offset of the first byte that differs
    Json,   // the report as one JSON document
    Dump,   // the hex dump of nDumpFirst to nDumpLast
};

// What quillet-map was asked to do.
struct CMapOptions {
    bool bHelp = false;
    bool bVersion = false;
    EMapOutput eOutput = EMapOutput::Report;
    uint32_t nBlockSize = 0; // 0: chosen from the length
    uint64_t nDumpFirst = 0;
    uint64_t nDumpLast = 0;
    bool bAlign = false; // follow insertions, deletions and moves instead of comparing by offset
    bool bRange = false; // compare only bytes nRangeFirst to nRangeLast
    uint64_t nRangeFirst = 0;
    uint64_t nRangeLast = 0;
    std::string strPng;       // the picture of the map to write; empty: none
    int32_t nMapWidth = 1024; // the map area the picture shows
    int32_t nMapHeight = 768;
    std::string strFile1;
    std::string strFile2;
};

// The sides a map area may have: one square at least, and a picture that fits in memory.
inline constexpr int32_t kMinMapSide = 5;
inline constexpr int32_t kMaxMapSide = 16384;

// Reads the arguments after the program's name as GNU tools do: --opt VALUE or --opt=VALUE,
// unique abbreviations, short forms, options after the file names, -- ends the options.
// False with a one-line reason, naming the option as typed, for an unknown or ambiguous
// option, a missing or bad value, options that do not go together, or not exactly two files
// (unless --help or --version). Uses getopt_long, so not from two threads at once.
bool ParseMapArgs(const std::vector<std::string>& args, CMapOptions& options,
                  std::string& strError);

std::string MapUsage();
std::string MapHelp();
std::string MapVersion();
