#pragma once

#include "cli/mapreport.h"

#include <cstdint>
#include <optional>
#include <string>

class CAlignment;

// The version of the documents below; raised when a member changes its meaning or goes.
inline constexpr int kJsonFormat = 1;

// What a finished comparison is reported with.
struct CMapResult {
    std::string strPath1;
    std::string strPath2;
    std::optional<uint64_t> nLength1; // none for a stream not read to its end
    std::optional<uint64_t> nLength2;
    bool bRange = false; // part of the files compared: summary.nFirst to summary.nEnd - 1
    CMapSummary summary;
    int nEnded = 0; // 1 or 2: the file that ends inside what was compared, before the other
    // The aligned comparison's outcome, which stands instead of blocks; none for a plain one.
    const CAlignment* pAlignment = nullptr;
};

// The JSON string literal of any bytes: valid UTF-8 as itself, every other byte as the
// escape of the lone code unit U+DC80..U+DCFF that the window's path text shows for it.
std::string JsonString(const std::string& strBytes);

// The report as one JSON document on one line: the format, paths, lengths, block size and
// count, the count of each state, the runs of blocks that are not equal, the file that ended
// first, the trouble if any (strError) and the exit status. An aligned comparison has the
// member "alignment" instead of the block size, count, counts and runs. Names are snake_case
// throughout, the states' too.
std::string FormatJsonReport(const CMapResult& result, int nStatus, const std::string& strError);

// {"format": 1, "error": TEXT, "status": N} on one line.
std::string FormatJsonError(const std::string& strError, int nStatus);
