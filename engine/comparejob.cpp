#include "engine/comparejob.h"

#include "engine/blockfile.h"
#include "engine/blockstatearray.h"
#include "engine/busguard.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

void CLockedText::Set(const std::string& strText) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_strText = strText;
}

std::string CLockedText::Get() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_strText;
}

namespace {
uint64_t BlockCount(uint64_t nLength, uint32_t nBlockSize) {
    return (nLength + nBlockSize - 1) / nBlockSize;
}

// The bytes of the block at nPosition in a file of nLength bytes.
uint32_t WholeBlock(uint64_t nLength, uint64_t nPosition, uint32_t nBlockSize) {
    uint64_t nLeft = nLength - nPosition;
    return nLeft < nBlockSize ? uint32_t(nLeft) : nBlockSize;
}

// True when the reader served fewer bytes of the block at nPosition than its length, taken at
// opening, promises: the file has shrunk since, or a load failed before reaching them.
bool FellShort(const CBlockFile& reader, uint64_t nPosition, uint32_t nBlockSize, uint32_t nGot) {
    if (int64_t(nPosition) >= reader.m_nLength)
        return false;
    return nGot < WholeBlock(uint64_t(reader.m_nLength), nPosition, nBlockSize);
}

// Whether the nCount bytes at p1 and p2 agree; a null pointer stands for a hole's zeros.
bool SameBytes(const uint8_t* p1, const uint8_t* p2, uint32_t nCount) {
    if (!p1 || !p2)
        return p1 == p2 || IsAllZero(p1 ? p1 : p2, nCount);
    return std::memcmp(p1, p2, nCount) == 0;
}

// Reads a byte of every page of the nCount bytes at p (null: a hole's zeros).
void TouchPages(const uint8_t* p, uint32_t nCount) {
    for (uint32_t n = 0; p && n < nCount; n += 4096)
        (void)*static_cast<const volatile uint8_t*>(p + n);
}

// A run of blocks compared in one go, then shown: at least 32 blocks and about 1 MiB, so that
// guarding and checking it costs nothing against comparing it, and it ends where a progress
// notice is due, as 32 divides its count.
constexpr uint32_t kBatchMost = 4096;

struct CBatch {
    CBlockFile& reader1;
    CBlockFile& reader2;
    const CJobSetup& setup;
    uint64_t nPosition; // where its first block starts
    uint32_t nCount;    // its blocks
    uint8_t* pStates;   // one per block
    uint32_t nDone;     // blocks compared: fewer after an abort or a stop at a difference
};

// Compares the batch's blocks into its states until all are done, the abort flag is raised, or,
// when the run stops at a difference, after the first block that is not equal.
void CompareBlocks(void* pBatch) {
    CBatch& b = *static_cast<CBatch*>(pBatch);
    const uint64_t L = b.setup.nTotalLength;
    const uint32_t B = b.setup.nBlockSize;
    b.nDone = 0;
    for (uint64_t pos = b.nPosition; b.nDone < b.nCount; pos += B) {
        if (b.setup.pAbort && b.setup.pAbort->load(std::memory_order_relaxed))
            return;
        b.reader1.SeekTo(int64_t(pos));
        b.reader2.SeekTo(int64_t(pos));
        uint32_t nCount1 = 0;
        uint32_t nCount2 = 0;
        // Never past L: a comparison of part of two files ends inside them. Null where the
        // block lies in a hole of that file: nothing was read there.
        const uint32_t nWant = WholeBlock(L, pos, B);
        const uint8_t* p1 = b.reader1.GetBlock(nWant, nCount1);
        const uint8_t* p2 = b.reader2.GetBlock(nWant, nCount2);
        // A reader's error code outlives its failed load: it still stands for blocks served
        // whole from what that load did get, and for blocks past the file's end that needed no
        // read. Only a block the error cut short is unreadable; a block cut short without one
        // lies past where the file now ends. Two equally short blocks short of L mean the longer
        // file shrank before it was even opened.
        const bool bShort1 = FellShort(b.reader1, pos, nWant, nCount1);
        const bool bShort2 = FellShort(b.reader2, pos, nWant, nCount2);
        uint8_t nState = BLOCK_EQUAL;
        if ((bShort1 && b.reader1.m_dwError != 0) || (bShort2 && b.reader2.m_dwError != 0))
            nState = BLOCK_READ_ERROR;
        else if (nCount1 != nCount2 || bShort1 || bShort2 || nCount1 < nWant)
            nState = BLOCK_LENGTH_DIFFERS;
        else if (!SameBytes(p1, p2, nCount1))
            nState = BLOCK_DIFFERENT;
        // A mapped page that cannot be read only says so when touched; a read would have failed
        // whatever the other file held, and that failure outranks a difference.
        if (nState != BLOCK_EQUAL) {
            TouchPages(p1, nCount1);
            TouchPages(p2, nCount2);
        }
        b.pStates[b.nDone++] = nState;
        if (b.setup.bStopAtDifference && nState != BLOCK_EQUAL)
            return;
    }
}

// Compares the batch through the readers' mappings, then, when a mapped page could not be had
// or a file shrank under its mapping, once more through reads, which tell the length change or
// the read error just as they do for a file that cannot be mapped.
void CompareBatch(CBatch& b) {
    if (CBusGuard::Run(CompareBlocks, &b) && b.reader1.StillHolds() && b.reader2.StillHolds())
        return;
    const auto nEnd = int64_t(b.nPosition + uint64_t(b.nCount) * b.setup.nBlockSize);
    b.reader1.ReadUpTo(nEnd);
    b.reader2.ReadUpTo(nEnd);
    CompareBlocks(&b);
}
} // namespace

void CCompareJob::Run() {
    const uint64_t L = m_setup.nTotalLength;
    const uint32_t B = m_setup.nBlockSize;
    const auto K = uint32_t(BlockCount(L - m_setup.nFirst, B));
    const uint32_t nCapacity = B > 262144 ? B : 262144;
    CBlockStateArray& states = *m_setup.pStates;

    {
        // The readers close before the finish is posted, so no file stays open past it.
        CBlockFile reader1;
        CBlockFile reader2;
        if (!reader1.OpenMapped(m_setup.strPath1, nCapacity)) {
            m_setup.pError1->Set("Compare error: " + reader1.GetErrorText());
        } else if (!reader2.OpenMapped(m_setup.strPath2, nCapacity)) {
            m_setup.pError2->Set("Comapre error: " + reader2.GetErrorText());
        } else {
            m_stopwatch.m_start.store(MonotonicMs());
            uint8_t batchStates[kBatchMost];
            CBatch batch{reader1, reader2, m_setup, m_setup.nFirst, 0, batchStates, 0};
            bool bStopped = false;
            for (uint32_t i = 0; i < K && !bStopped;) {
                batch.nCount = std::min({kBatchMost, std::max(32u, (1u << 20) / B), K - i});
                CompareBatch(batch);
                // Only states the batch is sure of are shown, each as soon as it is.
                for (uint32_t k = 0; k < batch.nDone; ++k) {
                    if (int64_t(i) < states.m_nCount)
                        states.Set(int32_t(i), batchStates[k]);
                    ++i;
                    int32_t nDone = m_nDone.fetch_add(1, std::memory_order_relaxed) + 1;
                    bStopped = m_setup.bStopAtDifference && batchStates[k] != BLOCK_EQUAL;
                    if (!bStopped && i % 32 == 0) {
                        m_nProgress.store(int32_t(int64_t(nDone) * 10000 / K),
                                          std::memory_order_relaxed);
                        m_setup.pSink->PostProgress();
                    }
                }
                if (batch.nDone < batch.nCount)
                    break;
                batch.nPosition += uint64_t(batch.nDone) * B;
            }
        }
    }
    m_setup.pSink->PostFinished();
}

bool StartCompareJob(CCompareJob*& rpJob, const CJobSetup& setup, std::string& strError) {
    rpJob = nullptr;
    if (setup.nBlockSize == 0 || setup.nBlockSize > 0x40000000u ||
        (setup.nBlockSize & (setup.nBlockSize - 1)) != 0 || !setup.pStates || !setup.pSink ||
        !setup.pError1 || !setup.pError2) {
        strError = ErrorText(EINVAL);
        return false;
    }
    if (setup.nFirst > setup.nTotalLength ||
        BlockCount(setup.nTotalLength - setup.nFirst, setup.nBlockSize) >
            uint64_t(setup.pStates->m_nCount)) {
        strError = ErrorText(EOVERFLOW);
        return false;
    }
    rpJob = new CCompareJob(setup);
    if (!rpJob->StartThread(strError)) {
        delete rpJob;
        rpJob = nullptr;
        return false;
    }
    return true;
}
