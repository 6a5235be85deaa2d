// quillet-map's arguments (the input split at NUL bytes), and the numbers and texts the
// scanner prints: the default block size, the report and the progress line.
#include "cli/mapcli.h"
#include "engine/blockstatearray.h"
#include "fuzz/fuzzinput.h"

#include <charconv>
#include <cinttypes>

namespace {
constexpr size_t npos = std::string::npos;

// An independent reading of a number: decimal, or hexadecimal after 0x, at most nMax.
bool ReferenceNumber(const std::string& strText, uint64_t nMax, uint64_t& nValue) {
    int nBase = 10;
    size_t nSkip = 0;
    if (strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X')) {
        nBase = 16;
        nSkip = 2;
    }
    const char* pEnd = strText.data() + strText.size();
    // from_chars would take a sign; the options take digits alone.
    if (nSkip == strText.size() || strText[nSkip] == '-' || strText[nSkip] == '+')
        return false;
    auto [pStop, ec] = std::from_chars(strText.data() + nSkip, pEnd, nValue, nBase);
    return ec == std::errc() && pStop == pEnd && nValue <= nMax;
}

void CheckArguments(const std::vector<std::string>& args) {
    CMapOptions options;
    std::string strError;
    bool bOk = ParseMapArgs(args, options, strError);
    FUZZ_CHECK(bOk == strError.empty());
    FUZZ_CHECK(strError.find('\n') == std::string::npos || !bOk);

    // Replay the options the parser saw, with the reference reading of numbers.
    bool bExpectOk = true;
    bool bHelp = false;
    uint32_t nBlockSize = 0;
    bool bDump = false;
    uint64_t nDumpFirst = 0, nDumpLast = 0;
    std::string strPng;
    bool bSize = false;
    uint64_t nWidth = 1024, nHeight = 768;
    std::vector<std::string> files;
    bool bEnded = false;
    for (const std::string& arg : args) {
        if (bEnded || arg.empty() || arg[0] != '-') {
            files.push_back(arg);
        } else if (arg == "--") {
            bEnded = true;
        } else if (arg == "--help" || arg == "--version") {
            bHelp = true;
        } else if (arg.rfind("--block-size=", 0) == 0) {
            uint64_t n = 0;
            if (!ReferenceNumber(arg.substr(13), uint64_t(1) << 30, n) || n == 0 ||
                (n & (n - 1)) != 0) {
                bExpectOk = false;
                break;
            }
            nBlockSize = uint32_t(n);
        } else if (arg.rfind("--dump=", 0) == 0) {
            std::string strRange = arg.substr(7);
            size_t nColon = strRange.find(':');
            uint64_t a = 0, b = 0;
            if (nColon == std::string::npos ||
                !ReferenceNumber(strRange.substr(0, nColon), INT64_MAX, a) ||
                !ReferenceNumber(strRange.substr(nColon + 1), INT64_MAX, b) || a > b ||
                b - a >= (uint64_t(1) << 31)) {
                bExpectOk = false;
                break;
            }
            bDump = true;
            nDumpFirst = a;
            nDumpLast = b;
        } else if (arg.rfind("--png=", 0) == 0) {
            strPng = arg.substr(6);
            if (strPng.empty()) {
                bExpectOk = false;
                break;
            }
        } else if (arg.rfind("--size=", 0) == 0) {
            // Decimal sides around one x, each from 5 to 16384.
            std::string strSize = arg.substr(7);
            size_t nX = strSize.find('x');
            uint64_t w = 0, h = 0;
            if (nX == std::string::npos || strSize.find_first_not_of("0123456789x") != npos ||
                strSize.find('x', nX + 1) != npos ||
                !ReferenceNumber(strSize.substr(0, nX), 16384, w) ||
                !ReferenceNumber(strSize.substr(nX + 1), 16384, h) || w < 5 || h < 5) {
                bExpectOk = false;
                break;
            }
            bSize = true;
            nWidth = w;
            nHeight = h;
        } else {
            bExpectOk = false;
            break;
        }
    }
    if (bExpectOk && !bHelp &&
        (files.size() != 2 || (bSize && strPng.empty()) ||
         (!strPng.empty() && (nBlockSize != 0 || bDump))))
        bExpectOk = false;
    FUZZ_CHECK(bOk == bExpectOk);
    if (!bOk)
        return;
    FUZZ_CHECK(options.nBlockSize == nBlockSize);
    FUZZ_CHECK(options.bDump == bDump);
    if (bDump)
        FUZZ_CHECK(options.nDumpFirst == nDumpFirst && options.nDumpLast == nDumpLast);
    if (!bHelp) {
        FUZZ_CHECK(options.strFile1 == files[0] && options.strFile2 == files[1]);
        FUZZ_CHECK(options.strPng == strPng);
        FUZZ_CHECK(uint64_t(options.nMapWidth) == nWidth &&
                   uint64_t(options.nMapHeight) == nHeight);
    }
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
    CBlockStateArray states;
    FUZZ_CHECK(states.AllocateCount(int32_t(nBlocks)));
    static const uint8_t kStates[] = {BLOCK_PENDING, BLOCK_EQUAL, BLOCK_DIFFERENT,
                                      BLOCK_LENGTH_DIFFERS, BLOCK_READ_ERROR};
    std::vector<uint8_t> bytes = input.TakeBytes(nBlocks);
    for (size_t i = 0; i < bytes.size(); ++i)
        states.Set(int32_t(i), kStates[bytes[i] % 5]);
    // Past the input's end the blocks stay pending, as blocks never compared.
    const std::string strReport = FormatReport(states, nBlocks, B, L);

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
    switch (nMode % 4) {
    case 0:
        CheckDefaultBlockSize(input.Take<uint64_t>());
        break;
    case 1:
        CheckReport(input);
        break;
    case 2:
        CheckProgressLine(input);
        break;
    default:
        CheckArguments(SplitArguments(input.Rest()));
        break;
    }
    return 0;
}
