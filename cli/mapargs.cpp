#include "cli/mapargs.h"

#include "cli/mapunits.h"

#include <getopt.h>
#include <map>

namespace {
constexpr uint64_t kMaxBlockSize = uint64_t(1) << 30;
constexpr uint64_t kMaxDump = uint64_t(1) << 31;
constexpr uint64_t kMaxOffset = uint64_t(INT64_MAX);

// FIRST:LAST, each a byte count (4K, 0x10), FIRST <= LAST, fewer than nMaxSpan bytes; with
// bOpenEnd also FIRST:, which runs to the end of any file. Nothing is stored unless Ok; when
// TooLarge, strNumber is the number that is.
ENumber ParseRange(const std::string& strText, uint64_t nMaxSpan, bool bOpenEnd, uint64_t& nFirst,
                   uint64_t& nLast, std::string& strNumber) {
    const size_t nColon = strText.find(':');
    if (nColon == std::string::npos)
        return ENumber::Bad;
    uint64_t nValues[2] = {0, kMaxOffset};
    const std::string strParts[2] = {strText.substr(0, nColon), strText.substr(nColon + 1)};
    for (int i = 0; i < 2 && !(i == 1 && bOpenEnd && strParts[i].empty()); ++i) {
        strNumber = strParts[i];
        if (ENumber eRead = ParseByteCount(strNumber, kMaxOffset, nValues[i]); eRead != ENumber::Ok)
            return eRead;
    }
    if (nValues[0] > nValues[1] || nValues[1] - nValues[0] >= nMaxSpan)
        return ENumber::Bad;
    nFirst = nValues[0];
    nLast = nValues[1];
    return ENumber::Ok;
}

// WxH, each side from kMinMapSide to kMaxMapSide; nothing is stored unless both are good.
bool ParseSize(const std::string& strText, int32_t& w, int32_t& h) {
    const size_t nX = strText.find('x');
    uint64_t nWidth = 0;
    uint64_t nHeight = 0;
    if (nX == std::string::npos || strText.find('x', nX + 1) != std::string::npos ||
        strText.find_first_not_of("0123456789x") != std::string::npos ||
        ParseByteCount(strText.substr(0, nX), kMaxMapSide, nWidth) != ENumber::Ok ||
        ParseByteCount(strText.substr(nX + 1), kMaxMapSide, nHeight) != ENumber::Ok ||
        nWidth < kMinMapSide || nHeight < kMinMapSide)
        return false;
    w = int32_t(nWidth);
    h = int32_t(nHeight);
    return true;
}

// Long options without a short form; above any character.
enum : int { OPT_ALIGN = 256, OPT_DUMP, OPT_FIRST, OPT_JSON, OPT_PNG, OPT_RANGE, OPT_SIZE };

const option kLongOptions[] = {
    {"align", no_argument, nullptr, OPT_ALIGN},
    {"block-size", required_argument, nullptr, 'b'},
    {"dump", required_argument, nullptr, OPT_DUMP},
    {"first", no_argument, nullptr, OPT_FIRST},
    {"help", no_argument, nullptr, 'h'},
    {"json", no_argument, nullptr, OPT_JSON},
    {"png", required_argument, nullptr, OPT_PNG},
    {"quiet", no_argument, nullptr, 's'},
    {"range", required_argument, nullptr, OPT_RANGE},
    {"silent", no_argument, nullptr, 's'},
    {"size", required_argument, nullptr, OPT_SIZE},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// "-" in front: file names come back in place, so options may follow them whatever
// POSIXLY_CORRECT says; ":" then: a missing value is told apart from an unknown option.
constexpr const char* kShortOptions = "-:hVsb:";

// Whether an argument from nFrom on, before any "--", asks for JSON: a usage error is then
// also told as JSON, wherever on the line the option stood.
bool AsksForJson(const std::vector<std::string>& args, size_t nFrom) {
    for (size_t i = nFrom; i < args.size() && args[i] != "--"; ++i) {
        const std::string strName = args[i].substr(0, args[i].find('='));
        if (strName.size() >= 3 && std::string("--json").rfind(strName, 0) == 0)
            return true;
    }
    return false;
}

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
        const ENumber eRead = ParseByteCount(strValue, kMaxBlockSize, n);
        if (eRead == ENumber::TooLarge)
            return strOption + "block size '" + strValue + "' is too large; the most is " +
                   std::to_string(kMaxBlockSize) + " (1G)";
        if (eRead != ENumber::Ok || n == 0 || (n & (n - 1)) != 0)
            return strOption + "block size '" + strValue +
                   "' is not a power of two from 1 to 1073741824";
        options.nBlockSize = uint32_t(n);
        return {};
    }
    case OPT_DUMP:
    case OPT_RANGE: {
        const bool bDump = c == OPT_DUMP;
        std::string strNumber;
        const ENumber eRead = bDump ? ParseRange(strValue, kMaxDump, false, options.nDumpFirst,
                                                 options.nDumpLast, strNumber)
                                    : ParseRange(strValue, UINT64_MAX, true, options.nRangeFirst,
                                                 options.nRangeLast, strNumber);
        if (eRead == ENumber::TooLarge)
            return strOption + "offset '" + strNumber + "' is too large; the most is " +
                   std::to_string(kMaxOffset);
        if (eRead == ENumber::Bad)
            return strOption + (bDump ? "dump range '" : "range '") + strValue + strOffsets +
                   (bDump ? " and at most 2147483648 bytes" : " (or FIRST: to the end)");
        options.bRange = options.bRange || !bDump;
        return {};
    }
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
    if (options.strPng == "-" && options.eOutput == EMapOutput::Json)
        return typed[OPT_PNG] + "=- and " + typed[OPT_JSON] +
               " both write to standard output; choose one";
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
    // The aligned walk places every byte of both files: no blocks, no part, no early stop.
    if (options.bAlign && options.eOutput != EMapOutput::Report &&
        options.eOutput != EMapOutput::Json)
        return outputs.begin()->second +
               (options.eOutput == EMapOutput::Dump ? " shows bytes at one offset in both files"
                                                    : " stops at the first block that differs") +
               ", so it goes with no " + typed[OPT_ALIGN];
    if (options.bAlign && options.bRange)
        return typed[OPT_ALIGN] +
               " follows bytes wherever they moved, so it takes the whole files; leave out " +
               typed[OPT_RANGE];
    if (options.bAlign && options.nBlockSize != 0)
        return typed[OPT_ALIGN] + " compares no blocks; leave out " + typed['b'];
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
    auto fail = [&](const std::string& strReason, size_t nUnread) {
        strError = strReason;
        if (outputs.count(EMapOutput::Json) || AsksForJson(copies, nUnread))
            options.eOutput = EMapOutput::Json;
        return false;
    };
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
        const bool bLong = strArg.rfind("--", 0) == 0;
        switch (c) {
        case ':':
            return fail("option '" + strAs + "' needs a value", size_t(nAt));
        case '?':
            if (!bLong) // getopt's own words, also for the '-' in a cluster such as -s-
                return fail(std::string("invalid option -- '") + char(optopt) + "'", size_t(nAt));
            if (optopt == 0 && LongOptionsStartingWith(strAs.substr(2)) > 1)
                return fail("option '" + strAs + "' is ambiguous", size_t(nAt));
            if (optopt != 0)
                return fail("option '" + strAs + "' takes no value", size_t(nAt));
            return fail("unknown option '" + strAs + "'", size_t(nAt));
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
        case OPT_ALIGN:
            options.bAlign = true;
            break;
        default:
            if (std::string strWhy = TakeValue(c, strAs, optarg, options); !strWhy.empty())
                return fail(strWhy, size_t(optind));
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
    if (std::string strWhy = Conflict(options, outputs, typed); !strWhy.empty())
        return fail(strWhy, copies.size());
    if (files.size() != 2)
        return fail(files.size() < 2 ? "two files are needed" : "more than two files given",
                    copies.size());
    if (files[0] == "-" && files[1] == "-")
        return fail("standard input ('-') can stand for one of the files only", copies.size());
    // Only the part of the dump inside the range is compared.
    if (options.bRange && options.eOutput == EMapOutput::Dump) {
        options.nDumpFirst = std::max(options.nDumpFirst, options.nRangeFirst);
        options.nDumpLast = std::min(options.nDumpLast, options.nRangeLast);
    }
    options.strFile1 = files[0];
    options.strFile2 = files[1];
    return true;
}
