#include "CMediaFormView.h"

#include "DebugPrint.h"
#include "ui/controls/SkinText.h"

namespace {

constexpr int kSeekBarId = 1060;
constexpr int kSeekChannel = 184;
constexpr int kSeekActiveChannel = 185;
// The seek bar's keys: the arrows step 10 s, Page Up and Page Down a minute.
constexpr int kSeekStepSeconds = 10;
constexpr int kSeekPageSeconds = 60;
constexpr unsigned kButtonTextFormat = DT_CENTER | DT_VCENTER | DT_WORDBREAK;

constexpr CMediaFormView::ButtonPictures kPlayPictures{193, 191, 192};
constexpr CMediaFormView::ButtonPictures kPausePictures{207, 205, 206};
constexpr CMediaFormView::ButtonPictures kNextPictures{201, 199, 200};
constexpr CMediaFormView::ButtonPictures kPreviousPictures{204, 202, 203};
constexpr CMediaFormView::ButtonPictures kClosePictures{195, 194, -1};

} // namespace

CMediaFormView::CMediaFormView(QWidget* parent, QObject* receiver, const Messages& messages,
                               int coverPicture, std::span<const RepeatLook> repeatLooks,
                               int repeatOnMode)
    : CFormView(parent), m_receiver(receiver), m_messages(messages), m_coverPicture(coverPicture),
      m_repeatLooks(repeatLooks), m_repeatOnMode(repeatOnMode) {}

bool CMediaFormView::Create(int templateId) {
    const PanelTemplate* layout = FindPanelTemplate(templateId);
    if (!layout) {
        Destroy();
        DebugPrint("CMediaFormView::Create(): No layout %d\n", templateId);
        return false;
    }
    createWindow(layout->size, layout->backgroundBitmap);
    m_paused = false;

    auto* cover = addLabel(QStringLiteral("cover"), layout->cover);
    cover->AddImage(m_coverPicture, false);
    cover->SetPictureName(spokenName(QStringLiteral("Cover")));
    m_title = addLabel(QStringLiteral("title"), layout->title);
    // A title keeps its descenders in every font: it may reach into the
    // gap below it, and paints over the labels next to that gap, whose
    // glyphs start lower.
    m_title->FitHeightToText();
    m_total = addLabel(QStringLiteral("total"), layout->total);
    m_seekBar = new CBitmapSlider(this, kSeekBarId);
    m_seekBar->setObjectName(QStringLiteral("seekBar"));
    m_seekBar->setAccessibleName(spokenName(QStringLiteral("Position")));
    m_seekBar->setSingleStep(kSeekStepSeconds);
    m_seekBar->setPageStep(kSeekPageSeconds);
    m_seekBar->move(layout->seekBar.topLeft());
    m_seekBar->show();

    m_repeat = addButton(QStringLiteral("Repeat"), layout->repeat,
                         m_repeatLooks[static_cast<size_t>(m_repeatMode)].pictures);
    m_repeat->setCheckable(true);
    showRepeatState();
    auto* previous = addButton(QStringLiteral("Previous"), layout->previous, kPreviousPictures);
    m_play = addButton(QStringLiteral("Play"), layout->play, kPlayPictures);
    m_pause = addButton(QStringLiteral("Pause"), layout->play, kPausePictures);
    m_pause->hide();
    auto* next = addButton(QStringLiteral("Next"), layout->next, kNextPictures);
    connect(previous, &QAbstractButton::clicked, this, [this] { send(m_messages.previous); });
    connect(next, &QAbstractButton::clicked, this, [this] { send(m_messages.next); });
    connect(m_play, &QAbstractButton::clicked, this, &CMediaFormView::playOrPause);
    connect(m_pause, &QAbstractButton::clicked, this, &CMediaFormView::playOrPause);
    connect(m_repeat, &QAbstractButton::clicked, this, &CMediaFormView::toggleRepeat);

    addControls(*layout);

    if (layout->close && m_messages.close) {
        auto* close = addButton(QStringLiteral("Close"), *layout->close, kClosePictures);
        connect(close, &QAbstractButton::clicked, this,
                [this] { PostMessageTo(m_receiver, *m_messages.close, 0, 0); });
    }
    m_title->raise();
    return true;
}

CStaticEx* CMediaFormView::addLabel(const QString& name, const QRect& place) {
    auto* label = new CStaticEx(this);
    label->setObjectName(name);
    label->setGeometry(place);
    label->show();
    return label;
}

CGdipButton* CMediaFormView::addButton(const QString& action, const QRect& place,
                                       const ButtonPictures& pictures) {
    auto* button = new CGdipButton(this);
    button->setObjectName(action.toLower() + QStringLiteral("Button"));
    button->setGeometry(place);
    setButtonPictures(button, pictures);
    button->SetTooltip(action, true);
    button->SetSpokenName(spokenName(action));
    button->show();
    return button;
}

QString CMediaFormView::spokenName(const QString& action) const {
    return QStringLiteral("%1 (%2)").arg(action, accessibleName());
}

void CMediaFormView::setButtonPictures(CGdipButton* button, const ButtonPictures& pictures) {
    const char* png = "PNG";
    button->SetNormalImage(std::nullopt, pictures.normal, png, Qt::black, 0, std::nullopt,
                           kButtonTextFormat);
    button->SetPressedImage(std::nullopt, pictures.pressed, png, Qt::black, 0, std::nullopt,
                            kButtonTextFormat);
    if (pictures.hover != -1)
        button->SetHoverImage(std::nullopt, pictures.hover, png, Qt::black, 0, std::nullopt,
                              kButtonTextFormat);
}

// Repainted in place: hiding the button would hand the focus on.
void CMediaFormView::setRepeatPictures() {
    setButtonPictures(m_repeat, m_repeatLooks[static_cast<size_t>(m_repeatMode)].pictures);
    showRepeatState();
    m_repeat->update();
}

void CMediaFormView::showRepeatState() {
    m_repeat->setChecked(m_repeatMode != 0);
    m_repeat->setAccessibleDescription(
        QString::fromLatin1(m_repeatLooks[static_cast<size_t>(m_repeatMode)].name));
}

void CMediaFormView::playOrPause() {
    // The panel's look follows the next ShowPaused, not the click.
    if (m_play)
        send(m_paused ? m_messages.resume : m_messages.pause);
}

void CMediaFormView::toggleRepeat() {
    m_repeatMode = m_repeatMode == 0 ? m_repeatOnMode : 0;
    send(m_messages.repeat, static_cast<uintptr_t>(m_repeatMode));
    if (m_repeat)
        setRepeatPictures();
}

void CMediaFormView::ShowPaused(bool paused) {
    if (!m_play)
        return;
    CGdipButton* offered = paused ? m_play : m_pause;
    CGdipButton* replaced = paused ? m_pause : m_play;
    if (offered->isHidden())
        replaced->ReplaceWith(*offered);
    m_paused = paused;
    const QString state = paused ? QStringLiteral("Paused") : QStringLiteral("Playing");
    if (accessibleDescription() != state)
        setAccessibleDescription(state);
}

intptr_t CMediaFormView::send(uint32_t message, uintptr_t wParam) const {
    return SendMessageTo(m_receiver, message, wParam, 0);
}

void CMediaFormView::setVisible(bool visible) {
    const bool changes = visible == isHidden();
    QWidget::setVisible(visible);
    if (changes && HasWindow())
        resetControls(visible);
}

void CMediaFormView::resetControls(bool visible) {
    m_seekBar->SetChannelImages(kSeekChannel, kSeekActiveChannel);
    m_seekBar->SetThumbImage();
    m_title->SetText(QStringLiteral(" "), kTextHeight, Qt::white, DT_LEFT);
    m_total->SetText(idleTotalText(), kTextHeight, Qt::white, DT_RIGHT);
    if (!visible)
        m_title->StopScrolling();
}

intptr_t CMediaFormView::HandleMessage(uint32_t, uintptr_t, intptr_t) {
    return 0;
}

bool CMediaFormView::event(QEvent* event) {
    return DeliverMessage(event, *this) || QWidget::event(event);
}

QString CMediaFormView::TitleOf(const wchar_t* path) {
    const QString name = QString::fromWCharArray(path);
    return name.mid(name.lastIndexOf(u'/') + 1);
}
