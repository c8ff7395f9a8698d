#pragma once

#include "CPlaybackFormView.h"

// The video panel, in layout 101.
class CVideoFormView : public CPlaybackFormView {
public:
    static constexpr int kTemplate = 101;

    CVideoFormView(QWidget* parent, QObject* receiver);
};
