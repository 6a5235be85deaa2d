#pragma once
// Measuring and drawing single lines of text in a given font and colour. Every function
// leaves the painter's font, pen and background mode as it found them.

#include "view/colorref.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

class QPainter;
class QPaintDevice;
class QWidget;

// The one conversion from 0x00BBGGRR to a drawing colour.
QColor ColorFromRef(COLORREF clr);

// The system's proportional sans-serif and fixed-pitch fonts at the given point size.
QFont SystemSansFont(int nPointSize);
QFont SystemFixedFont(int nPointSize);

// The line height of font as drawn on pWnd.
int GetFontHeight(const QWidget* pWnd, const QFont& font);

// Draws the text in rc with the Qt alignment and text flags nFormat, in colour clr and font,
// without filling its background. Clipped to rc unless nFormat has Qt::TextDontClip.
void DrawTextPiece(QPainter& dc, const QString& strText, const QRect& rc, COLORREF clr, int nFormat,
                   const QFont& font);

// The advance width and line height of one line of text in font on pDevice; an empty text is
// 0 wide and one line high.
QSize MeasureText(const QPaintDevice* pDevice, const QString& strText, const QFont& font);

struct TextPiece {
    QString strText;
    QFont font;
    COLORREF clr = CLR_BLACK;
};

// Draws the pieces side by side, centred as a whole across rc (a line wider than rc starts
// left of it and is cut equally on both sides), all standing on one bottom line that lies
// the tallest piece's height below rc's top.
void DrawCenteredLine(QPainter& dc, const QRect& rc, const std::vector<TextPiece>& pieces);
