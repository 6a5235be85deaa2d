#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// Milliseconds on a monotonic clock; only differences mean anything.
int64_t MonotonicMs();

// A job that runs on a thread of its own. Nobody has to wait for the thread: once Run has
// said it finished it no longer touches the job, which may then be destroyed at once.
class CWorkerThread {
public:
    class CStopwatch {
    public:
        virtual ~CStopwatch() = default;
        std::atomic<int64_t> m_start{0}; // when comparing began (MonotonicMs)
        int32_t m_nElapsedMs = 0;        // written by the user-interface thread
        char m_szText[32] = {};          // the elapsed time as text, likewise
    };

    CWorkerThread() = default;
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    virtual void Run() = 0;

    // Starts Run on a new thread. False, with the system's reason, when no thread could be
    // made; then Run never runs.
    bool StartThread(std::string& strError);
    // Waits for the thread to end, for callers that may wait (the headless scanner, tests).
    void Join();

    static unsigned ThreadEntry(CWorkerThread* pJob);

    std::thread m_hThread;
    uint32_t m_nThreadId = 0;
    CStopwatch m_stopwatch;
    std::atomic<int32_t> m_nProgress{0}; // hundredths of a percent, 0 to 10000
};

// For tests: the next StartThread calls fail as if the system had no thread to give.
void SimulateThreadStartFailure(bool bFail);
