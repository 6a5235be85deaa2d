// The map's aligned mode: cells, steps and details from the segments of an aligned comparison.

#include "engine/align/alignment.h"
#include "view/aligndump.h"
#include "view/events.h"
#include "view/mapview.h"

#include <climits>

namespace {
// The tip over the map where no cell is: not any cell's index.
constexpr int32_t kLegendTip = INT32_MAX;
} // namespace

void CMapView::SetAlignment(const CSharedAlignment* pAlignment) {
    m_pAlignment = pAlignment;
    m_alignCells.Invalidate();
    m_bSurfaceValid = false;
}

std::unique_lock<std::mutex> CMapView::UpdateAlignCells(uint32_t nCells) {
    auto lock = m_pAlignment->Lock();
    m_alignCells.Update(m_pAlignment->Get(), m_pAlignment->Generation(), m_geometry.m_nCellSize,
                        nCells);
    return lock;
}

std::string CMapView::GetAlignDetail(int32_t i) const {
    uint64_t nFirst = 0;
    uint64_t nLast = 0;
    if (!m_geometry.GetCellRange(i, nFirst, nLast) || !m_pFile1 || !m_pFile2)
        return std::string();
    const auto lock = m_pAlignment->Lock();
    return BuildAlignDetail(m_pAlignment->Get(), *m_pFile1, *m_pFile2, nFirst, nLast);
}

int32_t CMapView::FindAlignedStop(bool bForward) const {
    const auto lock = m_pAlignment->Lock();
    return FindAlignStop(m_pAlignment->Get(), m_geometry.m_nCellSize, m_geometry.CellCount(),
                         m_geometry.m_nSelected, bForward);
}

void CMapView::OnAlignToolQuery(ToolHitQuery& query) {
    if (m_geometry.m_nTotalLength == 0)
        return;
    const int32_t i = m_geometry.CellFromPoint(query.x, query.y, width());
    query.uId = i < 0 ? kLegendTip : i;
    query.strText = i < 0 ? kAlignLegend : GetAlignDetail(i);
}
