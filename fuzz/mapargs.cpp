// quillet-map's arguments (the input split at NUL bytes), and the numbers and texts the
// scanner prints: the default block size, the report, the progress line and JSON strings.
#include "cli/mapcli.h"
#include "cli/mapjson.h"
#include "engine/blockstatearray.h"
#include "fuzz/fuzzinput.h"

#include <algorithm>
#include <cinttypes>
#include <nlohmann/json.hpp>

namespace {
bool SameOptions(const CMapOptions& a, const CMapOptions& b) {
    return a.bHelp == b.bHelp && a.bVersion == b.bVersion && a.eOutput == b.eOutput &&
           a.nBlockSize == b.nBlockSize && a.nDumpFirst == b.nDumpFirst &&
           a.nDumpLast == b.nDumpLast && a.bAlign == b.bAlign && a.bRange == b.bRange &&
           a.nRangeFirst == b.nRangeFirst && a.nRangeLast == b.nRangeLast && a.strPng == b.strPng &&
           a.nMapWidth == b.nMapWidth && a.nMapHeight == b.nMapHeight && a.strFile1 == b.strFile1 &&
           a.strFile2 == b.strFile2;
}

// The options taken, spelt out in full: parsed again, they must give the same.
std::vector<std::string> Canonical(const CMapOptions& options) {
    std::vector<std::string> args;
    auto range = [](uint64_t a, uint64_t b) { return std::to_string(a) + ":" + std::to_string(b); };
    if (options.bAlign)
        args.push_back("--align");
    if (options.nBlockSize != 0)
        args.push_back("--block-size=" + std::to_string(options.nBlockSize));
    if (options.bRange)
        args.push_back("--range=" + range(options.nRangeFirst, options.nRangeLast));
    static const char* const kOutputs[] = {nullptr, "--quiet", "--first", "--json", nullptr};
    if (options.eOutput == EMapOutput::Dump)
        args.push_back("--dump=" + range(options.nDumpFirst, options.nDumpLast));
    else if (kOutputs[int(options.eOutput)])
        args.push_back(kOutputs[int(options.eOutput)]);
    if (!options.strPng.empty()) {
        args.push_back("--png");
        args.push_back(options.strPng);
        args.push_back("--size=" + std::to_string(options.nMapWidth) + "x" +
                       std::to_string(options.nMapHeight));
    }
    args.insert(args.end(), {"--", options.strFile1, options.strFile2});
    return args;
}

void CheckArguments(const std::vector<std::string>& args) {
    CMapOptions options;
    std::string strError;
    const bool bOk = ParseMapArgs(args, options, strError);
    FUZZ_CHECK(bOk == strError.empty());
    FUZZ_CHECK(strError.find('\n') == std::string::npos || !bOk);

    // getopt_long keeps its place in globals: a second parse must start afresh.
    CMapOptions again;
    std::string strAgain;
    FUZZ_CHECK(ParseMapArgs(args, again, strAgain) == bOk && strAgain == strError);
    if (!bOk || options.bHelp || options.bVersion)
        return;
    FUZZ_CHECK(SameOptions(options, again));
    FUZZ_CHECK(std::count(args.begin(), args.end(), options.strFile1) > 0 &&
               std::count(args.begin(), args.end(), options.strFile2) > 0);
    const uint32_t B = options.nBlockSize;
    FUZZ_CHECK(B <= (uint32_t(1) << 30) && (B & (B - 1)) == 0);
    FUZZ_CHECK(!options.bRange || options.nRangeFirst <= options.nRangeLast);
    if (options.eOutput == EMapOutput::Dump) {
        FUZZ_CHECK(options.nDumpFirst <= options.nDumpLast &&
                   options.nDumpLast - options.nDumpFirst < (uint64_t(1) << 31));
        FUZZ_CHECK(!options.bRange || (options.nDumpFirst >= options.nRangeFirst &&
                                       options.nDumpLast <= options.nRangeLast));
    }
    FUZZ_CHECK(options.strPng.empty() || (B == 0 && (options.eOutput == EMapOutput::Report ||
                                                     options.eOutput == EMapOutput::Json)));
    // The aligned walk has no blocks, no range and no early stop.
    FUZZ_CHECK(!options.bAlign ||
               (B == 0 && !options.bRange &&
                (options.eOutput == EMapOutput::Report || options.eOutput == EMapOutput::Json)));
    FUZZ_CHECK(options.nMapWidth >= kMinMapSide && options.nMapWidth <= kMaxMapSide &&
               options.nMapHeight >= kMinMapSide && options.nMapHeight <= kMaxMapSide);

    CMapOptions canonical;
    FUZZ_CHECK(ParseMapArgs(Canonical(options), canonical, strError));
    FUZZ_CHECK(SameOptions(options, canonical));
}

// JsonString's text, read back by the library with each lone-surrogate escape turned into a
// private-use character, then that character into the byte it stands for: the bytes given.
void CheckJsonString(const std::string& strBytes) {
    // Text that already holds those private-use characters would read back ambiguously.
    if (strBytes.find("\xEE\x80") != std::string::npos ||
        strBytes.find("\xEE\x81") != std::string::npos ||
        strBytes.find("\xEE\x82") != std::string::npos ||
        strBytes.find("\xEE\x83") != std::string::npos)
        return;
    const std::string strJson = JsonString(strBytes);
    std::string strTaken;
    for (size_t i = 0; i < strJson.size(); ++i) {
        if (strJson[i] == '\\' && strJson.compare(i + 1, 3, "udc") == 0) {
            strTaken += "\\ue0";
            i += 3;
        } else if (strJson[i] == '\\') {
            strTaken += strJson.substr(i, 2);
            ++i;
        } else {
            strTaken += strJson[i];
        }
    }
    const std::string strText = nlohmann::json::parse(strTaken).get<std::string>();
    std::string strBack;
    for (size_t i = 0; i < strText.size(); ++i) {
        const auto b = static_cast<unsigned char>(strText[i]);
        const auto b1 = i + 2 < strText.size() ? static_cast<unsigned char>(strText[i + 1]) : 0;
        if (b == 0xEE && b1 >= 0x80 && b1 <= 0x83) {
            strBack +=
                char(((b1 & 0x3F) << 6) | (static_cast<unsigned char>(strText[i + 2]) & 0x3F));
            i += 2;
        } else {
            strBack += strText[i];
        }
    }
    FUZZ_CHECK(strBack == strBytes);
}

void CheckDefaultBlockSize(uint64_t L) {
    const uint64_t nMaxBlocks = uint64_t(1) << 20;
    const uint64_t B = DefaultBlockSize(L);
    auto blocks = [L](uint64_t nSize) { return L / nSize + (L % nSize != 0); };
    FUZZ_CHECK(B >= 4096 && B <= (uint64_t(1) << 30) && (B & (B - 1)) == 0);
    // Enough blocks of B, up to the largest size; and no smaller power would have done.
    FUZZ_CHECK(blocks(B) <= nMaxBlocks || B == (uint64_t(1) << 30));
    FUZZ_CHECK(B == 4096 || blocks(B / 2) > nMaxBlocks);
}

// The report of a comparison of L bytes in blocks of B, with the states from the input.
void CheckReport(CFuzzInput& input) {
    const uint32_t B = uint32_t(1) << input.TakeIn(0, 30);
    const uint32_t nMaxBlocks = uint32_t(input.TakeIn(1, 2048));
    const uint64_t L =
        uint64_t(input.TakeIn(1, int64_t(std::min<uint64_t>(uint64_t(nMaxBlocks) * B, INT64_MAX))));
    const uint32_t nBlocks = uint32_t(L / B + (L % B != 0));
    // Blocks start at a file offset: every offset printed is moved by it.
    const auto nBase = uint64_t(input.TakeIn(0, INT64_MAX - int64_t(L)));
    CBlockStateArray states;
    FUZZ_CHECK(states.AllocateCount(int32_t(nBlocks)));
    static const uint8_t kStates[] = {BLOCK_PENDING, BLOCK_EQUAL, BLOCK_DIFFERENT,
                                      BLOCK_LENGTH_DIFFERS, BLOCK_READ_ERROR};
    std::vector<uint8_t> bytes = input.TakeBytes(nBlocks);
    for (size_t i = 0; i < bytes.size(); ++i)
        states.Set(int32_t(i), kStates[bytes[i] % 5]);
    // Past the input's end the blocks stay pending, as blocks never compared.
    const std::string strReport =
        FormatReport(Summarize(states, CBlockSpan{nBase, nBase + L, B, nBlocks}));

    CStateCounts counts = CountStates(states, nBlocks);
    FUZZ_CHECK(counts.nEqual + counts.nDifferent + counts.nLengthDiffers + counts.nReadError +
                   counts.nPending ==
               nBlocks);
    char szSummary[160];
    std::snprintf(szSummary, sizeof szSummary,
                  "blocks=%" PRIu32 " block_size=%" PRIu32 " equal=%" PRIu64 " different=%" PRIu64
                  " length_differs=%" PRIu64 " read_error=%" PRIu64 "\n",
                  nBlocks, B, counts.nEqual, counts.nDifferent, counts.nLengthDiffers,
                  counts.nReadError);
    FUZZ_CHECK(strReport.rfind(szSummary, 0) == 0);

    // Each further line is a maximal run of one state other than equal, in order, within L.
    size_t nPos = std::strlen(szSummary);
    uint64_t nNext = 0; // the first byte a later run may start at
    uint8_t nLastState = 0xFF;
    while (nPos < strReport.size()) {
        size_t nEnd = strReport.find('\n', nPos);
        FUZZ_CHECK(nEnd != std::string::npos);
        std::string strLine = strReport.substr(nPos, nEnd - nPos);
        nPos = nEnd + 1;
        char szName[32] = {};
        uint64_t nFirst = 0, nLast = 0;
        FUZZ_CHECK(std::sscanf(strLine.c_str(), "%31s 0x%" SCNx64 " 0x%" SCNx64, szName, &nFirst,
                               &nLast) == 3);
        FUZZ_CHECK(nFirst >= nBase && nLast >= nBase);
        nFirst -= nBase;
        nLast -= nBase;
        FUZZ_CHECK(nFirst >= nNext && nFirst <= nLast && nLast < L && nFirst % B == 0);
        FUZZ_CHECK(nLast == L - 1 || (nLast + 1) % B == 0);
        const uint8_t nState = states.Get(int32_t(nFirst / B));
        const std::string strName = szName;
        FUZZ_CHECK(nState != BLOCK_EQUAL);
        FUZZ_CHECK(strName == (nState == BLOCK_DIFFERENT        ? "different"
                               : nState == BLOCK_LENGTH_DIFFERS ? "length-differs"
                               : nState == BLOCK_READ_ERROR     ? "read-error"
                                                                : "pending"));
        for (uint64_t k = nFirst / B; k <= nLast / B; ++k)
            FUZZ_CHECK(states.Get(int32_t(k)) == nState);
        // The run is maximal: the block after it is in another state.
        if (nLast + 1 < L)
            FUZZ_CHECK(states.Get(int32_t((nLast + 1) / B)) != nState);
        FUZZ_CHECK(nFirst != nNext || nFirst == 0 || nLastState != nState);
        nNext = nLast + 1;
        nLastState = nState;
    }
}

void CheckProgressLine(CFuzzInput& input) {
    const auto nProgress = int32_t(input.TakeIn(0, 10000));
    const auto nElapsedMs = input.TakeIn(0, INT64_MAX);
    const auto nBytes = input.Take<uint64_t>();
    const std::string strLine = FormatProgressLine(nProgress, nElapsedMs, nBytes);
    // Never cut short by its buffer, and always reads back as the percent it was given.
    FUZZ_CHECK(strLine.size() < 95);
    int nWhole = -1, nHundredths = -1;
    FUZZ_CHECK(std::sscanf(strLine.c_str(), "%d.%d%%", &nWhole, &nHundredths) == 2);
    FUZZ_CHECK(nWhole * 100 + nHundredths == nProgress);
    FUZZ_CHECK(strLine.find(" MB/s") == strLine.size() - 5);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    CFuzzInput input(pData, nSize);
    const auto nMode = input.Take<uint8_t>();
    switch (nMode % 5) {
    case 0:
        CheckDefaultBlockSize(input.Take<uint64_t>());
        break;
    case 1:
        CheckReport(input);
        break;
    case 2:
        CheckProgressLine(input);
        break;
    case 3:
        CheckArguments(SplitArguments(input.Rest()));
        break;
    default:
        CheckJsonString(input.Rest());
        break;
    }
    return 0;
}
