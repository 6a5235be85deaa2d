#pragma once

#include "engine/filelayout.h"
#include "engine/inputfile.h"
#include "engine/mappedwindow.h"

#include <cstdint>
#include <memory>
#include <string>

// What lies at a position of a file, as the aligned comparison meets it.
struct CPiece {
    enum EKind : uint8_t { Bytes, Hole, Unreadable, End };
    EKind eKind = End;
    const uint8_t* pBytes = nullptr; // Bytes only; valid until the reader's next At
    uint64_t nCount = 0;             // from the position asked on; 0 for End
};

// One file of an aligned comparison. Reads forward in loads that end on a 256 KiB grid, as the
// plain comparison's loads do, never into a hole and never past the length the caller gave or
// the file had at opening; reads anywhere again on demand. A read that finds the file ended
// early moves its end there: the bytes past it are gone. Unreadable bytes are skipped in 4 KiB
// units, the size a disk fails in. A regular file's data can also be served from mapped windows,
// for the diagonal walk, which compares equal stretches where the page cache holds them.
class CAlignReader {
public:
    static constexpr uint32_t kLoad = 262144;
    static constexpr uint32_t kGranule = 4096;
    static constexpr uint64_t kMaxWindow = uint64_t(8) << 20; // the most a mapped window holds

    // Opens the file the caller found nLength bytes long. False, with GetErrorText, when it
    // cannot be opened or the buffers cannot be had.
    bool Open(const std::string& strPath, uint64_t nLength);
    std::string GetErrorText() const { return ErrorText(m_nError); }
    // The length the caller gave, which the alignment tiles.
    uint64_t Length() const { return m_nLength; }
    // Where the bytes end as far as is known: at most Length, less when the file was shorter at
    // opening or a read found it ended.
    uint64_t End() const { return m_nEnd; }

    // Bytes, a hole or an unreadable stretch from nPos on, or End at or past End().
    CPiece At(uint64_t nPos);
    // Up to nCount (at most kLoad) bytes from nPos as one run, zeros for holes, stopping short at
    // an unreadable byte or the end (then bEnd is true). Leaves what At serves alone. pBytes is
    // valid until the next View or At.
    uint32_t View(uint64_t nPos, uint32_t nCount, const uint8_t*& pBytes, bool& bEnd);
    // True when bytes nFirst to nEnd - 1 all lie in one hole.
    bool IsHole(uint64_t nFirst, uint64_t nEnd) {
        return m_randomLayout.IsHole(int64_t(nFirst), int64_t(nEnd));
    }
    // Where the hole holding nPos ends (at most End()); nPos when it lies in data.
    uint64_t HoleEnd(uint64_t nPos);

    // Up to nMost bytes of data from nPos on, as a mapped window of the file holds them, setting
    // nCount: for a caller on the opening thread that touches them only under CBusGuard and asks
    // StillHolds afterwards. Null where the file is not mapped (not a regular file, mapping off
    // or refused, before ReadUpTo's end) or nPos lies in a hole or at the end: read there.
    const uint8_t* Mapped(uint64_t nPos, uint64_t nMost, uint64_t& nCount) {
        return nPos < m_nReadEnd ? nullptr : MappedIn(m_window, nPos, nMost, nCount);
    }
    // The same from a window of the caller's own, guarded on the thread that asks, which must
    // also be the one that unmaps it.
    const uint8_t* MappedIn(CMappedWindow& window, uint64_t nPos, uint64_t nMost, uint64_t& nCount);
    // True when the file still holds every mapped byte served since the last call.
    bool StillHolds() { return m_window.StillHeld(); }
    // The bytes before nEnd are read from now on: a fault or a shrunk file left them untold.
    void ReadUpTo(uint64_t nEnd) {
        m_window.Unmap();
        m_nReadEnd = nEnd;
    }
    // Lets the mapped window go; a later Mapped maps again.
    void Unmap() { m_window.Unmap(); }

private:
    // Loads from nPos up to the grid, the data's end or End(); the count got.
    uint32_t Load(uint64_t nPos);
    // Where an unreadable stretch starting at nPos ends: the next unit that reads, a hole or End.
    uint64_t SkipUnreadable(uint64_t nPos);

    CInputFile m_file;
    CFileLayout m_layout;       // for At, moving forward
    CFileLayout m_randomLayout; // for View and IsHole, anywhere
    CMappedWindow m_window;
    uint64_t m_nWindow = 0;  // bytes a window maps; 0 when the file is only read
    uint64_t m_nReadEnd = 0; // the bytes before it are read, not mapped
    std::unique_ptr<uint8_t[]> m_pBuffer;
    std::unique_ptr<uint8_t[]> m_pScratch;
    uint64_t m_nBase = 0; // file offset of m_pBuffer[0]
    uint32_t m_nHeld = 0;
    uint64_t m_nLength = 0;
    uint64_t m_nEnd = 0;
    uint64_t m_nBadFirst = 0; // the last unreadable stretch found
    uint64_t m_nBadEnd = 0;
    int m_nError = 0;
};
