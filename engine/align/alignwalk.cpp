#include "engine/align/alignwalk.h"

#include "engine/align/alignreader.h"
#include "engine/align/extend.h"
#include "engine/busguard.h"
#include "engine/filelayout.h"

#include <algorithm>
#include <cstring>

namespace {
// Mapped bytes compared in one go, guarded, then checked as still the files': about 1 MiB, as
// the plain comparison's batches, so that guarding and checking cost nothing against comparing.
constexpr uint64_t kMappedBatch = uint64_t(1) << 20;

struct CMappedStretch {
    const uint8_t* a;
    const uint8_t* b;
    uint64_t nCount;
    uint64_t nSame; // how many of them agree from the start
};

// Run under CBusGuard, which leaves by a jump on a fault: nothing here may need unwinding.
void CompareMapped(void* pStretch) {
    CMappedStretch& s = *static_cast<CMappedStretch*>(pStretch);
    s.nSame = std::memcmp(s.a, s.b, s.nCount) == 0 ? s.nCount : CommonPrefix(s.a, s.b, s.nCount);
}
} // namespace

CAlignWalk::EStop CAlignWalk::Diagonal(uint64_t& p1, uint64_t& p2) {
    // The plain comparison's loop: one load of each file, one memcmp over what both hold; a
    // hole facing a hole passes unread, a hole facing data has the data checked for zeros.
    for (;;) {
        if (IsAborted())
            return Aborted;
        ShowEqual(p1, p2);
        m_onProgress(p1);
        // Where both files' data is mapped, it is compared there; a page that cannot be had or a
        // file that shrank under its mapping has the stretch read again, which tells what.
        CMappedStretch s{nullptr, nullptr, 0, 0};
        uint64_t n1 = 0;
        uint64_t n2 = 0;
        if ((s.a = m_r1.Mapped(p1, kMappedBatch, n1)) &&
            (s.b = m_r2.Mapped(p2, kMappedBatch, n2))) {
            s.nCount = std::min(n1, n2);
            if (CBusGuard::Run(CompareMapped, &s) && m_r1.StillHolds() && m_r2.StillHolds()) {
                p1 += s.nSame;
                p2 += s.nSame;
                if (s.nSame < s.nCount)
                    return Mismatch;
                continue;
            }
            m_r1.ReadUpTo(p1 + s.nCount);
            m_r2.ReadUpTo(p2 + s.nCount);
        }
        const CPiece a = m_r1.At(p1);
        const CPiece b = m_r2.At(p2);
        if (a.eKind == CPiece::End)
            return b.eKind == CPiece::End ? EndBoth : End1;
        if (b.eKind == CPiece::End)
            return End2;
        if (a.eKind == CPiece::Unreadable)
            return Unreadable1;
        if (b.eKind == CPiece::Unreadable)
            return Unreadable2;
        const uint64_t n = std::min(a.nCount, b.nCount);
        uint64_t nSame = n;
        if (a.pBytes && b.pBytes) {
            if (std::memcmp(a.pBytes, b.pBytes, n) != 0)
                nSame = CommonPrefix(a.pBytes, b.pBytes, n);
        } else if (a.pBytes || b.pBytes) {
            const uint8_t* p = a.pBytes ? a.pBytes : b.pBytes;
            if (!IsAllZero(p, n))
                nSame = ZeroPrefix(p, n);
        }
        p1 += nSame;
        p2 += nSame;
        if (nSame < n)
            return Mismatch;
    }
}

void CAlignWalk::BeginEqual(uint64_t p1, uint64_t p2, bool bFound) {
    m_nStretch1 = m_nShown1 = p1;
    m_nShown2 = p2;
    m_bStretchStands = bFound;
}

void CAlignWalk::ShowEqual(uint64_t q1, uint64_t q2) {
    // Only a short stretch at the start of unrelated data may yet join the gap after it.
    if (m_bStretchStands || q1 - m_nStretch1 >= kProbeLength)
        EndEqual(q1, q2);
}

void CAlignWalk::EndEqual(uint64_t q1, uint64_t q2) {
    m_out.Append(EAlignKind::Equal, m_nShown1, q1 - m_nShown1, m_nShown2, q2 - m_nShown2);
    m_nShown1 = q1;
    m_nShown2 = q2;
}

bool CAlignWalk::Probe(uint64_t n1, uint64_t n2, uint32_t& a, uint32_t& b) {
    const uint8_t* v1 = nullptr;
    const uint8_t* v2 = nullptr;
    bool bEnd1 = false;
    bool bEnd2 = false;
    const uint32_t nView1 = m_r1.View(n1, kProbeReach + kProbeLength, v1, bEnd1);
    const uint32_t nView2 = m_r2.View(n2, kProbeReach + kProbeLength, v2, bEnd2);
    // Skipping the same count in both (a change in place) is tried first, then fewer bytes
    // before more: a shift is never taken where staying on the diagonal explains as much. Bytes
    // all alike agree at any shift, in place too, so they prove nothing short of both ends: a
    // change among zeros is left to the gap search, which looks past them.
    const auto Agree = [&](uint32_t x, uint32_t y) {
        if (x > nView1 || y > nView2)
            return false;
        const uint32_t n = std::min({kProbeLength, nView1 - x, nView2 - y});
        const bool bToEnds = bEnd1 && bEnd2 && nView1 - x == n && nView2 - y == n;
        return (bToEnds || n == kProbeLength) && std::memcmp(v1 + x, v2 + y, n) == 0 &&
               (bToEnds || !IsUniform(v1 + x, n));
    };
    const auto Take = [&](uint32_t x, uint32_t y) {
        a = x;
        b = y;
        return true;
    };
    for (uint32_t m = 1; m <= kProbeReach; ++m) {
        if (Agree(m, m))
            return Take(m, m);
        for (uint32_t k = 0; k < m; ++k) {
            if (Agree(k, m))
                return Take(k, m);
            if (Agree(m, k))
                return Take(m, k);
        }
    }
    return false;
}

void CAlignWalk::AddGap(uint64_t n1, uint64_t nEnd1, uint64_t n2, uint64_t nEnd2, bool bChunked) {
    const uint64_t l1 = nEnd1 - n1;
    const uint64_t l2 = nEnd2 - n2;
    if (l1 > 0 && l2 > 0) {
        m_out.Append(EAlignKind::Different, n1, l1, n2, l2);
    } else if (l1 > 0) {
        m_out.Append(EAlignKind::Deleted, n1, l1, n2, 0);
        if (bChunked)
            m_gap.ForEachChunk(0, n1, nEnd1, [this](const CChunk& c) { m_moves.AddDeleted(c); });
    } else if (l2 > 0) {
        m_out.Append(EAlignKind::Inserted, n1, 0, n2, l2);
        if (bChunked)
            m_gap.ForEachChunk(1, n2, nEnd2, [this](const CChunk& c) { m_moves.AddInserted(c); });
    }
}

void CAlignWalk::AddUnreadable(int f, uint64_t& p1, uint64_t& p2) {
    CAlignReader& r = f == 0 ? m_r1 : m_r2;
    CAlignReader& other = f == 0 ? m_r2 : m_r1;
    uint64_t& p = f == 0 ? p1 : p2;
    uint64_t& po = f == 0 ? p2 : p1;
    const CPiece piece = r.At(p);
    if (piece.eKind != CPiece::Unreadable)
        return; // it read after all: the walk compares it
    const uint64_t n = piece.nCount;
    // What file f cannot show, the other file's bytes at the same place cannot be held against.
    const uint64_t no = std::min(n, std::max(other.End(), po) - po);
    if (f == 0)
        m_out.Append(EAlignKind::ReadError, p1, n, p2, no);
    else
        m_out.Append(EAlignKind::ReadError, p1, no, p2, n);
    p += n;
    po += no;
}

bool CAlignWalk::AddTail(int f, uint64_t nFrom, uint64_t nOther) {
    CAlignReader& r = f == 0 ? m_r1 : m_r2;
    const EAlignKind eKind = f == 0 ? EAlignKind::Deleted : EAlignKind::Inserted;
    const auto Add = [&](EAlignKind e, uint64_t n, uint64_t nCount) {
        if (f == 0)
            m_out.Append(e, n, nCount, nOther, 0);
        else
            m_out.Append(e, nOther, 0, n, nCount);
    };
    // The other file's pass is over: with nothing of it kept, nothing here can be a move.
    const bool bChunk = f == 0 ? m_moves.HasInserted() : m_moves.HasDeleted();
    const auto Keep = [&] {
        for (const CChunk& c : m_tailChunks)
            if (!c.bUniform)
                f == 0 ? m_moves.AddDeleted(c) : m_moves.AddInserted(c);
        m_tailChunks.clear();
    };
    m_tailChunker.Start(nFrom);
    m_tailChunks.clear();
    uint64_t n = nFrom;
    for (;;) {
        if (IsAborted())
            return false;
        if (m_out.IsFull()) {
            Add(eKind, n, r.End() - n);
            m_bMissed = true;
            break;
        }
        if (f == 0)
            m_onProgress(n);
        const CPiece piece = r.At(n);
        if (piece.eKind == CPiece::End)
            break;
        if (piece.eKind == CPiece::Bytes && bChunk)
            m_tailChunker.Feed(piece.pBytes, piece.nCount, m_tailChunks);
        else if (piece.eKind != CPiece::Bytes)
            m_tailChunker.Break(n + piece.nCount, m_tailChunks);
        Add(piece.eKind == CPiece::Unreadable ? EAlignKind::ReadError : eKind, n, piece.nCount);
        n += piece.nCount;
        Keep();
    }
    m_tailChunker.Break(n, m_tailChunks);
    Keep();
    return true;
}

void CAlignWalk::AddRest(uint64_t p1, uint64_t p2) {
    AddGap(p1, m_out.m_nLength1, p2, m_out.m_nLength2, false);
}

void CAlignWalk::Run() {
    uint64_t p1 = 0;
    uint64_t p2 = 0;
    // Whether the equal stretch from p1, p2 on follows a match found on purpose (a shift, an
    // anchor), or only the start of the files or an unreadable stretch.
    bool bFound = false;
    bool bDone = false;
    while (!bDone && !IsAborted()) {
        if (m_out.IsFull()) {
            AddRest(p1, p2);
            m_bMissed = true;
            bDone = true;
            break;
        }
        uint64_t q1 = p1;
        uint64_t q2 = p2;
        BeginEqual(p1, p2, bFound);
        const EStop eStop = Diagonal(q1, q2);
        if (eStop == Mismatch) {
            uint32_t a = 0;
            uint32_t b = 0;
            if (Probe(q1, q2, a, b)) {
                EndEqual(q1, q2);
                AddGap(q1, q1 + a, q2, q2 + b, false);
                p1 = q1 + a;
                p2 = q2 + b;
                bFound = true;
                continue;
            }
            // A few equal bytes that chance put at the start of unrelated data join the gap.
            if (bFound || q1 - p1 >= kProbeLength) {
                EndEqual(q1, q2);
                p1 = q1;
                p2 = q2;
            }
            const CGapEnd end = m_gap.Search(p1, p2, m_onProgress);
            m_bMissed = m_bMissed || m_gap.Dropped();
            if (end.eHow == CGapEnd::Aborted)
                break;
            AddGap(p1, end.nEnd1, p2, end.nEnd2, true);
            m_out.Append(EAlignKind::Equal, end.nEnd1, end.nTail, end.nEnd2, end.nTail);
            p1 = end.nEnd1 + end.nTail;
            p2 = end.nEnd2 + end.nTail;
            bFound = end.eHow == CGapEnd::Anchor || end.eHow == CGapEnd::Resync;
            bDone = end.eHow == CGapEnd::Ends;
            continue;
        }
        EndEqual(q1, q2);
        p1 = q1;
        p2 = q2;
        if (eStop == Unreadable1 || eStop == Unreadable2) {
            AddUnreadable(eStop == Unreadable1 ? 0 : 1, p1, p2);
            bFound = false;
            continue;
        }
        bDone = eStop != Aborted && (eStop == EndBoth || (eStop == End2 && AddTail(0, p1, p2)) ||
                                     (eStop == End1 && AddTail(1, p2, p1)));
        break;
    }
    if (bDone) {
        // What a file no longer had when it was read stands against nothing.
        const uint64_t c1 = m_out.Covered1();
        m_out.Append(EAlignKind::Deleted, c1, m_out.m_nLength1 - c1, m_out.Covered2(), 0);
        const uint64_t c2 = m_out.Covered2();
        m_out.Append(EAlignKind::Inserted, m_out.m_nLength1, 0, c2, m_out.m_nLength2 - c2);
        // Matching moves writes the segments anew: the pass's memory goes first.
        m_gap.Release();
        m_r1.Unmap();
        m_r2.Unmap();
        m_moves.Apply(m_out, m_r1, m_r2, m_pAbort);
        m_onProgress(m_out.m_nLength1);
    }
    m_out.m_bComplete = bDone && !IsAborted() && !m_bMissed && !m_moves.Dropped();
}
