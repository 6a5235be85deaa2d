#include "view/textdraw.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

QColor ColorFromRef(COLORREF clr) {
    return QColor(int(clr & 0xFF), int((clr >> 8) & 0xFF), int((clr >> 16) & 0xFF));
}

QFont SystemSansFont(int nPointSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(nPointSize);
    return font;
}

QFont SystemFixedFont(int nPointSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(nPointSize);
    return font;
}

int GetFontHeight(const QWidget* pWnd, const QFont& font) {
    return QFontMetrics(font, pWnd).height();
}

void DrawTextPiece(QPainter& dc, const QString& strText, const QRect& rc, COLORREF clr, int nFormat,
                   const QFont& font) {
    const QFont oldFont = dc.font();
    const Qt::BGMode oldMode = dc.backgroundMode();
    const QPen oldPen = dc.pen();
    dc.setFont(font);
    dc.setBackgroundMode(Qt::TransparentMode);
    dc.setPen(ColorFromRef(clr));
    dc.drawText(rc, nFormat, strText);
    dc.setPen(oldPen);
    dc.setBackgroundMode(oldMode);
    dc.setFont(oldFont);
}

QSize MeasureText(const QPaintDevice* pDevice, const QString& strText, const QFont& font) {
    QFontMetrics fm(font, pDevice);
    return QSize(fm.horizontalAdvance(strText), fm.height());
}

void DrawCenteredLine(QPainter& dc, const QRect& rc, const std::vector<TextPiece>& pieces) {
    std::vector<QSize> sizes;
    int nTotal = 0;
    int nLineHeight = 0;
    for (const TextPiece& piece : pieces) {
        sizes.push_back(MeasureText(dc.device(), piece.strText, piece.font));
        nTotal += sizes.back().width();
        nLineHeight = std::max(nLineHeight, sizes.back().height());
    }
    int x = rc.left() + (rc.width() - nTotal) / 2;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const int nTop = rc.top() + nLineHeight - sizes[i].height();
        const QRect rcPiece(QPoint(x, nTop), rc.bottomRight());
        if (rcPiece.isValid()) // a piece that starts right of rc would be cut away entirely
            DrawTextPiece(dc, pieces[i].strText, rcPiece, pieces[i].clr, 0, pieces[i].font);
        x += sizes[i].width();
    }
}
