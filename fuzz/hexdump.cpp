// The cell detail text over two in-memory files, checked against a plain reading of what the
// dump must show; the aligned map's detail over any alignment of them; and one dump line of any
// width at any position.
#include "view/hexdump.h"
#include "engine/align/alignment.h"
#include "engine/filesystem.h"
#include "engine/inputfile.h"
#include "fuzz/fuzzinput.h"
#include "view/aligndump.h"
#include "view/hexline.h"

#include <algorithm>
#include <cerrno>

namespace {
constexpr int kFd1 = 1001;

// A file of any length whose bytes follow a fixed pattern, the same in both files, except
// for a window of bytes from the fuzz input at m_nOrigin. Reads fail from m_nFailAt on and
// return at most m_nMaxRead bytes each, so that short reads are met too.
struct CMemoryFile {
    uint64_t m_nLength = 0;
    uint64_t m_nOrigin = 0;
    std::vector<uint8_t> m_bytes;
    uint64_t m_nFailAt = UINT64_MAX;
    size_t m_nMaxRead = SIZE_MAX;

    uint8_t At(uint64_t nOffset) const {
        if (nOffset >= m_nOrigin && nOffset - m_nOrigin < m_bytes.size())
            return m_bytes[nOffset - m_nOrigin];
        return uint8_t(nOffset ^ (nOffset >> 8) ^ (nOffset >> 33));
    }
    // Bytes a read at nOffset can yield before the end or a failure.
    uint64_t Available(uint64_t nOffset) const {
        uint64_t nEnd = std::min(m_nLength, m_nFailAt);
        return nOffset < nEnd ? nEnd - nOffset : 0;
    }
};

class CMemoryFileSystem : public CFileSystem {
public:
    CMemoryFile m_files[2];

    int StatPath(const char*, struct stat* pStat) override {
        *pStat = {};
        pStat->st_mode = S_IFREG | 0644;
        return 0;
    }
    int Open(const char* pszPath, int) override { return pszPath[0] == '1' ? kFd1 : kFd1 + 1; }
    ssize_t ReadAt(int fd, void* pDest, size_t nCount, off_t nOffset) override {
        const CMemoryFile& file = m_files[fd - kFd1];
        FUZZ_CHECK(nOffset >= 0);
        if (uint64_t(nOffset) >= file.m_nFailAt && uint64_t(nOffset) < file.m_nLength) {
            errno = EIO;
            return -1;
        }
        uint64_t nGot =
            std::min<uint64_t>({nCount, file.Available(uint64_t(nOffset)), file.m_nMaxRead});
        auto* pBytes = static_cast<uint8_t*>(pDest);
        for (uint64_t i = 0; i < nGot; ++i)
            pBytes[i] = file.At(uint64_t(nOffset) + i);
        return ssize_t(nGot);
    }
    int Stat(int fd, struct stat* pStat) override {
        *pStat = {};
        pStat->st_mode = S_IFREG | 0644;
        pStat->st_size = off_t(m_files[fd - kFd1].m_nLength);
        return 0;
    }
    off_t SeekEnd(int fd) override { return off_t(m_files[fd - kFd1].m_nLength); }
    // Where holes lie cannot be told here, as on a file system without SEEK_DATA.
    off_t Seek(int, off_t, int) override { return errno = EINVAL, -1; }
    int Close(int) override { return 0; }
};

std::string Format(const char* pszFormat, unsigned a, unsigned b = 0, unsigned c = 0,
                   unsigned d = 0) {
    char szText[64];
    std::snprintf(szText, sizeof szText, pszFormat, a, b, c, d);
    return szText;
}

unsigned High(uint64_t n) {
    return unsigned(n >> 32);
}
unsigned Low(uint64_t n) {
    return unsigned(n & 0xFFFFFFFFu);
}

// The offsets take the long form when the last one's high half is a positive 32-bit value.
bool LongForm(uint64_t nLast) {
    return High(nLast) != 0 && High(nLast) < 0x80000000u;
}

std::string Prefix(uint64_t nOffset, bool bLong) {
    return bLong ? Format("%08X`%08X:", High(nOffset), Low(nOffset))
                 : Format("%08X:", Low(nOffset));
}

// The dump as the description tells it, from whole reads of the cell.
std::string ExpectedDump(const CMemoryFile (&files)[2], uint64_t nFirst, uint64_t nLast) {
    const bool bLong = LongForm(nLast);
    std::string strText = bLong ? Format("[%08X`%08X - %08X`%08X]\n", High(nFirst), Low(nFirst),
                                         High(nLast), Low(nLast))
                                : Format("[%08X - %08X]\n", Low(nFirst), Low(nLast));
    strText += std::string(57, '=') + "\n";
    const uint64_t n = nLast < nFirst ? 0 : std::min(nLast - nFirst, UINT64_MAX - 1) + 1;
    // A position of at least 2^63 cannot be sought to: nothing is read there.
    auto got = [&](const CMemoryFile& file) {
        return nFirst > uint64_t(INT64_MAX) ? 0 : std::min(n, file.Available(nFirst));
    };
    const uint64_t got1 = got(files[0]);
    const uint64_t got2 = got(files[1]);
    const uint64_t nCommon = std::min(got1, got2);
    uint64_t d = 0;
    while (d < nCommon && files[0].At(nFirst + d) == files[1].At(nFirst + d))
        ++d;
    const uint64_t nStart = (d & ~uint64_t(15)) >= 32 ? (d & ~uint64_t(15)) - 32 : 0;
    auto differs = [&](uint64_t i) {
        return i < nCommon && files[0].At(nFirst + i) != files[1].At(nFirst + i);
    };
    for (int k = 0; k < 2; ++k) {
        const uint64_t nGot = k == 0 ? got1 : got2;
        for (uint64_t nPos = nStart; nPos < nStart + 80 && nPos < nGot; nPos += 16) {
            strText += Prefix(nFirst + nPos, bLong);
            for (uint64_t j = 0; j < 16; ++j) {
                const uint64_t i = nPos + j;
                const bool bIn = differs(i), bBefore = j > 0 && differs(i - 1);
                char cSeparator = j > 0 && j % 4 == 0 ? '-' : ' ';
                if (bIn != bBefore)
                    cSeparator = bIn ? '[' : ']';
                else if (bIn)
                    cSeparator = ' ';
                strText += i < nGot ? cSeparator + Format("%02X", files[k].At(nFirst + i))
                                    : std::string(1, bBefore ? ']' : ' ') + "  ";
            }
            if (differs(nPos + 15))
                strText += ']';
            strText += '\n';
        }
        strText += std::string(57, k == 0 ? '-' : '=') + (k == 0 ? "\n" : "");
    }
    return strText;
}

// Two files ending up to 64 KiB past an origin anywhere below 2^41, often near the 4 GiB line
// where the offsets change form, as nFlags asks: reads failing from some point, or short.
uint64_t TakeFiles(CFuzzInput& input, uint16_t nFlags, CMemoryFileSystem& fs) {
    uint64_t nOrigin = input.Take<uint64_t>() & ((uint64_t(1) << 41) - 1);
    if (nFlags & 1)
        nOrigin = 0xFFFF0000u + (nOrigin & 0x1FFFF);
    for (CMemoryFile& file : fs.m_files) {
        file = CMemoryFile();
        file.m_nOrigin = nOrigin;
        file.m_nLength = nOrigin + input.Take<uint16_t>();
    }
    for (int k = 0; k < 2; ++k) {
        if (nFlags & (2 << k))
            fs.m_files[k].m_nFailAt = nOrigin + input.Take<uint16_t>();
        if (nFlags & (8 << k))
            fs.m_files[k].m_nMaxRead = 1 + input.Take<uint8_t>();
    }
    return nOrigin;
}

void CheckDump(CFuzzInput& input) {
    static CMemoryFileSystem fs;
    CFileSystem::Install(&fs);
    const auto nFlags = input.Take<uint16_t>();
    const uint64_t nOrigin = TakeFiles(input, nFlags, fs);
    // From a little before the window, for up to 128 KiB, for all the rest of the 64-bit
    // range, or backwards.
    const auto nBack = input.Take<uint16_t>();
    const uint64_t nFirst = nOrigin > nBack ? nOrigin - nBack : 0;
    const auto nSpan = input.Take<uint64_t>();
    uint64_t nLast = nFirst + (nSpan & 0x1FFFF);
    if (nFlags & 0x20)
        nLast = nFirst + std::min(nSpan, UINT64_MAX - nFirst);
    else if (nFlags & 0x40)
        nLast = nFirst - std::min(nSpan & 0xFF, nFirst);
    // The second file's window is the first's with the input's second half as a mask.
    std::string strRest = input.Rest();
    const size_t nWindow = strRest.size() / 2;
    fs.m_files[0].m_bytes.assign(strRest.begin(), strRest.begin() + ptrdiff_t(nWindow));
    fs.m_files[1].m_bytes = fs.m_files[0].m_bytes;
    for (size_t i = 0; i < nWindow; ++i)
        fs.m_files[1].m_bytes[i] ^= uint8_t(strRest[nWindow + i]);

    CInputFile file1, file2;
    FUZZ_CHECK(file1.Open("1") && file2.Open("2"));
    const std::string strDump = BuildHexDump(file1, file2, nFirst, nLast);
    const std::string strExpected = ExpectedDump(fs.m_files, nFirst, nLast);
    if (strDump != strExpected)
        std::fprintf(stderr, "first=%llx last=%llx\ngot:\n%s\nexpected:\n%s\n",
                     (unsigned long long)nFirst, (unsigned long long)nLast, strDump.c_str(),
                     strExpected.c_str());
    FUZZ_CHECK(strDump == strExpected);
    FUZZ_CHECK(strDump.size() <= 893);
    size_t nLineStart = 0;
    for (size_t nEnd; (nEnd = strDump.find('\n', nLineStart)) != std::string::npos;
         nLineStart = nEnd + 1)
        FUZZ_CHECK(nEnd - nLineStart <= 67);
    CFileSystem::Install(nullptr);
}

// The aligned detail of any cell over any alignment that tiles both files, near any offset, with
// reads failing or short: it ends, names the cell and stays within a tip's size.
void CheckAlignDetail(CFuzzInput& input) {
    static CMemoryFileSystem fs;
    CFileSystem::Install(&fs);
    const uint64_t nOrigin = TakeFiles(input, input.Take<uint16_t>(), fs);
    const uint64_t n1 = fs.m_files[0].m_nLength, n2 = fs.m_files[1].m_nLength;
    CAlignment alignment;
    alignment.Reset(n1, n2);
    alignment.Append(EAlignKind::Equal, 0, nOrigin, 0, nOrigin);
    uint64_t p1 = nOrigin, p2 = nOrigin;
    while ((p1 < n1 || p2 < n2) && input.Left() > 8) {
        const auto eKind = EAlignKind(input.Take<uint8_t>() % 6);
        uint64_t l1 = std::min<uint64_t>(input.Take<uint16_t>() % 5000, n1 - p1);
        uint64_t l2 = std::min<uint64_t>(input.Take<uint16_t>() % 5000, n2 - p2);
        if (eKind == EAlignKind::Equal || eKind == EAlignKind::Moved)
            l1 = l2 = std::min(l1, l2);
        l1 = eKind == EAlignKind::Inserted ? 0 : l1;
        l2 = eKind == EAlignKind::Deleted ? 0 : l2;
        alignment.Append(eKind, p1, l1, p2, l2);
        p1 += l1;
        p2 += l2;
    }
    alignment.Append(EAlignKind::Different, p1, n1 - p1, p2, n2 - p2);
    const uint64_t nFirst =
        std::min(n1, nOrigin - std::min<uint64_t>(nOrigin, input.Take<uint16_t>()));
    const uint64_t nLast = nFirst + input.Take<uint16_t>();

    CInputFile file1, file2;
    FUZZ_CHECK(file1.Open("1") && file2.Open("2"));
    const std::string strDetail = BuildAlignDetail(alignment, file1, file2, nFirst, nLast);
    FUZZ_CHECK(!strDetail.empty() && strDetail[0] == '[' && strDetail.size() <= 4096);
    size_t nLineStart = 0;
    for (size_t nEnd; (nEnd = strDetail.find('\n', nLineStart)) != std::string::npos;
         nLineStart = nEnd + 1)
        FUZZ_CHECK(nEnd - nLineStart <= 120);
    CFileSystem::Install(nullptr);
}

// One line of any width over bytes from the input, at any position and base.
void CheckLine(CFuzzInput& input) {
    const auto nPerLine = int32_t(input.TakeIn(-4, 64));
    const auto nPos = input.Take<int32_t>();
    const auto nBase = input.Take<uint64_t>();
    const bool bLong = input.Take<uint8_t>() & 1;
    CHexLine line(int32_t(input.TakeIn(-4, 64)));
    line.SetBytesPerLine(nPerLine);
    const std::string strData = input.Rest();
    line.m_pData = reinterpret_cast<const uint8_t*>(strData.data());
    line.m_nDataLen = int32_t(strData.size());
    line.m_nBase = nBase;
    line.m_nAddrBits = bLong ? 64 : 32;
    const std::string strLine = line.FormatLine(nPos);
    FUZZ_CHECK(line.m_nPerLine <= 0 || line.m_nTextSize >= line.m_nPerLine * 3 + 20);
    const bool bEmpty = int64_t(nPos) + nPerLine <= 0 || nPos >= line.m_nDataLen;
    FUZZ_CHECK(strLine.empty() == bEmpty);
    if (bEmpty)
        return;
    const std::string strPrefix = Prefix(nBase + uint64_t(int64_t(nPos)), bLong);
    FUZZ_CHECK(strLine.rfind(strPrefix, 0) == 0);
    FUZZ_CHECK(line.m_nHexColumn == int32_t(strPrefix.size()));
    FUZZ_CHECK(strLine.size() == strPrefix.size() + 3 * size_t(std::max(nPerLine, 0)));
    for (int32_t i = 0; i < nPerLine; ++i) {
        const int64_t j = int64_t(nPos) + i;
        const std::string strField = strLine.substr(strPrefix.size() + 3 * size_t(i), 3);
        if (j < 0 || j >= line.m_nDataLen)
            FUZZ_CHECK(strField == "   ");
        else
            FUZZ_CHECK(strField == (i > 0 && i % 4 == 0 ? "-" : " ") +
                                       Format("%02X", uint8_t(strData[size_t(j)])));
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    CFuzzInput input(pData, nSize);
    const auto nWhich = input.Take<uint8_t>() % 4;
    if (nWhich == 0)
        CheckLine(input);
    else if (nWhich == 1)
        CheckAlignDetail(input);
    else
        CheckDump(input);
    return 0;
}
