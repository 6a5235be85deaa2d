#include "engine/filelayout.h"

#include "engine/filesystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
std::atomic<bool> g_bSkipHoles{true};
} // namespace

void SetHoleSkipping(bool bSkip) {
    g_bSkipHoles.store(bSkip);
}

bool IsAllZero(const uint8_t* p, uint64_t nCount) {
    // 64 bytes at a time, or-ed together: a branch per eight words, not per byte.
    while (nCount >= 64) {
        uint64_t w[8];
        std::memcpy(w, p, sizeof w);
        if ((w[0] | w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) != 0)
            return false;
        p += 64;
        nCount -= 64;
    }
    uint8_t nOr = 0;
    while (nCount-- > 0)
        nOr |= *p++;
    return nOr == 0;
}

void CFileLayout::Reset(int fd, int64_t nLength) {
    m_fd = fd;
    m_nLength = nLength;
    m_nHoleAt = -1;
    // A block device's holes are its own business; only a regular file's are the file's.
    struct stat st = {};
    m_bKnown = g_bSkipHoles.load() && fd >= 0 && CFileSystem::Current().Stat(fd, &st) == 0 &&
               S_ISREG(st.st_mode);
}

void CFileLayout::Learn(int64_t nPosition) {
    CFileSystem& fs = CFileSystem::Current();
    m_nFrom = nPosition;
    const off_t nData = fs.Seek(m_fd, off_t(nPosition), SEEK_DATA);
    if (nData < 0 || nData < nPosition) {
        if (nData >= 0 || errno != ENXIO) {
            // EINVAL: this file system cannot tell; nor is data before the position believed.
            m_bKnown = false;
            return;
        }
        // No data from here on: a hole up to the current end. Past that end, if the file has
        // shrunk since it was opened, reads must find out, so that is data.
        struct stat st = {};
        const int64_t nSize = fs.Stat(m_fd, &st) == 0 ? int64_t(st.st_size) : nPosition;
        m_nDataAt = std::clamp(nSize, nPosition, m_nLength);
        m_nHoleAt = m_nLength;
        return;
    }
    m_nDataAt = std::min(int64_t(nData), m_nLength);
    off_t nHole = m_nDataAt < m_nLength ? fs.Seek(m_fd, nData, SEEK_HOLE) : m_nLength;
    // The file shrank between the two questions: reads will tell.
    if (nHole <= nData)
        nHole = m_nLength;
    // A hole at the current end only marks the end; the next question sees it as such.
    m_nHoleAt = std::min(int64_t(nHole), m_nLength);
}

int64_t CFileLayout::RunAt(int64_t nPosition, bool& bHole) {
    bHole = false;
    if (!m_bKnown || nPosition >= m_nLength || nPosition < 0)
        return INT64_MAX;
    if (m_nHoleAt < 0 || nPosition < m_nFrom || nPosition >= m_nHoleAt)
        Learn(nPosition);
    if (!m_bKnown)
        return INT64_MAX;
    bHole = nPosition < m_nDataAt;
    return bHole ? m_nDataAt : m_nHoleAt;
}

bool CFileLayout::IsHole(int64_t nPosition, int64_t nEnd) {
    bool bHole = false;
    return RunAt(nPosition, bHole) >= nEnd && bHole;
}
