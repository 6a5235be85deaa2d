#include "engine/align/alignment.h"

#include <algorithm>
#include <cstddef>

const char* AlignKindName(EAlignKind eKind) {
    switch (eKind) {
    case EAlignKind::Equal:
        return "equal";
    case EAlignKind::Different:
        return "different";
    case EAlignKind::Inserted:
        return "inserted";
    case EAlignKind::Deleted:
        return "deleted";
    case EAlignKind::Moved:
        return "moved";
    case EAlignKind::ReadError:
        return "read-error";
    }
    return "?";
}

void CAlignment::Reset(uint64_t nLength1, uint64_t nLength2) {
    m_segments.clear();
    m_nLength1 = nLength1;
    m_nLength2 = nLength2;
    m_bComplete = false;
    m_nCovered2 = 0;
}

void CAlignment::Append(EAlignKind eKind, uint64_t nOffset1, uint64_t nLength1, uint64_t nOffset2,
                        uint64_t nLength2) {
    if (nLength1 == 0 && nLength2 == 0)
        return;
    // Both ranges carrying on from the last segment's: for equal ones that also means the same
    // shift, as their two lengths are the same.
    if (!m_segments.empty()) {
        CAlignSegment& last = m_segments.back();
        if (last.eKind == eKind && eKind != EAlignKind::Moved && last.End1() == nOffset1 &&
            last.End2() == nOffset2) {
            last.nLength1 += nLength1;
            last.nLength2 += nLength2;
            m_nCovered2 += nLength2;
            return;
        }
    }
    m_segments.push_back({eKind, nOffset1, nLength1, nOffset2, nLength2});
    m_nCovered2 += nLength2;
}

namespace {
uint8_t CellKind(const CAlignSegment& s) {
    switch (s.eKind) {
    case EAlignKind::Equal:
        return s.Shift() == 0 ? CELL_EQUAL : CELL_SHIFTED;
    case EAlignKind::Moved:
        return CELL_SHIFTED;
    case EAlignKind::Inserted:
        return CELL_INSERTED;
    case EAlignKind::Deleted:
        return CELL_DELETED;
    case EAlignKind::Different:
        return CELL_DIFFERENT;
    case EAlignKind::ReadError:
        return CELL_READ_ERROR;
    }
    return CELL_PENDING;
}
} // namespace

uint8_t CAlignment::WorstKind(uint64_t nFirst, uint64_t nEnd) const {
    // Segments end in order in file 1; those ending before nFirst lie wholly before the range. A
    // segment with no file-1 bytes stands at its point, which belongs to the range that holds the
    // byte there, or to the last range when it is the end of file 1.
    auto it = std::lower_bound(m_segments.begin(), m_segments.end(), nFirst,
                               [](const CAlignSegment& s, uint64_t n) { return s.End1() < n; });
    uint8_t nWorst = CELL_PENDING;
    for (; it != m_segments.end() && nWorst < CELL_READ_ERROR; ++it) {
        if (it->nLength1 == 0) {
            const bool bInside =
                it->nOffset1 >= nFirst && (it->nOffset1 < nEnd || it->nOffset1 == m_nLength1);
            if (it->nOffset1 > nEnd)
                break;
            if (bInside)
                nWorst = std::max(nWorst, CellKind(*it));
            continue;
        }
        if (it->nOffset1 >= nEnd)
            break;
        if (it->End1() > nFirst)
            nWorst = std::max(nWorst, CellKind(*it));
    }
    return nWorst;
}

bool CAlignment::CatchUp(const CAlignment& from) {
    const size_t n = m_segments.size();
    // Matching moves writes the segments anew: then the two part before the last one.
    if (n > from.m_segments.size() || (n >= 2 && m_segments[n - 2] != from.m_segments[n - 2]) ||
        m_nLength1 != from.m_nLength1 || m_nLength2 != from.m_nLength2) {
        *this = from;
        return true;
    }
    if (n > 0)
        m_segments.back() = from.m_segments[n - 1];
    m_segments.insert(m_segments.end(), from.m_segments.begin() + std::ptrdiff_t(n),
                      from.m_segments.end());
    m_nCovered2 = from.m_nCovered2;
    m_bComplete = from.m_bComplete;
    return false;
}

void CSharedAlignment::Reset(uint64_t nLength1, uint64_t nLength2) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_alignment.Reset(nLength1, nLength2);
    m_alignment.m_segments.shrink_to_fit();
    ++m_nGeneration;
}

void CSharedAlignment::CatchUp(const CAlignment& from) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_alignment.CatchUp(from))
        ++m_nGeneration;
}

void CSharedAlignment::Replace(CAlignment&& finished) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_alignment = std::move(finished);
    ++m_nGeneration;
}
