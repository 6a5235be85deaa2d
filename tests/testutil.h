#pragma once
// Fixtures shared by the tests: files made in a temporary folder, a file layer that counts
// reads and fails them over a chosen byte range, and one comparison run on its own thread.

#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "engine/filesystem.h"
#include "engine/mappedwindow.h"

#include <QByteArray>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string>
#include <sys/mman.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace testutil {

// The readers map a regular file's windows as large as their loads, so that a file layer's hooks
// see reads and mappings at the same blocks; QUILLET_TEST_READS=1 (a second run of the engine's
// tests, tests/engine/CMakeLists.txt) has them read every file instead.
inline const bool g_bReadsChosen = (SetMapWindow(std::getenv("QUILLET_TEST_READS") ? 0 : 1), true);

// QTest::addColumn for each of a data table's columns: Columns<int, QString>("n", "text").
template <typename... T, typename... Names> void Columns(Names... pszNames) {
    (QTest::addColumn<T>(pszNames), ...);
}

// The current row's values, as QFETCH gives them one at a time:
// const auto [n, text] = Fetch<int, QString>("n", "text").
template <typename... T, typename... Names> std::tuple<T...> Fetch(Names... pszNames) {
    return {*static_cast<T*>(QTest::qData(pszNames, qMetaTypeId<T>()))...};
}

// The system's text for an error number, in the language the program prints it in.
inline QString ErrorText(int nErrno) {
    return QString::fromLocal8Bit(std::strerror(nErrno));
}

inline std::vector<std::string> StdList(const QStringList& list) {
    std::vector<std::string> result;
    for (const QString& str : list)
        result.push_back(str.toStdString());
    return result;
}

// Writes bytes at nAt into dir/name, a file of nLength bytes (sparse: what is not written is a
// hole) or just long enough for the bytes; returns the path. A file that cannot be made ends the
// test program: every later check would fail for a reason that is not the code's.
inline std::string WriteFile(const QTemporaryDir& dir, const QString& strName,
                             const QByteArray& bytes, uint64_t nLength = 0, uint64_t nAt = 0) {
    std::string strPath = dir.filePath(strName).toStdString();
    const uint64_t nEnd =
        bytes.isEmpty() ? nLength : std::max<uint64_t>(nLength, nAt + bytes.size());
    int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, off_t(nEnd)) != 0 ||
        ::pwrite(fd, bytes.constData(), size_t(bytes.size()), off_t(nAt)) != bytes.size())
        qFatal("cannot write %s", strPath.c_str());
    ::close(fd);
    return strPath;
}

// Bytes from a seeded generator: no stretch of them repeats, as real data hardly does.
inline QByteArray Random(qsizetype nLength, unsigned nSeed) {
    std::mt19937 random(nSeed);
    QByteArray bytes(nLength, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random());
    return bytes;
}

// Makes file 2 from file 1's bytes: "i AT N" inserts N random bytes, "z AT N" N zeros, "d AT N"
// deletes, "r AT N" replaces in place, "c FROM N TO" copies, "m FROM N TO" moves N bytes to TO
// (counted once they left), "u" makes them unrelated.
inline QByteArray Edit(QByteArray bytes, const QByteArray& script, unsigned nSeed) {
    for (const QByteArray& step : script.split(';')) {
        const QList<QByteArray> w = step.simplified().split(' ');
        const auto n = [&w](int i) { return w.value(i).toLongLong(); };
        const char cOp = w[0].isEmpty() ? ' ' : w[0][0];
        const QByteArray piece = bytes.mid(n(1), n(2));
        if (cOp == 'i' || cOp == 'z')
            bytes.insert(n(1), cOp == 'z' ? QByteArray(n(2), '\0') : Random(n(2), ++nSeed));
        else if (cOp == 'd' || cOp == 'm')
            bytes.remove(n(1), n(2));
        else if (cOp == 'r')
            bytes.replace(n(1), n(2), Random(n(2), ++nSeed));
        else if (cOp == 'u')
            bytes = Random(bytes.size(), ++nSeed);
        if (cOp == 'm' || cOp == 'c')
            bytes.insert(n(3), piece);
    }
    return bytes;
}

// A pattern that differs from one offset to the next, so misplaced bytes are noticed.
inline QByteArray Pattern(qsizetype nLength, unsigned nSeed = 0) {
    QByteArray bytes(nLength, Qt::Uninitialized);
    for (qsizetype i = 0; i < nLength; ++i)
        bytes[i] = char((i * 7 + nSeed + (i >> 8)) & 0xFF);
    return bytes;
}

// Counts reads and fails those touching [nFailFirst, nFailEnd) of files whose path
// contains strFailPath; a read that starts before the range is cut short at its start. Maps
// too, and there the pages holding that range raise SIGBUS when touched, as a bad disk's do.
class CFaultyFileSystem : public CFileSystem {
public:
    ~CFaultyFileSystem() override { ::close(m_nEmptyFd); }
    void* Map(int fd, size_t nLength, off_t nOffset) override {
        ++nMaps;
        auto* p = static_cast<char*>(::mmap(nullptr, nLength, PROT_READ, MAP_SHARED, fd, nOffset));
        const uint64_t nFrom = std::max<uint64_t>(nFailFirst, nOffset) / m_nPage * m_nPage;
        const uint64_t nTo = std::min<uint64_t>(nFailEnd, nOffset + nLength);
        if (p != MAP_FAILED && fd >= 0 && fd < 1024 && m_bFailing[fd] && nFrom < nTo &&
            ::mmap(p + (nFrom - nOffset), nTo - nFrom, PROT_READ, MAP_SHARED | MAP_FIXED,
                   m_nEmptyFd, 0) == MAP_FAILED) // a file of no bytes: touching them faults
            qFatal("cannot map an unreadable range");
        return p;
    }
    int Open(const char* pszPath, int nFlags) override {
        int fd = CFileSystem::Open(pszPath, nFlags);
        if (fd >= 0 && fd < 1024 && !strFailPath.empty() &&
            std::string(pszPath).find(strFailPath) != std::string::npos)
            m_bFailing[fd] = true;
        return fd;
    }
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        ++nReads;
        nAsked += nCount;
        nLargest = std::max<size_t>(nLargest, nCount);
        if (fd >= 0 && fd < 1024 && m_bFailing[fd]) {
            uint64_t nFirst = uint64_t(nOffset);
            if (nFirst >= nFailFirst && nFirst < nFailEnd) {
                errno = EIO;
                return -1;
            }
            if (nFirst < nFailFirst && nFirst + nCount > nFailFirst)
                nCount = size_t(nFailFirst - nFirst);
        }
        if (nShortReads > 0 && nCount > nShortReads)
            nCount = nShortReads; // the layer may always deliver less than asked
        if (bInterruptEvery && (++m_nCalls % 2) == 1) {
            errno = EINTR;
            return -1;
        }
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    int Close(int fd) override {
        if (fd >= 0 && fd < 1024)
            m_bFailing[fd] = false;
        return CFileSystem::Close(fd);
    }

    std::string strFailPath;
    uint64_t nFailFirst = 0;
    uint64_t nFailEnd = 0;
    size_t nShortReads = 0;
    bool bInterruptEvery = false;
    std::atomic<int> nReads{0};
    std::atomic<uint64_t> nAsked{0}; // bytes all reads asked for
    std::atomic<size_t> nLargest{0}; // the most one read asked for
    std::atomic<int> nMaps{0};

private:
    const int m_nEmptyFd = ::memfd_create("unreadable", MFD_CLOEXEC);
    const uint64_t m_nPage = uint64_t(::sysconf(_SC_PAGESIZE));
    std::atomic<bool> m_bFailing[1024] = {};
    std::atomic<unsigned> m_nCalls{0};
};

// Fails reads like CFaultyFileSystem and, before the first read of the file named
// strTarget at or past nTriggerAt, does something to that file: the timing is exact.
class CEventFileSystem : public CFaultyFileSystem {
public:
    int Open(const char* pszPath, int nFlags) override {
        int fd = CFaultyFileSystem::Open(pszPath, nFlags);
        if (fd >= 0 && strTarget == pszPath)
            m_nTargetFd = fd;
        return fd;
    }
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        Reached(fd, nOffset);
        return CFaultyFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    void* Map(int fd, size_t nLength, off_t nOffset) override {
        Reached(fd, nOffset);
        return CFaultyFileSystem::Map(fd, nLength, nOffset);
    }

    std::string strTarget;
    uint64_t nTriggerAt = 0;
    std::function<void()> m_onTrigger = [] {};

private:
    void Reached(int fd, off_t nOffset) {
        if (fd == m_nTargetFd && uint64_t(nOffset) >= nTriggerAt && !m_bTriggered.exchange(true))
            m_onTrigger();
    }
    std::atomic<int> m_nTargetFd{-1};
    std::atomic<bool> m_bTriggered{false};
};

// One comparison run as the window makes it, counting its finish notices.
struct CJobRun : IJobSink {
    CBlockStateArray states;
    CLockedText error1;
    CLockedText error2;
    std::atomic<uint8_t> bAbort{0};
    std::atomic<int> nFinished{0};
    std::function<void()> onProgress; // called on the worker thread

    void PostProgress() override {
        if (onProgress)
            onProgress();
    }
    void PostFinished() override { ++nFinished; }

    // Runs to the end; whileRunning acts on this thread between the start and the join. With
    // bSized the states are already allocated, as a map area sizes them.
    bool Run(const std::string& strPath1, const std::string& strPath2, uint64_t nLength,
             uint32_t nBlockSize, const std::function<void()>& whileRunning = {},
             bool bSized = false) {
        if (!bSized)
            states.AllocateCount(int32_t((nLength + nBlockSize - 1) / nBlockSize) + 1);
        CJobSetup setup{strPath1, strPath2, nLength, nBlockSize, &states,
                        &bAbort,  &error1,  &error2, this};
        CCompareJob* pJob = nullptr;
        std::string strError;
        if (!StartCompareJob(pJob, setup, strError))
            return false;
        if (whileRunning)
            whileRunning();
        pJob->Join();
        delete pJob;
        return error1.Get().empty() && error2.Get().empty();
    }
    QByteArray States() const {
        QByteArray bytes;
        for (int32_t i = 0; i < states.m_nCount; ++i)
            bytes.append(char('0' + states.Get(i)));
        return bytes;
    }
};

// Counts the events of one type that reach the objects it is installed on.
class CEventCounter : public QObject {
public:
    explicit CEventCounter(QEvent::Type type) : m_type(type) {}
    int m_nCount = 0;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override {
        m_nCount += pEvent->type() == m_type;
        return false;
    }

private:
    QEvent::Type m_type;
};

// Installs a file layer for the lifetime of a scope.
class CInstalledFileSystem {
public:
    explicit CInstalledFileSystem(CFileSystem* pFs) { CFileSystem::Install(pFs); }
    ~CInstalledFileSystem() { CFileSystem::Install(nullptr); }
};

// A faulty layer in place for its own lifetime.
struct CInstalledFaultyFileSystem : CFaultyFileSystem {
    CInstalledFileSystem m_installed{this};
};

} // namespace testutil
