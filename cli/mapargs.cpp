#include "cli/mapargs.h"

#include <getopt.h>
#include <map>

namespace {
constexpr uint64_t kMaxBlockSize = uint64_t(1) << 30;
constexpr uint64_t kMaxDump = uint64_t(1) << 31;
constexpr uint64_t kMaxOffset = uint64_t(INT64_MAX);

// Decimal, or hexadecimal after 0x; false for anything else or a value above nMax.
bool ParseNumber(const std::string& strText, uint64_t nMax, uint64_t& nValue) {
    size_t i = 0;
    unsigned nBase = 10;
    if (strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X')) {
        nBase = 16;
        i = 2;
    }
    if (i >= strText.size())
        return false;
    nValue = 0;
    for (; i < strText.size(); ++i) {
        char c = strText[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (nBase == 16 && c >= 'a' && c <= 'f')
            d = unsigned(c - 'a' + 10);
        else if (nBase == 16 && c >= 'A' && c <= 'F')
            d = unsigned(c - 'A' + 10);
        else
            return false;
        if (nValue > (nMax - d) / nBase)
            return false;
        nValue = nValue * nBase + d;
    }
    return true;
}

// FIRST:LAST, each decimal or 0x hex, FIRST <= LAST, fewer than nMaxSpan bytes; nothing is
// stored unless the whole range is good.
bool ParseRange(const std::string& strText, uint64_t nMaxSpan, uint64_t& nFirst, uint64_t& nLast) {
    size_t nColon = strText.find(':');
    uint64_t nFrom = 0;
    uint64_t nTo = 0;
    if (nColon == std::string::npos || !ParseNumber(strText.substr(0, nColon), kMaxOffset, nFrom) ||
        !ParseNumber(strText.substr(nColon + 1), kMaxOffset, nTo) || nFrom > nTo ||
        nTo - nFrom >= nMaxSpan)
        return false;
    nFirst = nFrom;
    nLast = nTo;
    return true;
}

// WxH, each side from kMinMapSide to kMaxMapSide; nothing is stored unless both are good.
bool ParseSize(const std::string& strText, int32_t& w, int32_t& h) {
    const size_t nX = strText.find('x');
    uint64_t nWidth = 0;
    uint64_t nHeight = 0;
    if (nX == std::string::npos || strText.find('x', nX + 1) != std::string::npos ||
        strText.find_first_not_of("0123456789x") != std::string::npos ||
        !ParseNumber(strText.substr(0, nX), kMaxMapSide, nWidth) ||
        !ParseNumber(strText.substr(nX + 1), kMaxMapSide, nHeight) || nWidth < kMinMapSide ||
        nHeight < kMinMapSide)
        return false;
    w = int32_t(nWidth);
    h = int32_t(nHeight);
    return true;
}

// Long options without a short form; above any character.
enum : int { OPT_DUMP = 256, OPT_FIRST, OPT_JSON, OPT_PNG, OPT_RANGE, OPT_SIZE };

const option kLongOptions[] = {
    {"block-size", required_argument, nullptr, 'b'},
    {"dump", required_argument, nullptr, OPT_DUMP},
    {"first", no_argument, nullptr, OPT_FIRST},
    {"help", no_argument, nullptr, 'h'},
    {"json", no_argument, nullptr, OPT_JSON},
    {"png", required_argument, nullptr, OPT_PNG},
    {"quiet", no_argument, nullptr, 's'},
    {"range", required_argument, nullptr, OPT_RANGE},
    {"size", required_argument, nullptr, OPT_SIZE},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// "-" in front: file names come back in place, so options may follow them whatever
// POSIXLY_CORRECT says; ":" then: a missing value is told apart from an unknown option.
constexpr const char* kShortOptions = "-:hVsb:";

int LongOptionsStartingWith(const std::string& strName) {
    int n = 0;
    for (const option* p = kLongOptions; p->name; ++p)
        n += std::string(p->name).rfind(strName, 0) == 0;
    return n;
}

// Why the value of an option typed as strAs is refused, or "" when it is taken.
std::string TakeValue(int c, const std::string& strAs, const std::string& strValue,
                      CMapOptions& options) {
    const std::string strOffsets = "' is not FIRST:LAST, offsets in decimal or 0x hex with "
                                   "FIRST <= LAST";
    const std::string strOption = "option '" + strAs + "': ";
    switch (c) {
    case 'b': {
        uint64_t n = 0;
        if (!ParseNumber(strValue, kMaxBlockSize, n) || n == 0 || (n & (n - 1)) != 0)
            return strOption + "block size '" + strValue +
                   "' is not a power of two from 1 to 1073741824";
        options.nBlockSize = uint32_t(n);
        return {};
    }
    case OPT_DUMP:
        if (!ParseRange(strValue, kMaxDump, options.nDumpFirst, options.nDumpLast))
            return strOption + "dump range '" + strValue + strOffsets +
                   " and at most 2147483648 bytes";
        return {};
    case OPT_RANGE:
        if (!ParseRange(strValue, UINT64_MAX, options.nRangeFirst, options.nRangeLast))
            return strOption + "range '" + strValue + strOffsets;
        options.bRange = true;
        return {};
    case OPT_PNG:
        if (strValue.empty())
            return "option '" + strAs + "' needs the name of the picture to write";
        options.strPng = strValue;
        return {};
    default: // OPT_SIZE
        if (!ParseSize(strValue, options.nMapWidth, options.nMapHeight))
            return strOption + "map size '" + strValue + "' is not WxH with each side from " +
                   std::to_string(kMinMapSide) + " to " + std::to_string(kMaxMapSide) + " pixels";
        return {};
    }
}

// Options that do not go together, by how they were typed; "" when none.
std::string Conflict(const CMapOptions& options, const std::map<EMapOutput, std::string>& outputs,
                     std::map<int, std::string>& typed) {
    if (outputs.size() > 1) {
        auto first = outputs.begin();
        auto second = std::next(first);
        if (first->first == EMapOutput::Quiet)
            return first->second + " prints nothing, so it goes with no " + second->second;
        return first->second + " and " + second->second + " are two outputs; choose one";
    }
    const bool bPng = !options.strPng.empty();
    if (typed.count(OPT_SIZE) && !bPng)
        return typed[OPT_SIZE] + " is the size of the picture; it needs --png";
    // The picture shows the window's blocks, which its map area decides.
    if (bPng && options.nBlockSize != 0)
        return typed[OPT_PNG] + " takes the window's block size; leave out " + typed['b'];
    if (bPng && options.eOutput == EMapOutput::Dump)
        return typed[OPT_DUMP] + " compares nothing, so it draws no " + typed[OPT_PNG];
    if (bPng && (options.eOutput == EMapOutput::Quiet || options.eOutput == EMapOutput::First))
        return outputs.begin()->second + " stops at the first difference, so it draws no " +
               typed[OPT_PNG];
    if (options.bRange && options.eOutput == EMapOutput::Dump &&
        (options.nDumpLast < options.nRangeFirst || options.nDumpFirst > options.nRangeLast))
        return "the " + typed[OPT_DUMP] + " range lies outside the " + typed[OPT_RANGE];
    return {};
}
} // namespace

bool ParseMapArgs(const std::vector<std::string>& args, CMapOptions& options,
                  std::string& strError) {
    std::vector<std::string> copies{"quillet-map"};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& str : copies)
        argv.push_back(str.data());
    argv.push_back(nullptr);
    const int argc = int(copies.size());

    std::vector<std::string> files;
    std::map<EMapOutput, std::string> outputs; // each asked for, as typed
    std::map<int, std::string> typed;          // each option given, as typed
    optind = 0;                                // 0, not 1: forgets a half-read earlier list
    opterr = 0;
    for (;;) {
        // The argument getopt_long reads next; a long option stands alone in it.
        const int nAt = optind == 0 ? 1 : optind;
        const int c = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
        if (c == -1)
            break;
        if (c == 1) {
            files.emplace_back(optarg);
            continue;
        }
        const std::string strArg = nAt < argc ? copies[size_t(nAt)] : std::string();
        std::string strAs;
        if (strArg.rfind("--", 0) == 0)
            strAs = strArg.substr(0, strArg.find('='));
        else
            strAs = std::string("-") + char(c == '?' || c == ':' ? optopt : c);
        switch (c) {
        case ':':
            strError = "option '" + strAs + "' needs a value";
            return false;
        case '?':
            if (optopt == 0 && LongOptionsStartingWith(strAs.substr(2)) > 1)
                strError = "option '" + strAs + "' is ambiguous";
            else if (optopt != 0 && strAs.rfind("--", 0) == 0)
                strError = "option '" + strAs + "' takes no value";
            else
                strError = "unknown option '" + strAs + "'";
            return false;
        case 'h':
            options.bHelp = true;
            break;
        case 'V':
            options.bVersion = true;
            break;
        case 's':
            outputs.emplace(EMapOutput::Quiet, strAs);
            break;
        case OPT_FIRST:
            outputs.emplace(EMapOutput::First, strAs);
            break;
        case OPT_JSON:
            outputs.emplace(EMapOutput::Json, strAs);
            break;
        default:
            strError = TakeValue(c, strAs, optarg, options);
            if (!strError.empty())
                return false;
            if (c == OPT_DUMP)
                outputs.emplace(EMapOutput::Dump, strAs);
            break;
        }
        typed.emplace(c, strAs);
    }
    for (int i = optind; i < argc; ++i)
        files.push_back(copies[size_t(i)]);
    if (options.bHelp || options.bVersion)
        return true;
    if (!outputs.empty())
        options.eOutput = outputs.begin()->first;
    strError = Conflict(options, outputs, typed);
    if (!strError.empty())
        return false;
    if (files.size() != 2) {
        strError = files.size() < 2 ? "two files are needed" : "more than two files given";
        return false;
    }
    // Only the part of the dump inside the range is compared.
    if (options.bRange && options.eOutput == EMapOutput::Dump) {
        options.nDumpFirst = std::max(options.nDumpFirst, options.nRangeFirst);
        options.nDumpLast = std::min(options.nDumpLast, options.nRangeLast);
    }
    options.strFile1 = files[0];
    options.strFile2 = files[1];
    return true;
}

std::string MapUsage() {
    return "Usage: quillet-map [OPTION]... [--] FILE1 FILE2";
}

std::string MapVersion() {
    return "quillet-map (Quillet Tavrel) 1.00";
}

std::string MapHelp() {
    return MapUsage() + "\n"
                        "Compare two files block by block and list where they differ.\n"
                        "\n"
                        "  -b, --block-size=BYTES  block size, a power of two from 1 to 2^30\n"
                        "                          (default: the smallest power of two, at\n"
                        "                          least 4096, that keeps 1048576 blocks)\n"
                        "      --range=FIRST:LAST  compare only bytes FIRST to LAST of both\n"
                        "                          files; blocks start at FIRST\n"
                        "  -s, --quiet             print nothing and stop at the first block\n"
                        "                          that is not equal: the exit status alone\n"
                        "      --first             print the offset of the first byte that\n"
                        "                          differs, in decimal and hex, and stop\n"
                        "      --json              print the report as one JSON document\n"
                        "      --dump=FIRST:LAST   instead of comparing, print the hex dump of\n"
                        "                          both files around their first difference\n"
                        "                          in bytes FIRST to LAST (at most 2147483648)\n"
                        "      --png=PICTURE       also write the map as the window shows it\n"
                        "                          to the PNG file PICTURE, with the window's\n"
                        "                          block size\n"
                        "      --size=WxH          the map area of the picture in pixels, each\n"
                        "                          side from 5 to 16384 (default: 1024x768)\n"
                        "  -h, --help              show this help and exit\n"
                        "  -V, --version           show the version and exit\n"
                        "\n"
                        "Offsets are decimal or 0x hex, and every offset printed is a file\n"
                        "offset. Long options may be shortened to any unique beginning.\n"
                        "\n"
                        "The first line counts the blocks in each state; every further line is\n"
                        "a run of blocks that are not equal: STATE 0xFIRST 0xLAST, the run's\n"
                        "first and last byte offsets, STATE one of different, length-differs,\n"
                        "read-error. --first prints STATE DECIMAL 0xHEX of the first byte that\n"
                        "differs, or of the end of the shorter file.\n"
                        "\n"
                        "Exit status: 0 all blocks equal, 1 some block differs, 2 trouble\n"
                        "(a file that cannot be opened or read, or a bad argument). With --dump:\n"
                        "0 once the dump is printed, 2 trouble.\n";
}
