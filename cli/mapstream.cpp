#include "cli/mapstream.h"

#include "engine/blockstatearray.h"
#include "engine/inputfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <poll.h>
#include <unistd.h>

size_t CSequentialReader::Fill(uint8_t* pDest, size_t nCount) {
    size_t nDone = 0;
    while (nDone < nCount && !m_bEnded && m_nError == 0) {
        ssize_t n = 0;
        if (m_pFile) {
            n = m_pFile->Read(pDest + nDone, uint32_t(nCount - nDone));
            m_nError = m_pFile->GetLastError();
            m_bEnded = m_nError == 0 && size_t(n) < nCount - nDone;
        } else if ((n = ::read(m_fd, pDest + nDone, nCount - nDone)) < 0) {
            n = 0;
            // Standard input may have been left non-blocking by whoever handed it over.
            pollfd wait = {m_fd, POLLIN, 0};
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                ::poll(&wait, 1, -1);
            else if (errno != EINTR)
                m_nError = errno;
        } else {
            m_bEnded = n == 0;
        }
        nDone += size_t(n);
    }
    m_nOffset += nDone;
    return nDone;
}

void CSequentialReader::Skip(uint64_t nCount, uint8_t* pScratch) {
    if (m_pFile) {
        m_pFile->SeekTo(int64_t(nCount));
        m_nOffset = nCount;
        return;
    }
    while (m_nOffset < nCount && !m_bEnded && m_nError == 0)
        Fill(pScratch, size_t(std::min<uint64_t>(kStreamChunk, nCount - m_nOffset)));
}

CStreamOutcome CompareSequentially(CSequentialReader& reader1, CSequentialReader& reader2,
                                   const CStreamSetup& setup) {
    CStreamOutcome outcome;
    CMapSummary& summary = outcome.summary;
    summary.nFirst = summary.nEnd = setup.nFirst;
    summary.nBlockSize = setup.nBlockSize;
    CSequentialReader* sides[2] = {&reader1, &reader2};
    const std::unique_ptr<uint8_t[]> pBuffers(new uint8_t[2 * kStreamChunk]);
    uint8_t* p[2] = {pBuffers.get(), pBuffers.get() + kStreamChunk};
    for (int k = 0; k < 2; ++k) {
        sides[k]->Skip(setup.nFirst, p[k]);
        if (sides[k]->m_nError != 0) {
            outcome.nFailed = k + 1;
            return outcome;
        }
    }
    const uint64_t nStop = setup.nLast + 1;
    uint64_t nPos = setup.nFirst;
    uint64_t nBlockEnd = std::min(nPos + setup.nBlockSize, nStop);
    uint8_t nState = BLOCK_EQUAL;
    while (nPos < nStop) {
        const auto nWant = size_t(std::min<uint64_t>(kStreamChunk, nBlockEnd - nPos));
        size_t n[2];
        for (int k = 0; k < 2; ++k) {
            n[k] = sides[k]->Fill(p[k], nWant);
            if (sides[k]->m_nError != 0) {
                outcome.nFailed = k + 1;
                return outcome;
            }
        }
        const size_t nBoth = std::min(n[0], n[1]);
        const size_t nMost = std::max(n[0], n[1]);
        if (nMost == 0)
            break; // both ended where the last block did
        size_t nSame = nBoth;
        if (std::memcmp(p[0], p[1], nBoth) != 0) {
            nSame = size_t(std::mismatch(p[0], p[0] + nBoth, p[1]).first - p[0]);
            nState = std::max<uint8_t>(nState, BLOCK_DIFFERENT);
        }
        if (n[0] != n[1]) {
            nState = BLOCK_LENGTH_DIFFERS;
            outcome.nEnded = outcome.nEnded ? outcome.nEnded : n[0] < n[1] ? 1 : 2;
        }
        if (!outcome.bDiffers && (nSame < nBoth || n[0] != n[1])) {
            outcome.bDiffers = true;
            outcome.nFirstDifference = nPos + nSame;
            outcome.nFirstState = nSame < nBoth ? BLOCK_DIFFERENT : BLOCK_LENGTH_DIFFERS;
        }
        nPos += nMost;
        const bool bBothEnded = nMost < nWant;
        if (nPos == nBlockEnd || bBothEnded) {
            summary.Add(nState, nPos);
            nState = BLOCK_EQUAL;
            nBlockEnd = std::min(nPos + setup.nBlockSize, nStop);
        }
        if (bBothEnded || (setup.bStopAtDifference && outcome.bDiffers))
            break;
    }
    return outcome;
}
