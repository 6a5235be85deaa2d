#pragma once

#include "cli/mapargs.h"
#include "cli/mapinput.h"
#include "cli/mapjson.h"

#include "engine/comparejob.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

class CAlignment;
class CBlockStateArray;
class CInputFile;
class CPngOutput;

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

// One run of quillet-map, from the arguments to the exit status (see RunMap). Files that can
// be measured go to the engine's worker; streams are compared as they are read
// (maprunstream.cpp).
class CMapRun {
public:
    CMapRun(std::ostream& out, std::ostream& err, int nStdin)
        : m_out(out), m_err(err), m_nStdin(nStdin) {}
    int Run(const std::vector<std::string>& args, bool bTerminal);

private:
    // Said on standard error, and in JSON also as the document standard output expects;
    // each returns the exit status 2.
    int Trouble(const std::string& strName, const std::string& strReason);
    int BadArguments(const std::string& strReason);
    const std::string& Name(int k) const { return m_inputs[k].strName; }
    int OpenBoth(CInputFile& file1, CInputFile& file2);
    int Written(const std::string& strText);
    int PrintDump();
    int Compare(bool bTerminal);
    int CompareStreams(bool bTerminal);
    int CompareAligned(bool bTerminal);
    int RunJob(CBlockStateArray& states, const CBlockSpan& span, bool bTerminal);
    // Waits for pJob, showing its progress on a terminal, then joins and deletes it.
    void WaitForJob(CWorkerThread* pJob, CWaitSink& sink,
                    const std::function<uint64_t()>& bytesDone, bool bTerminal);
    // Trouble for the first of the worker's error texts that is set; 0 when neither is.
    int WorkerTrouble(const CLockedText& error1, const CLockedText& error2);
    // Checks and creates the picture asked for before anything is compared.
    int OpenPicture(CPngOutput& png);
    // Writes the pixels (null: memory ran out) to the picture or to standard output.
    int WritePicture(const uint32_t* pPixels, CPngOutput& png);
    int PrintFirstDifference(const CBlockSpan& span, uint32_t nBlock);
    int Answer(const CMapResult& result, const std::string& strUnreadable);

    std::ostream& m_out;
    std::ostream& m_err;
    int m_nStdin;
    CMapOptions m_options;
    CMapInput m_inputs[2];
};
