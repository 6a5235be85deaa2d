#include "engine/workerthread.h"

#include <cerrno>
#include <chrono>
#include <system_error>

#include "engine/inputfile.h"

namespace {
std::atomic<bool> g_bFailThreadStart{false};
std::atomic<uint32_t> g_nNextThreadId{1};
} // namespace

int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SimulateThreadStartFailure(bool bFail) {
    g_bFailThreadStart.store(bFail);
}

CWorkerThread::~CWorkerThread() {
    // Never waits: a finished job's thread may still be on its way out.
    if (m_hThread.joinable())
        m_hThread.detach();
}

unsigned CWorkerThread::ThreadEntry(CWorkerThread* pJob) {
    pJob->Run();
    return 0;
}

bool CWorkerThread::StartThread(std::string& strError) {
    if (g_bFailThreadStart.load()) {
        strError = ErrorText(EAGAIN);
        return false;
    }
    try {
        m_nThreadId = g_nNextThreadId.fetch_add(1);
        m_hThread = std::thread(&CWorkerThread::ThreadEntry, this);
    } catch (const std::system_error& e) {
        strError = ErrorText(e.code().value());
        return false;
    }
    return true;
}

void CWorkerThread::Join() {
    if (m_hThread.joinable() && m_hThread.get_id() != std::this_thread::get_id())
        m_hThread.join();
}
