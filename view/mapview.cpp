#include "view/mapview.h"

#include "app/messages.h"
#include "engine/blockstatearray.h"
#include "ui/statusstrip.h"
#include "view/hexdump.h"
#include "view/mapcolors.h"
#include "view/textdraw.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <mutex>

namespace {

// Solid rectangles written straight into the scanlines of a 32-bit image, cut at its edges:
// half a million squares per paint are too many for one painter call each.
class CPixels {
public:
    explicit CPixels(QImage& image)
        : m_pBits(image.bits()), m_nStride(image.bytesPerLine()), m_w(image.width()),
          m_h(image.height()) {}

    uint32_t* Row(int y) const { return reinterpret_cast<uint32_t*>(m_pBits + y * m_nStride); }

    void Fill(int x, int y, int cx, int cy, uint32_t rgb) {
        if (x >= 0 && y >= 0 && x + cx <= m_w && y + cy <= m_h) {
            for (int row = y; row < y + cy; ++row)
                std::fill_n(Row(row) + x, cx, rgb);
            return;
        }
        const int l = std::max(x, 0);
        const int r = std::min(x + cx, m_w);
        const int b = std::min(y + cy, m_h);
        for (int row = std::max(y, 0); row < b && l < r; ++row)
            std::fill(Row(row) + l, Row(row) + r, rgb);
    }

    // The outline along the inside edge of the cx x cy rectangle at (x, y).
    void Frame(int x, int y, int cx, int cy, uint32_t rgb) {
        Fill(x, y, cx, 1, rgb);
        Fill(x, y + cy - 1, cx, 1, rgb);
        Fill(x, y, 1, cy, rgb);
        Fill(x + cx - 1, y, 1, cy, rgb);
    }

private:
    uchar* m_pBits;
    qsizetype m_nStride;
    int m_w;
    int m_h;
};

uint32_t SurfaceColor(COLORREF clr) {
    return ColorFromRef(clr).rgb();
}

// The square of a cell at (x, y), with the selection frame when it is the selected one. The
// frame runs along the square's left and top edges and through the gap to its right and
// below, where no other square reaches.
void DrawSquare(CPixels& pixels, int32_t x, int32_t y, int32_t P, uint32_t rgb, bool bSelected) {
    pixels.Fill(x, y, P - 1, P - 1, rgb);
    if (bSelected) {
        const uint32_t clrFrame = SurfaceColor(CLR_SELECTION);
        pixels.Frame(x, y, P, P, clrFrame);
        if (P > 12)
            pixels.Frame(x + 1, y + 1, P - 2, P - 2, clrFrame);
    }
}

// The whole w x h grid at pitch P in the colours rgb[cells[i]], one scanline at a time: the
// first pixel row of a row of squares is written pixel by pixel, copied to the squares' other
// rows, and the gap below is background.
void DrawGrid(CPixels& pixels, int32_t w, int32_t h, int32_t P, const std::vector<uint8_t>& cells,
              const std::array<uint32_t, 256>& rgb) {
    const uint32_t clrBack = SurfaceColor(CLR_MAP_BACKGROUND);
    const int32_t nColumns = CCellGeometry::ColumnCount(P, w);
    pixels.Fill(0, 0, w, 1, clrBack);
    size_t i = 0;
    int32_t y = 1;
    for (; i < cells.size() && y < h; y += P) {
        uint32_t* pRow = pixels.Row(y);
        int32_t x = 0;
        if (w > 0)
            pRow[x] = clrBack;
        ++x;
        for (int32_t c = 0; c < nColumns && i < cells.size(); ++c, ++i) {
            std::fill_n(pRow + x, std::clamp(w - x, 0, P - 1), rgb[cells[i]]);
            x += P - 1;
            if (x < w)
                pRow[x] = clrBack;
            ++x;
        }
        if (x < w)
            std::fill(pRow + x, pRow + w, clrBack);
        for (int32_t r = 1; r < P - 1 && y + r < h; ++r)
            std::copy_n(pRow, w, pixels.Row(y + r));
        pixels.Fill(0, y + P - 1, w, 1, clrBack);
    }
    if (y < h)
        pixels.Fill(0, y, w, h - y, clrBack);
}

} // namespace

CMapView::CMapView(CBlockStateArray& states, CStatusStrip* pStrip, QSize maxMapSize,
                   QWidget* pParent)
    : QWidget(pParent), m_states(states), m_pStrip(pStrip), m_geometry(states) {
    // The paint covers every pixel from the surface: nothing to erase, nothing to flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_surface.Prepare(maxMapSize.width(), maxMapSize.height());
    for (size_t s = 0; s < m_rgb.size(); ++s)
        m_rgb[s] = SurfaceColor(StateColor(uint8_t(s)));
}

void CMapView::SetTotalLength(uint64_t nLength) {
    const uint32_t nCellSize = m_geometry.SetTotalLength(nLength, width(), height());
    m_bSurfaceValid = false;
    if (m_pStrip)
        m_pStrip->SetCellSize(nCellSize);
}

void CMapView::SetDumpFiles(CInputFile* pFile1, CInputFile* pFile2) {
    m_pFile1 = pFile1;
    m_pFile2 = pFile2;
}

bool CMapView::event(QEvent* pEvent) {
    if (pEvent->type() == UWM_TOOLHITTEST) {
        OnToolQuery(static_cast<CToolHitEvent*>(pEvent)->m_query);
        return true;
    }
    return QWidget::event(pEvent);
}

void CMapView::OnToolQuery(ToolHitQuery& query) {
    const int32_t i = m_geometry.CellFromPoint(query.x, query.y, width());
    if (i < 0)
        return;
    query.uId = i;
    uint64_t nFirst = 0;
    uint64_t nLast = 0;
    m_geometry.GetCellRange(i, nFirst, nLast);
    if (m_states.GroupMax(i) > BLOCK_EQUAL && m_pFile1 && m_pFile2)
        query.strText = BuildHexDump(*m_pFile1, *m_pFile2, nFirst, nLast);
    else
        query.strText = "[" + FormatRange(nFirst, nLast) + "]";
}

void CMapView::RefreshStates() {
    const QRegion changed = UpdateSurface() + m_unshown;
    m_unshown = QRegion();
    update(changed);
}

QRegion CMapView::UpdateSurface() {
    const int w = width();
    const int h = height();
    // An empty client area still keeps the surface it has.
    if (m_surface.Prepare(std::max(w, 1), std::max(h, 1)))
        m_bSurfaceValid = false;
    if (m_surface.m_bitmap.isNull())
        return QRegion();
    return m_geometry.m_nTotalLength == 0 ? PaintEmpty(w, h) : PaintCells(w, h);
}

void CMapView::paintEvent(QPaintEvent* pEvent) {
    const QRegion changed = UpdateSurface();
    QPainter dc(this);
    if (m_surface.m_bitmap.isNull()) { // no memory for a surface: the background at least
        dc.fillRect(rect(), ColorFromRef(CLR_MAP_BACKGROUND));
        return;
    }
    if (m_pStrip) {
        m_pStrip->SetDiffsCount(m_nDiffCells);
        m_pStrip->update();
    }
    for (const QRect& rc : pEvent->region())
        dc.drawImage(rc.topLeft(), m_surface.m_bitmap, rc);
    // States that changed outside this paint are shown by the next refresh, not by another
    // paint at once: while the worker writes, that would paint without end.
    m_unshown = (m_unshown + changed) - pEvent->region();
}

QRegion CMapView::PaintEmpty(int w, int h) {
    CLayout layout;
    layout.w = w;
    layout.h = h;
    layout.bEmpty = true;
    if (m_bSurfaceValid && layout == m_layout)
        return QRegion();
    QImage& image = m_surface.m_bitmap;
    CPixels(image).Fill(0, 0, w, h, SurfaceColor(CLR_MAP_BACKGROUND));
    // The text is measured on the view and drawn on the image: both must agree on points.
    image.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    image.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    const QFont font = SystemSansFont(12);
    const int t = GetFontHeight(this, font);
    QPainter dc(&image);
    DrawCenteredLine(dc, QRect(0, (h - t) / 2, w, t),
                     {{QStringLiteral("Double click for select files"), font, CLR_BLACK}});
    m_layout = layout;
    m_bSurfaceValid = true;
    return QRegion(0, 0, w, h);
}

QRegion CMapView::PaintCells(int w, int h) {
    std::lock_guard<std::mutex> guard(m_states.m_lock);
    const CCellGeometry::CPaintNumbers numbers = m_geometry.PrepareForPaint(w, h);
    CLayout layout;
    layout.w = w;
    layout.h = h;
    layout.nPitch = numbers.nPitch;
    layout.nCells = numbers.nCells;
    layout.nPerCell = numbers.nPerCell;
    layout.nSelected = m_geometry.m_nSelected;
    const bool bAll = !m_bSurfaceValid || layout != m_layout;
    if (bAll) {
        m_shown.assign(numbers.nCells, BLOCK_PENDING);
        m_count = CDiffCount();
    }

    CPixels pixels(m_surface.m_bitmap);
    const int32_t P = numbers.nPitch;
    // GroupMax's rule, read in place: half a million calls would show in every paint.
    const std::atomic<uint8_t>* pStates = m_states.m_pStates.get();
    const int64_t nStates = m_states.m_nCount;
    const uint32_t R = numbers.nPerCell;
    // One rectangle per row of squares, from the first to the last square redrawn in it.
    std::vector<QRect> changed;
    for (uint32_t i = 0; i < numbers.nCells; ++i) {
        uint8_t s = 0;
        if (R == 1) { // the common case, and the one with the most cells
            if (int64_t(i) < nStates)
                s = pStates[i].load(std::memory_order_relaxed);
        } else {
            const int64_t nFirst = int64_t(i) * R;
            const int64_t nEnd = std::min<int64_t>(nFirst + R, nStates);
            for (int64_t j = nFirst; j < nEnd; ++j)
                s = std::max(s, pStates[j].load(std::memory_order_relaxed));
        }
        if (s == m_shown[i])
            continue;
        m_count.Remove(m_shown[i]);
        m_count.Add(s);
        m_shown[i] = s;
        if (bAll) // drawn below, all in one go
            continue;
        int32_t x = 0;
        int32_t y = 0;
        CCellGeometry::CellOrigin(int32_t(i), P, w, x, y);
        if (y >= h)
            continue;
        DrawSquare(pixels, x, y, P, m_rgb[s], int32_t(i) == layout.nSelected);
        if (!changed.empty() && changed.back().top() == y)
            changed.back().setRight(x + P - 1);
        else
            changed.emplace_back(x, y, P, P);
    }
    m_nDiffCells = m_count.Total();
    m_layout = layout;
    m_bSurfaceValid = true;
    if (!bAll) {
        // Sorted top to bottom, one rectangle a row, apart from each other: the form a region
        // keeps its rectangles in, so they are taken as they stand.
        QRegion region;
        region.setRects(changed.data(), int(changed.size()));
        return region;
    }
    DrawGrid(pixels, w, h, P, m_shown, m_rgb);
    if (layout.nSelected >= 0 && uint32_t(layout.nSelected) < numbers.nCells) {
        int32_t x = 0;
        int32_t y = 0;
        CCellGeometry::CellOrigin(layout.nSelected, P, w, x, y);
        DrawSquare(pixels, x, y, P, m_rgb[m_shown[size_t(layout.nSelected)]], true);
    }
    return QRegion(0, 0, w, h);
}

void CMapView::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    const uint32_t nCellSize = m_geometry.OnSize(width(), height());
    if (m_geometry.m_nTotalLength != 0 && m_pStrip)
        m_pStrip->SetCellSize(nCellSize);
}

void CMapView::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(pEvent);
        return;
    }
    const QPoint pt = pEvent->position().toPoint();
    m_geometry.m_nSelected = m_geometry.CellFromPoint(pt.x(), pt.y(), width());
    update();
}

void CMapView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(pEvent);
        return;
    }
    PostSelectFiles(this);
}
