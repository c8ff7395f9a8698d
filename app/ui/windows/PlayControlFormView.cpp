#include "PlayControlFormView.h"

#include "dmp_vellumo.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/DialogUnits.h"
#include "ui/controls/SkinText.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

constexpr int kBackgroundBitmap = 162;
constexpr int kPlayText = 267;
constexpr int kQueueText = 268;
constexpr int kPlayNowName = 301;
constexpr int kQueueItName = 302;
// The first of each set of normal, pressed and hover pictures, which follow
// in descending order.
constexpr int kPlayNowFilm = 170;
constexpr int kPlayNowDisc = 165;
constexpr int kQueueItFilm = 176;
constexpr int kQueueItDisc = 173;
constexpr QRect kCaptionRect = EdgeRect(0, 55, 88, 95);
constexpr int kCaptionHeight = 14;
constexpr unsigned kCaptionFormat = DT_CENTER | DT_VCENTER | DT_WORDBREAK;

} // namespace

PlayControlFormView::PlayControlFormView(QWidget* parent, const CStringTable& strings)
    : CFormView(parent), m_strings(strings) {
    setObjectName(QStringLiteral("playControl"));
}

void PlayControlFormView::Create() {
    createWindow(DialogUnitsRect(0, 0, 63, 193).size(), kBackgroundBitmap);
    const bool videoOnly = m_types == DMP_TYPE_VIDEO;
    m_playNowButton =
        addTarget(QStringLiteral("playNowButton"), DialogUnitsRect(1, 21, 59, 62), kPlayText,
                  kPlayNowName, videoOnly ? kPlayNowFilm : kPlayNowDisc, Placement::PlayNow);
    m_queueItButton =
        addTarget(QStringLiteral("queueItButton"), DialogUnitsRect(1, 95, 59, 62), kQueueText,
                  kQueueItName, videoOnly ? kQueueItFilm : kQueueItDisc, Placement::Queue);
    setAcceptDrops(true);
}

// The caption is short ("Play"); screen readers hear the target's whole name
// ("Play Now"), which no transport button shares.
CGdipButton* PlayControlFormView::addTarget(const QString& name, const QRect& place, int caption,
                                            int spokenName, int firstPicture, Placement placement) {
    auto* button = new CGdipButton(this);
    button->setObjectName(name);
    button->SetSpokenName(m_strings.text(spokenName));
    connect(button, &QAbstractButton::clicked, this,
            [this, placement] { Q_EMIT ChooseRequested(placement, false); });
    if (m_targetMenu)
        m_targetMenu(button, placement);
    button->setGeometry(place);
    const QString text = m_strings.text(caption);
    const char* png = "PNG";
    button->SetNormalImage(text, firstPicture, png, Qt::white, kCaptionHeight, kCaptionRect,
                           kCaptionFormat);
    button->SetPressedImage(text, firstPicture - 2, png, Qt::white, kCaptionHeight, kCaptionRect,
                            kCaptionFormat);
    button->SetHoverImage(text, firstPicture - 1, png, Qt::white, kCaptionHeight, kCaptionRect,
                          kCaptionFormat);
    button->show();
    return button;
}

CGdipButton* PlayControlFormView::targetAt(const QPoint& point) const {
    for (CGdipButton* target : {m_playNowButton.data(), m_queueItButton.data()})
        if (target && target->geometry().contains(point))
            return target;
    return nullptr;
}

void PlayControlFormView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void PlayControlFormView::dragMoveEvent(QDragMoveEvent* event) {
    // Only the two targets take files; between them the pointer says so.
    const QPoint point = event->position().toPoint();
    if (targetAt(point) && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void PlayControlFormView::dropEvent(QDropEvent* event) {
    CGdipButton* target = targetAt(event->position().toPoint());
    if (!target || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    Q_EMIT FilesDropped(urls, target == m_playNowButton ? Placement::PlayNow : Placement::Queue);
}
