// The map's keyboard: moving the selection, stepping to the differing cells, showing and
// copying a cell's detail.

#include "engine/blockstatearray.h"
#include "ui/tooltiprouter.h"
#include "view/cellnav.h"
#include "view/hexdump.h"
#include "view/mapview.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include <algorithm>
#include <optional>

void CMapView::CreateKeyActions() {
    setFocusPolicy(Qt::StrongFocus);
    auto makeAction = [this](const char* pszText, QList<QKeySequence> keys, auto onTrigger) {
        auto* pAction = new QAction(QString::fromLatin1(pszText), this);
        pAction->setShortcuts(keys);
        // The first key stands beside the item, wherever the style would hide it.
        pAction->setShortcutVisibleInContextMenu(true);
        connect(pAction, &QAction::triggered, this, onTrigger);
        addAction(pAction); // its keys work while the map's window is active
        return pAction;
    };
    // Alt+Down and Alt+Up as in other compare tools, F8 and Shift+F8 as in editors.
    m_pNextAction = makeAction("Next Difference", {Qt::ALT | Qt::Key_Down, Qt::Key_F8},
                               [this] { StepToDifference(true); });
    m_pPrevAction =
        makeAction("Previous Difference", {Qt::ALT | Qt::Key_Up, Qt::SHIFT | Qt::Key_F8},
                   [this] { StepToDifference(false); });
    m_pCopyAction = makeAction("Copy", QKeySequence::keyBindings(QKeySequence::Copy),
                               [this] { CopySelectedDetail(); });
    UpdateKeyActions();
}

void CMapView::UpdateKeyActions() {
    const bool bComparison = m_geometry.m_nTotalLength != 0;
    m_pNextAction->setEnabled(bComparison);
    m_pPrevAction->setEnabled(bComparison);
    m_pCopyAction->setEnabled(GetSelectedCell() >= 0);
}

int32_t CMapView::GetSelectedCell() const {
    const int32_t i = m_geometry.m_nSelected;
    return i >= 0 && uint32_t(i) < m_geometry.CellCount() ? i : -1;
}

void CMapView::Select(int32_t i) {
    m_geometry.m_nSelected = i;
    UpdateKeyActions();
    update(); // the frame: the map paints itself, the window's repaint does not reach it
}

std::string CMapView::GetCellDetail(int32_t i) const {
    uint64_t nFirst = 0;
    uint64_t nLast = 0;
    if (!m_geometry.GetCellRange(i, nFirst, nLast))
        return std::string();
    if (m_pAlignment)
        return GetAlignDetail(i);
    if (m_states.GroupMax(i) > BLOCK_EQUAL && m_pFile1 && m_pFile2)
        return BuildHexDump(*m_pFile1, *m_pFile2, nFirst, nLast);
    // Appended rather than "[" + ...: GCC 12 at -O3 warns falsely of an overlapping copy there.
    std::string strRange = "[";
    strRange += FormatRange(nFirst, nLast);
    return strRange + "]";
}

void CMapView::ShowTipAtCell(int32_t i, const std::string& strText) {
    if (!m_pTips)
        return;
    const int32_t P = std::max(m_geometry.m_nPitch, 1);
    int32_t x = 0;
    int32_t y = 0;
    CCellGeometry::CellOrigin(i, P, width(), x, y);
    const QRect rcCell(mapToGlobal(QPoint(x, y)), QSize(P - 1, P - 1));
    m_pTips->ShowTipAt(this, i, QString::fromStdString(strText), rcCell);
}

void CMapView::StepToDifference(bool bForward) {
    if (m_geometry.m_nTotalLength == 0)
        return;
    const uint32_t K = m_geometry.CellCount();
    const int32_t i = m_pAlignment ? FindAlignedStop(bForward)
                                   : FindDifference(m_states, K, m_geometry.m_nSelected, bForward);
    if (i >= 0) {
        Select(i);
        ShowTipAtCell(i, GetCellDetail(i));
        return;
    }
    // Said where the search ended: at the selection, or at the end it started from.
    int32_t nAt = m_geometry.m_nSelected;
    if (nAt < 0)
        nAt = bForward ? 0 : int32_t(K) - 1;
    nAt = std::min(nAt, int32_t(K) - 1);
    ShowTipAtCell(nAt, bForward ? kNoFurtherDifference : kNoEarlierDifference);
}

void CMapView::ShowSelectedDetail() {
    const int32_t i = GetSelectedCell();
    if (i >= 0)
        ShowTipAtCell(i, GetCellDetail(i));
}

void CMapView::CopySelectedDetail() {
    const int32_t i = GetSelectedCell();
    if (i >= 0)
        QGuiApplication::clipboard()->setText(QString::fromStdString(GetCellDetail(i)));
}

void CMapView::keyPressEvent(QKeyEvent* pEvent) {
    std::optional<ECellMove> move;
    if ((pEvent->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        switch (pEvent->key()) {
        case Qt::Key_Left:
            move = ECellMove::Left;
            break;
        case Qt::Key_Right:
            move = ECellMove::Right;
            break;
        case Qt::Key_Up:
            move = ECellMove::Up;
            break;
        case Qt::Key_Down:
            move = ECellMove::Down;
            break;
        case Qt::Key_Home:
            move = ECellMove::First;
            break;
        case Qt::Key_End:
            move = ECellMove::Last;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            ShowSelectedDetail();
            return;
        default:
            break;
        }
    }
    // Anything else, Escape among them, goes on to the main window.
    if (!move || m_geometry.m_nTotalLength == 0) {
        QWidget::keyPressEvent(pEvent);
        return;
    }
    const int32_t nColumns = CCellGeometry::ColumnCount(m_geometry.m_nPitch, width());
    Select(MoveCell(m_geometry.m_nSelected, *move, m_geometry.CellCount(), nColumns));
}
