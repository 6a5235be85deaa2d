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

bool CBlockFile::Covers(int64_t nPosition, uint32_t nCount) const {
    if (m_posBuffer == -1)
        return false;
    int64_t nEnd = nPosition + nCount;
    if (nEnd > m_nLength)
        nEnd = m_nLength;
    return nPosition >= m_posBuffer && nEnd <= m_posBuffer + m_nHeld;
}

void CBlockFile::Refill(uint32_t nCount) {
    m_dwError = 0;
    int64_t p = GetPosition();
    if (p >= m_nLength)
        return;
    m_posBuffer = p;
    // A whole buffer from exactly this position, so the blocks after it come for free; never
    // past the length taken at opening, which would only cost a read that finds the end, nor
    // past the block asked for into a hole, whose zeros the next block gets without a read.
    bool bHole = false;
    int64_t nEnd = m_layout.RunAt(p, bHole);
    if (bHole)
        nEnd = m_layout.RunAt(nEnd, bHole);
    const int64_t nWhole = std::min(int64_t(m_nCapacity), m_nLength - p);
    const int64_t nBlock = std::min(int64_t(nCount), nWhole);
    const auto nWant = uint32_t(std::min(nWhole, std::max(nEnd - p, nBlock)));
    m_nHeld = Read(m_pBuffer.get(), nWant);
    if (GetLastError() != 0)
        m_dwError = uint32_t(GetLastError());
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
        Refill(nCount);
    }
    auto nOffset = uint32_t(p - m_posBuffer);
    uint32_t nAvailable = m_nHeld - nOffset;
    uint32_t n = nCount < nAvailable ? nCount : nAvailable;
    SeekTo(p + n);
    nGot = n;
    return m_pBuffer.get() + nOffset;
}
