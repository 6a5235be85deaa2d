#pragma once

#include "engine/comparejob.h"
#include "engine/workerthread.h"

#include <atomic>
#include <cstdint>
#include <string>

class CAlignment;
class CSharedAlignment;

// What an aligned comparison reads and writes; owned by others, unchanged while the job exists.
struct CAlignSetup {
    std::string strPath1;
    std::string strPath2;
    // The files' lengths as the caller found them; the alignment tiles these. Bytes a file no
    // longer has when it is read stand against nothing (deleted or inserted).
    uint64_t nLength1 = 0;
    uint64_t nLength2 = 0;
    CAlignment* pAlignment = nullptr; // written by the worker; read once it has finished
    const std::atomic<uint8_t>* pAbort = nullptr;
    CLockedText* pError1 = nullptr;
    CLockedText* pError2 = nullptr;
    IJobSink* pSink = nullptr;
    // When given, brought up to the segments settled so far before each progress post, so that
    // they can be shown while the run goes on; started afresh when the run begins.
    CSharedAlignment* pSettled = nullptr;
};

// Aligns two files on its own thread: follows insertions, deletions and moves, and reports
// them as segments. Progress counts file 1's bytes; the finish is posted exactly once.
class CAlignJob : public CWorkerThread {
public:
    explicit CAlignJob(const CAlignSetup& setup) : m_setup(setup) {}
    void Run() override;

    std::atomic<uint64_t> m_nDone1{0}; // file-1 bytes settled so far

private:
    void Progress(uint64_t nDone1);

    CAlignSetup m_setup;
    uint64_t m_nPosted = 0; // m_nDone1 at the last progress post
};

// Creates a job in rpJob and starts its thread. When the setup is incomplete or no thread can
// be made, rpJob is null again, strError tells why and false is returned; nothing is posted then.
bool StartAlignJob(CAlignJob*& rpJob, const CAlignSetup& setup, std::string& strError);
