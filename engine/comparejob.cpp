#include "engine/comparejob.h"

#include "engine/blockfile.h"
#include "engine/blockstatearray.h"

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
        if (!reader1.OpenBuffered(m_setup.strPath1, nCapacity)) {
            m_setup.pError1->Set("Compare error: " + reader1.GetErrorText());
        } else if (!reader2.OpenBuffered(m_setup.strPath2, nCapacity)) {
            m_setup.pError2->Set("Comapre error: " + reader2.GetErrorText());
        } else {
            m_stopwatch.m_start.store(MonotonicMs());
            uint32_t i = 0;
            uint64_t pos = m_setup.nFirst;
            while (pos < L) {
                if (m_setup.pAbort && m_setup.pAbort->load(std::memory_order_relaxed))
                    break;
                reader1.SeekTo(int64_t(pos));
                reader2.SeekTo(int64_t(pos));
                uint32_t nCount1 = 0;
                uint32_t nCount2 = 0;
                // Never past L: a comparison of part of two files ends inside them. Null where
                // the block lies in a hole of that file: nothing was read there.
                const uint32_t nWant = WholeBlock(L, pos, B);
                const uint8_t* p1 = reader1.GetBlock(nWant, nCount1);
                const uint8_t* p2 = reader2.GetBlock(nWant, nCount2);
                // A reader's error code outlives its failed load: it still stands for blocks
                // served whole from what that load did get, and for blocks past the file's end
                // that needed no read. Only a block the error cut short is unreadable; a block
                // cut short without one lies past where the file now ends. Two equally short
                // blocks short of L mean the longer file shrank before it was even opened.
                const bool bShort1 = FellShort(reader1, pos, nWant, nCount1);
                const bool bShort2 = FellShort(reader2, pos, nWant, nCount2);
                uint8_t nState = BLOCK_EQUAL;
                if ((bShort1 && reader1.m_dwError != 0) || (bShort2 && reader2.m_dwError != 0))
                    nState = BLOCK_READ_ERROR;
                else if (nCount1 != nCount2 || bShort1 || bShort2 || nCount1 < nWant)
                    nState = BLOCK_LENGTH_DIFFERS;
                else if (!SameBytes(p1, p2, nCount1))
                    nState = BLOCK_DIFFERENT;
                if (int64_t(i) < states.m_nCount)
                    states.Set(int32_t(i), nState);
                ++i;
                pos += B;
                int32_t nDone = m_nDone.fetch_add(1, std::memory_order_relaxed) + 1;
                if (m_setup.bStopAtDifference && nState != BLOCK_EQUAL)
                    break;
                if (i % 32 == 0) {
                    m_nProgress.store(int32_t(int64_t(nDone) * 10000 / K),
                                      std::memory_order_relaxed);
                    m_setup.pSink->PostProgress();
                }
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
