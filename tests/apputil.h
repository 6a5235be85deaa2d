#pragma once
// Fixtures of the window's tests: a fixed screen and a file layer that holds reads until told.

#include "app/screenmetrics.h"
#include "tests/testutil.h"

#include <QSize>

#include <condition_variable>
#include <mutex>

using namespace testutil;

// The 1024 x 768 screen with an 18-pixel caption that the examples use.
class CTestScreen : public IScreenMetrics {
public:
    QSize GetScreenSize() const override { return QSize(1024, 768); }
    int GetCaptionHeight() const override { return 18; }
};

// Lets nFree reads through, then holds every read until more are allowed.
class CGatedFileSystem : public CFileSystem {
public:
    explicit CGatedFileSystem(int nFree) : m_nFree(nFree) {}
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        std::unique_lock<std::mutex> lock(m_lock);
        m_open.wait(lock, [this] { return m_nFree > 0; });
        --m_nFree;
        lock.unlock();
        return CFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    // The gate paces a run by its reads, so holes are read too, as where they cannot be learnt.
    off_t Seek(int, off_t, int) override { return errno = EINVAL, -1; }
    void Allow(int nReads) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nFree += nReads;
        m_open.notify_all();
    }
    void Release() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nFree = 1 << 30;
        m_open.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_open;
    int m_nFree;
};
