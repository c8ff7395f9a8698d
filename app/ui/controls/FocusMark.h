#pragma once

#include <QRect>

class QFocusEvent;
class QPainter;

// The keyboard focus mark of the skinned controls: a 2-pixel white outline
// with a dark edge on both sides, so that it shows on light and dark
// pictures alike. Drawn just inside rect.
void DrawFocusMark(QPainter& painter, const QRect& rect);

// Whether a focus that arrived this way shows the mark: always, except when
// a mouse press gave it (the pointer shows where the user is).
bool IsMarkedFocus(const QFocusEvent& event);
