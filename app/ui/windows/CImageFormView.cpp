#include "CImageFormView.h"

#include "ControlMessages.h"
#include "ui/controls/CBitmapSlider.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/SkinText.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kPhotosCover = 182;

constexpr CMediaFormView::RepeatLook kRepeatLooks[] = {
    {{260, 262, 261}, "No repeat"},
    {{198, 196, 197}, "Repeat all"},
    {{255, 259, 254}, "Shuffle"},
};
constexpr int kRepeatAll = 1;

} // namespace

CImageFormView::CImageFormView(QWidget* parent, QObject* receiver)
    : CMediaFormView(parent, receiver,
                     {.next = WM_IMAGE_NEXT,
                      .previous = WM_IMAGE_PREV,
                      .pause = WM_IMAGE_PAUSE,
                      .resume = WM_IMAGE_RESUME,
                      .repeat = WM_IMAGE_REPEAT,
                      .close = WM_IMAGE_CLOSE},
                     kPhotosCover, kRepeatLooks, kRepeatAll) {
    setObjectName(QStringLiteral("imagePanel"));
    setAccessibleName(QStringLiteral("Photos"));
}

QString CImageFormView::idleTotalText() const {
    return QStringLiteral("0/0");
}

void CImageFormView::UpdateStatus(const wchar_t* name, int count, int index, int) {
    if (!HasWindow() || !name)
        return;
    titleLabel()->SetText(TitleOf(name), kTextHeight, Qt::white, DT_LEFT);
    // Wide enough that index + 1 cannot overflow.
    totalLabel()->SetText(QStringLiteral("%1/%2").arg(int64_t(index) + 1).arg(count), kTextHeight,
                          Qt::white, DT_RIGHT);
    // An empty list keeps the range 0 to 0; count - 1 cannot overflow.
    seekBar()->setRange(0, count > 0 ? count - 1 : 0);
    seekBar()->SetPosition(std::clamp(index, seekBar()->minimum(), seekBar()->maximum()));
}
