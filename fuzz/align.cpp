// The aligned comparison of a file made from the input's seed against the same file after the
// input's edit script, with reads failing over a range and coming back short: the segments tile
// both files, equal and moved bytes are equal and were readable, a colliding chunk hash changes
// nothing, and an unedited, readable pair is one equal segment.
#include "engine/align/alignjob.h"
#include "engine/align/alignment.h"
#include "engine/align/chunker.h"
#include "engine/filesystem.h"
#include "fuzz/fuzzinput.h"

#include <cerrno>
#include <cstring>
#include <random>

namespace {
constexpr int kFd1 = 1001;

struct CFile {
    std::vector<uint8_t> bytes;
    uint64_t nFailFirst = 0; // reads touching [nFailFirst, nFailEnd) fail there
    uint64_t nFailEnd = 0;
    size_t nMaxRead = SIZE_MAX;
};

class CMemoryFileSystem : public CFileSystem {
public:
    CFile m_files[2];

    int StatPath(const char* pszPath, struct stat* pStat) override {
        return Stat(Fd(pszPath), pStat);
    }
    int Open(const char* pszPath, int) override { return Fd(pszPath); }
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        const CFile& file = m_files[fd - kFd1];
        auto n = uint64_t(nOffset);
        if (n >= file.bytes.size())
            return 0;
        uint64_t nEnd = std::min<uint64_t>(file.bytes.size(), n + std::min(nCount, file.nMaxRead));
        if (n < file.nFailEnd && nEnd > file.nFailFirst) {
            if (n >= file.nFailFirst)
                return errno = EIO, -1;
            nEnd = file.nFailFirst; // cut short where the failure starts
        }
        std::copy(file.bytes.begin() + ptrdiff_t(n), file.bytes.begin() + ptrdiff_t(nEnd),
                  static_cast<uint8_t*>(pDest));
        return ssize_t(nEnd - n);
    }
    int Stat(int fd, struct stat* pStat) override {
        *pStat = {};
        pStat->st_mode = S_IFREG | 0644;
        pStat->st_size = off_t(m_files[fd - kFd1].bytes.size());
        return 0;
    }
    off_t SeekEnd(int fd) override { return off_t(m_files[fd - kFd1].bytes.size()); }
    // Where holes lie cannot be told here, as on a file system without SEEK_DATA.
    off_t Seek(int, off_t, int) override { return errno = EINVAL, -1; }
    int Close(int) override { return 0; }

private:
    static int Fd(const char* pszPath) { return pszPath[0] == '1' ? kFd1 : kFd1 + 1; }
};

struct CSink : IJobSink {
    void PostProgress() override {}
    void PostFinished() override { ++nFinished; }
    int nFinished = 0;
};

CAlignment Align(const CMemoryFileSystem& fs) {
    CAlignment alignment;
    CLockedText error1, error2;
    CSink sink;
    CAlignJob job({"1", "2", fs.m_files[0].bytes.size(), fs.m_files[1].bytes.size(), &alignment,
                   nullptr, &error1, &error2, &sink});
    job.Run();
    FUZZ_CHECK(sink.nFinished == 1 && error1.Get().empty() && error2.Get().empty());
    return alignment;
}

bool Unreadable(const CFile& file, uint64_t nFirst, uint64_t nEnd) {
    return nFirst < nEnd && nFirst < file.nFailEnd && nEnd > file.nFailFirst;
}

void Check(const CMemoryFileSystem& fs, const CAlignment& a) {
    const std::vector<uint8_t>& one = fs.m_files[0].bytes;
    const std::vector<uint8_t>& two = fs.m_files[1].bytes;
    uint64_t n1 = 0;
    std::vector<std::pair<uint64_t, uint64_t>> ranges2;
    for (const CAlignSegment& s : a.m_segments) {
        FUZZ_CHECK(s.nOffset1 == n1 && s.End1() <= one.size() && s.End2() <= two.size());
        if (s.eKind == EAlignKind::Equal || s.eKind == EAlignKind::Moved) {
            FUZZ_CHECK(s.nLength1 == s.nLength2);
            FUZZ_CHECK(std::equal(one.begin() + ptrdiff_t(s.nOffset1),
                                  one.begin() + ptrdiff_t(s.End1()),
                                  two.begin() + ptrdiff_t(s.nOffset2)));
            FUZZ_CHECK(!Unreadable(fs.m_files[0], s.nOffset1, s.End1()) &&
                       !Unreadable(fs.m_files[1], s.nOffset2, s.End2()));
        }
        FUZZ_CHECK(s.eKind != EAlignKind::Inserted || s.nLength1 == 0);
        FUZZ_CHECK(s.eKind != EAlignKind::Deleted || s.nLength2 == 0);
        n1 = s.End1();
        if (s.nLength2)
            ranges2.push_back({s.nOffset2, s.End2()});
    }
    std::sort(ranges2.begin(), ranges2.end());
    uint64_t n2 = 0;
    for (const auto& [nFirst, nEnd] : ranges2) {
        FUZZ_CHECK(nFirst == n2);
        n2 = nEnd;
    }
    FUZZ_CHECK(n1 == one.size() && n2 == two.size() && a.m_bComplete);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CMemoryFileSystem fs;
    CFileSystem::Install(&fs);
    CFuzzInput input(pData, nSize);
    // Random bytes with runs of zeros and a repeated piece, up to 512 KiB.
    std::mt19937 random(input.Take<uint32_t>());
    std::vector<uint8_t> one(size_t(input.TakeIn(0, 1 << 19)));
    for (uint8_t& b : one)
        b = uint8_t(random());
    const auto Below = [&input](size_t n) { return size_t(input.TakeIn(0, int64_t(n))); };
    for (int k = int(input.TakeIn(0, 3)); k > 0; --k) {
        const size_t nAt = Below(one.size()), nCount = std::min(Below(65536), one.size() - nAt);
        const size_t nFrom = Below(one.size() - nCount);
        if (k == 3 && nCount > 0)
            std::memmove(one.data() + nAt, one.data() + nFrom, nCount);
        else
            std::fill_n(one.begin() + ptrdiff_t(nAt), nCount, uint8_t(0));
    }
    // Up to six edits: insert (random or zeros), delete, replace, move; short or long.
    std::vector<uint8_t> two = one;
    for (int k = int(input.TakeIn(0, 6)); k > 0; --k) {
        const auto eOp = input.Take<uint8_t>();
        const size_t nAt = Below(two.size());
        const size_t nCount = eOp & 8 ? Below(64) : Below(200000);
        const auto at = two.begin() + ptrdiff_t(nAt);
        const size_t nCut = std::min(nCount, two.size() - nAt);
        if (eOp % 4 == 0) {
            std::vector<uint8_t> piece(nCount);
            for (uint8_t& b : piece)
                b = eOp & 16 ? 0 : uint8_t(random());
            two.insert(at, piece.begin(), piece.end());
        } else if (eOp % 4 == 1) {
            two.erase(at, at + ptrdiff_t(nCut));
        } else if (eOp % 4 == 2) {
            std::generate_n(at, nCut, [&random] { return uint8_t(random()); });
        } else {
            const std::vector<uint8_t> piece(at, at + ptrdiff_t(nCut));
            two.erase(at, at + ptrdiff_t(nCut));
            two.insert(two.begin() + ptrdiff_t(Below(two.size())), piece.begin(), piece.end());
        }
    }
    const bool bEdited = one != two;
    fs.m_files[0] = {std::move(one)};
    fs.m_files[1] = {std::move(two)};
    const auto eFaults = input.Take<uint8_t>();
    for (CFile& file : fs.m_files) {
        if (eFaults & (&file == fs.m_files ? 1 : 2)) {
            file.nFailFirst = Below(file.bytes.size());
            file.nFailEnd = file.nFailFirst + Below(300000) + 1;
        }
        if (eFaults & 4)
            file.nMaxRead = size_t(input.TakeIn(1, 70000));
    }
    const CAlignment alignment = Align(fs);
    Check(fs, alignment);
    if (!bEdited && !(eFaults & 3))
        FUZZ_CHECK(alignment.m_segments.size() == (fs.m_files[0].bytes.empty() ? 0u : 1u));
    SetCollidingChunkHash(true);
    FUZZ_CHECK(Align(fs).m_segments == alignment.m_segments);
    SetCollidingChunkHash(false);
    CFileSystem::Install(nullptr);
    return 0;
}
