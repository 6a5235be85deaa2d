#pragma once

#include "engine/workerthread.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class CBlockStateArray;

// A text that the worker writes and the user-interface thread reads, under its own lock.
class CLockedText {
public:
    void Set(const std::string& strText);
    std::string Get() const;
    void Clear() { Set(std::string()); }

private:
    mutable std::mutex m_lock;
    std::string m_strText;
};

// Where a job reports. Both calls come from the worker thread and must only hand the news
// on (the window posts events 2001 and 2002); Finished comes exactly once per started job,
// after which the worker no longer touches the job.
class IJobSink {
public:
    virtual ~IJobSink() = default;
    virtual void PostProgress() = 0;
    virtual void PostFinished() = 0;
};

// What a run reads and writes; owned by others, unchanged while the job exists.
struct CJobSetup {
    std::string strPath1;
    std::string strPath2;
    uint64_t nTotalLength = 0; // L, where comparing ends: the longer file's length, or less
    uint32_t nBlockSize = 0;   // B, a power of two below 2^31
    CBlockStateArray* pStates = nullptr;
    const std::atomic<uint8_t>* pAbort = nullptr;
    CLockedText* pError1 = nullptr;
    CLockedText* pError2 = nullptr;
    IJobSink* pSink = nullptr;
    uint64_t nFirst = 0;            // where block 0 starts, at most L: part of both files
    bool bStopAtDifference = false; // end after the first block that is not equal
};

// Compares two files block by block on its own thread and records one state per block.
class CCompareJob : public CWorkerThread {
public:
    explicit CCompareJob(const CJobSetup& setup) : m_setup(setup) {}
    void Run() override;

    std::atomic<int32_t> m_nDone{0}; // blocks processed so far

private:
    CJobSetup m_setup;
};

// Creates a job in rpJob and starts its thread. When the setup cannot be run (no block
// size, more blocks than the array holds) or no thread can be made, rpJob is null again,
// strError tells why and false is returned; nothing will be posted then.
bool StartCompareJob(CCompareJob*& rpJob, const CJobSetup& setup, std::string& strError);
