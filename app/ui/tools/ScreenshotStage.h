#pragma once

#include "ui/controls/CGdiPlusBitmapResource.h"

#include <QWidget>

// A window showing one background bitmap of the application, the backdrop
// the controls are photographed on.
class ScreenshotStage : public QWidget {
public:
    // A missing bitmap leaves a dark backdrop of the given size.
    ScreenshotStage(int backgroundBitmap, QSize fallbackSize);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CGdiPlusBitmapResource m_background;
};
