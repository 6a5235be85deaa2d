#include "engine/filesystem.h"

#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace {
CFileSystem g_posix;
std::atomic<CFileSystem*> g_pCurrent{&g_posix};
} // namespace

int CFileSystem::StatPath(const char* pszPath, struct stat* pStat) {
    return ::stat(pszPath, pStat);
}

int CFileSystem::Open(const char* pszPath, int nFlags) {
    return ::open(pszPath, nFlags);
}

ssize_t CFileSystem::ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) {
    return ::pread(fd, pDest, nCount, nOffset);
}

int CFileSystem::Stat(int fd, struct stat* pStat) {
    return ::fstat(fd, pStat);
}

off_t CFileSystem::SeekEnd(int fd) {
    return ::lseek(fd, 0, SEEK_END);
}

off_t CFileSystem::Seek(int fd, off_t nOffset, int nWhence) {
    return ::lseek(fd, nOffset, nWhence);
}

int CFileSystem::Advise(int fd, off_t nOffset, off_t nLength, int nAdvice) {
    return ::posix_fadvise(fd, nOffset, nLength, nAdvice);
}

int CFileSystem::Close(int fd) {
    return ::close(fd);
}

CFileSystem& CFileSystem::Current() {
    return *g_pCurrent.load(std::memory_order_acquire);
}

void CFileSystem::Install(CFileSystem* pFs) {
    g_pCurrent.store(pFs ? pFs : &g_posix, std::memory_order_release);
}
