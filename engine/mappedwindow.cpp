#include "engine/mappedwindow.h"

#include "engine/busguard.h"
#include "engine/filesystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {
std::atomic<uint64_t> g_nWindow{32u << 20};
} // namespace

uint64_t MapWindow() {
    return g_nWindow.load();
}

void SetMapWindow(uint64_t nBytes) {
    g_nWindow.store(nBytes);
}

bool MapsWindowsOf(int fd) {
    struct stat st = {};
    return MapWindow() != 0 && CFileSystem::Current().Stat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool CMappedWindow::Map(int fd, int64_t nFirst, int64_t nEnd) {
    // Whether the window left behind served true bytes is only known while it is the last.
    m_bLost = m_bLost || !Held();
    Release();
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
    m_fd = fd;
    m_pBase = static_cast<uint8_t*>(p);
    m_nSize = nSize;
    m_nBase = nBase;
    m_nFirst = nFirst;
    m_nEnd = nEnd;
    m_nServed = std::clamp(nSizeNow, nFirst, nEnd);
    return true;
}

const uint8_t* CMappedWindow::Find(int64_t nPosition, int64_t nCount) {
    if (!m_pBase || nPosition < m_nFirst || nPosition + nCount > m_nServed)
        return nullptr;
    m_nUsedEnd = std::max(m_nUsedEnd, nPosition + nCount);
    return m_pBase + (nPosition - m_nBase);
}

bool CMappedWindow::Spans(int64_t nPosition, int64_t nEnd) const {
    return m_pBase && nPosition >= m_nFirst && nEnd <= m_nEnd;
}

bool CMappedWindow::Held() {
    const int64_t nEnd = std::exchange(m_nUsedEnd, 0);
    struct stat st = {};
    return nEnd == 0 || (CFileSystem::Current().Stat(m_fd, &st) == 0 && st.st_size >= nEnd);
}

bool CMappedWindow::StillHeld() {
    return Held() && !std::exchange(m_bLost, false);
}

void CMappedWindow::Unmap() {
    Release();
    m_nUsedEnd = 0;
    m_bLost = false;
}

void CMappedWindow::Release() {
    if (!m_pBase)
        return;
    CBusGuard::Uncover(m_pBase);
    CFileSystem::Current().Unmap(m_pBase, m_nSize);
    m_pBase = nullptr;
}
