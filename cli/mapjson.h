#pragma once

#include "cli/mapreport.h"

#include <cstdint>
#include <string>

class CBlockStateArray;

// What a finished comparison is reported with, besides the states.
struct CMapResult {
    std::string strPath1;
    std::string strPath2;
    uint64_t nLength1 = 0;
    uint64_t nLength2 = 0;
    bool bRange = false; // part of the files compared: span.nFirst to span.nEnd - 1
    CBlockSpan span;
};

// The JSON string literal of any bytes: valid UTF-8 as itself, every other byte as the
// escape of the lone code unit U+DC80..U+DCFF that the window's path text shows for it.
std::string JsonString(const std::string& strBytes);

// The report as one JSON document on one line: paths, lengths, block size and count, the
// count of each state, the runs of blocks that are not equal, the trouble if any (strError)
// and the exit status.
std::string FormatJsonReport(const CMapResult& result, const CBlockStateArray& states, int nStatus,
                             const std::string& strError);

// {"error": TEXT, "status": N} on one line.
std::string FormatJsonError(const std::string& strError, int nStatus);
