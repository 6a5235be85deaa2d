#include "engine/filesystem.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {
// The layer in force when no test installed one: the only one that maps files by default.
class CPosixFileSystem : public CFileSystem {
public:
    void* Map(int fd, size_t nLength, off_t nOffset) override {
        return ::mmap(nullptr, nLength, PROT_READ, MAP_SHARED, fd, nOffset);
    }
};

CPosixFileSystem g_posix;
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

void* CFileSystem::Map(int, size_t, off_t) {
    errno = ENODEV;
    return MAP_FAILED;
}

int CFileSystem::Unmap(void* pAddress, size_t nLength) {
    return ::munmap(pAddress, nLength);
}

CFileSystem& CFileSystem::Current() {
    return *g_pCurrent.load(std::memory_order_acquire);
}

void CFileSystem::Install(CFileSystem* pFs) {
    g_pCurrent.store(pFs ? pFs : &g_posix, std::memory_order_release);
}
