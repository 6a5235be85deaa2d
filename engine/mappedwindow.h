#pragma once

#include <cstdint>
#include <cstdlib>

// A window of a regular file mapped read-only, so that its bytes are compared where they lie
// in the page cache instead of being copied out first. The window is guarded on the thread
// that mapped it (CBusGuard): touching a page the file no longer backs raises SIGBUS there.
class CMappedWindow {
public:
    CMappedWindow() = default;
    ~CMappedWindow() { Unmap(); }
    CMappedWindow(const CMappedWindow&) = delete;
    CMappedWindow& operator=(const CMappedWindow&) = delete;

    // Maps bytes nFirst to nEnd - 1 of fd in place of the window held before. Only bytes the
    // file still held right after mapping are served. False, with errno, when it cannot be had.
    bool Map(int fd, int64_t nFirst, int64_t nEnd);
    // The nCount bytes at nPosition, or null when the window does not serve them all.
    const uint8_t* Find(int64_t nPosition, int64_t nCount);
    // Whether bytes nPosition to nEnd - 1 lie in the window as asked for, served or not.
    bool Spans(int64_t nPosition, int64_t nEnd) const;
    // True when the file still holds every byte served since the last call, also by windows this
    // one replaced: a file that shrank under its mapping reads as zeros to a page's end, without
    // a fault, and what was compared there must be read again.
    bool StillHeld();
    // Unmaps and forgets what was served.
    void Unmap();

private:
    bool Held();
    void Release();

    int m_fd = -1;
    uint8_t* m_pBase = nullptr;
    size_t m_nSize = 0;
    int64_t m_nBase = 0;  // file offset of m_pBase, a multiple of the page size
    int64_t m_nFirst = 0; // the window as asked for
    int64_t m_nEnd = 0;
    int64_t m_nServed = 0;  // end of the bytes served: where the file ended after mapping, at most
    int64_t m_nUsedEnd = 0; // end of the bytes served since they were last checked
    bool m_bLost = false;   // a window replaced since StillHeld had served what its file lost
};

// Whether the readers map windows of fd: a regular file, while mapping is on. A block device
// keeps its reads, which report a bad sector as an error rather than a signal.
bool MapsWindowsOf(int fd);

// The bytes a window maps: 32 MiB, enough that mapping costs nothing against comparing.
uint64_t MapWindow();
// For tests: windows of nBytes, made at least a reader's load (1: exactly a load, so that a file
// layer sees both paths act at the same blocks); 0 maps nothing, every file is read.
void SetMapWindow(uint64_t nBytes);
