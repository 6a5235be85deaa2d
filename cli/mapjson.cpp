#include "cli/mapjson.h"

#include "cli/mapalign.h"
#include "ui/pathtext.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace {
using CMembers = std::vector<std::pair<const char*, std::string>>;

// The members' values are JSON already; the names are plain identifiers.
std::string Object(const CMembers& members) {
    std::string strText = "{";
    for (const auto& [pszName, strValue] : members) {
        if (strText.size() > 1)
            strText += ',';
        strText += std::string("\"") + pszName + "\":" + strValue;
    }
    return strText + '}';
}

std::string Number(uint64_t n) {
    return std::to_string(n);
}
} // namespace

std::string JsonString(const std::string& strBytes) {
    // The library escapes text but holds only valid UTF-8, which a lone surrogate is not;
    // those few escapes are written here, everything between them by the library.
    const std::u16string strText = PathToText(strBytes);
    std::string strJson = "\"";
    std::u16string strValid;
    auto flush = [&] {
        const std::string strQuoted = nlohmann::json(TextToPath(strValid)).dump();
        strJson += strQuoted.substr(1, strQuoted.size() - 2);
        strValid.clear();
    };
    for (size_t i = 0; i < strText.size(); ++i) {
        const char16_t c = strText[i];
        const bool bPair = c >= 0xD800 && c <= 0xDBFF && i + 1 < strText.size();
        if (bPair) {
            strValid += c;
            strValid += strText[++i];
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            flush();
            char szEscape[8];
            std::snprintf(szEscape, sizeof szEscape, "\\u%04x", unsigned(c));
            strJson += szEscape;
        } else {
            strValid += c;
        }
    }
    flush();
    return strJson + '"';
}

std::string FormatJsonReport(const CMapResult& result, int nStatus, const std::string& strError) {
    const CMapSummary& summary = result.summary;
    const CStateCounts& counts = summary.counts;
    std::string strRuns = "[";
    for (const CStateRun& run : summary.runs) {
        if (strRuns.size() > 1)
            strRuns += ',';
        std::string strState = StateName(run.nState);
        std::replace(strState.begin(), strState.end(), '-', '_');
        strRuns += Object({{"state", JsonString(strState)},
                           {"first", Number(run.nFirst)},
                           {"last", Number(run.nLast)}});
    }
    strRuns += ']';
    auto length = [](const std::optional<uint64_t>& n) { return n ? Number(*n) : "null"; };
    CMembers members = {
        {"format", Number(kJsonFormat)},
        {"file1",
         Object({{"path", JsonString(result.strPath1)}, {"length", length(result.nLength1)}})},
        {"file2",
         Object({{"path", JsonString(result.strPath2)}, {"length", length(result.nLength2)}})},
    };
    // An empty range ends before it starts: last is first - 1, so last - first + 1 counts it.
    if (result.bRange)
        members.emplace_back("range",
                             Object({{"first", Number(summary.nFirst)},
                                     {"last", std::to_string(int64_t(summary.nEnd) - 1)}}));
    if (result.pAlignment)
        members.emplace_back("alignment", FormatJsonAlignment(*result.pAlignment));
    else
        members.insert(members.end(),
                       {{"block_size", Number(summary.nBlockSize)},
                        {"blocks", Number(summary.nBlocks)},
                        {"counts", Object({{"equal", Number(counts.nEqual)},
                                           {"different", Number(counts.nDifferent)},
                                           {"length_differs", Number(counts.nLengthDiffers)},
                                           {"read_error", Number(counts.nReadError)}})},
                        {"runs", strRuns}});
    if (result.nEnded != 0)
        members.emplace_back("eof", JsonString(result.nEnded == 1 ? "file1" : "file2"));
    if (!strError.empty())
        members.emplace_back("error", JsonString(strError));
    members.emplace_back("status", Number(uint64_t(nStatus)));
    return Object(members) + '\n';
}

std::string FormatJsonError(const std::string& strError, int nStatus) {
    return Object({{"format", Number(kJsonFormat)},
                   {"error", JsonString(strError)},
                   {"status", Number(uint64_t(nStatus))}}) +
           '\n';
}
