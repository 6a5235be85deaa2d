#pragma once
// What happens to the files during a run: one table run by the engine, quillet-map and the window.

#include "tests/testutil.h"

namespace faults {

using namespace testutil;

constexpr int M = 1 << 20;

enum Action { None, Truncate, TruncateBoth, TruncateInHole, Grow, Unlink };

// The run takes 1 MiB; loads are 256 KiB. The action is done to the second file before its
// first read at or past nAt; nArg is the new length. pszStates: the blocks' states, as Runs
// spells them. Reads of pszFailPath fail over [nFailFirst, nFailEnd).
struct Case {
    const char* pszName;
    int nLength1, nLength2;
    Action action;
    uint64_t nAt, nArg;
    const char* pszStates;
    uint32_t nBlockSize = 65536;
    const char* pszFailPath = "";
    uint64_t nFailFirst = 0, nFailEnd = 0;
};

inline const Case kCases[] = {
    {"truncated", M, M, Truncate, 524288, 600000, "2*9 4*7"},
    // Both files have a hole over [262144, 786432); the second ends inside it from its first read.
    {"truncated inside a hole", M, M, TruncateInHole, 0, 600000, "2*9 4*7"},
    {"both truncated: not equal for want of bytes", M, M, TruncateBoth, 262144, 262144, "2*4 4*12"},
    {"both shrunk before the worker opened them", 600000, 600000, None, 0, 0, "2*9 4*7"},
    {"grows: the length at opening holds", M, 600000, Grow, 0, 2 * M, "2*9 4*7"},
    {"deleted: the open file keeps its bytes", M, M, Unlink, 524288, 0, "2*16"},
    {"unreadable region", M, M, None, 0, 0, "2*4 5*4 2*8", 65536, "second", 300000, 500000},
    {"load failing part way serves what it got", M, M, None, 0, 0, "2*48 5*4 2*204", 4096, "second",
     200000, 210000},
    {"shorter file's last load fails", M, 600000, None, 0, 0, "2*8 5*2 4*6", 65536, "second",
     524288, M},
    {"longer file unreadable past the shorter's end", M, 600000, None, 0, 0, "2*9 4 5*6", 65536,
     "first", 655360, M},
    {"truncated inside an unreadable region", M, M, Truncate, 524288, 600000, "2*6 5*2 2 4*7",
     65536, "second", 400000, 500000},
};

// "2*3 4 0 rest" -> "22240 rest": runs of states, then any text, which stands for itself.
inline QByteArray Runs(const QByteArray& text) {
    QByteArray out;
    for (const QByteArray& run : text.split(' ')) {
        if (run.isEmpty() || run[0] < '0' || run[0] > '9')
            return (out.isEmpty() ? "" : out + ' ') + text.mid(text.indexOf(run));
        out += QByteArray(run.size() > 1 ? run.mid(2).toInt() : 1, run[0]);
    }
    return out;
}

using DataRuns = std::vector<std::pair<int64_t, int64_t>>;

// Punches a hole over [nAt, nAt + nLength) of a file if its file system can, and returns where
// that then says the data lies. Parts of its units of allocation read as zeros, yet stay data.
inline DataRuns PunchHole(const std::string& strPath, off_t nAt, off_t nLength) {
    const int fd = ::open(strPath.c_str(), O_RDWR | O_CLOEXEC);
    ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, nAt, nLength);
    DataRuns runs;
    for (off_t n = ::lseek(fd, 0, SEEK_DATA); n >= 0;
         n = ::lseek(fd, runs.back().second, SEEK_DATA))
        runs.push_back({n, ::lseek(fd, n, SEEK_HOLE)});
    ::close(fd);
    return runs;
}

// A case's first.bin and second.bin, written afresh, and a file layer, installed for its lifetime,
// that does the case's fault to them; nActed ends 0 once it was done without an error. pszSkip
// says why the case cannot be made on this machine.
struct CFaultRun : CEventFileSystem {
    CFaultRun(const Case& c, const QTemporaryDir& dir) {
        const QByteArray bytes = Pattern(M);
        strFirst = WriteFile(dir, "first.bin", bytes.left(c.nLength1));
        strSecond = WriteFile(dir, "second.bin", bytes.left(c.nLength2));
        for (const std::string& strPath : {strFirst, strSecond})
            if (c.action == TruncateInHole &&
                PunchHole(strPath, 262144, 524288) != DataRuns{{0, 262144}, {786432, M}})
                pszSkip = "the file system here makes no hole of 512 KiB at 256 KiB";
        std::tie(strFailPath, nFailFirst, nFailEnd) =
            std::tuple(c.pszFailPath, c.nFailFirst, c.nFailEnd);
        strTarget = strSecond;
        nTriggerAt = c.action == None ? ~0ull : c.nAt; // None: only reads fail
        nActed = c.action == None ? 0 : -1;
        m_onTrigger = [this, &c] {
            const off_t n = off_t(c.nArg);
            if (c.action == Unlink)
                nActed = ::unlink(strSecond.c_str());
            else // truncated or grown, both files for TruncateBoth
                nActed = (c.action == TruncateBoth ? ::truncate(strFirst.c_str(), n) : 0) |
                         ::truncate(strSecond.c_str(), n);
        };
    }

    std::string strFirst, strSecond;
    const char* pszSkip = nullptr;
    std::atomic<int> nActed{0}; // set on the worker thread
    CInstalledFileSystem m_installed{this};
};

} // namespace faults
