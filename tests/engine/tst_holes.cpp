// Holes are passed over without reading them, and nothing else changes: every block's state
// and every dump equal those of a run that reads every byte.
#include "engine/blockfile.h"
#include "engine/inputfile.h"
#include "tests/testutil.h"
#include "view/hexdump.h"

#include <QtTest>

#include <map>
#include <random>

using namespace testutil;

namespace {

using CExtents = std::vector<std::pair<int64_t, int64_t>>; // [first, end) of each hole

// Tells SEEK_DATA and SEEK_HOLE from a layout of the test's choosing for the files it knows,
// at any offset, not only at the file system's block boundaries; the bytes come from the real
// file, which holds zeros there. Counts the bytes read that lie in one of those holes.
class CLayoutFileSystem : public CFaultyFileSystem {
public:
    int Open(const char* pszPath, int nFlags) override {
        const int fd = CFaultyFileSystem::Open(pszPath, nFlags);
        std::lock_guard<std::mutex> guard(m_lock);
        if (fd >= 0 && layouts.count(pszPath))
            m_open[fd] = &layouts[pszPath];
        return fd;
    }
    int Close(int fd) override {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_open.erase(fd);
        }
        return CFaultyFileSystem::Close(fd);
    }
    // A block device by its name and once open, so that it is the same kind both times.
    int StatPath(const char* pszPath, struct stat* pStat) override {
        const int nResult = CFaultyFileSystem::StatPath(pszPath, pStat);
        std::lock_guard<std::mutex> guard(m_lock);
        if (nResult == 0 && untold == BlockDevice && layouts.count(pszPath))
            pStat->st_mode = S_IFBLK | 0644;
        return nResult;
    }
    int Stat(int fd, struct stat* pStat) override {
        const int nResult = CFaultyFileSystem::Stat(fd, pStat);
        if (nResult == 0 && untold == BlockDevice && Find(fd))
            pStat->st_mode = S_IFBLK | 0644;
        return nResult;
    }
    off_t Seek(int fd, off_t nOffset, int nWhence) override {
        const CExtents* pHoles = Find(fd);
        if (!pHoles)
            return CFaultyFileSystem::Seek(fd, nOffset, nWhence);
        ++nAskedLayout;
        if (untold == NoSeekData)
            return errno = EINVAL, -1;
        struct stat st = {};
        ::fstat(fd, &st);
        if (nOffset >= st.st_size)
            return errno = ENXIO, -1;
        off_t n = nOffset;
        for (const auto& [nFirst, nEnd] : *pHoles) {
            if (nWhence == SEEK_DATA && n >= nFirst && n < nEnd)
                n = nEnd;
            if (nWhence == SEEK_HOLE && n < nEnd)
                return std::min<off_t>(std::max<off_t>(n, nFirst), st.st_size);
        }
        if (nWhence == SEEK_DATA && n >= st.st_size)
            return errno = ENXIO, -1;
        return nWhence == SEEK_DATA ? n : st.st_size;
    }
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        if (const CExtents* pHoles = Find(fd))
            for (const auto& [nFirst, nEnd] : *pHoles)
                nHoleBytesRead +=
                    uint64_t(std::max<int64_t>(0, std::min<int64_t>(nEnd, nOffset + off_t(nCount)) -
                                                      std::max(nFirst, nOffset)));
        return CFaultyFileSystem::ReadAt(fd, pDest, nCount, nOffset);
    }

    std::map<std::string, CExtents> layouts; // set before any file is opened
    // Where holes cannot be learnt: a file system without SEEK_DATA (EINVAL), a block device.
    enum { Told, NoSeekData, BlockDevice } untold = Told;
    std::atomic<int> nAskedLayout{0};
    std::atomic<uint64_t> nHoleBytesRead{0};

private:
    const CExtents* Find(int fd) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_open.find(fd);
        return it == m_open.end() ? nullptr : it->second;
    }
    std::mutex m_lock;
    std::map<int, const CExtents*> m_open;
};

// Holes and data in turns from offset 0 to nLength, runs of 1 byte to 200 KiB, now and then
// the whole file one hole; the bytes are a pattern, zeros in the holes and in some data runs.
CExtents RandomLayout(std::mt19937& random, int64_t nLength, QByteArray& bytes) {
    bytes = Pattern(nLength, random());
    CExtents holes;
    if (random() % 8 == 0) {
        bytes.fill('\0');
        return nLength ? CExtents{{0, nLength}} : CExtents{};
    }
    bool bHole = random() % 2;
    for (int64_t n = 0; n < nLength;) {
        const int64_t nRun = std::min<int64_t>(nLength - n, random() % 4 == 0 ? 1 + random() % 100
                                                                              : random() % 200000);
        if (bHole && nRun > 0)
            holes.push_back({n, n + nRun});
        if (bHole || random() % 6 == 0)
            bytes.replace(qsizetype(n), qsizetype(nRun), QByteArray(nRun, '\0'));
        n += nRun;
        bHole = !bHole;
    }
    return holes;
}

// Where a file of that layout may have a read error: part of one data run, from its start or
// up to its end, next to a hole. Empty when it has no data.
std::pair<int64_t, int64_t> FaultNextToHole(std::mt19937& random, const CExtents& holes,
                                            int64_t nLength) {
    std::vector<std::pair<int64_t, int64_t>> data;
    int64_t n = 0;
    for (const auto& [nFirst, nEnd] : holes) {
        if (nFirst > n)
            data.push_back({n, nFirst});
        n = nEnd;
    }
    if (n < nLength)
        data.push_back({n, nLength});
    if (data.empty())
        return {0, 0};
    const auto [nFirst, nEnd] = data[random() % data.size()];
    const int64_t nSpan = 1 + int64_t(random() % uint64_t(nEnd - nFirst));
    return random() % 2 ? std::pair{nFirst, nFirst + nSpan} : std::pair{nEnd - nSpan, nEnd};
}

QByteArray Dump(const std::string& strPath1, const std::string& strPath2, uint64_t nFirst,
                uint64_t nLast) {
    CInputFile file1;
    CInputFile file2;
    if (!file1.Open(strPath1) || !file2.Open(strPath2))
        return "cannot open";
    return QByteArray::fromStdString(BuildHexDump(file1, file2, nFirst, nLast));
}

// A sparse file of nLength bytes with each piece's bytes written at its offset.
std::string WriteHoley(const QTemporaryDir& dir, const QString& strName, uint64_t nLength,
                       const std::vector<std::pair<uint64_t, QByteArray>>& pieces) {
    const std::string strPath = WriteSparse(dir, strName, nLength);
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
    for (const auto& [nAt, bytes] : pieces)
        if (::pwrite(fd, bytes.constData(), size_t(bytes.size()), off_t(nAt)) != bytes.size())
            qFatal("cannot write %s", strPath.c_str());
    ::close(fd);
    return strPath;
}

} // namespace

class TestHoles : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanup() { SetHoleSkipping(true); }

    // Random layouts, unaligned to blocks and loads, unequal lengths, a file empty or all
    // hole, zeros beside holes, bytes against holes, read errors next to holes, and now and
    // then holes that cannot be learnt: the states and dumps of a run that skips holes equal
    // those of a run that reads everything.
    void sameAsReadingEverything() {
        std::mt19937 random(20261207);
        const int nTrials = 120;
        int nSkipped = 0;
        for (int nTrial = 0; nTrial < nTrials; ++nTrial) {
            const auto nLength1 = int64_t(random() % 4 == 0 ? random() % 3 : random() % 1200000);
            QByteArray bytes1;
            QByteArray bytes2;
            CLayoutFileSystem fs;
            const CExtents holes1 = RandomLayout(random, nLength1, bytes1);
            // The second file: the first's bytes where it has data, its own holes, a few bytes
            // changed, and a length of its own half the time, often ending at a hole's edge.
            int64_t nLength2 = nLength1;
            if (random() % 2)
                nLength2 = holes1.empty() || random() % 3 == 0
                               ? int64_t(random() % 1200000)
                               : std::vector<int64_t>{holes1[0].first, holes1.back().second,
                                                      holes1.back().first + 1}[random() % 3];
            CExtents holes2 = RandomLayout(random, nLength2, bytes2);
            if (random() % 2)
                std::erase_if(holes2 = holes1, [&](auto& h) { return h.first >= nLength2; });
            for (auto& h : holes2)
                h.second = std::min(h.second, nLength2);
            bytes2 = bytes1.leftJustified(qsizetype(nLength2), '\0', true);
            for (int k = int(random() % 4); k > 0 && nLength2 > 0; --k)
                bytes2[qsizetype(random() % uint64_t(nLength2))] = char(1 + random() % 255);
            for (const auto& [nFirst, nEnd] : holes2)
                bytes2.replace(qsizetype(nFirst), qsizetype(nEnd - nFirst),
                               QByteArray(nEnd - nFirst, '\0'));
            const std::string strPath1 = WriteFile(m_dir, "one", bytes1, uint64_t(nLength1));
            const std::string strPath2 = WriteFile(m_dir, "two", bytes2, uint64_t(nLength2));
            fs.layouts = {{strPath1, holes1}, {strPath2, holes2}};
            fs.untold = random() % 10 == 0  ? fs.NoSeekData
                        : random() % 9 == 0 ? fs.BlockDevice
                                            : fs.Told;
            if (random() % 3 == 0) {
                const bool bFirst = random() % 2;
                std::tie(fs.nFailFirst, fs.nFailEnd) =
                    FaultNextToHole(random, bFirst ? holes1 : holes2, bFirst ? nLength1 : nLength2);
                fs.strFailPath = bFirst ? "one" : "two";
            }
            const uint32_t nBlockSize = 1u << (4 + random() % 15);
            const uint64_t L = uint64_t(std::max(nLength1, nLength2));
            if (L == 0)
                continue;
            const QString strCase = QString("trial %1: lengths %2 %3, block size %4")
                                        .arg(nTrial)
                                        .arg(nLength1)
                                        .arg(nLength2)
                                        .arg(nBlockSize);
            CInstalledFileSystem installed(&fs);
            QByteArray states[2];
            QByteArray dumps[2];
            for (bool bSkip : {false, true}) {
                SetHoleSkipping(bSkip);
                fs.nHoleBytesRead = 0;
                fs.nAskedLayout = 0;
                CJobRun run;
                QVERIFY(run.Run(strPath1, strPath2, L, nBlockSize));
                states[bSkip] = run.States();
                // Per hole and file at most the block straddling each of its edges is read.
                const size_t nEdges = 2 * (holes1.size() + holes2.size());
                if (bSkip && fs.untold == fs.Told)
                    QVERIFY2(fs.nHoleBytesRead <= nEdges * nBlockSize, qPrintable(strCase));
                if (fs.untold == fs.BlockDevice)
                    QCOMPARE(fs.nAskedLayout.load(), 0);
                std::mt19937 ranges(nTrial);
                for (int k = 0; k < 3; ++k) {
                    const uint64_t nFirst = ranges() % L;
                    dumps[bSkip] += Dump(strPath1, strPath2, nFirst,
                                         std::min(L - 1, nFirst + ranges() % 600000));
                }
            }
            QVERIFY2(states[1] == states[0], qPrintable(strCase));
            QVERIFY2(dumps[1] == dumps[0], qPrintable(strCase));
            nSkipped += !holes1.empty() && !holes2.empty() && fs.untold == fs.Told;
        }
        QVERIFY(nSkipped > nTrials / 3); // the layouts did have holes to skip
    }

    // Real sparse files of 1 TiB, 64 KiB of data at a few places, one byte differing: only
    // the data is read, by the comparison and by the dump of the cell that differs.
    void terabyteOfHolesIsNotRead() {
        const uint64_t T = 1ull << 40;
        const QByteArray data = Pattern(65536);
        QByteArray changed = data;
        changed[1000] = 'x';
        const uint64_t nAt[] = {0, 300ull << 30, T - 65536};
        const std::string strPath1 =
            WriteHoley(m_dir, "tera1", T, {{nAt[0], data}, {nAt[1], data}, {nAt[2], data}});
        const std::string strPath2 =
            WriteHoley(m_dir, "tera2", T, {{nAt[0], data}, {nAt[1], changed}, {nAt[2], data}});
        CInstalledFaultyFileSystem fs;
        CJobRun run;
        const uint32_t B = 1u << 20;
        QVERIFY(run.Run(strPath1, strPath2, T, B));
        QByteArray expected(int(T / B), '2');
        expected[int(nAt[1] / B)] = '3';
        QCOMPARE(run.States(), expected + '0');
        // Both files' data, and at most a load of zeros after each piece.
        QVERIFY2(fs.nAsked <= 2 * 3 * uint64_t(B), qPrintable(QString::number(fs.nAsked)));

        fs.nAsked = 0;
        const QByteArray dump =
            Dump(strPath1, strPath2, nAt[1] - (1u << 30), nAt[1] + (1u << 30) - 1);
        QVERIFY2(dump.contains("[78]"), dump.constData());
        QVERIFY2(fs.nAsked <= 2 * (1u << 20), qPrintable(QString::number(fs.nAsked)));
    }
};

QTEST_GUILESS_MAIN(TestHoles)
#include "tst_holes.moc"
