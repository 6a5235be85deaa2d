#pragma once

#include "engine/filelayout.h"
#include "engine/inputfile.h"
#include "engine/mappedwindow.h"

#include <cstdint>
#include <memory>

// The worker's reader: serves the file block by block and hands out pointers, so a block is
// never copied. A regular file is served from one mapped window of it at a time, so its pages
// are compared where the page cache holds them; anything else, and what a window cannot serve,
// from one large buffer loaded with one system read at a time.
class CBlockFile : public CInputFile {
public:
    // Gets a buffer of nCapacity bytes, opens the file and takes its length once. False when
    // the buffer could not be had (m_dwError is ENOMEM) or the file could not be opened.
    bool OpenBuffered(const std::string& strPath, uint32_t nCapacity);
    // As OpenBuffered, and a regular file is then served from mapped windows: for a caller that
    // guards its accesses to the blocks (CBusGuard) and, after a fault or when StillHolds says
    // no, fetches them again after ReadUpTo.
    bool OpenMapped(const std::string& strPath, uint32_t nCapacity);
    // Serves up to nCount bytes from the position and moves the position past them. The
    // pointer stays valid until the next GetBlock or ReadUpTo. Check m_dwError after each call.
    // Bytes that lie wholly in a hole of the file are not read: they are zeros, and the pointer
    // is null. Touching bytes served from a mapping (OpenMapped) may raise SIGBUS.
    const uint8_t* GetBlock(uint32_t nCount, uint32_t& nGot);
    // True when the file still holds every byte served from a mapping since the last call: one
    // that shrank under its mapping reads as zeros up to the end of a page, without a fault.
    bool StillHolds();
    // From now on serves the bytes before nEnd through reads, as for a file that cannot be
    // mapped: after a fault, reads say what the mapping could not.
    void ReadUpTo(int64_t nEnd);

    std::unique_ptr<uint8_t[]> m_pBuffer;
    uint32_t m_nCapacity = 0;
    int64_t m_posBuffer = -1; // file offset of the first buffered byte, -1 when empty
    uint32_t m_nHeld = 0;     // valid bytes in the buffer from m_posBuffer on
    int64_t m_nLength = 0;    // taken at opening, fixed afterwards
    uint32_t m_dwError = 0;   // errno of the last failed load, 0 after a good one

private:
    bool Covers(int64_t nPosition, uint32_t nCount) const;
    int64_t LoadEnd(int64_t nPosition, uint32_t nCount, int64_t nMost);
    void Refill(uint32_t nCount);
    const uint8_t* Mapped(int64_t nPosition, int64_t nEnd);

    CFileLayout m_layout;
    CMappedWindow m_window;
    int64_t m_nWindow = 0;  // bytes a window maps; 0 when the file is only read
    int64_t m_nReadEnd = 0; // the bytes before it are read, not mapped
};
