#pragma once

#include "ui/panebar.h"
#include "ui/panetext.h"

// The strip under the map: progress, the two file names, the cell size and the count of
// differing cells. A double-click on a file name asks the main window to select files.
class CStatusStrip : public CPaneBar {
    Q_OBJECT
public:
    explicit CStatusStrip(QWidget* pParent = nullptr);

    // Shows the cell size ("", "512", "1K", "4095M") and names the pane's tip.
    void SetCellSize(uint32_t nBytes);
    // Shows the count, but only once the primary pane shows something; blank before.
    void SetDiffsCount(uint32_t nCount);
    // An aligned comparison's diffs pane: the segments that are not equal, and in its tip the
    // count of each kind; blank, as the count, before the primary pane shows something.
    void SetSegmentCounts(const std::array<uint64_t, 6>& counts);

    // Fixes the panes' alignment and colours and measures the number panes from their
    // sample texts; the two name panes share the rest.
    void RecalcLayout(int cx, int cy) override;
    // Posts ID_SELECT_FILES to the top-level window for the two name panes, nothing else.
    void OnPaneDoubleClick(int nIndex, Qt::KeyboardModifiers flags) override;
};
