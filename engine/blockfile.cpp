#include "engine/blockfile.h"

#include <cerrno>
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

void CBlockFile::Refill() {
    m_dwError = 0;
    int64_t p = GetPosition();
    if (p >= m_nLength)
        return;
    m_posBuffer = p;
    // A whole buffer from exactly this position, so the blocks after it come for free; never
    // past the length taken at opening, which would only cost a read that finds the end.
    uint32_t nWant = m_nCapacity;
    if (m_nLength - p < int64_t(nWant))
        nWant = uint32_t(m_nLength - p);
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
    if (!Covers(p, nCount))
        Refill();
    auto nOffset = uint32_t(p - m_posBuffer);
    uint32_t nAvailable = m_nHeld - nOffset;
    uint32_t n = nCount < nAvailable ? nCount : nAvailable;
    SeekTo(p + n);
    nGot = n;
    return m_pBuffer.get() + nOffset;
}
