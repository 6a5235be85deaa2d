#pragma once

#include <array>
#include <cstdint>
#include <string>

// The status strip's panes, left to right.
enum : int32_t {
    PANE_PROGRESS = 0,
    PANE_PRIMARY = 1,
    PANE_SECONDARY = 2,
    PANE_CELL_SIZE = 3,
    PANE_DIFFS = 4,
    PANE_COUNT = 5,
};

// The widest texts the three number panes are meant to hold; their widths follow from these.
inline constexpr const char* kSampleProgress = "99.99% in 99:99:99s";
inline constexpr const char* kSampleCellSize = "9999X";
inline constexpr const char* kSampleDiffs = "999999";

// The cell-size pane's text: "" for 0, bytes below 1 KiB, whole KiB below 1 MiB, whole MiB
// from there ("512", "1K", "4095M").
std::string CellSizeText(uint32_t nBytes);

// The five pane widths for a strip cx pixels wide, given the measured widths of the three
// sample texts; each pane gets its text plus 6. The two name panes share what is left, halved
// with the fraction dropped, so the widths add up to cx - 3 or cx - 4. When the rest is
// negative (a strip too narrow for the number panes) the name panes are 0 wide.
std::array<int32_t, PANE_COUNT> StatusPaneWidths(int32_t cx, int32_t nProgressText,
                                                 int32_t nCellSizeText, int32_t nDiffsText);

// The diffs pane of an aligned comparison, from the count of segments of each kind (in the
// engine's order: equal, different, inserted, deleted, moved, read-error): the pane shows the
// segments that are not equal, which fits its sample as the engine keeps at most 2^19; its tip
// names every kind's count, one a line.
std::string SegmentCountText(const std::array<uint64_t, 6>& counts);
std::string SegmentCountTip(const std::array<uint64_t, 6>& counts);
