#include "cli/mapjson.h"

#include "ui/pathtext.h"

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

std::string FormatJsonReport(const CMapResult& result, const CBlockStateArray& states, int nStatus,
                             const std::string& strError) {
    const CBlockSpan& span = result.span;
    const CStateCounts counts = CountStates(states, span.nBlocks);
    std::string strRuns = "[";
    ForEachRun(states, span, [&](uint8_t nState, uint64_t nFirst, uint64_t nLast) {
        if (strRuns.size() > 1)
            strRuns += ',';
        strRuns += Object({{"state", JsonString(StateName(nState))},
                           {"first", Number(nFirst)},
                           {"last", Number(nLast)}});
    });
    strRuns += ']';
    CMembers members = {
        {"file1",
         Object({{"path", JsonString(result.strPath1)}, {"length", Number(result.nLength1)}})},
        {"file2",
         Object({{"path", JsonString(result.strPath2)}, {"length", Number(result.nLength2)}})},
    };
    if (result.bRange)
        members.emplace_back(
            "range", Object({{"first", Number(span.nFirst)}, {"last", Number(span.nEnd - 1)}}));
    members.insert(members.end(),
                   {{"block_size", Number(span.nBlockSize)},
                    {"blocks", Number(span.nBlocks)},
                    {"counts", Object({{"equal", Number(counts.nEqual)},
                                       {"different", Number(counts.nDifferent)},
                                       {"length_differs", Number(counts.nLengthDiffers)},
                                       {"read_error", Number(counts.nReadError)}})},
                    {"runs", strRuns}});
    if (!strError.empty())
        members.emplace_back("error", JsonString(strError));
    members.emplace_back("status", Number(uint64_t(nStatus)));
    return Object(members) + '\n';
}

std::string FormatJsonError(const std::string& strError, int nStatus) {
    return Object({{"error", JsonString(strError)}, {"status", Number(uint64_t(nStatus))}}) + '\n';
}
