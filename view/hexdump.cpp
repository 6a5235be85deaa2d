#include "view/hexdump.h"

#include "engine/busguard.h"
#include "engine/filelayout.h"
#include "engine/inputfile.h"
#include "engine/mappedwindow.h"
#include "view/hexline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {
// The scan reads a small chunk first, so that an early difference costs little, and
// doubles it up to kMaxChunk per file, the comparison's own buffer size.
constexpr uint32_t kFirstChunk = 16u << 10;
constexpr uint32_t kMaxChunk = 256u << 10;
// A mapped window of each file: a few MiB, so that what the dump keeps mapped, and so in memory,
// stays small however large the cell.
constexpr int64_t kMaxWindow = 2 << 20;
constexpr int32_t kPerLine = 16;
constexpr int32_t kShown = 5 * kPerLine;

// Where the side-by-side scan of a cell stopped.
struct CScan {
    uint64_t nDiff = 0;   // cell index of the first difference, or the common length
    bool bEnded1 = false; // file 1 gave fewer bytes than asked at some point
    bool bEnded2 = false;
    uint64_t nGot1 = 0; // bytes of the cell file 1 yields, when it ended
    uint64_t nGot2 = 0;
};

uint32_t ReadAt(CInputFile& file, uint64_t nOffset, uint8_t* pDest, uint32_t nCount) {
    file.SeekTo(int64_t(nOffset));
    return file.Read(pDest, nCount);
}

// Index of the first differing byte of two buffers, or nCount when they agree.
uint32_t FirstDifference(const uint8_t* p1, const uint8_t* p2, uint32_t nCount) {
    if (std::memcmp(p1, p2, nCount) == 0)
        return nCount;
    return uint32_t(std::mismatch(p1, p1 + nCount, p2).first - p1);
}

// Where the first nCount bytes at p (null: a hole's zeros) and at q part, nCount if nowhere.
uint32_t FirstDifferenceOrZero(const uint8_t* p, const uint8_t* q, uint32_t nCount) {
    if (p && q)
        return FirstDifference(p, q, nCount);
    const uint8_t* pBytes = p ? p : q;
    if (!pBytes || IsAllZero(pBytes, nCount))
        return nCount;
    return uint32_t(std::find_if(pBytes, pBytes + nCount, [](uint8_t b) { return b != 0; }) -
                    pBytes);
}

// One scan of a cell: both files, their mapped windows (null where the file is read), a buffer
// for each, and where the scan stopped.
struct CScanJob {
    CInputFile* pFile[2];
    CMappedWindow* pWindow[2];
    uint8_t* pBuffer[2];
    int64_t nLength[2];
    uint64_t nFirst;
    uint64_t nCount;
    CScan scan;
};

// The nCount bytes of file f at nOffset: in its window where that can serve them, otherwise read
// into its buffer; nGot says how many there are.
const uint8_t* Fetch(CScanJob& job, int f, uint64_t nOffset, uint32_t nCount, uint32_t& nGot) {
    if (CMappedWindow* pWindow = job.pWindow[f]) {
        const auto nAt = int64_t(nOffset);
        const int64_t nWindow = std::clamp<int64_t>(int64_t(MapWindow()), kMaxChunk, kMaxWindow);
        const int64_t nEnd = std::min(nAt + nWindow, job.nLength[f]);
        if (!pWindow->Spans(nAt, nAt + nCount) && nAt + nCount <= nEnd &&
            !pWindow->Map(job.pFile[f]->GetHandle(), nAt, nEnd))
            job.pWindow[f] = nullptr; // it is read, as a file that cannot be mapped
        if (const uint8_t* p = pWindow->Find(nAt, nCount)) {
            nGot = nCount;
            return p;
        }
    }
    nGot = ReadAt(*job.pFile[f], nOffset, job.pBuffer[f], nCount);
    return job.pBuffer[f];
}

// Scans both files chunk by chunk from nFirst until they differ, either of them ends or fails,
// or nCount bytes agree. A short read ends a file for good, as one read of the whole cell would
// have stopped there. A hole of both files is passed over unread, and a hole of one file is
// compared as zeros against the other's bytes.
void ScanChunks(void* pJob) {
    CScanJob& job = *static_cast<CScanJob*>(pJob);
    CScan& scan = job.scan;
    CFileLayout layout1;
    CFileLayout layout2;
    layout1.Reset(job.pFile[0]->GetHandle(), job.nLength[0]);
    layout2.Reset(job.pFile[1]->GetHandle(), job.nLength[1]);
    const uint64_t nFirst = job.nFirst;
    const uint64_t nCount = job.nCount;
    uint32_t nChunk = kFirstChunk;
    uint64_t nDone = 0;
    while (nDone < nCount) {
        const auto nAt = int64_t(nFirst + nDone);
        bool bHole1 = false;
        bool bHole2 = false;
        const int64_t nRun = std::min(layout1.RunAt(nAt, bHole1), layout2.RunAt(nAt, bHole2));
        const uint64_t nRunLeft = uint64_t(nRun - nAt);
        if (bHole1 && bHole2) {
            nDone += std::min(nCount - nDone, nRunLeft);
            continue;
        }
        uint32_t nWant = uint32_t(std::min<uint64_t>({nCount - nDone, nChunk, nRunLeft}));
        nChunk = std::min(2 * nChunk, kMaxChunk);
        uint32_t nGot1 = nWant;
        uint32_t nGot2 = nWant;
        const uint8_t* p1 = bHole1 ? nullptr : Fetch(job, 0, nFirst + nDone, nWant, nGot1);
        const uint8_t* p2 = bHole2 ? nullptr : Fetch(job, 1, nFirst + nDone, nWant, nGot2);
        if (nGot1 < nWant) {
            scan.bEnded1 = true;
            scan.nGot1 = nDone + nGot1;
        }
        if (nGot2 < nWant) {
            scan.bEnded2 = true;
            scan.nGot2 = nDone + nGot2;
        }
        uint32_t nCommon = std::min(nGot1, nGot2);
        uint32_t i = FirstDifferenceOrZero(p1, p2, nCommon);
        if (i < nCommon || nCommon < nWant) {
            scan.nDiff = nDone + i;
            return;
        }
        nDone += nWant;
    }
    scan.nDiff = nCount;
}

// Scans the cell as ScanChunks does, where it can in the files' mapped windows. A mapped page the
// file no longer backs (SIGBUS) or a file that shrank under its mapping has the scan done once
// more through reads, which tell what the mapping could not. False when no buffers could be had.
bool ScanCell(CInputFile& file1, CInputFile& file2, uint64_t nFirst, uint64_t nCount, CScan& scan) {
    // Uninitialised: only the pages a read fills are ever touched.
    const auto nBufferSize = size_t(std::min<uint64_t>(nCount, kMaxChunk));
    std::unique_ptr<uint8_t[]> buf1(new (std::nothrow) uint8_t[nBufferSize]);
    std::unique_ptr<uint8_t[]> buf2(new (std::nothrow) uint8_t[nBufferSize]);
    if (!buf1 || !buf2)
        return false;
    CMappedWindow window1;
    CMappedWindow window2;
    CScanJob job{{&file1, &file2},
                 {MapsWindowsOf(file1.GetHandle()) ? &window1 : nullptr,
                  MapsWindowsOf(file2.GetHandle()) ? &window2 : nullptr},
                 {buf1.get(), buf2.get()},
                 {int64_t(file1.GetSize()), int64_t(file2.GetSize())},
                 nFirst,
                 nCount,
                 CScan()};
    if (!CBusGuard::Run(ScanChunks, &job) || !window1.StillHeld() || !window2.StillHeld()) {
        job.pWindow[0] = job.pWindow[1] = nullptr;
        job.scan = CScan();
        ScanChunks(&job);
    }
    scan = job.scan;
    return true;
}

// The bytes of one file that the dump shows: cell indexes nStart to nEnd - 1, fewer when
// the file ended before.
std::vector<uint8_t> ReadShown(CInputFile& file, uint64_t nFirst, uint64_t nStart, uint64_t nEnd,
                               bool bEnded, uint64_t nGot) {
    if (bEnded)
        nEnd = std::min(nEnd, std::max(nGot, nStart));
    std::vector<uint8_t> bytes(nEnd - nStart);
    bytes.resize(ReadAt(file, nFirst + nStart, bytes.data(), uint32_t(bytes.size())));
    return bytes;
}

bool IsLongForm(uint64_t nLast) {
    return int32_t(uint32_t(nLast >> 32)) > 0;
}
} // namespace

std::string FormatRange(uint64_t nFirst, uint64_t nLast) {
    char szText[40];
    if (IsLongForm(nLast))
        std::snprintf(szText, sizeof szText, "%08X`%08X - %08X`%08X", unsigned(nFirst >> 32),
                      unsigned(nFirst & 0xFFFFFFFFu), unsigned(nLast >> 32),
                      unsigned(nLast & 0xFFFFFFFFu));
    else
        std::snprintf(szText, sizeof szText, "%08X - %08X", unsigned(nFirst & 0xFFFFFFFFu),
                      unsigned(nLast & 0xFFFFFFFFu));
    return szText;
}

void AppendDumpLines(std::string& strOut, CHexLine& line, const uint8_t* p1, const uint8_t* p2,
                     int32_t nCommon, int32_t nStart) {
    for (int32_t k = 0; k < 5; ++k) {
        int32_t nPos = nStart + kPerLine * k;
        std::string strLine = line.FormatLine(nPos);
        if (strLine.empty())
            continue;
        size_t c = size_t(line.m_nHexColumn);
        for (int32_t j = 0; j < kPerLine; ++j, c += 3) {
            int32_t i = nPos + j;
            if (i < 0 || i >= nCommon || p1[i] == p2[i])
                continue;
            BracketField(strLine, c);
        }
        strOut += strLine;
        strOut += '\n';
    }
}

std::string BuildHexDump(CInputFile& file1, CInputFile& file2, uint64_t nFirst, uint64_t nLast) {
    const uint64_t nCount = nLast < nFirst ? 0 : std::min(nLast - nFirst, UINT64_MAX - 1) + 1;
    CScan scan;
    if (!ScanCell(file1, file2, nFirst, nCount, scan))
        return std::string();

    // Two lines before the line of the first difference, so that it is the third line.
    uint64_t nStart = scan.nDiff & ~uint64_t(kPerLine - 1);
    nStart = nStart >= 2 * kPerLine ? nStart - 2 * kPerLine : 0;
    uint64_t nEnd = std::min(nCount, nStart + kShown);
    std::vector<uint8_t> shown1 = ReadShown(file1, nFirst, nStart, nEnd, scan.bEnded1, scan.nGot1);
    std::vector<uint8_t> shown2 = ReadShown(file2, nFirst, nStart, nEnd, scan.bEnded2, scan.nGot2);
    int32_t nCommon = int32_t(std::min(shown1.size(), shown2.size()));

    std::string strText = "[" + FormatRange(nFirst, nLast) + "]\n";
    strText.reserve(1024);
    strText += std::string(57, '=') + '\n';
    CHexLine line(kPerLine);
    line.m_nAddrBits = IsLongForm(nLast) ? 64 : 32;
    line.m_nBase = nFirst + nStart;
    line.m_pData = shown1.data();
    line.m_nDataLen = int32_t(shown1.size());
    AppendDumpLines(strText, line, shown1.data(), shown2.data(), nCommon, 0);
    strText += std::string(57, '-') + '\n';
    line.m_pData = shown2.data();
    line.m_nDataLen = int32_t(shown2.size());
    AppendDumpLines(strText, line, shown1.data(), shown2.data(), nCommon, 0);
    strText += std::string(57, '=');
    return strText;
}
