#pragma once

#include "CMediaFormView.h"

// The photo panel: layout 140 alone, the compact layout 137 (with a close
// button) under the music. Its bar shows the place among the photos; the
// user may drag it, but only a status update moves it for good.
class CImageFormView : public CMediaFormView {
public:
    static constexpr int kTemplate = 140;
    static constexpr int kCompactTemplate = 137;

    CImageFormView(QWidget* parent, QObject* receiver);

    // Shows the title of the path name (null: the update is ignored), the
    // counter "index + 1/count" and the place among the photos. The repeat
    // button keeps the mode last chosen on it.
    void UpdateStatus(const wchar_t* name, int count, int index, int repeatMode);

protected:
    QString idleTotalText() const override;
};
