#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QPainter;
class QWidget;

// Text placement flags of the skinned controls, as the pictures' designers
// give them (values of the classic DrawText flags).
inline constexpr unsigned DT_LEFT = 0x00;
inline constexpr unsigned DT_CENTER = 0x01;
inline constexpr unsigned DT_RIGHT = 0x02;
inline constexpr unsigned DT_VCENTER = 0x04;
inline constexpr unsigned DT_BOTTOM = 0x08;
inline constexpr unsigned DT_WORDBREAK = 0x10;
inline constexpr unsigned DT_SINGLELINE = 0x20;

// A rectangle given by its left, top, right and bottom edges (right and
// bottom outside it), as the layouts give them.
constexpr QRect EdgeRect(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

// The parent's font (the application's without a parent) with a character
// height of pixelHeight.
QFont SkinFont(const QWidget* parent, int pixelHeight);

// Draws text into rect with a transparent background as the flags say.
// Line breaks ("\r\n" or "\n") break lines unless DT_SINGLELINE is set; a
// single line too wide for the rectangle ends in an ellipsis. With
// DT_WORDBREAK a word longer than the line breaks anywhere. Bidirectional
// text is ordered by its own direction; the flags' left and right stay left
// and right.
void DrawSkinText(QPainter& painter, const QRect& rect, const QString& text, unsigned format,
                  const QFont& font, const QColor& color);

// The width and height of text on one line in that font, line breaks read as
// spaces.
QSize MeasureSkinText(const QString& text, const QFont& font);

// The height that text on one line needs when DrawSkinText draws it at the
// top of a rectangle: the font's ascent and the deepest descent of every font
// the line uses, a fallback font's (Chinese in a Latin font) included.
int SkinLineHeight(const QString& text, const QFont& font);

// The largest character height from preferred down to minimum at which the
// text fits the box as DrawSkinText lays it out: on one line within the
// box's width, or wrapped (DT_WORDBREAK) within its height. minimum when
// none does.
int FittingFontHeight(const QString& text, unsigned format, const QFont& font, QSize box,
                      int preferred, int minimum);
