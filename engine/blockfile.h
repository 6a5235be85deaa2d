#pragma once

#include "engine/filelayout.h"
#include "engine/inputfile.h"

#include <cstdint>
#include <memory>

// The worker's reader: serves the file block by block out of one large buffer, loaded with
// one system read at a time, and hands out pointers into it, so a block is never copied.
class CBlockFile : public CInputFile {
public:
    // Gets a buffer of nCapacity bytes, opens the file and takes its length once. False when
    // the buffer could not be had (m_dwError is ENOMEM) or the file could not be opened.
    bool OpenBuffered(const std::string& strPath, uint32_t nCapacity);
    // Serves up to nCount bytes from the position and moves the position past them. The
    // pointer stays valid until the next GetBlock. Check m_dwError after each call. Bytes
    // that lie wholly in a hole of the file are not read: they are zeros, and the pointer is
    // null.
    const uint8_t* GetBlock(uint32_t nCount, uint32_t& nGot);

    std::unique_ptr<uint8_t[]> m_pBuffer;
    uint32_t m_nCapacity = 0;
    int64_t m_posBuffer = -1; // file offset of the first buffered byte, -1 when empty
    uint32_t m_nHeld = 0;     // valid bytes in the buffer from m_posBuffer on
    int64_t m_nLength = 0;    // taken at opening, fixed afterwards
    uint32_t m_dwError = 0;   // errno of the last failed load, 0 after a good one

private:
    bool Covers(int64_t nPosition, uint32_t nCount) const;
    void Refill(uint32_t nCount);

    CFileLayout m_layout;
};
