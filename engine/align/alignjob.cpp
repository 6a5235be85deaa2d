#include "engine/align/alignjob.h"

#include "engine/align/alignment.h"
#include "engine/align/alignreader.h"
#include "engine/align/alignwalk.h"

#include <algorithm>
#include <cerrno>

namespace {
// A progress post per this many bytes of file 1, as the plain comparison posts per 32 blocks.
constexpr uint64_t kPostEvery = uint64_t(8) << 20;
} // namespace

void CAlignJob::Progress(uint64_t nDone1) {
    const uint64_t L = m_setup.nLength1;
    nDone1 = std::min(nDone1, L);
    // Going back over bytes after an anchor does not take progress back.
    if (nDone1 <= m_nDone1.load(std::memory_order_relaxed))
        return;
    m_nDone1.store(nDone1, std::memory_order_relaxed);
    if (nDone1 - m_nPosted < kPostEvery && nDone1 < L)
        return;
    m_nPosted = nDone1;
    m_nProgress.store(int32_t(nDone1 * 10000.0 / double(L)), std::memory_order_relaxed);
    // Not at the end: matching moves may have written the segments anew by then, and the
    // finished alignment is the finish's to hand over.
    if (m_setup.pSettled && nDone1 < L)
        m_setup.pSettled->CatchUp(*m_setup.pAlignment);
    m_setup.pSink->PostProgress();
}

void CAlignJob::Run() {
    CAlignment& out = *m_setup.pAlignment;
    out.Reset(m_setup.nLength1, m_setup.nLength2);
    if (m_setup.pSettled)
        m_setup.pSettled->Reset(m_setup.nLength1, m_setup.nLength2);
    {
        // The readers close before the finish is posted, so no file stays open past it.
        CAlignReader reader1;
        CAlignReader reader2;
        if (!reader1.Open(m_setup.strPath1, m_setup.nLength1)) {
            m_setup.pError1->Set("Compare error: " + reader1.GetErrorText());
        } else if (!reader2.Open(m_setup.strPath2, m_setup.nLength2)) {
            m_setup.pError2->Set("Comapre error: " + reader2.GetErrorText());
        } else {
            CAlignWalk walk(reader1, reader2, out, m_setup.pAbort,
                            [this](uint64_t n) { Progress(n); });
            if (!walk.Allocate()) {
                m_setup.pError1->Set("Compare error: " + ErrorText(ENOMEM));
            } else {
                m_stopwatch.m_start.store(MonotonicMs());
                walk.Run();
                if (out.Covered1() == m_setup.nLength1)
                    m_nProgress.store(10000, std::memory_order_relaxed);
            }
        }
    }
    m_setup.pSink->PostFinished();
}

bool StartAlignJob(CAlignJob*& rpJob, const CAlignSetup& setup, std::string& strError) {
    rpJob = nullptr;
    if (!setup.pAlignment || !setup.pSink || !setup.pError1 || !setup.pError2) {
        strError = ErrorText(EINVAL);
        return false;
    }
    rpJob = new CAlignJob(setup);
    if (!rpJob->StartThread(strError)) {
        delete rpJob;
        rpJob = nullptr;
        return false;
    }
    return true;
}
