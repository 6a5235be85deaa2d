#include "view/mapview.h"

#include "engine/blockstatearray.h"
#include "ui/statusstrip.h"
#include "view/events.h"
#include "view/hexdump.h"
#include "view/mapcolors.h"
#include "view/maprender.h"
#include "view/textdraw.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <mutex>

namespace {
CPixelBuffer Pixels(QImage& image) {
    return CPixelBuffer(reinterpret_cast<uint32_t*>(image.bits()), image.bytesPerLine(),
                        image.width(), image.height());
}
} // namespace

CMapView::CMapView(CBlockStateArray& states, CStatusStrip* pStrip, QSize maxMapSize,
                   QWidget* pParent)
    : QWidget(pParent), m_states(states), m_pStrip(pStrip), m_geometry(states) {
    // The paint covers every pixel from the surface: nothing to erase, nothing to flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_surface.Prepare(maxMapSize.width(), maxMapSize.height());
    m_rgb = StatePixels();
    for (size_t n = 0; n < m_alignRgb.size(); ++n)
        m_alignRgb[n] = PixelFromRef(AlignCellColor(uint8_t(n)));
    CreateKeyActions();
}

void CMapView::SetTotalLength(uint64_t nLength) {
    const uint32_t nCellSize = m_geometry.SetTotalLength(nLength, width(), height());
    m_bSurfaceValid = false;
    if (m_pStrip)
        m_pStrip->SetCellSize(nCellSize);
    UpdateKeyActions();
    update();
}

void CMapView::SetDumpFiles(CInputFile* pFile1, CInputFile* pFile2) {
    m_pFile1 = pFile1;
    m_pFile2 = pFile2;
}

bool CMapView::event(QEvent* pEvent) {
    if (pEvent->type() == UWM_TOOLHITTEST) {
        ToolHitQuery& query = static_cast<CToolHitEvent*>(pEvent)->m_query;
        m_pAlignment ? OnAlignToolQuery(query) : OnToolQuery(query);
        return true;
    }
    return QWidget::event(pEvent);
}

void CMapView::OnToolQuery(ToolHitQuery& query) {
    const int32_t i = m_geometry.CellFromPoint(query.x, query.y, width());
    if (i < 0)
        return;
    query.uId = i;
    query.strText = GetCellDetail(i);
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
    const QRegion changed = m_geometry.m_nTotalLength == 0 ? PaintEmpty(w, h) : PaintCells(w, h);
    if (m_pAlignment && m_geometry.m_nTotalLength == 0)
        UpdateAlignCells(0); // the counts, of an empty file 1
    // Handed over with every change, not by the paint: squares outside the client area
    // change the count without any paint.
    // Also over an empty file 1, which has no cells but may have inserted bytes against it.
    if (m_pStrip && m_pAlignment)
        m_pStrip->SetSegmentCounts(m_alignCells.Counts());
    else if (m_pStrip)
        m_pStrip->SetDiffsCount(m_nDiffCells);
    return changed;
}

void CMapView::paintEvent(QPaintEvent* pEvent) {
    const QRegion changed = UpdateSurface();
    QPainter dc(this);
    if (m_surface.m_bitmap.isNull()) { // no memory for a surface: the background at least
        dc.fillRect(rect(), ColorFromRef(CLR_MAP_BACKGROUND));
        return;
    }
    for (const QRect& rc : pEvent->region())
        dc.drawImage(rc.topLeft(), m_surface.m_bitmap, rc);
    // What this paint drew anew on the surface is shown again by the next refresh, inside its
    // region too: the paint may have gone to a picture (grab, render) rather than the screen,
    // and nothing here tells the two apart. Not by another paint at once: while the worker
    // writes, that would paint without end.
    m_unshown += changed;
}

QRegion CMapView::PaintEmpty(int w, int h) {
    CLayout layout;
    layout.w = w;
    layout.h = h;
    layout.bEmpty = true;
    layout.nDpiX = logicalDpiX();
    layout.nDpiY = logicalDpiY();
    const QFont font = SystemSansFont(12);
    layout.strFont = font.key();
    if (m_bSurfaceValid && layout == m_layout)
        return QRegion();
    QImage& image = m_surface.m_bitmap;
    Pixels(image).Fill(0, 0, w, h, PixelFromRef(CLR_MAP_BACKGROUND));
    // The text is measured on the view and drawn on the image: both must agree on points.
    image.setDotsPerMeterX(qRound(layout.nDpiX / 0.0254));
    image.setDotsPerMeterY(qRound(layout.nDpiY / 0.0254));
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
    layout.bAligned = m_pAlignment != nullptr;
    const bool bAll = !m_bSurfaceValid || layout != m_layout;
    if (bAll) {
        m_shown.assign(numbers.nCells, BLOCK_PENDING);
        m_count = CDiffCount();
    }
    std::unique_lock<std::mutex> alignLock;
    if (layout.bAligned)
        alignLock = UpdateAlignCells(numbers.nCells);
    const std::array<uint32_t, 256>& rgb = layout.bAligned ? m_alignRgb : m_rgb;

    CPixelBuffer pixels = Pixels(m_surface.m_bitmap);
    const int32_t P = numbers.nPitch;
    // GroupMax's rule, read in place: half a million calls would show in every paint.
    const std::atomic<uint8_t>* pStates = m_states.m_pStates.get();
    const int64_t nStates = m_states.m_nCount;
    const uint32_t R = numbers.nPerCell;
    // One rectangle per row of squares, from the first to the last square redrawn in it.
    std::vector<QRect> changed;
    for (uint32_t i = 0; i < numbers.nCells; ++i) {
        const uint8_t s =
            layout.bAligned ? m_alignCells.Kind(i) : CellState(pStates, nStates, i, R);
        if (s == m_shown[i])
            continue;
        if (!layout.bAligned) { // the aligned mode counts segments instead
            m_count.Remove(m_shown[i]);
            m_count.Add(s);
        }
        m_shown[i] = s;
        if (bAll) // drawn below, all in one go
            continue;
        int32_t x = 0;
        int32_t y = 0;
        CCellGeometry::CellOrigin(int32_t(i), P, w, x, y);
        if (y >= h)
            continue;
        DrawSquare(pixels, x, y, P, rgb[s], int32_t(i) == layout.nSelected);
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
    DrawMap(pixels, w, h, P, m_shown, rgb, layout.nSelected);
    return QRegion(0, 0, w, h);
}

void CMapView::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    const uint32_t nCellSize = m_geometry.OnSize(width(), height());
    if (m_geometry.m_nTotalLength != 0 && m_pStrip)
        m_pStrip->SetCellSize(nCellSize);
    UpdateKeyActions(); // the selected index may lie past the cells now, or on one again
}

void CMapView::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(pEvent);
        return;
    }
    const QPoint pt = pEvent->position().toPoint();
    Select(m_geometry.CellFromPoint(pt.x(), pt.y(), width()));
}

void CMapView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(pEvent);
        return;
    }
    PostSelectFiles(this);
}
