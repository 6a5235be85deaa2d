#include "ui/statusstrip.h"

#include "view/events.h"
#include "view/textdraw.h"

CStatusStrip::CStatusStrip(QWidget* pParent) : CPaneBar(PANE_COUNT, pParent) {}

void CStatusStrip::SetCellSize(uint32_t nBytes) {
    SetPaneTip(PANE_CELL_SIZE, "Cell size");
    SetPaneText(PANE_CELL_SIZE, CellSizeText(nBytes));
}

void CStatusStrip::SetDiffsCount(uint32_t nCount) {
    SetPaneTip(PANE_DIFFS, "Cell diffs count");
    if (!GetPane(PANE_PRIMARY).text.empty())
        FormatPaneText(PANE_DIFFS, "%u", nCount);
    else
        SetPaneText(PANE_DIFFS, std::string());
}

void CStatusStrip::SetSegmentCounts(const std::array<uint64_t, 6>& counts) {
    SetPaneTip(PANE_DIFFS, SegmentCountTip(counts));
    SetPaneText(PANE_DIFFS,
                GetPane(PANE_PRIMARY).text.empty() ? std::string() : SegmentCountText(counts));
}

void CStatusStrip::RecalcLayout(int cx, int /*cy*/) {
    for (int i : {PANE_PROGRESS, PANE_CELL_SIZE, PANE_DIFFS})
        m_panes[size_t(i)].format |= Qt::AlignHCenter;
    m_panes[PANE_PRIMARY].format |= Qt::AlignRight;
    SetPaneColor(PANE_PROGRESS, CLR_NAME);
    SetPaneColor(PANE_CELL_SIZE, CLR_NAME);

    const QFont& font = GetStripFont();
    const std::array<int32_t, PANE_COUNT> widths =
        StatusPaneWidths(cx, MeasureText(this, kSampleProgress, font).width(),
                         MeasureText(this, kSampleCellSize, font).width(),
                         MeasureText(this, kSampleDiffs, font).width());
    for (int i = 0; i < PANE_COUNT; ++i)
        m_panes[size_t(i)].width = widths[size_t(i)];
}

void CStatusStrip::OnPaneDoubleClick(int nIndex, Qt::KeyboardModifiers /*flags*/) {
    if (nIndex == PANE_PRIMARY || nIndex == PANE_SECONDARY)
        PostSelectFiles(this);
}
