#pragma once
// One aligned comparison run on its own thread, its segments as text and its cells as the plain
// comparison's block states.

#include "engine/align/alignjob.h"
#include "engine/align/alignment.h"
#include "tests/testutil.h"

namespace testutil {

struct CAlignRun : IJobSink {
    CAlignment alignment;
    CLockedText error1;
    CLockedText error2;
    std::atomic<uint8_t> bAbort{0};
    std::atomic<int> nFinished{0};
    std::function<void()> onProgress; // called on the worker thread
    CAlignJob* pJob = nullptr;
    std::vector<int32_t> progress; // each value posted
    CSharedAlignment* pSettled = nullptr;

    void PostProgress() override {
        progress.push_back(pJob->m_nProgress.load());
        if (onProgress)
            onProgress();
    }
    void PostFinished() override { ++nFinished; }

    // Runs to the end, the files taken to be n1 and n2 bytes long; false when it did not start.
    bool Run(const std::string& strPath1, const std::string& strPath2, uint64_t n1, uint64_t n2) {
        CAlignSetup setup{strPath1, strPath2, n1,      n2,   &alignment,
                          &bAbort,  &error1,  &error2, this, pSettled};
        std::string strError;
        if (!StartAlignJob(pJob, setup, strError))
            return false;
        pJob->Join();
        delete std::exchange(pJob, nullptr);
        return true;
    }
    // "equal 0+10 0+10; inserted 10+0 10+1; ..."
    QByteArray Segments() const {
        QByteArrayList list;
        for (const CAlignSegment& s : alignment.m_segments)
            list << QByteArray(AlignKindName(s.eKind)) + ' ' + QByteArray::number(s.nOffset1) +
                        '+' + QByteArray::number(s.nLength1) + ' ' +
                        QByteArray::number(s.nOffset2) + '+' + QByteArray::number(s.nLength2);
        return list.join("; ");
    }
    // Each block of B bytes of file 1's first nLength bytes as the plain comparison would state
    // it: 2 equal, 3 different, 4 inserted or deleted, 5 unreadable; 1 shifted, 0 nothing known.
    QByteArray Blocks(uint64_t nLength, uint32_t B) const {
        QByteArray states;
        for (uint64_t n = 0; n < nLength; n += B)
            states += "0214435"[alignment.WorstKind(n, std::min(n + B, nLength))];
        return states;
    }
};

} // namespace testutil
