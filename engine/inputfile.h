#pragma once

#include <cstdint>
#include <string>

// The system's one-line text for an errno value ("No such file or directory").
std::string ErrorText(int nErrno);

// A read-only file with a 64-bit size and position. It never writes, truncates or creates,
// and opening never blocks: directories, FIFOs, sockets and character devices are refused.
// Not for use from two threads at once.
class CInputFile {
public:
    CInputFile() = default;
    virtual ~CInputFile();
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    // True when the file is open; otherwise GetErrorText() tells why. What cannot be
    // compared is refused by its name before it is opened. Closes any file held before.
    bool Open(const std::string& strPath);
    bool IsOpen() const { return m_hFile >= 0; }
    // The descriptor, -1 when closed: for asking where the file has holes.
    int GetHandle() const { return m_hFile; }
    // The file's current length (a block device's too); 0 when it cannot be learnt.
    uint64_t GetSize() const;
    int64_t GetPosition() const { return m_nPosition; }
    void SeekTo(int64_t nOffset) { m_nPosition = nOffset; }
    // Reads up to nCount bytes at the position, over short reads and interruptions, and
    // moves the position past them. Fewer bytes mean the end of the file or a failure;
    // GetLastError() is 0 after a read that did not fail.
    uint32_t Read(void* pDest, uint32_t nCount);
    int GetLastError() const { return m_nError; }
    // The system's text for the last failure of Open or Read.
    std::string GetErrorText() const { return ErrorText(m_nError); }
    void Close();

protected:
    int m_hFile = -1;
    int m_nOpenFlags = 0;
    int64_t m_nPosition = 0;
    int m_nError = 0;
};
