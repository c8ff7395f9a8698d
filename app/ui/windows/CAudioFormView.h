#pragma once

#include "CPlaybackFormView.h"

// The music panel: layout 141 alone, the compact layout 138 (with a close
// button) above the photos.
class CAudioFormView : public CPlaybackFormView {
public:
    static constexpr int kTemplate = 141;
    static constexpr int kCompactTemplate = 138;

    CAudioFormView(QWidget* parent, QObject* receiver);
};
