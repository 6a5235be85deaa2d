#include "cli/mapcli.h"

#include "cli/mappng.h"
#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "engine/inputfile.h"
#include "view/cellgeometry.h"
#include "view/hexdump.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>

namespace {
constexpr uint64_t kMaxBlockSize = uint64_t(1) << 30;
constexpr uint64_t kDefaultMaxBlocks = uint64_t(1) << 20;
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

// FIRST:LAST, each decimal or 0x hex, FIRST <= LAST, at most kMaxDump bytes; nothing is
// stored unless the whole range is good.
bool ParseRange(const std::string& strText, uint64_t& nFirst, uint64_t& nLast) {
    size_t nColon = strText.find(':');
    uint64_t nFrom = 0;
    uint64_t nTo = 0;
    if (nColon == std::string::npos || !ParseNumber(strText.substr(0, nColon), kMaxOffset, nFrom) ||
        !ParseNumber(strText.substr(nColon + 1), kMaxOffset, nTo) || nFrom > nTo ||
        nTo - nFrom >= kMaxDump)
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

const char* StateName(uint8_t nState) {
    switch (nState) {
    case BLOCK_DIFFERENT:
        return "different";
    case BLOCK_LENGTH_DIFFERS:
        return "length-differs";
    case BLOCK_READ_ERROR:
        return "read-error";
    default:
        return "pending";
    }
}
} // namespace

namespace {

// Wakes the waiting thread when the worker finishes; progress is polled instead, so the
// worker pays nothing per post.
class CWaitSink : public IJobSink {
public:
    void PostProgress() override {}
    void PostFinished() override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bFinished = true;
        m_finished.notify_one();
    }
    // True once finished; otherwise returns after nTimeoutMs.
    bool WaitFinished(int nTimeoutMs) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_finished.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                   [this] { return m_bFinished; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_finished;
    bool m_bFinished = false;
};

class CMapRun {
public:
    CMapRun(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}
    int Run(const std::vector<std::string>& args, bool bTerminal);

private:
    int Trouble(const std::string& strName, const std::string& strReason) {
        m_err << "quillet-map: " << strName << ": " << strReason << '\n' << std::flush;
        return 2;
    }
    int BadArguments(const std::string& strReason) {
        m_err << "quillet-map: " << strReason << '\n' << MapUsage() << '\n' << std::flush;
        return 2;
    }
    int OpenBoth(CInputFile& file1, CInputFile& file2);
    int Written(const std::string& strText);
    int PrintDump();
    int Compare(bool bTerminal);

    std::ostream& m_out;
    std::ostream& m_err;
    CMapOptions m_options;
};

// The worker's error texts carry a "Compare error: " prefix meant for the window.
std::string Reason(const std::string& strText) {
    size_t n = strText.find(": ");
    return n == std::string::npos ? strText : strText.substr(n + 2);
}

// Some files (those under /proc, for one) give their length as 0 yet have content; compared
// by that length they would pass for empty, and two of them for equal.
bool HidesItsLength(CInputFile& file) {
    if (file.GetSize() != 0)
        return false;
    unsigned char byte = 0;
    bool bHasContent = file.Read(&byte, 1) != 0;
    file.SeekTo(0);
    return bHasContent;
}

int CMapRun::OpenBoth(CInputFile& file1, CInputFile& file2) {
    for (auto [pFile, pName] :
         {std::pair{&file1, &m_options.strFile1}, std::pair{&file2, &m_options.strFile2}}) {
        if (!pFile->Open(*pName))
            return Trouble(*pName, pFile->GetErrorText());
        if (HidesItsLength(*pFile))
            return Trouble(*pName, "its length is given as 0 but it has content");
    }
    return 0;
}

int CMapRun::Written(const std::string& strText) {
    errno = 0;
    m_out.write(strText.data(), std::streamsize(strText.size()));
    m_out.flush();
    if (!m_out)
        return Trouble("standard output", ErrorText(errno != 0 ? errno : EIO));
    return 0;
}

// The text a tooltip shows for the range, then a line feed.
int CMapRun::PrintDump() {
    CInputFile file1;
    CInputFile file2;
    if (int nStatus = OpenBoth(file1, file2))
        return nStatus;
    std::string strText = BuildHexDump(file1, file2, m_options.nDumpFirst, m_options.nDumpLast);
    if (strText.empty())
        return Trouble("dump", ErrorText(ENOMEM));
    return Written(strText + '\n');
}

int CMapRun::Compare(bool bTerminal) {
    uint64_t nSize1 = 0;
    uint64_t nSize2 = 0;
    {
        CInputFile file1;
        CInputFile file2;
        if (int nStatus = OpenBoth(file1, file2))
            return nStatus;
        nSize1 = file1.GetSize();
        nSize2 = file2.GetSize();
    }

    const uint64_t L = nSize1 > nSize2 ? nSize1 : nSize2;
    CBlockStateArray states;
    CCellGeometry geometry(states);
    CPngOutput png;
    uint32_t B = m_options.nBlockSize ? m_options.nBlockSize : DefaultBlockSize(L);
    uint64_t K = (L + B - 1) / B;
    if (!m_options.strPng.empty()) {
        // The picture would take the place of a file it shows.
        if (IsSameFile(m_options.strPng, m_options.strFile1) ||
            IsSameFile(m_options.strPng, m_options.strFile2))
            return Trouble(m_options.strPng, "is one of the files compared; name another picture");
        // Found unwritable before the comparison, not after it.
        std::string strError;
        if (!png.Create(m_options.strPng, strError))
            return Trouble(m_options.strPng, strError);
        // As the window sizes its array from the largest map area and fixes B from it.
        const int32_t w = m_options.nMapWidth;
        const int32_t h = m_options.nMapHeight;
        states.Allocate(w, h);
        if (states.m_nCount == 0)
            return Trouble(m_options.strPng, ErrorText(ENOMEM));
        geometry.SetTotalLength(L, w, h);
        if (L > 0)
            B = geometry.m_nBlockSize;
        K = (L + B - 1) / B;
        if (K > uint64_t(states.m_nCount) || B > (1u << 30))
            return Trouble(m_options.strPng, "a map of " + std::to_string(w) + "x" +
                                                 std::to_string(h) +
                                                 " cannot show files this long; choose a "
                                                 "larger --size");
    } else {
        if (K > (uint64_t(1) << 30))
            return BadArguments("block size " + std::to_string(B) + " gives " + std::to_string(K) +
                                " blocks, more than 1073741824; choose a larger one");
        if (!states.AllocateCount(int32_t(K)))
            return Trouble(m_options.strFile1, ErrorText(ENOMEM));
    }
    if (L > 0) {
        std::atomic<uint8_t> bAbort{0};
        CLockedText error1;
        CLockedText error2;
        CWaitSink sink; // the job is joined below, so the worker's last call is over by then
        CJobSetup setup;
        setup.strPath1 = m_options.strFile1;
        setup.strPath2 = m_options.strFile2;
        setup.nTotalLength = L;
        setup.nBlockSize = B;
        setup.pStates = &states;
        setup.pAbort = &bAbort;
        setup.pError1 = &error1;
        setup.pError2 = &error2;
        setup.pSink = &sink;
        CCompareJob* pJob = nullptr;
        std::string strError;
        if (!StartCompareJob(pJob, setup, strError))
            return Trouble("worker", strError);
        const int64_t nStart = MonotonicMs();
        while (!sink.WaitFinished(100)) {
            if (bTerminal)
                m_err << '\r'
                      << FormatProgressLine(pJob->m_nProgress.load(), MonotonicMs() - nStart,
                                            uint64_t(pJob->m_nDone.load()) * B)
                      << "\033[K" << std::flush;
        }
        if (bTerminal)
            m_err << "\r\033[K" << std::flush;
        pJob->Join();
        delete pJob;
        if (!error1.Get().empty())
            return Trouble(m_options.strFile1, Reason(error1.Get()));
        if (!error2.Get().empty())
            return Trouble(m_options.strFile2, Reason(error2.Get()));
    }

    CStateCounts counts = CountStates(states, uint32_t(K));
    if (int nStatus = Written(FormatReport(states, uint32_t(K), B, L)))
        return nStatus;
    if (counts.nReadError != 0)
        m_err << "quillet-map: " << counts.nReadError << " blocks could not be read\n"
              << std::flush;
    if (!m_options.strPng.empty()) {
        std::unique_ptr<uint32_t[]> pPixels =
            RenderMap(geometry, states, m_options.nMapWidth, m_options.nMapHeight);
        if (!pPixels)
            return Trouble(m_options.strPng, ErrorText(ENOMEM));
        std::string strError;
        if (!png.Commit(pPixels.get(), m_options.nMapWidth, m_options.nMapHeight, strError))
            return Trouble(m_options.strPng, strError);
    }
    return ExitStatusFor(counts);
}

int CMapRun::Run(const std::vector<std::string>& args, bool bTerminal) {
    std::string strError;
    if (!ParseMapArgs(args, m_options, strError))
        return BadArguments(strError);
    if (m_options.bHelp)
        return Written(MapHelp());
    if (m_options.bVersion)
        return Written(MapVersion() + '\n');
    return m_options.bDump ? PrintDump() : Compare(bTerminal);
}

} // namespace

int RunMap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool bTerminal) {
    return CMapRun(out, err).Run(args, bTerminal);
}

std::string MapUsage() {
    return "Usage: quillet-map [--block-size=BYTES | --png=PICTURE [--size=WxH]] "
           "[--dump=FIRST:LAST] [--] FILE1 FILE2";
}

std::string MapVersion() {
    return "quillet-map (Quillet Tavrel) 1.00";
}

std::string MapHelp() {
    return MapUsage() + "\n"
                        "Compare two files block by block and list where they differ.\n"
                        "\n"
                        "  --block-size=BYTES  block size, a power of two from 1 to 2^30\n"
                        "                      (default: the smallest power of two, at least\n"
                        "                      4096, that keeps the file at 1048576 blocks)\n"
                        "  --dump=FIRST:LAST   instead of comparing, print the hex dump of both\n"
                        "                      files around their first difference in bytes\n"
                        "                      FIRST to LAST (decimal or 0x hex, FIRST <= LAST,\n"
                        "                      at most 2147483648 bytes)\n"
                        "  --png=PICTURE       also write the map as the window shows it to the\n"
                        "                      PNG file PICTURE, with the window's block size\n"
                        "  --size=WxH          the map area of the picture in pixels, each side\n"
                        "                      from 5 to 16384 (default: 1024x768)\n"
                        "  --help              show this help and exit\n"
                        "  --version           show the version and exit\n"
                        "\n"
                        "The first line counts the blocks in each state; every further line is\n"
                        "a run of blocks that are not equal: STATE 0xFIRST 0xLAST, the run's\n"
                        "first and last byte offsets, STATE one of different, length-differs,\n"
                        "read-error.\n"
                        "\n"
                        "Exit status: 0 all blocks equal, 1 some block differs, 2 trouble\n"
                        "(a file that cannot be opened or read, or a bad argument). With --dump:\n"
                        "0 once the dump is printed, 2 trouble.\n";
}

bool ParseMapArgs(const std::vector<std::string>& args, CMapOptions& options,
                  std::string& strError) {
    std::vector<std::string> files;
    bool bOptionsEnded = false;
    bool bSize = false;
    for (const std::string& arg : args) {
        if (bOptionsEnded || arg.empty() || arg[0] != '-') {
            files.push_back(arg);
        } else if (arg == "--") {
            bOptionsEnded = true;
        } else if (arg == "--help") {
            options.bHelp = true;
        } else if (arg == "--version") {
            options.bVersion = true;
        } else if (arg.rfind("--block-size=", 0) == 0) {
            std::string strValue = arg.substr(13);
            uint64_t nValue = 0;
            if (!ParseNumber(strValue, kMaxBlockSize, nValue) || nValue == 0 ||
                (nValue & (nValue - 1)) != 0) {
                strError =
                    "block size '" + strValue + "' is not a power of two from 1 to 1073741824";
                return false;
            }
            options.nBlockSize = uint32_t(nValue);
        } else if (arg.rfind("--dump=", 0) == 0) {
            std::string strValue = arg.substr(7);
            if (!ParseRange(strValue, options.nDumpFirst, options.nDumpLast)) {
                strError = "dump range '" + strValue +
                           "' is not FIRST:LAST with FIRST <= LAST and at most 2147483648 bytes";
                return false;
            }
            options.bDump = true;
        } else if (arg.rfind("--png=", 0) == 0) {
            options.strPng = arg.substr(6);
            if (options.strPng.empty()) {
                strError = "--png needs the name of the picture to write";
                return false;
            }
        } else if (arg.rfind("--size=", 0) == 0) {
            std::string strValue = arg.substr(7);
            if (!ParseSize(strValue, options.nMapWidth, options.nMapHeight)) {
                strError = "map size '" + strValue + "' is not WxH with each side from " +
                           std::to_string(kMinMapSide) + " to " + std::to_string(kMaxMapSide) +
                           " pixels";
                return false;
            }
            bSize = true;
        } else {
            strError = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (options.bHelp || options.bVersion)
        return true;
    if (bSize && options.strPng.empty()) {
        strError = "--size is the size of the picture; it needs --png";
        return false;
    }
    // The picture shows the window's blocks, which its map area decides.
    if (!options.strPng.empty() && options.nBlockSize != 0) {
        strError = "--png takes the window's block size; leave out --block-size";
        return false;
    }
    if (!options.strPng.empty() && options.bDump) {
        strError = "--dump compares nothing, so it draws no --png";
        return false;
    }
    if (files.size() != 2) {
        strError = files.size() < 2 ? "two files are needed" : "more than two files given";
        return false;
    }
    options.strFile1 = files[0];
    options.strFile2 = files[1];
    return true;
}

uint32_t DefaultBlockSize(uint64_t nLength) {
    uint64_t nBlockSize = 4096;
    // Rounded up without adding first: a length near 2^64 would wrap to a few blocks.
    while (nBlockSize < kMaxBlockSize &&
           nLength / nBlockSize + (nLength % nBlockSize != 0) > kDefaultMaxBlocks)
        nBlockSize *= 2;
    return uint32_t(nBlockSize);
}

CStateCounts CountStates(const CBlockStateArray& states, uint32_t nBlocks) {
    CStateCounts counts;
    for (uint32_t i = 0; i < nBlocks && int64_t(i) < states.m_nCount; ++i) {
        switch (states.Get(int32_t(i))) {
        case BLOCK_EQUAL:
            ++counts.nEqual;
            break;
        case BLOCK_DIFFERENT:
            ++counts.nDifferent;
            break;
        case BLOCK_LENGTH_DIFFERS:
            ++counts.nLengthDiffers;
            break;
        case BLOCK_READ_ERROR:
            ++counts.nReadError;
            break;
        default:
            ++counts.nPending;
            break;
        }
    }
    return counts;
}

std::string FormatReport(const CBlockStateArray& states, uint32_t nBlocks, uint32_t nBlockSize,
                         uint64_t nLength) {
    CStateCounts counts = CountStates(states, nBlocks);
    char szLine[160];
    std::snprintf(szLine, sizeof szLine,
                  "blocks=%" PRIu32 " block_size=%" PRIu32 " equal=%" PRIu64 " different=%" PRIu64
                  " length_differs=%" PRIu64 " read_error=%" PRIu64 "\n",
                  nBlocks, nBlockSize, counts.nEqual, counts.nDifferent, counts.nLengthDiffers,
                  counts.nReadError);
    std::string strReport = szLine;
    uint32_t nLimit = nBlocks;
    if (int64_t(nLimit) > states.m_nCount)
        nLimit = uint32_t(states.m_nCount);
    uint32_t i = 0;
    while (i < nLimit) {
        uint8_t nState = states.Get(int32_t(i));
        uint32_t j = i + 1;
        while (j < nLimit && states.Get(int32_t(j)) == nState)
            ++j;
        if (nState != BLOCK_EQUAL) {
            uint64_t nFirst = uint64_t(i) * nBlockSize;
            uint64_t nLast = uint64_t(j) * nBlockSize - 1;
            if (nLast > nLength - 1)
                nLast = nLength - 1;
            std::snprintf(szLine, sizeof szLine, "%s 0x%016" PRIX64 " 0x%016" PRIX64 "\n",
                          StateName(nState), nFirst, nLast);
            strReport += szLine;
        }
        i = j;
    }
    return strReport;
}

int ExitStatusFor(const CStateCounts& counts) {
    if (counts.nReadError != 0 || counts.nPending != 0)
        return 2;
    return counts.nDifferent != 0 || counts.nLengthDiffers != 0 ? 1 : 0;
}

std::string FormatProgressLine(int32_t nProgress, int64_t nElapsedMs, uint64_t nBytesDone) {
    double dSeconds = double(nElapsedMs) / 1000.0;
    double dRate = dSeconds > 0 ? double(nBytesDone) / dSeconds / 1e6 : 0.0;
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "%3d.%02d%%  %.1fs  %.0f MB/s", nProgress / 100,
                  nProgress % 100, dSeconds, dRate);
    return szLine;
}
