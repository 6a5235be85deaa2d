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
    uint64_t nPos = setup.nFirst; // the file offset of the chunk's first byte
    uint64_t nBlockEnd = std::min(nPos + setup.nBlockSize, nStop);
    uint8_t nState = BLOCK_EQUAL; // of the block being read, so far
    while (nPos < nStop) {
        // Whole chunks, whatever the block size: a block of 1 byte costs no system call.
        const auto nWant = size_t(std::min<uint64_t>(kStreamChunk, nStop - nPos));
        size_t n[2];
        for (int k = 0; k < 2; ++k) {
            n[k] = sides[k]->Fill(p[k], nWant);
            if (sides[k]->m_nError != 0) {
                outcome.nFailed = k + 1;
                return outcome;
            }
        }
        const size_t nMost = std::max(n[0], n[1]);
        for (size_t i = 0; i < nMost;) {
            // The part of the chunk in the current block, and what each side holds of it.
            const auto nPart = size_t(std::min<uint64_t>(nMost - i, nBlockEnd - (nPos + i)));
            const size_t n1 = std::min(n[0] - std::min(n[0], i), nPart);
            const size_t n2 = std::min(n[1] - std::min(n[1], i), nPart);
            const size_t nBoth = std::min(n1, n2);
            size_t nSame = nBoth;
            if (std::memcmp(p[0] + i, p[1] + i, nBoth) != 0) {
                nSame =
                    size_t(std::mismatch(p[0] + i, p[0] + i + nBoth, p[1] + i).first - (p[0] + i));
                nState = std::max<uint8_t>(nState, BLOCK_DIFFERENT);
            }
            if (n1 != n2) {
                nState = BLOCK_LENGTH_DIFFERS;
                outcome.nEnded = outcome.nEnded ? outcome.nEnded : n1 < n2 ? 1 : 2;
            }
            if (!outcome.bDiffers && nState != BLOCK_EQUAL) {
                outcome.bDiffers = true;
                outcome.nFirstDifference = nPos + i + nSame;
                outcome.nFirstState = nSame < nBoth ? BLOCK_DIFFERENT : BLOCK_LENGTH_DIFFERS;
            }
            if (setup.bStopAtDifference && outcome.bDiffers)
                return outcome;
            i += nPart;
            if (nPos + i == nBlockEnd) {
                summary.Add(nState, nBlockEnd);
                nState = BLOCK_EQUAL;
                nBlockEnd = std::min(nBlockEnd + setup.nBlockSize, nStop);
            }
        }
        nPos += nMost;
        if (setup.onRead)
            setup.onRead(nPos);
        if (nMost < nWant) { // both have ended
            if (nPos > summary.nEnd)
                summary.Add(nState, nPos);
            break;
        }
    }
    return outcome;
}
