#include "engine/align/gapsearch.h"

#include "engine/align/alignreader.h"
#include "engine/align/extend.h"

#include <algorithm>
#include <cstring>

namespace {
// Both files are read this far ahead, in step, between looks at what the chunks say.
constexpr uint64_t kStep = 1 << 20;
constexpr uint64_t kNone = ~uint64_t(0);

// Watches the gap's own diagonal for a whole 4 KiB block of file 1 (aligned, so that the
// answer never depends on how the bytes came in) equal to file 2's and not one repeated byte:
// a run of zeros or a hole agrees anywhere and must not end the gap by itself.
class CResyncWatch {
public:
    static constexpr uint64_t kBlock = 4096;

    // Bytes at file-1 offset nPos, file 1's at a, file 2's at b; the start of the first block
    // completed equal, or kNone.
    uint64_t Feed(uint64_t nPos, const uint8_t* a, const uint8_t* b, uint64_t nCount) {
        while (nCount > 0) {
            if (nPos % kBlock == 0) {
                m_nBlock = nPos;
                m_bEqual = true;
                m_bUniform = true;
                m_nFirst = a[0];
            }
            const uint64_t nEnd = (nPos / kBlock + 1) * kBlock;
            const uint64_t n = std::min(nCount, nEnd - nPos);
            m_bEqual = m_bEqual && m_nBlock == nEnd - kBlock && std::memcmp(a, b, n) == 0;
            m_bUniform = m_bEqual && m_bUniform && a[0] == m_nFirst && IsUniform(a, n);
            if (nPos + n == nEnd && m_bEqual && !m_bUniform)
                return m_nBlock;
            nPos += n;
            a += n;
            b += n;
            nCount -= n;
        }
        return kNone;
    }
    // A hole, an end or a failure: the block under way cannot count.
    void Break() { m_bEqual = false; }

private:
    uint64_t m_nBlock = kNone;
    bool m_bEqual = false;
    bool m_bUniform = false;
    uint8_t m_nFirst = 0;
};
} // namespace

bool CGapSearch::SameBytes(int f, const CChunk& a, const CChunk& b) {
    const uint8_t* pa = nullptr;
    const uint8_t* pb = nullptr;
    bool bEnd = false;
    return a.nLength == b.nLength &&
           m_pReader[f]->View(a.nOffset, a.nLength, pa, bEnd) == a.nLength &&
           m_pReader[1 - f]->View(b.nOffset, b.nLength, pb, bEnd) == b.nLength &&
           std::memcmp(pa, pb, a.nLength) == 0;
}

bool CGapSearch::OnChunk(int f, const CChunk& chunk, CGapEnd& end) {
    const bool bFollows = m_bPrev[f] && m_prev[f].End() == chunk.nOffset;
    const CChunk prev = m_prev[f];
    m_prev[f] = chunk;
    m_bPrev[f] = !chunk.bUniform;
    if (chunk.bUniform)
        return false;
    m_table[f].Add(chunk);
    // Every record with these bytes, newest first, up to the number that means "many". The
    // bytes are compared, so a hash that collides costs time only, never the answer.
    const int o = 1 - f;
    const int64_t nGapDiagonal = int64_t(m_nGap[1] - m_nGap[0]);
    m_candidates.clear();
    m_table[o].ForEach(chunk.nHash, [&](uint64_t n, const CChunk& other) {
        if (SameBytes(f, chunk, other)) {
            const int64_t d = int64_t(other.nOffset - chunk.nOffset);
            m_candidates.push_back({n, other, f == 0 ? d : -d});
        }
        return m_candidates.size() < kManyTimes;
    });
    if (!bFollows || m_candidates.empty() || m_candidates.size() >= kManyTimes)
        return false;
    // Of several places the bytes occur, the nearest to the gap's diagonal.
    std::sort(m_candidates.begin(), m_candidates.end(), [&](const auto& x, const auto& y) {
        const uint64_t dx = uint64_t(x.nDiagonal - nGapDiagonal);
        const uint64_t dy = uint64_t(y.nDiagonal - nGapDiagonal);
        const uint64_t ax = std::min(dx, -dx), ay = std::min(dy, -dy);
        return ax != ay ? ax < ay : x.nDiagonal < y.nDiagonal;
    });
    for (const CCandidate& c : m_candidates) {
        CChunk before;
        if (!m_table[o].Get(c.nSeq - 1, before) || before.End() != c.chunk.nOffset ||
            before.nHash != prev.nHash || !SameBytes(f, prev, before))
            continue;
        // Both chunks agree: the new diagonal holds from before them on as far back as the
        // bytes agree, but not into what came before the gap.
        const uint64_t a1 = f == 0 ? prev.nOffset : before.nOffset;
        const uint64_t a2 = f == 0 ? before.nOffset : prev.nOffset;
        const uint64_t k = CommonBefore(*m_pReader[0], a1, *m_pReader[1], a2,
                                        std::min(a1 - m_nGap[0], a2 - m_nGap[1]), m_pAbort);
        end = {CGapEnd::Anchor, a1 - k, a2 - k};
        return true;
    }
    return false;
}

CGapEnd CGapSearch::ResyncAt(uint64_t nBlock) {
    const uint64_t n2 = nBlock + (m_nGap[1] - m_nGap[0]);
    const uint64_t k =
        CommonBefore(*m_pReader[0], nBlock, *m_pReader[1], n2, nBlock - m_nGap[0], m_pAbort);
    return {CGapEnd::Resync, nBlock - k, n2 - k};
}

CGapEnd CGapSearch::BothEnded() {
    const uint64_t nEnd1 = std::max(m_pReader[0]->End(), m_nGap[0]);
    const uint64_t nEnd2 = std::max(m_pReader[1]->End(), m_nGap[1]);
    const uint64_t nMax = std::min(nEnd1 - m_nGap[0], nEnd2 - m_nGap[1]);
    uint64_t k = CommonBefore(*m_pReader[0], nEnd1, *m_pReader[1], nEnd2, nMax, m_pAbort);
    // A few bytes alike at the end of unrelated data say nothing; a whole side does.
    if (k < kMinTail && k < nMax)
        k = 0;
    return {CGapEnd::Ends, nEnd1 - k, nEnd2 - k, k};
}

CGapEnd CGapSearch::Search(uint64_t n1, uint64_t n2,
                           const std::function<void(uint64_t)>& onProgress) {
    m_nGap[0] = n1;
    m_nGap[1] = n2;
    bool bEnded[2] = {};
    for (int f : {0, 1}) {
        m_table[f].Begin();
        m_chunker[f].Start(m_nGap[f]);
        m_bPrev[f] = false;
    }
    CResyncWatch watch;
    uint64_t x = 0; // how far past the gap's start both files have been cut
    for (;;) {
        if (m_pAbort && m_pAbort->load(std::memory_order_relaxed))
            return {};
        const uint64_t nStepEnd = x + kStep;
        uint64_t nResync = kNone;
        bool bUnreadable = false;
        m_chunks[0].clear();
        m_chunks[1].clear();
        while (x < nStepEnd && !bUnreadable && !(bEnded[0] && bEnded[1])) {
            CPiece piece[2];
            uint64_t n = nStepEnd - x;
            for (int f : {0, 1}) {
                if (bEnded[f])
                    continue;
                piece[f] = m_pReader[f]->At(m_nGap[f] + x);
                if (piece[f].eKind == CPiece::End) {
                    bEnded[f] = true;
                    m_chunker[f].Break(m_nGap[f] + x, m_chunks[f]);
                }
                bUnreadable = bUnreadable || piece[f].eKind == CPiece::Unreadable;
                if (piece[f].nCount > 0)
                    n = std::min(n, piece[f].nCount);
            }
            if (bUnreadable || (bEnded[0] && bEnded[1]))
                break;
            for (int f : {0, 1}) {
                if (piece[f].eKind == CPiece::Bytes)
                    m_chunker[f].Feed(piece[f].pBytes, n, m_chunks[f]);
                else if (piece[f].eKind == CPiece::Hole)
                    m_chunker[f].Break(m_nGap[f] + x + n, m_chunks[f]);
            }
            if (piece[0].eKind == CPiece::Bytes && piece[1].eKind == CPiece::Bytes) {
                const uint64_t nBlock =
                    watch.Feed(m_nGap[0] + x, piece[0].pBytes, piece[1].pBytes, n);
                if (nResync == kNone && nBlock != kNone)
                    nResync = nBlock;
            } else {
                watch.Break();
            }
            x += n;
        }
        onProgress(m_nGap[0] + x);
        // The chunks in the order they end, counted from the gap's start; file 1 first on a tie,
        // and a block found equal on the gap's diagonal before either.
        std::vector<std::pair<uint64_t, const CChunk*>> order; // (end in the gap * 2 + file)
        for (int f : {0, 1})
            for (const CChunk& c : m_chunks[f])
                order.push_back({(c.End() - m_nGap[f]) * 2 + uint64_t(f), &c});
        std::sort(order.begin(), order.end());
        const uint64_t nResyncAt = nResync == kNone ? kNone : nResync + CResyncWatch::kBlock;
        for (const auto& [nKey, pChunk] : order) {
            if (nResyncAt != kNone && nResyncAt - m_nGap[0] <= nKey / 2)
                return ResyncAt(nResync);
            CGapEnd end;
            if (OnChunk(int(nKey % 2), *pChunk, end))
                return end;
        }
        if (nResyncAt != kNone)
            return ResyncAt(nResync);
        if (bUnreadable) {
            const uint64_t nEnd1 =
                std::min(m_nGap[0] + x, std::max(m_pReader[0]->End(), m_nGap[0]));
            const uint64_t nEnd2 =
                std::min(m_nGap[1] + x, std::max(m_pReader[1]->End(), m_nGap[1]));
            return {CGapEnd::Unreadable, nEnd1, nEnd2};
        }
        if (bEnded[0] && bEnded[1])
            return BothEnded();
    }
}
