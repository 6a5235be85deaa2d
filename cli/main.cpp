// quillet-map: the comparison engine for scripts. Exit status as cmp: 0 all blocks equal,
// 1 some block differs, 2 trouble (a file that cannot be opened or read, a bad argument).
// With --dump it prints the hex dump of a range instead: 0 once printed, 2 trouble. With --png
// it also writes the map as the window paints it; a picture not written is trouble.
#include "cli/mapcli.h"
#include "cli/mappng.h"
#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "engine/inputfile.h"
#include "view/cellgeometry.h"
#include "view/hexdump.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Wakes the main thread when the worker finishes; progress is polled instead, so the
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

int Trouble(const std::string& strName, const std::string& strReason) {
    std::fprintf(stderr, "quillet-map: %s: %s\n", strName.c_str(), strReason.c_str());
    return 2;
}

int BadArguments(const std::string& strReason) {
    std::fprintf(stderr, "quillet-map: %s\n%s\n", strReason.c_str(), MapUsage().c_str());
    return 2;
}

// The worker's error texts carry a "Compare error: " prefix meant for the window.
std::string Reason(const std::string& strText) {
    size_t n = strText.find(": ");
    return n == std::string::npos ? strText : strText.substr(n + 2);
}

// The text a tooltip shows for the range, then a line feed.
int PrintDump(const CMapOptions& options) {
    CInputFile file1;
    CInputFile file2;
    if (!file1.Open(options.strFile1))
        return Trouble(options.strFile1, file1.GetErrorText());
    if (!file2.Open(options.strFile2))
        return Trouble(options.strFile2, file2.GetErrorText());
    std::string strText = BuildHexDump(file1, file2, options.nDumpFirst, options.nDumpLast);
    if (strText.empty())
        return Trouble("dump", ErrorText(ENOMEM));
    strText += '\n';
    std::fwrite(strText.data(), 1, strText.size(), stdout);
    if (std::fflush(stdout) != 0)
        return Trouble("standard output", ErrorText(errno));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CMapOptions options;
    std::string strError;
    if (!ParseMapArgs(std::vector<std::string>(argv + 1, argv + argc), options, strError))
        return BadArguments(strError);
    if (options.bHelp) {
        std::fputs(MapHelp().c_str(), stdout);
        return 0;
    }
    if (options.bVersion) {
        std::printf("%s\n", MapVersion().c_str());
        return 0;
    }
    if (options.bDump)
        return PrintDump(options);

    CInputFile file1;
    CInputFile file2;
    if (!file1.Open(options.strFile1))
        return Trouble(options.strFile1, file1.GetErrorText());
    if (!file2.Open(options.strFile2))
        return Trouble(options.strFile2, file2.GetErrorText());
    uint64_t nSize1 = file1.GetSize();
    uint64_t nSize2 = file2.GetSize();
    file1.Close();
    file2.Close();

    const uint64_t L = nSize1 > nSize2 ? nSize1 : nSize2;
    CBlockStateArray states;
    CCellGeometry geometry(states);
    CPngOutput png;
    uint32_t B = options.nBlockSize ? options.nBlockSize : DefaultBlockSize(L);
    uint64_t K = (L + B - 1) / B;
    if (!options.strPng.empty()) {
        // The picture would take the place of a file it shows.
        if (IsSameFile(options.strPng, options.strFile1) ||
            IsSameFile(options.strPng, options.strFile2))
            return Trouble(options.strPng, "is one of the files compared; name another picture");
        // Found unwritable before the comparison, not after it.
        if (!png.Create(options.strPng, strError))
            return Trouble(options.strPng, strError);
        // As the window sizes its array from the largest map area and fixes B from it.
        const int32_t w = options.nMapWidth;
        const int32_t h = options.nMapHeight;
        states.Allocate(w, h);
        if (states.m_nCount == 0)
            return Trouble(options.strPng, ErrorText(ENOMEM));
        geometry.SetTotalLength(L, w, h);
        if (L > 0)
            B = geometry.m_nBlockSize;
        K = (L + B - 1) / B;
        if (K > uint64_t(states.m_nCount) || B > (1u << 30))
            return Trouble(options.strPng, "a map of " + std::to_string(w) + "x" +
                                               std::to_string(h) +
                                               " cannot show files this long; choose a "
                                               "larger --size");
    } else {
        if (K > (uint64_t(1) << 30))
            return BadArguments("block size " + std::to_string(B) + " gives " + std::to_string(K) +
                                " blocks, more than 1073741824; choose a larger one");
        if (!states.AllocateCount(int32_t(K)))
            return Trouble(options.strFile1, ErrorText(ENOMEM));
    }
    if (L > 0) {
        std::atomic<uint8_t> bAbort{0};
        CLockedText error1;
        CLockedText error2;
        static CWaitSink sink; // outlives the worker's last call into it
        CJobSetup setup;
        setup.strPath1 = options.strFile1;
        setup.strPath2 = options.strFile2;
        setup.nTotalLength = L;
        setup.nBlockSize = B;
        setup.pStates = &states;
        setup.pAbort = &bAbort;
        setup.pError1 = &error1;
        setup.pError2 = &error2;
        setup.pSink = &sink;
        CCompareJob* pJob = nullptr;
        if (!StartCompareJob(pJob, setup, strError))
            return Trouble("worker", strError);
        const bool bShowProgress = isatty(STDERR_FILENO) != 0;
        const int64_t nStart = MonotonicMs();
        while (!sink.WaitFinished(100)) {
            if (bShowProgress) {
                std::string strLine = FormatProgressLine(
                    pJob->m_nProgress.load(), MonotonicMs() - nStart, uint64_t(pJob->m_nDone) * B);
                std::fprintf(stderr, "\r%s\033[K", strLine.c_str());
            }
        }
        if (bShowProgress)
            std::fputs("\r\033[K", stderr);
        pJob->Join();
        delete pJob;
        if (!error1.Get().empty())
            return Trouble(options.strFile1, Reason(error1.Get()));
        if (!error2.Get().empty())
            return Trouble(options.strFile2, Reason(error2.Get()));
    }

    std::string strReport = FormatReport(states, uint32_t(K), B, L);
    std::fwrite(strReport.data(), 1, strReport.size(), stdout);
    CStateCounts counts = CountStates(states, uint32_t(K));
    if (counts.nReadError != 0)
        std::fprintf(stderr, "quillet-map: %llu blocks could not be read\n",
                     static_cast<unsigned long long>(counts.nReadError));
    if (std::fflush(stdout) != 0)
        return Trouble("standard output", ErrorText(errno));
    if (!options.strPng.empty()) {
        std::unique_ptr<uint32_t[]> pPixels =
            RenderMap(geometry, states, options.nMapWidth, options.nMapHeight);
        if (!pPixels)
            return Trouble(options.strPng, ErrorText(ENOMEM));
        if (!png.Commit(pPixels.get(), options.nMapWidth, options.nMapHeight, strError))
            return Trouble(options.strPng, strError);
    }
    return ExitStatusFor(counts);
}
