#include "cli/mapcli.h"

#include "cli/mapinput.h"
#include "cli/mapjson.h"
#include "cli/mappng.h"
#include "cli/maprun.h"
#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "engine/inputfile.h"
#include "view/cellgeometry.h"
#include "view/hexdump.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <ostream>

int CMapRun::Trouble(const std::string& strName, const std::string& strReason) {
    m_err << "quillet-map: " << strName << ": " << strReason << '\n' << std::flush;
    if (m_options.eOutput == EMapOutput::Json)
        Written(FormatJsonError(strName + ": " + strReason, 2));
    return 2;
}

int CMapRun::BadArguments(const std::string& strReason) {
    m_err << "quillet-map: " << strReason << '\n'
          << MapUsage() << "\nTry 'quillet-map --help' for more information.\n"
          << std::flush;
    if (m_options.eOutput == EMapOutput::Json)
        Written(FormatJsonError(strReason, 2));
    return 2;
}

void CMapRun::WaitForJob(CWorkerThread* pJob, CWaitSink& sink,
                         const std::function<uint64_t()>& bytesDone, bool bTerminal) {
    const int64_t nStart = MonotonicMs();
    while (!sink.WaitFinished(100)) {
        if (bTerminal)
            m_err << '\r'
                  << FormatProgressLine(pJob->m_nProgress.load(), MonotonicMs() - nStart,
                                        bytesDone())
                  << "\033[K" << std::flush;
    }
    if (bTerminal)
        m_err << "\r\033[K" << std::flush;
    pJob->Join();
    delete pJob;
}

namespace {
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

// Opens what can be measured; a stream's file object stays closed.
} // namespace

int CMapRun::OpenBoth(CInputFile& file1, CInputFile& file2) {
    CInputFile* pFiles[2] = {&file1, &file2};
    for (int k = 0; k < 2; ++k) {
        if (m_inputs[k].bStream)
            continue;
        if (!pFiles[k]->Open(m_inputs[k].strPath))
            return Trouble(Name(k), pFiles[k]->GetErrorText());
        if (HidesItsLength(*pFiles[k]))
            return Trouble(Name(k), "its length is given as 0 but it has content");
    }
    return 0;
}

int CMapRun::Written(const std::string& strText) {
    errno = 0;
    m_out.write(strText.data(), std::streamsize(strText.size()));
    m_out.flush();
    if (!m_out) {
        m_err << "quillet-map: standard output: " << ErrorText(errno != 0 ? errno : EIO) << '\n'
              << std::flush;
        return 2;
    }
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

// Compares the span's blocks on the engine's worker, the progress on a terminal meanwhile.
int CMapRun::RunJob(CBlockStateArray& states, const CBlockSpan& span, bool bTerminal) {
    std::atomic<uint8_t> bAbort{0};
    CLockedText error1;
    CLockedText error2;
    CWaitSink sink; // the job is joined below, so the worker's last call is over by then
    CJobSetup setup;
    setup.strPath1 = m_inputs[0].strPath;
    setup.strPath2 = m_inputs[1].strPath;
    setup.nTotalLength = span.nEnd;
    setup.nFirst = span.nFirst;
    setup.nBlockSize = span.nBlockSize;
    setup.pStates = &states;
    setup.pAbort = &bAbort;
    setup.pError1 = &error1;
    setup.pError2 = &error2;
    setup.pSink = &sink;
    // Only the first block that is not equal decides these answers.
    setup.bStopAtDifference =
        m_options.eOutput == EMapOutput::Quiet || m_options.eOutput == EMapOutput::First;
    CCompareJob* pJob = nullptr;
    std::string strError;
    if (!StartCompareJob(pJob, setup, strError))
        return Trouble("worker", strError);
    WaitForJob(
        pJob, sink, [&] { return uint64_t(pJob->m_nDone.load()) * span.nBlockSize; },
        bTerminal && m_options.eOutput != EMapOutput::Quiet);
    return WorkerTrouble(error1, error2);
}

int CMapRun::WorkerTrouble(const CLockedText& error1, const CLockedText& error2) {
    if (!error1.Get().empty())
        return Trouble(Name(0), Reason(error1.Get()));
    if (!error2.Get().empty())
        return Trouble(Name(1), Reason(error2.Get()));
    return 0;
}

// The exact byte inside block nBlock, which is not equal, where the files part: the first
// differing byte, or else where the shorter file ends. Read in slices, as a block may be 1 GiB.
int CMapRun::PrintFirstDifference(const CBlockSpan& span, uint32_t nBlock) {
    CInputFile file1;
    CInputFile file2;
    if (int nStatus = OpenBoth(file1, file2))
        return nStatus;
    uint64_t nAt = span.nFirst + uint64_t(nBlock) * span.nBlockSize;
    const uint64_t nEnd = std::min<uint64_t>(nAt + span.nBlockSize, span.nEnd);
    file1.SeekTo(int64_t(nAt));
    file2.SeekTo(int64_t(nAt));
    constexpr uint32_t kSlice = 65536;
    std::vector<uint8_t> slice1(kSlice);
    std::vector<uint8_t> slice2(kSlice);
    while (nAt < nEnd) {
        const auto nWant = uint32_t(std::min<uint64_t>(kSlice, nEnd - nAt));
        const uint32_t nGot1 = file1.Read(slice1.data(), nWant);
        if (file1.GetLastError() != 0)
            return Trouble(Name(0), file1.GetErrorText());
        const uint32_t nGot2 = file2.Read(slice2.data(), nWant);
        if (file2.GetLastError() != 0)
            return Trouble(Name(1), file2.GetErrorText());
        const uint32_t nBoth = std::min(nGot1, nGot2);
        const auto nSame =
            uint32_t(std::mismatch(slice1.begin(), slice1.begin() + nBoth, slice2.begin()).first -
                     slice1.begin());
        if (nSame < nBoth || nGot1 != nGot2 || nBoth < nWant) {
            const uint8_t nState = nSame < nBoth ? BLOCK_DIFFERENT : BLOCK_LENGTH_DIFFERS;
            const std::string& strEnded = Name(nGot1 <= nGot2 ? 0 : 1);
            if (int nFailed = Written(FormatFirstDifference(nState, nAt + nSame, strEnded)))
                return nFailed;
            return 1;
        }
        nAt += nBoth;
    }
    // The worker saw a difference that is no longer there.
    return Trouble(Name(0) + " or " + Name(1), "changed while they were compared");
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

    const uint64_t nLonger = std::max(nSize1, nSize2);
    CBlockSpan span;
    span.nEnd = nLonger;
    // A range past the end of both files compares nothing, and nothing compared is equal.
    if (m_options.bRange) {
        span.nFirst = m_options.nRangeFirst;
        span.nEnd = std::max(span.nFirst, std::min(nLonger, m_options.nRangeLast + 1));
    }
    const uint64_t L = span.nEnd - span.nFirst;
    // The shorter file ends inside what is compared: different without reading a byte.
    if (m_options.eOutput == EMapOutput::Quiet && L > 0 && std::min(nSize1, nSize2) < span.nEnd)
        return 1;

    CBlockStateArray states;
    CCellGeometry geometry(states);
    CPngOutput png;
    const bool bPng = !m_options.strPng.empty();
    const bool bPngOut = m_options.strPng == "-";
    uint32_t B = m_options.nBlockSize ? m_options.nBlockSize : DefaultBlockSize(L);
    uint64_t K = (L + B - 1) / B;
    if (bPng) {
        if (int nStatus = OpenPicture(png))
            return nStatus;
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
            return Trouble(Name(0), ErrorText(ENOMEM));
    }
    span.nBlockSize = B;
    span.nBlocks = uint32_t(K);
    if (L > 0) {
        if (int nStatus = RunJob(states, span, bTerminal))
            return nStatus;
    }

    if (m_options.eOutput == EMapOutput::Quiet || m_options.eOutput == EMapOutput::First) {
        uint32_t i = 0;
        while (i < span.nBlocks && states.Get(int32_t(i)) == BLOCK_EQUAL)
            ++i;
        if (i == span.nBlocks)
            return 0;
        const uint8_t nState = states.Get(int32_t(i));
        if (nState == BLOCK_READ_ERROR) {
            m_err << "quillet-map: 1 blocks could not be read\n" << std::flush;
            return 2;
        }
        if (m_options.eOutput == EMapOutput::Quiet)
            return 1;
        return PrintFirstDifference(span, i);
    }
    CMapResult result{Name(0), Name(1), nSize1, nSize2, m_options.bRange, Summarize(states, span)};
    if (nSize1 != nSize2 && std::min(nSize1, nSize2) < span.nEnd && L > 0)
        result.nEnded = nSize1 < nSize2 ? 1 : 2;
    const uint64_t nUnreadable = result.summary.counts.nReadError;
    const std::string strUnreadable =
        nUnreadable ? std::to_string(nUnreadable) + " blocks could not be read" : "";
    if (!bPngOut) {
        if (int nFailed = Answer(result, strUnreadable))
            return nFailed;
    } else if (!strUnreadable.empty()) {
        m_err << "quillet-map: " << strUnreadable << '\n' << std::flush;
    }
    if (bPng) {
        if (int nStatus = WritePicture(
                RenderMap(geometry, states, m_options.nMapWidth, m_options.nMapHeight).get(), png))
            return nStatus;
    }
    return ExitStatusFor(result.summary.counts);
}

int CMapRun::OpenPicture(CPngOutput& png) {
    if (m_options.strPng == "-")
        return 0;
    // The picture would take the place of a file it shows.
    if (IsSameFile(m_options.strPng, m_inputs[0].strPath) ||
        IsSameFile(m_options.strPng, m_inputs[1].strPath))
        return Trouble(m_options.strPng, "is one of the files compared; name another picture");
    // Found unwritable before the comparison, not after it.
    std::string strError;
    if (!png.Create(m_options.strPng, strError))
        return Trouble(m_options.strPng, strError);
    return 0;
}

int CMapRun::WritePicture(const uint32_t* pPixels, CPngOutput& png) {
    if (!pPixels)
        return Trouble(m_options.strPng, ErrorText(ENOMEM));
    const bool bPngOut = m_options.strPng == "-";
    std::string strError;
    if (bPngOut ? !WritePng(m_out, pPixels, m_options.nMapWidth, m_options.nMapHeight, strError)
                : !png.Commit(pPixels, m_options.nMapWidth, m_options.nMapHeight, strError))
        return Trouble(bPngOut ? "standard output" : m_options.strPng, strError);
    return 0;
}

// The report or the JSON document of a finished comparison, and what could not be read.
int CMapRun::Answer(const CMapResult& result, const std::string& strUnreadable) {
    const int nStatus = ExitStatusFor(result.summary.counts);
    const std::string strText = m_options.eOutput == EMapOutput::Json
                                    ? FormatJsonReport(result, nStatus, strUnreadable)
                                    : FormatReport(result.summary);
    if (int nFailed = Written(strText))
        return nFailed;
    if (!strUnreadable.empty())
        m_err << "quillet-map: " << strUnreadable << '\n' << std::flush;
    return 0;
}

int CMapRun::Run(const std::vector<std::string>& args, bool bTerminal) {
    std::string strError;
    if (!ParseMapArgs(args, m_options, strError))
        return BadArguments(strError);
    if (m_options.bHelp)
        return Written(MapHelp());
    if (m_options.bVersion)
        return Written(MapVersion());
    const std::string* pNames[2] = {&m_options.strFile1, &m_options.strFile2};
    for (int k = 0; k < 2; ++k) {
        if (std::string strWhy = ClassifyInput(*pNames[k], m_nStdin, m_inputs[k]); !strWhy.empty())
            return Trouble(*pNames[k], strWhy);
    }
    for (const CMapInput& input : m_inputs) {
        // The aligned walk goes back and forth in both files.
        if (input.bStream && m_options.bAlign)
            return Trouble(input.strName, "is " + input.strKind +
                                              ", read once in order; --align needs to read both "
                                              "files at will");
        const char* pszNeeds = m_options.eOutput == EMapOutput::Dump ? "--dump"
                               : m_options.strPng.empty()            ? nullptr
                                                                     : "--png";
        if (input.bStream && pszNeeds)
            return Trouble(input.strName,
                           "is " + input.strKind + "; " + pszNeeds + " needs the length first");
    }
    if (m_inputs[0].bStream || m_inputs[1].bStream)
        return CompareStreams(bTerminal);
    if (m_options.bAlign)
        return CompareAligned(bTerminal);
    return m_options.eOutput == EMapOutput::Dump ? PrintDump() : Compare(bTerminal);
}

int RunMap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool bTerminal, int nStdin) {
    return CMapRun(out, err, nStdin).Run(args, bTerminal);
}
