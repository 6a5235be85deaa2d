#include "engine/align/moves.h"

#include "engine/align/alignment.h"
#include "engine/align/alignreader.h"
#include "engine/align/extend.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {
using CRange = std::pair<uint64_t, uint64_t>; // [first, end)

// The range of ranges (in order, disjoint) that holds [nFirst, nEnd); null when none does.
const CRange* Holding(const std::vector<CRange>& ranges, uint64_t nFirst, uint64_t nEnd) {
    auto it = std::upper_bound(ranges.begin(), ranges.end(), CRange{nFirst, ~uint64_t(0)});
    if (it == ranges.begin())
        return nullptr;
    --it;
    return nEnd <= it->second ? &*it : nullptr;
}

bool SameBytes(CAlignReader& r1, const CChunk& a, CAlignReader& r2, const CChunk& b) {
    const uint8_t* pa = nullptr;
    const uint8_t* pb = nullptr;
    bool bEnd = false;
    return a.nLength == b.nLength && r1.View(a.nOffset, a.nLength, pa, bEnd) == a.nLength &&
           r2.View(b.nOffset, b.nLength, pb, bEnd) == b.nLength &&
           std::memcmp(pa, pb, a.nLength) == 0;
}
} // namespace

void CMoveFinder::Add(std::vector<CChunk>& records, const CChunk& chunk) {
    if (records.size() < kMaxRecords)
        records.push_back(chunk);
    else
        m_bDropped = true;
}

void CMoveFinder::Apply(CAlignment& alignment, CAlignReader& r1, CAlignReader& r2,
                        const std::atomic<uint8_t>* pAbort) {
    if (m_deleted.empty() || m_inserted.empty())
        return;
    std::vector<CRange> deleted, inserted; // the segments, in file-1 and file-2 order
    for (const CAlignSegment& s : alignment.m_segments) {
        if (s.eKind == EAlignKind::Deleted)
            deleted.push_back({s.nOffset1, s.End1()});
        else if (s.eKind == EAlignKind::Inserted)
            inserted.push_back({s.nOffset2, s.End2()});
    }
    // Looked up by hash; among equal hashes, in file-2 order.
    std::sort(m_inserted.begin(), m_inserted.end(), [](const CChunk& a, const CChunk& b) {
        return a.nHash != b.nHash ? a.nHash < b.nHash : a.nOffset < b.nOffset;
    });
    std::map<uint64_t, uint64_t> claimed; // file-2 ranges already moved, first -> end
    std::vector<CMove> moves;
    uint64_t nSettled1 = 0; // moves are found in file-1 order and never overlap there
    for (const CChunk& d : m_deleted) {
        if (pAbort && pAbort->load(std::memory_order_relaxed))
            break;
        const CRange* pIn1 = Holding(deleted, d.nOffset, d.End());
        if (d.nOffset < nSettled1 || !pIn1)
            continue;
        auto [itFirst, itEnd] =
            std::equal_range(m_inserted.begin(), m_inserted.end(), d,
                             [](const CChunk& a, const CChunk& b) { return a.nHash < b.nHash; });
        for (auto it = itFirst; it != itEnd; ++it) {
            const CChunk& c = *it;
            const CRange* pIn2 = Holding(inserted, c.nOffset, c.End());
            // The claim starting last before c's end is the only one that could overlap it.
            auto itAfter = claimed.lower_bound(c.End());
            if (!pIn2 || (itAfter != claimed.begin() && std::prev(itAfter)->second > c.nOffset) ||
                !SameBytes(r1, d, r2, c))
                continue;
            const uint64_t lo1 = std::max(pIn1->first, nSettled1);
            uint64_t lo2 = pIn2->first;
            uint64_t hi2 = pIn2->second;
            if (itAfter != claimed.end())
                hi2 = std::min(hi2, itAfter->first);
            if (itAfter != claimed.begin())
                lo2 = std::max(lo2, std::prev(itAfter)->second);
            const uint64_t nBack = CommonBefore(r1, d.nOffset, r2, c.nOffset,
                                                std::min(d.nOffset - lo1, c.nOffset - lo2), pAbort);
            const uint64_t nAhead = CommonAfter(
                r1, d.End(), r2, c.End(), std::min(pIn1->second - d.End(), hi2 - c.End()), pAbort);
            const CMove move{d.nOffset - nBack, c.nOffset - nBack, nBack + d.nLength + nAhead};
            claimed[move.nOffset2] = move.nOffset2 + move.nLength;
            nSettled1 = move.nOffset1 + move.nLength;
            moves.push_back(move);
            break;
        }
    }
    if (!moves.empty())
        Rewrite(alignment, moves);
}

void CMoveFinder::Rewrite(CAlignment& alignment, const std::vector<CMove>& moves) {
    std::vector<CMove> byOffset2 = moves;
    std::sort(byOffset2.begin(), byOffset2.end(),
              [](const CMove& a, const CMove& b) { return a.nOffset2 < b.nOffset2; });
    std::vector<CAlignSegment> out;
    out.reserve(alignment.m_segments.size() + 2 * moves.size());
    size_t m1 = 0, m2 = 0;
    for (const CAlignSegment& s : alignment.m_segments) {
        if (s.eKind == EAlignKind::Deleted) {
            uint64_t n = s.nOffset1;
            for (; m1 < moves.size() && moves[m1].nOffset1 < s.End1(); ++m1) {
                const CMove& mv = moves[m1];
                if (mv.nOffset1 > n)
                    out.push_back({EAlignKind::Deleted, n, mv.nOffset1 - n, s.nOffset2, 0});
                out.push_back(
                    {EAlignKind::Moved, mv.nOffset1, mv.nLength, mv.nOffset2, mv.nLength});
                n = mv.nOffset1 + mv.nLength;
            }
            if (n < s.End1())
                out.push_back({EAlignKind::Deleted, n, s.End1() - n, s.nOffset2, 0});
        } else if (s.eKind == EAlignKind::Inserted) {
            uint64_t n = s.nOffset2;
            for (; m2 < byOffset2.size() && byOffset2[m2].nOffset2 < s.End2(); ++m2) {
                const CMove& mv = byOffset2[m2];
                if (mv.nOffset2 > n)
                    out.push_back({EAlignKind::Inserted, s.nOffset1, 0, n, mv.nOffset2 - n});
                n = mv.nOffset2 + mv.nLength;
            }
            if (n < s.End2())
                out.push_back({EAlignKind::Inserted, s.nOffset1, 0, n, s.End2() - n});
        } else {
            out.push_back(s);
        }
    }
    alignment.m_segments = std::move(out);
}
