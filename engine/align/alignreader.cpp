#include "engine/align/alignreader.h"

#include "engine/filesystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>

bool CAlignReader::Open(const std::string& strPath, uint64_t nLength) {
    m_pBuffer.reset(new (std::nothrow) uint8_t[kLoad]);
    m_pScratch.reset(new (std::nothrow) uint8_t[kLoad]);
    if (!m_pBuffer || !m_pScratch) {
        m_nError = ENOMEM;
        return false;
    }
    if (!m_file.Open(strPath)) {
        m_nError = m_file.GetLastError();
        return false;
    }
    m_nError = 0;
    m_nLength = nLength;
    m_nEnd = std::min(nLength, m_file.GetSize());
    m_nBase = 0;
    m_nHeld = 0;
    m_nBadFirst = m_nBadEnd = 0;
    m_layout.Reset(m_file.GetHandle(), int64_t(m_nEnd));
    m_randomLayout.Reset(m_file.GetHandle(), int64_t(m_nEnd));
    m_window.Unmap();
    // Smaller windows than the plain comparison's: the search tables and the segments share the
    // memory bound with the mapped pages.
    m_nWindow = MapsWindowsOf(m_file.GetHandle())
                    ? std::clamp<uint64_t>(MapWindow(), kLoad, kMaxWindow)
                    : 0;
    m_nReadEnd = 0;
    CFileSystem::Current().Advise(m_file.GetHandle(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

uint32_t CAlignReader::Load(uint64_t nPos) {
    bool bHole = false;
    const auto nData = uint64_t(m_layout.RunAt(int64_t(nPos), bHole));
    const uint64_t nGrid = (nPos / kLoad + 1) * kLoad;
    const auto nWant = uint32_t(std::min({nData, nGrid, m_nEnd}) - nPos);
    m_file.SeekTo(int64_t(nPos));
    m_nBase = nPos;
    m_nHeld = m_file.Read(m_pBuffer.get(), nWant);
    // Fewer bytes and no error: the file ends there now.
    if (m_nHeld < nWant && m_file.GetLastError() == 0)
        m_nEnd = nPos + m_nHeld;
    return m_nHeld;
}

uint64_t CAlignReader::SkipUnreadable(uint64_t nPos) {
    uint64_t nAt = nPos;
    for (;;) {
        nAt = (nAt / kGranule + 1) * kGranule;
        if (nAt >= m_nEnd)
            return m_nEnd;
        bool bHole = false;
        m_layout.RunAt(int64_t(nAt), bHole);
        if (bHole || Load(nAt) > 0 || nAt >= m_nEnd)
            return std::min(nAt, m_nEnd);
    }
}

CPiece CAlignReader::At(uint64_t nPos) {
    if (nPos >= m_nEnd)
        return {};
    if (nPos >= m_nBase && nPos < m_nBase + m_nHeld)
        return {CPiece::Bytes, m_pBuffer.get() + (nPos - m_nBase), m_nBase + m_nHeld - nPos};
    if (nPos >= m_nBadFirst && nPos < m_nBadEnd)
        return {CPiece::Unreadable, nullptr, m_nBadEnd - nPos};
    bool bHole = false;
    const auto nRunEnd = uint64_t(m_layout.RunAt(int64_t(nPos), bHole));
    if (bHole)
        return {CPiece::Hole, nullptr, std::min(nRunEnd, m_nEnd) - nPos};
    if (Load(nPos) > 0)
        return {CPiece::Bytes, m_pBuffer.get(), m_nHeld};
    if (nPos >= m_nEnd)
        return {};
    m_nBadFirst = nPos;
    m_nBadEnd = SkipUnreadable(nPos);
    return {CPiece::Unreadable, nullptr, m_nBadEnd - nPos};
}

uint32_t CAlignReader::View(uint64_t nPos, uint32_t nCount, const uint8_t*& pBytes, bool& bEnd) {
    nCount = std::min(nCount, kLoad);
    const uint64_t nWant = nPos < m_nEnd ? std::min<uint64_t>(nCount, m_nEnd - nPos) : 0;
    bEnd = nWant < nCount;
    if (nPos >= m_nBase && nPos + nWant <= m_nBase + m_nHeld) {
        pBytes = m_pBuffer.get() + (nPos - m_nBase);
        return uint32_t(nWant);
    }
    pBytes = m_pScratch.get();
    uint32_t n = 0;
    while (n < nWant) {
        const uint64_t p = nPos + n;
        bool bHole = false;
        const auto nRunEnd = uint64_t(m_randomLayout.RunAt(int64_t(p), bHole));
        const auto k = uint32_t(std::min<uint64_t>(nWant - n, nRunEnd - p));
        if (bHole) {
            std::memset(m_pScratch.get() + n, 0, k);
            n += k;
            continue;
        }
        m_file.SeekTo(int64_t(p));
        const uint32_t nGot = m_file.Read(m_pScratch.get() + n, k);
        n += nGot;
        if (nGot < k) {
            bEnd = m_file.GetLastError() == 0;
            if (bEnd)
                m_nEnd = std::min(m_nEnd, p + nGot);
            break;
        }
    }
    return n;
}

uint64_t CAlignReader::HoleEnd(uint64_t nPos) {
    bool bHole = false;
    const auto nRunEnd = uint64_t(m_randomLayout.RunAt(int64_t(nPos), bHole));
    return bHole && nPos < m_nEnd ? std::min(nRunEnd, m_nEnd) : nPos;
}

const uint8_t* CAlignReader::MappedIn(CMappedWindow& window, uint64_t nPos, uint64_t nMost,
                                      uint64_t& nCount) {
    if (m_nWindow == 0 || nPos >= m_nEnd)
        return nullptr;
    bool bHole = false;
    const auto nData = uint64_t(m_layout.RunAt(int64_t(nPos), bHole));
    if (bHole)
        return nullptr;
    // No more than a window holds, or a window smaller than the batch asked for serves nothing.
    const uint64_t nEnd = std::min({nData, m_nEnd, nPos + std::min(nMost, m_nWindow)});
    const uint8_t* p = window.Find(int64_t(nPos), int64_t(nEnd - nPos));
    // A window from exactly here, as a load would start, so a file layer sees both at one place.
    if (!p && !window.Spans(int64_t(nPos), int64_t(nEnd))) {
        if (!window.Map(m_file.GetHandle(), int64_t(nPos),
                        int64_t(std::min({nData, m_nEnd, nPos + m_nWindow})))) {
            m_nWindow = 0; // this file cannot be mapped: it is read, as before
            return nullptr;
        }
        p = window.Find(int64_t(nPos), int64_t(nEnd - nPos));
    }
    nCount = nEnd - nPos;
    return p;
}
