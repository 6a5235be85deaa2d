#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// What a stretch of an aligned comparison holds.
enum class EAlignKind : uint8_t { Equal, Different, Inserted, Deleted, Moved, ReadError };

// "equal", "different", "inserted", "deleted", "moved", "read-error".
const char* AlignKindName(EAlignKind eKind);

// A stretch of file 1 and the stretch of file 2 that stands for it. Inserted bytes have no
// file-1 bytes (nLength1 0: nOffset1 is the point they stand at), deleted ones no file-2 bytes.
struct CAlignSegment {
    EAlignKind eKind = EAlignKind::Equal;
    uint64_t nOffset1 = 0;
    uint64_t nLength1 = 0;
    uint64_t nOffset2 = 0;
    uint64_t nLength2 = 0;

    uint64_t End1() const { return nOffset1 + nLength1; }
    uint64_t End2() const { return nOffset2 + nLength2; }
    // Where file 2 has these bytes against file 1, for equal and moved ones.
    int64_t Shift() const { return int64_t(nOffset2 - nOffset1); }
    bool operator==(const CAlignSegment&) const = default;
};

// What a map cell shows; a larger value outweighs a smaller one in the same cell.
enum : uint8_t {
    CELL_PENDING = 0, // nothing there is known yet
    CELL_EQUAL = 1,   // equal at the same offset
    CELL_SHIFTED = 2, // equal or moved, at another offset in file 2
    CELL_INSERTED = 3,
    CELL_DELETED = 4,
    CELL_DIFFERENT = 5,
    CELL_READ_ERROR = 6,
};

// The outcome of an aligned comparison: segments in file-1 order whose file-1 ranges tile file 1
// and whose file-2 ranges tile file 2 (moved ones out of order). Complete when every shift within
// the search's reach was looked for: no record was dropped and the run was not aborted; an
// aborted run's segments tile only a prefix of both files.
class CAlignment {
public:
    // Past this many segments the comparison ends early (IsFull): memory stays bounded (20 MiB)
    // whatever the pair.
    static constexpr size_t kMaxSegments = size_t(1) << 19;

    // Starts afresh for files of these lengths.
    void Reset(uint64_t nLength1, uint64_t nLength2);
    // Adds a segment after the last one, merged into it when it continues it; empty ones are
    // dropped.
    void Append(EAlignKind eKind, uint64_t nOffset1, uint64_t nLength1, uint64_t nOffset2,
                uint64_t nLength2);
    bool IsFull() const { return m_segments.size() >= kMaxSegments; }
    // How far the segments reach in file 1 and in file 2.
    uint64_t Covered1() const { return m_segments.empty() ? 0 : m_segments.back().End1(); }
    uint64_t Covered2() const { return m_nCovered2; }
    // The worst that file-1 bytes nFirst to nEnd - 1 hold, CELL_*: read error, then different,
    // then deleted, then inserted (bytes inserted at a point inside the range, or at its end when
    // that is the end of file 1), then shifted, then equal; CELL_PENDING where nothing is known.
    uint8_t WorstKind(uint64_t nFirst, uint64_t nEnd) const;
    // Brings this copy up to from, of which it holds a prefix that may end in a segment that has
    // grown since: costs what was added, not the whole. Anything else is copied whole, and
    // then true is returned.
    bool CatchUp(const CAlignment& from);

    std::vector<CAlignSegment> m_segments;
    uint64_t m_nLength1 = 0;
    uint64_t m_nLength2 = 0;
    bool m_bComplete = false;

private:
    uint64_t m_nCovered2 = 0;
};

// An alignment that a running comparison settles and the user interface reads meanwhile: the
// worker brings it up to what it has settled, the reader looks under the lock.
class CSharedAlignment {
public:
    // Starts afresh for files of these lengths.
    void Reset(uint64_t nLength1, uint64_t nLength2);
    // The worker's segments so far: they tile a prefix of both files.
    void CatchUp(const CAlignment& from);
    // The finished alignment in place of the copy; the worker is gone by then.
    void Replace(CAlignment&& finished);

    std::unique_lock<std::mutex> Lock() const { return std::unique_lock<std::mutex>(m_lock); }
    // Both under Lock(). A reader that finds another generation than it last saw reads it all
    // again: the copy was started afresh or replaced, not only added to.
    const CAlignment& Get() const { return m_alignment; }
    uint64_t Generation() const { return m_nGeneration; }

private:
    mutable std::mutex m_lock;
    CAlignment m_alignment;
    uint64_t m_nGeneration = 0;
};
