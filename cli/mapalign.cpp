#include "cli/mapalign.h"

#include "engine/align/alignment.h"
#include "view/cellgeometry.h"
#include "view/maprender.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <new>
#include <vector>

namespace {
constexpr EAlignKind kKinds[] = {EAlignKind::Equal,   EAlignKind::Different, EAlignKind::Inserted,
                                 EAlignKind::Deleted, EAlignKind::Moved,     EAlignKind::ReadError};

bool IsInPlace(const CAlignSegment& s) {
    return s.eKind == EAlignKind::Equal && s.Shift() == 0;
}

uint64_t Count(const CAlignment& alignment, EAlignKind eKind) {
    return uint64_t(std::count_if(alignment.m_segments.begin(), alignment.m_segments.end(),
                                  [eKind](const CAlignSegment& s) { return s.eKind == eKind; }));
}
} // namespace

std::string FormatAlignReport(const CAlignment& alignment) {
    std::string strText = "segments=" + std::to_string(alignment.m_segments.size());
    for (EAlignKind eKind : kKinds) {
        std::string strName = AlignKindName(eKind);
        std::replace(strName.begin(), strName.end(), '-', '_'); // as the block report's names
        strText += ' ' + strName + '=' + std::to_string(Count(alignment, eKind));
    }
    strText += alignment.m_bComplete ? " complete=yes\n" : " complete=no\n";
    for (const CAlignSegment& s : alignment.m_segments) {
        if (IsInPlace(s))
            continue;
        char szLine[160];
        int n = std::snprintf(
            szLine, sizeof szLine, "%s 0x%016" PRIX64 "+%" PRIu64 " 0x%016" PRIX64 "+%" PRIu64,
            AlignKindName(s.eKind), s.nOffset1, s.nLength1, s.nOffset2, s.nLength2);
        if (s.eKind == EAlignKind::Equal || s.eKind == EAlignKind::Moved)
            std::snprintf(szLine + n, sizeof szLine - size_t(n), " %+" PRId64, s.Shift());
        strText += szLine;
        strText += '\n';
    }
    return strText;
}

std::string FormatJsonAlignment(const CAlignment& alignment) {
    std::string strText = std::string("{\"complete\":") +
                          (alignment.m_bComplete ? "true" : "false") + ",\"segments\":[";
    for (size_t i = 0; i < alignment.m_segments.size(); ++i) {
        const CAlignSegment& s = alignment.m_segments[i];
        char szSegment[200];
        std::snprintf(szSegment, sizeof szSegment,
                      "%s{\"kind\":\"%s\",\"offset1\":%" PRIu64 ",\"length1\":%" PRIu64
                      ",\"offset2\":%" PRIu64 ",\"length2\":%" PRIu64 "}",
                      i ? "," : "", AlignKindName(s.eKind), s.nOffset1, s.nLength1, s.nOffset2,
                      s.nLength2);
        strText += szSegment;
    }
    return strText + "]}";
}

uint64_t CountUnreadable(const CAlignment& alignment) {
    return Count(alignment, EAlignKind::ReadError);
}

int AlignExitStatus(const CAlignment& alignment) {
    if (CountUnreadable(alignment) != 0)
        return 2;
    const std::vector<CAlignSegment>& segments = alignment.m_segments;
    const bool bIdentical = alignment.m_nLength1 == alignment.m_nLength2 &&
                            (segments.empty() ? alignment.m_nLength1 == 0
                                              : segments.size() == 1 && IsInPlace(segments[0]) &&
                                                    segments[0].nLength1 == alignment.m_nLength1);
    return bIdentical ? 0 : 1;
}

std::unique_ptr<uint32_t[]> RenderAlignMap(CCellGeometry& geometry, const CAlignment& alignment,
                                           int32_t w, int32_t h) {
    std::unique_ptr<uint32_t[]> pPixels(new (std::nothrow) uint32_t[size_t(w) * size_t(h)]);
    if (!pPixels)
        return pPixels;
    CPixelBuffer buffer(pPixels.get(), ptrdiff_t(w) * 4, w, h);
    const uint64_t L = geometry.m_nTotalLength;
    if (L == 0) {
        buffer.Fill(0, 0, w, h, PixelFromRef(CLR_MAP_BACKGROUND));
        return pPixels;
    }
    // No worker writes the geometry's array here, so no lock is needed.
    const CCellGeometry::CPaintNumbers numbers = geometry.PrepareForPaint(w, h);
    const uint64_t C = geometry.m_nCellSize;
    std::vector<uint8_t> cells(numbers.nCells);
    for (uint32_t i = 0; i < numbers.nCells; ++i)
        cells[i] = alignment.WorstKind(i * C, std::min(L, (i + 1) * C));
    std::array<uint32_t, 256> rgb{};
    for (size_t n = 0; n < rgb.size(); ++n)
        rgb[n] = PixelFromRef(AlignCellColor(uint8_t(n)));
    DrawMap(buffer, w, h, numbers.nPitch, cells, rgb, -1);
    return pPixels;
}
