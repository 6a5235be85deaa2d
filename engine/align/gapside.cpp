#include "engine/align/gapside.h"

#include "engine/align/alignreader.h"
#include "engine/busguard.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace {
constexpr uint64_t kNoBlock = ~uint64_t(0);
// Mapped bytes fed in one guarded go: guarding and checking cost nothing against chunking.
constexpr uint64_t kMappedBatch = uint64_t(1) << 20;
} // namespace

void CGapSide::Start(CAlignReader& reader, uint64_t nGap, uint64_t nFirstBlock) {
    m_pReader = &reader;
    m_nGap = nGap;
    m_nFirstBlock = nFirstBlock;
    m_chunker.Start(nGap);
    m_chunks.clear();
    m_blocks.clear();
    m_nDone = 0;
    m_bEnded = false;
    m_bUnreadable = false;
    m_nPartial = kNoBlock;
    m_nReadEnd = 0;
}

void CGapSide::Close() {
    m_window.Unmap();
}

void CGapSide::Step(uint64_t nEnd) {
    m_chunks.clear();
    m_blocks.clear();
    while (m_nDone < nEnd && !m_bEnded && !m_bUnreadable) {
        if (StepMapped(nEnd))
            continue;
        const CPiece piece = m_pReader->At(m_nGap + m_nDone);
        if (piece.eKind == CPiece::End) {
            m_bEnded = true;
            m_chunker.Break(m_nGap + m_nDone, m_chunks);
            break;
        }
        if (piece.eKind == CPiece::Unreadable) {
            m_bUnreadable = true;
            break;
        }
        uint64_t n = std::min(piece.nCount, nEnd - m_nDone);
        if (piece.eKind == CPiece::Bytes) {
            // Up to where mapping may be tried again.
            if (m_nGap + m_nDone < m_nReadEnd)
                n = std::min(n, m_nReadEnd - m_nGap - m_nDone);
            Feed(piece.pBytes, n);
        } else {
            m_chunker.Break(m_nGap + m_nDone + n, m_chunks);
            FeedHole(n);
        }
        m_nDone += n;
    }
}

bool CGapSide::StepMapped(uint64_t nEnd) {
    const uint64_t nPos = m_nGap + m_nDone;
    if (nPos < m_nReadEnd)
        return false;
    uint64_t n = 0;
    m_pMapped = m_pReader->MappedIn(m_window, nPos, std::min(nEnd - m_nDone, kMappedBatch), n);
    if (!m_pMapped)
        return false;
    m_nMapped = n;
    const size_t nChunks = m_chunks.size();
    const size_t nBlocks = m_blocks.size();
    const uint64_t nPartial = m_nPartial;
    m_chunker.Mark();
    if (CBusGuard::Run(FeedGuarded, this) && m_window.StillHeld()) {
        m_nDone += n;
        return true;
    }
    // As if these bytes had never come: reads tell what the file holds there now.
    m_chunks.resize(nChunks);
    m_blocks.resize(nBlocks);
    m_nPartial = nPartial;
    m_chunker.Rewind();
    m_window.Unmap();
    m_nReadEnd = nPos + n;
    return false;
}

// Run under CBusGuard, which leaves by a jump on a fault: nothing here may need unwinding. A
// jump can only come from reading the mapped bytes, never from inside the vectors' growth.
void CGapSide::FeedGuarded(void* pContext) {
    auto* pSide = static_cast<CGapSide*>(pContext);
    pSide->Feed(pSide->m_pMapped, pSide->m_nMapped);
}

void CGapSide::Feed(const uint8_t* p, uint64_t nCount) {
    // In slices that stay in the cache from the chunker's pass to the blocks' one.
    constexpr uint64_t kSlice = 65536;
    for (uint64_t n = 0; n < nCount; n += kSlice) {
        const uint64_t k = std::min(kSlice, nCount - n);
        m_chunker.Feed(p + n, k, m_chunks);
        FeedBlocks(m_nDone + n, p + n, k);
    }
}

uint64_t CGapSide::HoleEnd() {
    if (m_bEnded || m_bUnreadable)
        return ~uint64_t(0);
    // From the layout: reading a load here to learn that it is data cost a quarter of the bytes.
    return m_pReader->HoleEnd(m_nGap + m_nDone) - m_nGap;
}

void CGapSide::FeedHole(uint64_t nCount) {
    // The blocks wholly inside, as one entry: a hole of a terabyte costs no more than one block.
    m_nPartial = kNoBlock;
    const uint64_t nFrom = std::max(m_nDone, m_nFirstBlock);
    const uint64_t nEnd = m_nDone + nCount;
    if (nEnd < nFrom + kBlock)
        return;
    const uint64_t nFirst = (nFrom - m_nFirstBlock + kBlock - 1) / kBlock;
    const uint64_t nLast = (nEnd - m_nFirstBlock) / kBlock;
    static const uint8_t s_zeros[kBlock] = {};
    if (nLast > nFirst)
        m_blocks.push_back({nFirst, nLast - nFirst, ChunkHash(s_zeros, kBlock), true, 0});
}

void CGapSide::FeedBlocks(uint64_t x, const uint8_t* p, uint64_t nCount) {
    while (nCount > 0) {
        if (x < m_nFirstBlock) {
            const uint64_t nSkip = std::min(nCount, m_nFirstBlock - x);
            x += nSkip;
            p += nSkip;
            nCount -= nSkip;
            continue;
        }
        const uint64_t nIndex = (x - m_nFirstBlock) / kBlock;
        const uint64_t nOffset = (x - m_nFirstBlock) % kBlock;
        const uint64_t n = std::min<uint64_t>(nCount, kBlock - nOffset);
        const uint8_t* pWhole = nullptr;
        if (nOffset == 0 && n == kBlock) {
            pWhole = p;
        } else {
            // A block begun after a hole never completes: m_nPartial names another.
            if (nOffset == 0)
                m_nPartial = nIndex;
            if (m_nPartial == nIndex) {
                std::memcpy(m_partial + nOffset, p, n);
                if (nOffset + n == kBlock) {
                    pWhole = m_partial;
                    m_nPartial = kNoBlock;
                }
            }
        }
        if (pWhole)
            m_blocks.push_back(
                {nIndex, 1, ChunkHash(pWhole, kBlock), IsUniform(pWhole, kBlock), pWhole[0]});
        x += n;
        p += n;
        nCount -= n;
    }
}

CStepThread::~CStepThread() {
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bQuit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CStepThread::Begin(CGapSide& side, uint64_t nEnd) {
    if (!m_thread.joinable() && !m_bNoThread) {
        try {
            m_thread = std::thread(&CStepThread::Loop, this);
        } catch (const std::system_error&) {
            m_bNoThread = true;
        }
    }
    if (m_bNoThread) {
        side.Step(nEnd);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pSide = &side;
        m_nEnd = nEnd;
    }
    m_wake.notify_all();
}

void CStepThread::Close(CGapSide& side) {
    if (!m_thread.joinable()) {
        side.Close();
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pSide = &side;
        m_bClose = true;
    }
    m_wake.notify_all();
    Wait();
}

void CStepThread::Wait() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_wake.wait(lock, [this] { return m_pSide == nullptr; });
}

void CStepThread::Loop() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pSide || m_bQuit; });
        if (m_bQuit)
            return;
        CGapSide* pSide = m_pSide;
        const uint64_t nEnd = m_nEnd;
        const bool bClose = m_bClose;
        lock.unlock();
        if (bClose)
            pSide->Close();
        else
            pSide->Step(nEnd);
        lock.lock();
        m_pSide = nullptr;
        m_bClose = false;
        m_wake.notify_all();
    }
}
