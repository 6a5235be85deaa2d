#include "view/aligndump.h"

#include "engine/align/alignment.h"
#include "engine/inputfile.h"
#include "view/hexdump.h"
#include "view/hexline.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {
constexpr int32_t kPerLine = 16;
constexpr int32_t kShown = 5 * kPerLine;
// A cell of many segments lists this many; the rest are counted.
constexpr size_t kListed = 6;

// One column of the dump: a byte of each file, or where that file stands without one.
struct CColumn {
    uint64_t nOffset[2] = {0, 0};
    bool bHas[2] = {false, false};
    int16_t nByte[2] = {-1, -1}; // -1: not read
};

std::string Offset(uint64_t n) {
    char szText[24];
    if (n >> 32)
        std::snprintf(szText, sizeof szText, "%08X`%08X", unsigned(n >> 32),
                      unsigned(n & 0xFFFFFFFFu));
    else
        std::snprintf(szText, sizeof szText, "%08X", unsigned(n));
    return szText;
}

// A file's stretch: its first and last offset, or where it stands when it is empty.
std::string Range(uint64_t nOffset, uint64_t nLength) {
    return nLength == 0 ? "at " + Offset(nOffset) : FormatRange(nOffset, nOffset + nLength - 1);
}

std::string Bytes(uint64_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// The segments the cell [nFirst, nEnd) holds, as CAlignment::WorstKind counts them.
std::vector<size_t> SegmentsIn(const CAlignment& a, uint64_t nFirst, uint64_t nEnd) {
    std::vector<size_t> held;
    const std::vector<CAlignSegment>& v = a.m_segments;
    auto it = std::lower_bound(v.begin(), v.end(), nFirst,
                               [](const CAlignSegment& s, uint64_t n) { return s.End1() < n; });
    for (; it != v.end(); ++it) {
        if (it->nLength1 == 0) {
            if (it->nOffset1 > nEnd)
                break;
            if (it->nOffset1 >= nFirst && (it->nOffset1 < nEnd || it->nOffset1 == a.m_nLength1))
                held.push_back(size_t(it - v.begin()));
            continue;
        }
        if (it->nOffset1 >= nEnd)
            break;
        if (it->End1() > nFirst)
            held.push_back(size_t(it - v.begin()));
    }
    return held;
}

bool IsInPlace(const CAlignSegment& s) {
    return s.eKind == EAlignKind::Equal && s.Shift() == 0;
}

// Up to kShown columns along the alignment from file-1 offset nFrom, within the cell.
std::vector<CColumn> Columns(const CAlignment& a, const std::vector<size_t>& held, uint64_t nFrom,
                             uint64_t nEnd) {
    std::vector<CColumn> columns;
    const uint64_t L1 = a.m_nLength1;
    for (size_t k : held) {
        const CAlignSegment& s = a.m_segments[k];
        if (s.nLength1 != 0 && s.End1() <= nFrom)
            continue;
        if (s.nLength1 == 0 && s.nOffset1 < nFrom)
            continue;
        // Column j of the segment has file 1's byte j when j < nLength1, file 2's when j <
        // nLength2; equal and moved ones have both.
        const uint64_t j0 = nFrom > s.nOffset1 ? nFrom - s.nOffset1 : 0;
        // File 1's bytes up to the cell's end; what file 2 has past them only where that point
        // still belongs to the cell.
        const uint64_t nEnd1 = std::min(s.nLength1, nEnd - std::min(nEnd, s.nOffset1));
        const bool bTail = s.End1() < nEnd || (s.End1() == nEnd && nEnd == L1);
        const uint64_t nCount = std::max(nEnd1, bTail ? s.nLength2 : std::min(s.nLength2, nEnd1));
        for (uint64_t j = j0; j < nCount && columns.size() < size_t(kShown); ++j) {
            CColumn c;
            c.bHas[0] = j < s.nLength1;
            c.bHas[1] = j < s.nLength2;
            c.nOffset[0] = s.nOffset1 + std::min(j, s.nLength1);
            c.nOffset[1] = s.nOffset2 + std::min(j, s.nLength2);
            columns.push_back(c);
        }
        if (columns.size() >= size_t(kShown))
            break;
    }
    return columns;
}

// Reads each file's bytes of the columns, run by run of consecutive offsets.
void ReadColumns(std::vector<CColumn>& columns, CInputFile* pFiles[2]) {
    for (int f = 0; f < 2; ++f) {
        for (size_t i = 0; i < columns.size();) {
            if (!columns[i].bHas[f]) {
                ++i;
                continue;
            }
            size_t n = 1;
            while (i + n < columns.size() && columns[i + n].bHas[f] &&
                   columns[i + n].nOffset[f] == columns[i].nOffset[f] + n)
                ++n;
            uint8_t buffer[kShown];
            pFiles[f]->SeekTo(int64_t(columns[i].nOffset[f]));
            const uint32_t nGot = pFiles[f]->Read(buffer, uint32_t(n));
            for (size_t k = 0; k < n; ++k)
                columns[i + k].nByte[f] = k < nGot ? int16_t(buffer[k]) : int16_t(-1);
            i += n;
        }
    }
}

// The five lines of file f; bLong: the offsets in the long form.
void AppendLines(std::string& strOut, const std::vector<CColumn>& columns, int f, bool bLong) {
    CHexLine line(kPerLine);
    line.m_nAddrBits = bLong ? 64 : 32;
    for (size_t nAt = 0; nAt < columns.size(); nAt += kPerLine) {
        const size_t n = std::min(columns.size() - nAt, size_t(kPerLine));
        uint8_t bytes[kPerLine] = {};
        char marks[kPerLine] = {};
        for (size_t k = 0; k < n; ++k) {
            const CColumn& c = columns[nAt + k];
            bytes[k] = uint8_t(std::max<int16_t>(c.nByte[f], 0));
            marks[k] = !c.bHas[f] ? '.' : c.nByte[f] < 0 ? '?' : 0;
        }
        line.m_pData = bytes;
        line.m_nDataLen = int32_t(n);
        line.m_nBase = columns[nAt].nOffset[f];
        line.m_pMarks = marks;
        std::string strLine = line.FormatLine(0);
        size_t c = size_t(line.m_nHexColumn);
        for (size_t k = 0; k < n; ++k, c += 3) {
            const CColumn& col = columns[nAt + k];
            if (col.nByte[0] < 0 || col.nByte[1] < 0 || col.nByte[0] == col.nByte[1])
                continue;
            BracketField(strLine, c);
        }
        strOut += strLine;
        strOut += '\n';
    }
}
} // namespace

std::string FormatAlignSegment(const CAlignSegment& s) {
    std::string strText = AlignKindName(s.eKind);
    switch (s.eKind) {
    case EAlignKind::Equal:
    case EAlignKind::Moved: {
        strText += ' ' + Range(s.nOffset1, s.nLength1);
        if (s.Shift() == 0)
            return strText;
        char szShift[32];
        std::snprintf(szShift, sizeof szShift, "%+" PRId64, s.Shift());
        return strText + ", file 2 at " + szShift + ": " + Range(s.nOffset2, s.nLength2);
    }
    case EAlignKind::Inserted:
        return strText + ' ' + Bytes(s.nLength2) + " before " + Offset(s.nOffset1) + ", file 2 " +
               Range(s.nOffset2, s.nLength2);
    case EAlignKind::Deleted:
        return strText + ' ' + Bytes(s.nLength1) + ' ' + Range(s.nOffset1, s.nLength1) +
               ", file 2 " + Range(s.nOffset2, s.nLength2);
    default:
        return strText + ' ' + Range(s.nOffset1, s.nLength1) + ", file 2 " +
               Range(s.nOffset2, s.nLength2);
    }
}

std::string BuildAlignDetail(const CAlignment& alignment, CInputFile& file1, CInputFile& file2,
                             uint64_t nFirst, uint64_t nLast) {
    std::string strText = "[" + FormatRange(nFirst, nLast) + "]\n";
    const uint64_t nEnd = nLast + 1;
    const std::vector<size_t> held = SegmentsIn(alignment, nFirst, nEnd);
    if (held.empty())
        return strText + "not compared yet";
    size_t nFocus = held.size();
    for (size_t k = 0; k < held.size(); ++k) {
        const CAlignSegment& s = alignment.m_segments[held[k]];
        if (k < kListed)
            strText += FormatAlignSegment(s) + '\n';
        if (nFocus == held.size() && !IsInPlace(s))
            nFocus = k;
    }
    if (held.size() > kListed)
        strText += "and " + std::to_string(held.size() - kListed) + " more segments\n";
    if (nFocus == held.size()) {
        strText.pop_back();
        return strText;
    }
    // Two lines before the line where the first segment that is not equal in place begins.
    const uint64_t nAt = std::max(alignment.m_segments[held[nFocus]].nOffset1, nFirst) - nFirst;
    uint64_t nStart = nAt & ~uint64_t(kPerLine - 1);
    nStart = nStart >= 2 * kPerLine ? nStart - 2 * kPerLine : 0;
    std::vector<CColumn> columns = Columns(alignment, held, nFirst + nStart, nEnd);
    CInputFile* pFiles[2] = {&file1, &file2};
    ReadColumns(columns, pFiles);
    uint64_t nHighest = nLast;
    for (const CColumn& c : columns)
        nHighest = std::max({nHighest, c.nOffset[0], c.nOffset[1]});
    const bool bLong = nHighest >> 32;
    strText += std::string(57, '=') + '\n';
    AppendLines(strText, columns, 0, bLong);
    strText += std::string(57, '-') + '\n';
    AppendLines(strText, columns, 1, bLong);
    strText += std::string(57, '=');
    return strText;
}
