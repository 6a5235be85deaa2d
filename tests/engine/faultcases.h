#pragma once
// What happens to the compared files during a run, as one table for every way of running it:
// the engine's job, quillet-map and the window each run the same cases.

#include "tests/testutil.h"

#include <fcntl.h>

namespace faults {

using namespace testutil;

constexpr int M = 1 << 20;

enum Action { None, Truncate, TruncateBoth, TruncateInHole, Grow, Unlink, Rename, Abort };

// The run takes 1 MiB; loads are 256 KiB. The action is done to the second file before its
// first read at or past nAt; nArg is the new length. pszStates: the blocks' states at
// nBlockSize, as runs ("2*9 4*7" is nine equal blocks, then seven whose length differs).
struct Case {
    const char* pszName;
    int nLength1, nLength2;
    uint32_t nBlockSize;
    Action action;
    uint64_t nAt, nArg;
    const char* pszFailPath; // reads of it fail over [nFailFirst, nFailEnd)
    uint64_t nFailFirst, nFailEnd;
    const char* pszStates;
};

inline const Case kCases[] = {
    {"truncated", M, M, 65536, Truncate, 524288, 600000, "", 0, 0, "2*9 4*7"},
    {"truncated to nothing", M, M, 65536, Truncate, 262144, 0, "", 0, 0, "2*4 4*12"},
    // Both files have a hole over [262144, 786432); the second ends inside it from its first read.
    {"truncated inside a hole", M, M, 65536, TruncateInHole, 0, 600000, "", 0, 0, "2*9 4*7"},
    {"both truncated: not equal for want of bytes", M, M, 65536, TruncateBoth, 262144, 262144, "",
     0, 0, "2*4 4*12"},
    {"both shrunk before the worker opened them", 600000, 600000, 65536, None, 0, 0, "", 0, 0,
     "2*9 4*7"},
    {"grows: the length at opening holds", M, 600000, 65536, Grow, 0, 2 * M, "", 0, 0, "2*9 4*7"},
    {"deleted: the open file keeps its bytes", M, M, 65536, Unlink, 524288, 0, "", 0, 0, "2*16"},
    {"renamed", M, M, 65536, Rename, 524288, 0, "", 0, 0, "2*16"},
    {"unreadable region", M, M, 65536, None, 0, 0, "second", 300000, 500000, "2*4 5*4 2*8"},
    {"load failing part way serves what it got", M, M, 4096, None, 0, 0, "second", 200000, 210000,
     "2*48 5*4 2*204"},
    {"both readers failing", M, M, 65536, None, 0, 0, ".bin", 300000, 500000, "2*4 5*4 2*8"},
    {"shorter file's last load fails", M, 600000, 65536, None, 0, 0, "second", 524288, M,
     "2*8 5*2 4*6"},
    {"longer file unreadable past the shorter's end", M, 600000, 65536, None, 0, 0, "first", 655360,
     M, "2*9 4 5*6"},
    {"truncated inside an unreadable region", M, M, 65536, Truncate, 524288, 600000, "second",
     400000, 500000, "2*6 5*2 2 4*7"},
    // One block per load, so the flag is raised while exactly that block is being read.
    {"abort at the first block", M, M, 262144, Abort, 0, 0, "", 0, 0, "2 0*3"},
    {"abort at a middle block", M, M, 262144, Abort, 262144, 0, "", 0, 0, "2*2 0*2"},
    {"abort at the last block", M, M, 262144, Abort, 786432, 0, "", 0, 0, "2*4"},
};

// The states of Case::pszStates, one character a block.
inline QByteArray Runs(const char* pszRuns) {
    QByteArray bytes;
    for (const QByteArray& run : QByteArray(pszRuns).split(' ')) {
        const int nStar = int(run.indexOf('*'));
        bytes += QByteArray(nStar < 0 ? 1 : run.mid(nStar + 1).toInt(), run[0]);
    }
    return bytes;
}

// A case's two files, first.bin and second.bin, written afresh in dir, and a file layer,
// installed for its lifetime, that does the case's fault to them; an abort raises bAbort.
// nActed ends 0 once the fault was done, and done without an error.
struct CFaultRun : CEventFileSystem {
    CFaultRun(const Case& c, const QTemporaryDir& dir, std::atomic<uint8_t>& bAbort) {
        const QByteArray bytes = Pattern(M);
        strFirst = WriteFile(dir, "first.bin", bytes.left(c.nLength1));
        strSecond = WriteFile(dir, "second.bin", bytes.left(c.nLength2));
        if (c.action == TruncateInHole)
            for (const std::string& strPath : {strFirst, strSecond}) {
                const int fd = ::open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
                if (::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 262144, 524288))
                    qFatal("cannot punch a hole into %s", strPath.c_str());
                ::close(fd);
            }
        strFailPath = c.pszFailPath;
        nFailFirst = c.nFailFirst;
        nFailEnd = c.nFailEnd;
        strTarget = strSecond;
        nTriggerAt = c.nAt;
        nActed = c.action == None ? 0 : -1;
        m_onTrigger = [this, &c, &bAbort] {
            const off_t nArg = off_t(c.nArg);
            int nResult = c.action == TruncateBoth ? ::truncate(strFirst.c_str(), nArg) : 0;
            if (c.action == Truncate || c.action == TruncateBoth || c.action == TruncateInHole ||
                c.action == Grow)
                nResult |= ::truncate(strSecond.c_str(), nArg);
            else if (c.action == Unlink)
                nResult = ::unlink(strSecond.c_str());
            else if (c.action == Rename)
                nResult = std::rename(strSecond.c_str(), (strSecond + ".moved").c_str());
            else if (c.action == Abort)
                bAbort = 1;
            nActed = nResult;
        };
        CFileSystem::Install(this);
    }
    ~CFaultRun() { CFileSystem::Install(nullptr); }

    std::string strFirst;
    std::string strSecond;
    std::atomic<int> nActed{0}; // set on the worker thread
};

} // namespace faults
