#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/stat.h>
#include <sys/types.h>

// Every system call the file readers make goes through the current CFileSystem, so that
// tests can make reads fail over a chosen byte range and count the reads actually made.
// Each call behaves as its POSIX namesake: -1 and errno on failure.
class CFileSystem {
public:
    virtual ~CFileSystem() = default;

    // stat(2): the look-up by name that comes before any open.
    virtual int StatPath(const char* pszPath, struct stat* pStat);
    virtual int Open(const char* pszPath, int nFlags);
    virtual ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset);
    virtual int Stat(int fd, struct stat* pStat);
    virtual off_t SeekEnd(int fd);
    // lseek for SEEK_DATA and SEEK_HOLE: where the file's data and holes lie.
    virtual off_t Seek(int fd, off_t nOffset, int nWhence);
    // posix_fadvise: returns 0 or the error number, and leaves errno alone.
    virtual int Advise(int fd, off_t nOffset, off_t nLength, int nAdvice);
    virtual int Close(int fd);
    // mmap(2) of nLength bytes at nOffset (a multiple of the page size), read-only and shared;
    // MAP_FAILED and errno on failure. Only the program's own layer maps: a layer a test derives
    // refuses (ENODEV) unless it maps on purpose, as it would not see the bytes of a mapping.
    virtual void* Map(int fd, size_t nLength, off_t nOffset);
    virtual int Unmap(void* pAddress, size_t nLength);

    // The layer in force; the plain POSIX one unless a test installed another.
    static CFileSystem& Current();
    // Installs pFs (not owned) for every reader on every thread; nullptr restores POSIX.
    // Only while no reader is in use.
    static void Install(CFileSystem* pFs);
};
