#include "engine/inputfile.h"

#include "engine/filesystem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace {
// strerror_r comes in a GNU and an XSI flavour; these pick the text out of either.
[[maybe_unused]] std::string FromStrerror(const char* pszText, const char*) {
    return pszText;
}
[[maybe_unused]] std::string FromStrerror(int nResult, const char* pszBuffer) {
    return nResult == 0 ? std::string(pszBuffer) : std::string("Unknown error");
}

// A file worth comparing can be read at any offset and has an end.
int RefusalFor(mode_t nMode) {
    if (S_ISDIR(nMode))
        return EISDIR;
    if (S_ISSOCK(nMode))
        return ENXIO; // what opening one would have said
    if (S_ISFIFO(nMode) || S_ISCHR(nMode))
        return ESPIPE;
    return 0;
}
} // namespace

std::string ErrorText(int nErrno) {
    char szBuffer[256] = {};
    return FromStrerror(strerror_r(nErrno, szBuffer, sizeof szBuffer), szBuffer);
}

CInputFile::~CInputFile() {
    Close();
}

bool CInputFile::Open(const std::string& strPath) {
    Close();
    CFileSystem& fs = CFileSystem::Current();
    // Merely opening a device can act on it (a serial port's control lines change, a tape
    // rewinds when closed), so what cannot be compared is refused by name, unopened.
    struct stat byName = {};
    int nRefusal = fs.StatPath(strPath.c_str(), &byName) == 0 ? RefusalFor(byName.st_mode) : errno;
    if (nRefusal != 0) {
        m_nError = nRefusal;
        return false;
    }
    m_nOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = fs.Open(strPath.c_str(), m_nOpenFlags);
    if (fd < 0) {
        m_nError = errno;
        return false;
    }
    // The name may have been pointed elsewhere between the look-up and the open.
    struct stat opened = {};
    nRefusal = fs.Stat(fd, &opened) == 0 ? RefusalFor(opened.st_mode) : errno;
    if (nRefusal == 0 && (opened.st_mode & S_IFMT) != (byName.st_mode & S_IFMT))
        nRefusal = EAGAIN;
    if (nRefusal != 0) {
        fs.Close(fd);
        m_nError = nRefusal;
        return false;
    }
    m_hFile = fd;
    m_nPosition = 0;
    m_nError = 0;
    return true;
}

uint64_t CInputFile::GetSize() const {
    if (m_hFile < 0)
        return 0;
    CFileSystem& fs = CFileSystem::Current();
    struct stat st = {};
    if (fs.Stat(m_hFile, &st) != 0)
        return 0;
    if (S_ISBLK(st.st_mode)) {
        off_t nEnd = fs.SeekEnd(m_hFile);
        return nEnd > 0 ? uint64_t(nEnd) : 0;
    }
    return st.st_size > 0 ? uint64_t(st.st_size) : 0;
}

uint32_t CInputFile::Read(void* pDest, uint32_t nCount) {
    CFileSystem& fs = CFileSystem::Current();
    auto* pBytes = static_cast<unsigned char*>(pDest);
    uint32_t nDone = 0;
    m_nError = 0;
    while (nDone < nCount && m_nPosition >= 0) {
        ssize_t n = fs.ReadAt(m_hFile, pBytes + nDone, nCount - nDone, off_t(m_nPosition));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_nError = errno;
            break;
        }
        if (n == 0)
            break;
        nDone += uint32_t(n);
        m_nPosition += n;
    }
    return nDone;
}

void CInputFile::Close() {
    if (m_hFile >= 0)
        CFileSystem::Current().Close(m_hFile);
    m_hFile = -1;
}
