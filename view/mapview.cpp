#include "view/mapview.h"

#include "app/messages.h"
#include "engine/blockstatearray.h"
#include "ui/statusstrip.h"
#include "view/diffcount.h"
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

    void Fill(int x, int y, int cx, int cy, uint32_t rgb) {
        const int l = std::max(x, 0);
        const int r = std::min(x + cx, m_w);
        const int b = std::min(y + cy, m_h);
        for (int row = std::max(y, 0); row < b && l < r; ++row) {
            auto* pRow = reinterpret_cast<uint32_t*>(m_pBits + row * m_nStride);
            std::fill(pRow + l, pRow + r, rgb);
        }
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
    m_bCellsShown = false;
    if (m_pStrip)
        m_pStrip->SetCellSize(nCellSize);
}

void CMapView::paintEvent(QPaintEvent* pEvent) {
    const int w = width();
    const int h = height();
    if (m_surface.Prepare(w, h))
        m_bCellsShown = false;
    if (m_surface.m_bitmap.isNull()) { // no memory for a surface: the background at least
        QPainter(this).fillRect(rect(), ColorFromRef(CLR_MAP_BACKGROUND));
        return;
    }
    if (m_geometry.m_nTotalLength == 0)
        PaintEmpty(w, h);
    else
        PaintCells(w, h);
    if (m_pStrip) {
        m_pStrip->SetDiffsCount(m_nDiffCells);
        m_pStrip->update();
    }
    const QRect rc = pEvent->rect();
    QPainter(this).drawImage(rc.topLeft(), m_surface.m_bitmap, rc);
}

void CMapView::PaintEmpty(int w, int h) {
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
    m_bCellsShown = false;
}

void CMapView::PaintCells(int w, int h) {
    CPixels pixels(m_surface.m_bitmap);
    CDiffCount count;
    std::lock_guard<std::mutex> guard(m_states.m_lock);
    const CCellGeometry::CPaintNumbers numbers = m_geometry.PrepareForPaint(w, h);
    const CLayout layout{
        w, h, numbers.nPitch, numbers.nCells, numbers.nPerCell, m_geometry.m_nSelected};
    const bool bAll = !m_bCellsShown || layout != m_layout;
    if (bAll) {
        pixels.Fill(0, 0, w, h, SurfaceColor(CLR_MAP_BACKGROUND));
        m_shown.assign(numbers.nCells, BLOCK_PENDING);
    }
    const int32_t P = numbers.nPitch;
    const uint32_t clrFrame = SurfaceColor(CLR_SELECTION);
    int32_t x = 1;
    int32_t y = 1;
    for (uint32_t i = 0; i < numbers.nCells; ++i) {
        const uint8_t s = m_states.GroupMax(int32_t(i));
        count.Add(s);
        if ((bAll || m_shown[i] != s) && y < h) {
            m_shown[i] = s;
            pixels.Fill(x, y, P - 1, P - 1, m_rgb[s]);
            // The frame runs along the square's left and top edges and through the gap to
            // its right and below, where no other square reaches.
            if (int32_t(i) == layout.nSelected) {
                pixels.Frame(x, y, P, P, clrFrame);
                if (P > 12)
                    pixels.Frame(x + 1, y + 1, P - 2, P - 2, clrFrame);
            }
        }
        x += P;
        if (x + P > w) {
            x = 1;
            y += P;
        }
    }
    m_nDiffCells = count.Total();
    m_layout = layout;
    m_bCellsShown = true;
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
