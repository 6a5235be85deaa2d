// Files compared where they lie in the page cache: a file that shrinks under its mapping raises
// SIGBUS in the worker, which the run answers by reading again; a SIGBUS that is not the
// worker's goes to the handler that was there before.
#include "engine/inputfile.h"
#include "tests/engine/faultcases.h"
#include "view/hexdump.h"

#include <QtTest>

#include <csetjmp>
#include <csignal>

using namespace testutil;

namespace {
sigjmp_buf s_back;
std::atomic<int> s_nForeign{0};
void OnForeignBus(int, siginfo_t*, void*) {
    ++s_nForeign;
    siglongjmp(s_back, 1);
}

// Touches a page that no byte of its file backs, outside any run: whether the handler installed
// before the comparison's own saw it.
bool ForeignFaultReachesItsHandler() {
    const int fd = ::memfd_create("empty", MFD_CLOEXEC);
    auto* p = static_cast<volatile char*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
    const int nBefore = s_nForeign;
    if (p != MAP_FAILED && sigsetjmp(s_back, 1) == 0)
        (void)*p;
    ::munmap(const_cast<char*>(p), 4096);
    ::close(fd);
    return s_nForeign == nBefore + 1;
}

// Records the offset of the first read of either file.
struct CFirstRead : CFaultyFileSystem {
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        int64_t nNone = -1;
        nFirstRead.compare_exchange_strong(nNone, nOffset);
        return CFaultyFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }
    std::atomic<int64_t> nFirstRead{-1};
};
} // namespace

class TestMapped : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    struct sigaction m_old = {}, m_foreign = {};

private slots:
    void initTestCase() {
        m_foreign.sa_sigaction = OnForeignBus;
        m_foreign.sa_flags = SA_SIGINFO;
        QVERIFY(sigaction(SIGBUS, &m_foreign, &m_old) == 0);
        SetMapWindow(32 << 20); // as the program maps
    }
    void cleanupTestCase() { sigaction(SIGBUS, &m_old, nullptr); }

    // Two equal 4 MiB files mapped whole; once the first MiB is compared, the second file is cut
    // to nLength. Either the worker touches its lost pages (SIGBUS), reads all of that MiB
    // again and no file is read before it, or another handler has taken SIGBUS over and every
    // byte is read. The blocks come out as if read throughout.
    void shrinkingUnderTheMapping_data() {
        Columns<int, bool, QByteArray>("length", "replaced", "states");
        const int nHalf = 3 * faults::M / 2;
        QTest::newRow("to a page's end") << nHalf << false << QByteArray("2*384 4*640");
        QTest::newRow("inside the batch's last page: zeros, no fault")
            << 2 * faults::M - 100 << false << QByteArray("2*511 4*513");
        QTest::newRow("to nothing") << 0 << false << QByteArray("2*256 4*768");
        QTest::newRow("handler replaced: no mapping") << nHalf << true << QByteArray("2*384 4*640");
    }
    void shrinkingUnderTheMapping() {
        const auto [nLength, bReplaced, states] =
            Fetch<int, bool, QByteArray>("length", "replaced", "states");
        const std::string strFirst = WriteFile(m_dir, "first", Pattern(4 * faults::M));
        const std::string strSecond = WriteFile(m_dir, "second", Pattern(4 * faults::M));
        struct sigaction ours = {};
        QVERIFY(!bReplaced || sigaction(SIGBUS, &m_foreign, &ours) == 0);
        CFirstRead fs;
        CInstalledFileSystem installed(&fs);
        CJobRun run;
        std::atomic<int> nCut{-1};
        run.onProgress = [&, nLength = nLength] {
            if (nCut == -1)
                nCut = ::truncate(strSecond.c_str(), nLength);
        };
        QVERIFY(run.Run(strFirst, strSecond, 4 * faults::M, 4096));
        QVERIFY(!bReplaced || sigaction(SIGBUS, &ours, nullptr) == 0);
        QCOMPARE(run.States(), faults::Runs(states) + '0');
        QCOMPARE(fs.nFirstRead.load(), bReplaced ? 0 : faults::M);
        QCOMPARE(fs.nMaps.load(), bReplaced ? 0 : 4); // both whole, then both again from 2 MiB
        QVERIFY(nCut == 0 && ForeignFaultReachesItsHandler());
    }

    // The hex dump's scan of a cell: the first file has a hole over its first MiB, so the second
    // file's window is mapped first; the second is cut when the first maps its own. The text is
    // the one reads give, whether the cut page faults or its zeros, like the files' own bytes
    // there, reach the cell's end.
    void dumpWhileShrinking_data() {
        Columns<int, int>("length", "last");
        const int nHalf = 3 * faults::M / 2; // inside the second file's first window
        QTest::newRow("to a page's end: the scan faults") << nHalf << 4 * faults::M - 1;
        QTest::newRow("inside a page: zeros, no fault") << nHalf + 100 << nHalf + 4095;
    }
    void dumpWhileShrinking() {
        const auto [nLength, nLast] = Fetch<int, int>("length", "last");
        QByteArray bytes = Pattern(4 * faults::M);
        bytes.replace(0, faults::M, QByteArray(faults::M, '\0'));
        bytes.replace(3 * faults::M / 2 + 100, 3996, QByteArray(3996, '\0'));
        const std::string strFirst = WriteFile(m_dir, "holed", bytes);
        const std::string strSecond = WriteFile(m_dir, "dense", bytes);
        const int fd = ::open(strFirst.c_str(), O_WRONLY | O_CLOEXEC);
        const bool bHole =
            ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, faults::M) == 0 &&
            ::lseek(fd, 0, SEEK_DATA) == faults::M;
        ::close(fd);
        if (!bHole)
            QSKIP("the file system cannot punch a hole or tell where one lies");
        CEventFileSystem fs;
        CInstalledFileSystem installed(&fs);
        std::tie(fs.strTarget, fs.nTriggerAt) = std::tuple(strFirst, faults::M);
        std::atomic<int> nCut{-1};
        fs.m_onTrigger = [&, nLength = nLength] { nCut = ::truncate(strSecond.c_str(), nLength); };
        CInputFile file1, file2;
        QVERIFY(file1.Open(strFirst) && file2.Open(strSecond));
        const std::string strMapped = BuildHexDump(file1, file2, 0, uint64_t(nLast));
        QVERIFY(nCut == 0 && fs.nMaps >= 2);
        SetMapWindow(0);
        const std::string strRead = BuildHexDump(file1, file2, 0, uint64_t(nLast));
        SetMapWindow(32 << 20);
        QCOMPARE(strMapped, strRead);
        QVERIFY(strRead.find(QString::asprintf("%08X:", nLength & ~15).toStdString()) !=
                std::string::npos);
    }
};

QTEST_GUILESS_MAIN(TestMapped)
#include "tst_mapped.moc"
