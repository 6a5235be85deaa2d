#include "cli/mapinput.h"

#include "engine/filesystem.h"
#include "engine/inputfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
// What a file that cannot be measured is, in words.
std::string KindOf(mode_t nMode, int fd) {
    if (S_ISFIFO(nMode))
        return fd >= 0 ? "a pipe" : "a FIFO";
    if (S_ISSOCK(nMode))
        return "a socket";
    if (S_ISCHR(nMode))
        return fd >= 0 && ::isatty(fd) ? "a terminal" : "a character device";
    return "a file read part way";
}
} // namespace

CMapInput::~CMapInput() {
    if (bOwnFd && nFd >= 0)
        ::close(nFd);
}

std::string ClassifyInput(const std::string& strName, int nStdin, CMapInput& input) {
    CFileSystem& fs = CFileSystem::Current();
    input.strName = strName;
    input.strPath = strName;
    struct stat st = {};
    if (strName == "-") {
        if (fs.Stat(nStdin, &st) != 0)
            return ErrorText(errno);
        if (S_ISDIR(st.st_mode))
            return ErrorText(EISDIR);
        // A file or a disk can be measured and read anywhere, as any named file is; read part
        // way already, it holds for this program only what is left.
        if ((S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) && ::lseek(nStdin, 0, SEEK_CUR) == 0) {
            input.strPath = "/proc/self/fd/" + std::to_string(nStdin);
            return {};
        }
        input.bStream = true;
        input.strKind = KindOf(st.st_mode, nStdin);
        input.nFd = nStdin;
        return {};
    }
    if (fs.StatPath(strName.c_str(), &st) != 0)
        return ErrorText(errno);
    if (S_ISDIR(st.st_mode))
        return ErrorText(EISDIR);
    if (S_ISCHR(st.st_mode) || S_ISSOCK(st.st_mode))
        return "is " + KindOf(st.st_mode, -1) + ", not compared";
    if (S_ISFIFO(st.st_mode)) {
        input.bStream = true;
        input.strKind = KindOf(st.st_mode, -1);
    }
    return {};
}

std::string OpenStream(CMapInput& input) {
    if (input.nFd >= 0)
        return {};
    // Blocking: a FIFO's reader waits for its writer, and then reads at the writer's pace.
    const int fd =
        CFileSystem::Current().Open(input.strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return ErrorText(errno);
    input.nFd = fd;
    input.bOwnFd = true;
    // The name may have been pointed at a device between the look-up and the open.
    struct stat st = {};
    if (CFileSystem::Current().Stat(fd, &st) != 0)
        return ErrorText(errno);
    if (!S_ISFIFO(st.st_mode))
        return ErrorText(EAGAIN);
    return {};
}
