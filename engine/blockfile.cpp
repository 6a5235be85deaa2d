#include "engine/blockfile.h"

#include "engine/filesystem.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>

bool CBlockFile::OpenBuffered(const std::string& strPath, uint32_t nCapacity) {
    m_nLength = 0;
    m_posBuffer = -1;
    m_nHeld = 0;
    m_dwError = 0;
    m_window.Unmap();
    m_nWindow = 0;
    m_nReadEnd = 0;
    m_nCapacity = nCapacity;
    m_pBuffer.reset(new (std::nothrow) uint8_t[nCapacity]);
    if (!m_pBuffer) {
        m_dwError = ENOMEM;
        m_nError = ENOMEM;
        return false;
    }
    if (!Open(strPath))
        return false;
    m_nLength = int64_t(GetSize());
    m_layout.Reset(m_hFile, m_nLength);
    // Twice the kernel's usual read-ahead: a cold comparison keeps the disk busy.
    CFileSystem::Current().Advise(m_hFile, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool CBlockFile::OpenMapped(const std::string& strPath, uint32_t nCapacity) {
    if (!OpenBuffered(strPath, nCapacity))
        return false;
    if (MapsWindowsOf(m_hFile))
        m_nWindow = std::max<int64_t>(int64_t(MapWindow()), nCapacity);
    return true;
}

bool CBlockFile::Covers(int64_t nPosition, uint32_t nCount) const {
    if (m_posBuffer == -1)
        return false;
    int64_t nEnd = nPosition + nCount;
    if (nEnd > m_nLength)
        nEnd = m_nLength;
    return nPosition >= m_posBuffer && nEnd <= m_posBuffer + m_nHeld;
}

int64_t CBlockFile::LoadEnd(int64_t p, uint32_t nCount, int64_t nMost) {
    // nMost bytes from exactly this position, so the blocks after it come for free; never past
    // the length taken at opening, which would only cost a read that finds the end, nor past the
    // block asked for into a hole, whose zeros the next block gets without a read.
    bool bHole = false;
    int64_t nEnd = m_layout.RunAt(p, bHole);
    if (bHole)
        nEnd = m_layout.RunAt(nEnd, bHole);
    const int64_t nWhole = std::min(nMost, m_nLength - p);
    const int64_t nBlock = std::min(int64_t(nCount), nWhole);
    return p + std::min(nWhole, std::max(nEnd - p, nBlock));
}

void CBlockFile::Refill(uint32_t nCount) {
    m_dwError = 0;
    int64_t p = GetPosition();
    if (p >= m_nLength)
        return;
    m_posBuffer = p;
    m_nHeld = Read(m_pBuffer.get(), uint32_t(LoadEnd(p, nCount, m_nCapacity) - p));
    if (GetLastError() != 0)
        m_dwError = uint32_t(GetLastError());
}

const uint8_t* CBlockFile::Mapped(int64_t p, int64_t nEnd) {
    if (m_nWindow == 0 || p < m_nReadEnd)
        return nullptr;
    const uint8_t* pBytes = m_window.Find(p, nEnd - p);
    if (!pBytes && !m_window.Spans(p, nEnd)) {
        if (!m_window.Map(m_hFile, p, LoadEnd(p, uint32_t(nEnd - p), m_nWindow))) {
            m_nWindow = 0; // this file cannot be mapped: it is read, as before
            return nullptr;
        }
        pBytes = m_window.Find(p, nEnd - p);
    }
    return pBytes;
}

bool CBlockFile::StillHolds() {
    return m_window.StillHeld();
}

void CBlockFile::ReadUpTo(int64_t nEnd) {
    m_window.Unmap();
    m_nReadEnd = nEnd;
}

const uint8_t* CBlockFile::GetBlock(uint32_t nCount, uint32_t& nGot) {
    int64_t p = GetPosition();
    if (p >= m_nLength) {
        nGot = 0;
        return m_pBuffer.get();
    }
    if (!Covers(p, nCount)) {
        const int64_t nEnd = std::min(p + int64_t(nCount), m_nLength);
        if (m_layout.IsHole(p, nEnd)) {
            SeekTo(nEnd);
            nGot = uint32_t(nEnd - p);
            return nullptr;
        }
        if (const uint8_t* pBytes = Mapped(p, nEnd)) {
            SeekTo(nEnd);
            nGot = uint32_t(nEnd - p);
            return pBytes;
        }
        Refill(nCount);
    }
    auto nOffset = uint32_t(p - m_posBuffer);
    uint32_t nAvailable = m_nHeld - nOffset;
    uint32_t n = nCount < nAvailable ? nCount : nAvailable;
    SeekTo(p + n);
    nGot = n;
    return m_pBuffer.get() + nOffset;
}
