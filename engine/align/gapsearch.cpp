#include "engine/align/gapsearch.h"

#include "engine/align/alignreader.h"
#include "engine/align/extend.h"

#include <algorithm>
#include <cstring>

namespace {
// Both files are read this far ahead, in step, between looks at what the chunks say: 1 MiB at
// first, twice as far each time up to 8 MiB, so a long gap is not spent handing steps between
// threads, while a short one still reads at most about twice its length.
constexpr uint64_t kStep = 1 << 20;
constexpr uint64_t kMaxStep = 8 << 20;
constexpr uint64_t kNone = ~uint64_t(0);
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

bool CGapSearch::FirstEqualBlock(uint64_t nBefore, uint64_t& nAt, bool& bUniform, uint8_t& nByte) {
    const std::vector<CGapSide::CBlock>& b1 = m_side[0].m_blocks;
    const std::vector<CGapSide::CBlock>& b2 = m_side[1].m_blocks;
    for (size_t i = 0, j = 0; i < b1.size() && j < b2.size();
         (b1[i].End() <= b2[j].End() ? i : j)++) {
        const uint64_t nIndex = std::max(b1[i].nIndex, b2[j].nIndex);
        if (nIndex >= std::min(b1[i].End(), b2[j].End()))
            continue;
        nAt = m_nFirstBlock + nIndex * CGapSide::kBlock;
        if (nAt + CGapSide::kBlock > nBefore)
            return false;
        const CChunk a{m_nGap[0] + nAt, b1[i].nPrint, CGapSide::kBlock, false};
        const CChunk b{m_nGap[1] + nAt, b2[j].nPrint, CGapSide::kBlock, false};
        if (a.nHash == b.nHash && SameBytes(0, a, b)) {
            bUniform = b1[i].bUniform;
            nByte = b1[i].nByte;
            return true;
        }
    }
    return false;
}

CGapEnd CGapSearch::RunAt(uint64_t nBlock, uint8_t c) {
    CAlignReader& r1 = *m_pReader[0];
    CAlignReader& r2 = *m_pReader[1];
    const uint64_t nDiagonal = m_nGap[1] - m_nGap[0];
    const uint64_t k = BothUniform(r1, nBlock, r2, nBlock + nDiagonal, c, m_pAbort);
    // The gap's diagonal holds from the block to where either run ends.
    CGapEnd weak = ResyncAt(nBlock);
    weak.nTail = nBlock + k - weak.nEnd1;
    bool bEnded1 = false;
    bool bEnded2 = false;
    const uint64_t n1 = nBlock + k;
    const uint64_t n2 = nBlock + nDiagonal + k;
    const uint64_t nMore1 = UniformRun(r1, n1, c, kRunReach, bEnded1);
    const uint64_t nMore2 = UniformRun(r2, n2, c, kRunReach, bEnded2);
    if ((nMore1 == 0 && nMore2 == 0) || !bEnded1 || !bEnded2)
        return weak;
    // Does what follows the two runs agree, on the diagonal their ends make?
    const uint64_t e1 = n1 + nMore1;
    const uint64_t e2 = n2 + nMore2;
    if (e1 < r1.End() || e2 < r2.End()) {
        // At least a stretch that is not all one byte, or the runs prove nothing again.
        const uint8_t* p = nullptr;
        bool bEnd = false;
        if (CommonAfter(r1, e1, r2, e2, kMinTail, m_pAbort) < kMinTail)
            return weak;
        const uint32_t nAfter = r1.View(e1, kMinTail, p, bEnd);
        if (IsUniform(p, nAfter))
            return weak;
    }
    const uint64_t nBack =
        CommonBefore(r1, e1, r2, e2, std::min(e1 - m_nGap[0], e2 - m_nGap[1]), m_pAbort);
    if (e1 - nBack > nBlock)
        return weak;
    return {CGapEnd::Anchor, e1 - nBack, e2 - nBack};
}

CGapEnd CGapSearch::Search(uint64_t n1, uint64_t n2,
                           const std::function<void(uint64_t)>& onProgress) {
    const CGapEnd end = Walk(n1, n2, onProgress);
    // Each side's mapping goes on the thread that made it, which alone guards it.
    m_side[0].Close();
    m_thread.Close(m_side[1]);
    return end;
}

CGapEnd CGapSearch::Walk(uint64_t n1, uint64_t n2,
                         const std::function<void(uint64_t)>& onProgress) {
    m_nGap[0] = n1;
    m_nGap[1] = n2;
    // Blocks on file 1's 4 KiB grid; steps end on it too, so no block spans two steps.
    m_nFirstBlock = (CGapSide::kBlock - n1 % CGapSide::kBlock) % CGapSide::kBlock;
    for (int f : {0, 1}) {
        m_table[f].Begin();
        m_side[f].Start(*m_pReader[f], m_nGap[f], m_nFirstBlock);
        m_bPrev[f] = false;
    }
    for (uint64_t nStep = kStep, nStepEnd = m_nFirstBlock + kStep;;
         nStep = std::min(2 * nStep, kMaxStep), nStepEnd += nStep) {
        if (m_pAbort && m_pAbort->load(std::memory_order_relaxed))
            return {};
        // Where both files are in holes, one step takes the holes whole.
        const uint64_t nHoles = std::min(m_side[0].HoleEnd(), m_side[1].HoleEnd());
        if (nHoles != kNone && nHoles > nStepEnd)
            nStepEnd += (nHoles - nStepEnd) / CGapSide::kBlock * CGapSide::kBlock;
        m_thread.Begin(m_side[1], nStepEnd);
        m_side[0].Step(nStepEnd);
        m_thread.Wait();
        onProgress(m_nGap[0] + m_side[0].m_nDone);
        // Nothing past an unreadable byte counts: the gap ends there.
        uint64_t nBad = kNone;
        for (const CGapSide& side : m_side)
            if (side.m_bUnreadable)
                nBad = std::min(nBad, side.m_nDone);
        uint64_t nResync = kNone;
        bool bUniform = false;
        uint8_t nByte = 0;
        if (!FirstEqualBlock(nBad, nResync, bUniform, nByte))
            nResync = kNone;
        const uint64_t nResyncEnd = nResync == kNone ? kNone : nResync + CGapSide::kBlock;
        const auto Resync = [&] {
            return bUniform ? RunAt(m_nGap[0] + nResync, nByte) : ResyncAt(m_nGap[0] + nResync);
        };
        // The chunks in the order they end, counted from the gap's start; file 1 first on a tie,
        // and a block found equal on the gap's diagonal before either.
        std::vector<std::pair<uint64_t, const CChunk*>> order; // (end in the gap * 2 + file)
        for (int f : {0, 1})
            for (const CChunk& c : m_side[f].m_chunks)
                if (c.End() - m_nGap[f] <= nBad)
                    order.push_back({(c.End() - m_nGap[f]) * 2 + uint64_t(f), &c});
        std::sort(order.begin(), order.end());
        for (const auto& [nKey, pChunk] : order) {
            if (nResyncEnd <= nKey / 2)
                return Resync();
            CGapEnd end;
            if (OnChunk(int(nKey % 2), *pChunk, end))
                return end;
        }
        if (nResync != kNone)
            return Resync();
        if (nBad != kNone) {
            const uint64_t nEnd1 =
                std::min(m_nGap[0] + nBad, std::max(m_pReader[0]->End(), m_nGap[0]));
            const uint64_t nEnd2 =
                std::min(m_nGap[1] + nBad, std::max(m_pReader[1]->End(), m_nGap[1]));
            return {CGapEnd::Unreadable, nEnd1, nEnd2};
        }
        if (m_side[0].m_bEnded && m_side[1].m_bEnded)
            return BothEnded();
    }
}
