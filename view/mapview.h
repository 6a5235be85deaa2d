#pragma once

#include "view/aligncells.h"
#include "view/cellgeometry.h"
#include "view/diffcount.h"
#include "view/offscreendc.h"

struct ToolHitQuery;

#include <QList>
#include <QRegion>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CBlockStateArray;
class CInputFile;
class CSharedAlignment;
class CStatusStrip;
class CToolTipRouter;
class QAction;

// The map: one square per cell in the colour of the highest state among its blocks, drawn
// through an off-screen surface so that it never flickers while the worker fills the array.
// With no comparison it invites a double click. A click selects a cell, a double click asks
// the main window to select files; the count of differing cells goes to the strip as it changes.
// It takes the keyboard focus: the arrows, Home and End move the selection, Enter shows the
// selected cell's detail, and its actions step to the next or previous differing cell and
// copy the detail.
class CMapView : public QWidget {
    Q_OBJECT
public:
    // The states must outlive the view. pStrip, when given, is told the cell size and the
    // count of differing cells. The surface is prepared at maxMapSize, the largest client
    // area the view can get; it grows should the view ever become larger.
    CMapView(CBlockStateArray& states, CStatusStrip* pStrip, QSize maxMapSize,
             QWidget* pParent = nullptr);

    // A new comparison of nLength bytes (0: none) in the current client area: clears the
    // states, fixes the block and cell sizes, drops the selection, tells the strip the cell
    // size. Repaints nothing.
    void SetTotalLength(uint64_t nLength);

    // Draws into the surface the squares whose state changed since it was last brought up
    // to date, and schedules a repaint of just those; the main window calls it on progress.
    void RefreshStates();

    // Draws the cells from these segments, in file 1's offsets, as quillet-map's aligned
    // picture does, and steps, details and counts by them; null: from the block states, as
    // before. Not owned; read under its lock. Repaints nothing.
    void SetAlignment(const CSharedAlignment* pAlignment);
    const CSharedAlignment* GetAlignment() const { return m_pAlignment; }

    // The two files the cell detail text reads, open while a comparison is shown; not owned.
    void SetDumpFiles(CInputFile* pFile1, CInputFile* pFile2);

    // The router that shows the detail a key asks for; none: no tips from keys. Not owned.
    void SetToolTips(CToolTipRouter* pTips) { m_pTips = pTips; }
    // "Next Difference", "Previous Difference" and "Copy" with their keys, enabled while they
    // can act; the main window lists them in its context menu.
    QList<QAction*> GetKeyActions() const { return {m_pNextAction, m_pPrevAction, m_pCopyAction}; }

    // Moves the selection to the nearest cell in that direction that is not equal (aligned: a
    // stop of FindAlignStop) and shows
    // its detail at it; at the end the selection stays and a tip says there is none.
    void StepToDifference(bool bForward);
    // The selected cell's detail at it, as the tooltip shows it; nothing without a selection.
    void ShowSelectedDetail();
    // The selected cell's detail text on the clipboard, as plain text.
    void CopySelectedDetail();
    // The text the tooltip shows for cell i: its range or, for a cell that is not equal, the
    // dump of both files around its first difference; empty for no cell i.
    std::string GetCellDetail(int32_t i) const;

    const CCellGeometry& GetGeometry() const { return m_geometry; }
    // The count of the last paint with a comparison; 0 before the first.
    uint32_t GetDiffCells() const { return m_nDiffCells; }

protected:
    bool event(QEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    void CreateKeyActions();
    // The actions enabled as the comparison and the selection allow.
    void UpdateKeyActions();
    // Frames cell i (-1: none) as a click does.
    void Select(int32_t i);
    // The selected cell when it is one of the current cells, else -1.
    int32_t GetSelectedCell() const;
    // strText as a tip at cell i's square.
    void ShowTipAtCell(int32_t i, const std::string& strText);
    // The aligned mode's cell detail, next stop and the tip over the map outside the cells.
    std::string GetAlignDetail(int32_t i) const;
    int32_t FindAlignedStop(bool bForward) const;
    void OnAlignToolQuery(ToolHitQuery& query);
    // Brings the aligned cells' kinds and counts up to the segments for nCells cells; returns
    // the segments' lock, held.
    std::unique_lock<std::mutex> UpdateAlignCells(uint32_t nCells);

    // The tooltip's question: the cell under the point and its range or, for a cell that
    // differs, both files' bytes around the first difference, read again at every query.
    void OnToolQuery(ToolHitQuery& query);
    // Brings the surface up to date with the states, the size and the selection; returns the
    // part of the client area that changed on it.
    QRegion UpdateSurface();
    QRegion PaintEmpty(int w, int h);
    QRegion PaintCells(int w, int h);

    // What the surface shows besides the cells' colours: while it stays the same, only the
    // squares whose state changed are drawn again.
    struct CLayout {
        int32_t w = -1;
        int32_t h = -1;
        bool bEmpty = false; // the invitation text instead of cells
        int32_t nPitch = 0;
        uint32_t nCells = 0;
        uint32_t nPerCell = 0;
        int32_t nSelected = -1;
        // The invitation text's measure: it changes with the screen and the system font.
        int32_t nDpiX = 0;
        int32_t nDpiY = 0;
        QString strFont;
        bool bAligned = false; // the cells show kinds of segments rather than block states
        bool operator==(const CLayout&) const = default;
    };

    CBlockStateArray& m_states;
    CStatusStrip* m_pStrip;
    CInputFile* m_pFile1 = nullptr;
    CInputFile* m_pFile2 = nullptr;
    CToolTipRouter* m_pTips = nullptr;
    QAction* m_pNextAction = nullptr;
    QAction* m_pPrevAction = nullptr;
    QAction* m_pCopyAction = nullptr;
    COffscreenDC m_surface;
    CCellGeometry m_geometry;
    uint32_t m_nDiffCells = 0;
    std::array<uint32_t, 256> m_rgb{}; // the colour of each state byte, as the surface stores it
    std::array<uint32_t, 256> m_alignRgb{}; // the colour of each kind of an aligned cell
    const CSharedAlignment* m_pAlignment = nullptr;
    CAlignCells m_alignCells; // the kinds the aligned cells show

    CLayout m_layout;             // of the surface
    bool m_bSurfaceValid = false; // the surface shows m_layout and m_shown
    std::vector<uint8_t> m_shown; // the state each cell's square shows
    CDiffCount m_count;           // of the cells in m_shown
    QRegion m_unshown;            // drawn on the surface, not yet on the screen
};
