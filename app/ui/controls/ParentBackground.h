#pragma once

#include <QImage>

class QWidget;

// The pixels its window paints under a control: every ancestor up to the
// window draws its own background and painting (never its children) for the
// control's rectangle, the window first. The image has the control's size at
// its device pixel ratio. Skinned controls compose their soft-edged pictures
// over it.
QImage CaptureParentBackground(QWidget* control);
