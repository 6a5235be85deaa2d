#include "engine/mappedwindow.h"

#include "engine/busguard.h"
#include "engine/filesystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <sys/mman.h>
#include <unistd.h>

namespace {
std::atomic<uint64_t> g_nWindow{32u << 20};
} // namespace

uint64_t MapWindow() {
    return g_nWindow.load();
}

void SetMapWindow(uint64_t nBytes) {
    g_nWindow.store(nBytes);
}

bool CMappedWindow::Map(int fd, int64_t nFirst, int64_t nEnd) {
    Unmap();
    if (!CBusGuard::Ready()) {
        errno = ENOTSUP;
        return false;
    }
    CFileSystem& fs = CFileSystem::Current();
    static const int64_t nPage = ::sysconf(_SC_PAGESIZE);
    const int64_t nBase = nFirst / nPage * nPage;
    const auto nSize = size_t(nEnd - nBase);
    void* p = fs.Map(fd, nSize, off_t(nBase));
    if (p == MAP_FAILED)
        return false;
    if (!CBusGuard::Cover(p, nSize)) {
        fs.Unmap(p, nSize);
        errno = ENOMEM;
        return false;
    }
    ::madvise(p, nSize, MADV_SEQUENTIAL);
    // Asked after mapping: a file that had shrunk by then reads as zeros to the end of its last
    // page, and those bytes were never the file's.
    struct stat st = {};
    const int64_t nSizeNow = fs.Stat(fd, &st) == 0 ? int64_t(st.st_size) : nFirst;
    m_pBase = static_cast<uint8_t*>(p);
    m_nSize = nSize;
    m_nBase = nBase;
    m_nFirst = nFirst;
    m_nEnd = nEnd;
    m_nServed = std::clamp(nSizeNow, nFirst, nEnd);
    return true;
}

const uint8_t* CMappedWindow::Find(int64_t nPosition, int64_t nCount) const {
    if (!m_pBase || nPosition < m_nFirst || nPosition + nCount > m_nServed)
        return nullptr;
    return m_pBase + (nPosition - m_nBase);
}

bool CMappedWindow::Spans(int64_t nPosition, int64_t nEnd) const {
    return m_pBase && nPosition >= m_nFirst && nEnd <= m_nEnd;
}

void CMappedWindow::Unmap() {
    if (!m_pBase)
        return;
    CBusGuard::Uncover(m_pBase);
    CFileSystem::Current().Unmap(m_pBase, m_nSize);
    m_pBase = nullptr;
}
