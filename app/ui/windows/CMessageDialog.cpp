#include "CMessageDialog.h"

#include "ui/controls/CGdipButton.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/DialogUnits.h"
#include "ui/controls/SkinText.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QTimerEvent>
#include <QWindow>

#include <algorithm>
#include <utility>

static_assert(IDOK == CProgressWindow::kCompleted && IDCANCEL == CProgressWindow::kCancelled);

namespace {

// Private messages, above the numbers of the system's own windows.
constexpr uint32_t kWmApplyProgress = 0x8001;
constexpr uint32_t kWmEndDialog = 0x8002;

constexpr int kOkText = 265;
constexpr int kCancelText = 266;

const QSize kDialogSize = DialogUnitsRect(0, 0, 223, 81).size();
const QRect kTitleRect = DialogUnitsRect(6, 7, 70, 41);
const QRect kProgressRect = DialogUnitsRect(85, 22, 122, 11);
constexpr QSize kButtonSize(116, 72);
constexpr int kButtonTop = 70;
constexpr int kBusyIconSide = 34;
constexpr int kBusyFramePeriodMs = 100;
constexpr int kBusyFrames[] = {225, 217, 218, 219, 220, 221, 222, 223, 224, 226, 227, 228};

// The answer style is taller by the answer line, which sits between the
// message and the buttons.
constexpr int kAnswerExtraHeight = 40;
constexpr int kAnswerLineTop = 62;
constexpr int kAnswerLineHeight = 28;
constexpr int kAnswerFontHeight = 16;

constexpr int kCornerDiameter = 30;
constexpr QColor kFill(48, 48, 48);
constexpr QColor kOutline(128, 128, 128);
constexpr int kOutlineWidth = 2;
constexpr QColor kTitleColour(163, 224, 57);
constexpr int kTitleFontHeight = 28;
constexpr int kBodyFontHeight = 20;
constexpr int kMinimumFontHeight = 12;
constexpr int kTextMargin = 10; // from the outline

void setButtonLooks(CGdipButton* button, const QString& caption) {
    const QRect textRect = EdgeRect(12, 27, 104, 45);
    const unsigned format = DT_CENTER | DT_VCENTER | DT_WORDBREAK;
    button->SetNormalImage(caption, 216, "PNG", Qt::white, 14, textRect, format);
    button->SetPressedImage(caption, 214, "PNG", Qt::white, 14, textRect, format);
    button->SetHoverImage(caption, 215, "PNG", Qt::white, 14, textRect, format);
}

uint64_t packProgress(int position, int total) {
    return uint64_t(uint32_t(total)) << 32 | uint32_t(position);
}

} // namespace

CMessageDialog::CMessageDialog(QWidget* owner, const CStringTable& strings)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), m_strings(strings),
      m_firstCaption(strings.text(kOkText)), m_secondCaption(strings.text(kCancelText)),
      m_titleLabel(new CStaticEx(this)), m_bodyLabel(new CStaticEx(this)),
      m_firstButton(new CGdipButton(this)), m_secondButton(new CGdipButton(this)),
      m_progressBar(new QProgressBar(this)), m_answerLine(new QLineEdit(this)) {
    // The rounded corners show what lies behind the window.
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kDialogSize);
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    m_firstButton->setObjectName(QStringLiteral("firstButton"));
    m_secondButton->setObjectName(QStringLiteral("secondButton"));
    m_answerLine->setObjectName(QStringLiteral("answerLine"));
    m_answerLine->setStyleSheet(
        QStringLiteral("QLineEdit { border: 1px solid rgb(128, 128, 128); border-radius: 4px;"
                       " background: rgb(28, 28, 28); color: white; padding: 0 6px;"
                       " selection-background-color: rgb(163, 224, 57); selection-color: black; }"
                       " QLineEdit:focus { border: 2px solid white; }"));
    m_answerLine->setFont(SkinFont(this, kAnswerFontHeight));
    m_answerLine->hide();
    connect(m_answerLine, &QLineEdit::returnPressed, this, [this] { endWithButton(kFirstButton); });
    setTabOrder(m_answerLine, m_firstButton);
    setTabOrder(m_firstButton, m_secondButton);
    m_progressBar->setGeometry(kProgressRect);
    m_progressBar->setTextVisible(false);
    m_progressBar->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid rgb(128, 128, 128); border-radius: 3px;"
        " background: rgb(28, 28, 28); }"
        " QProgressBar::chunk { background: rgb(163, 224, 57); border-radius: 2px; }"));
    m_progressBar->hide();
    connect(m_firstButton, &QAbstractButton::clicked, this,
            [this] { endWithButton(kFirstButton); });
    connect(m_secondButton, &QAbstractButton::clicked, this,
            [this] { endWithButton(kSecondButton); });
}

CMessageDialog::~CMessageDialog() = default;

void CMessageDialog::SetButtonCaptions(const QString& first, const QString& second) {
    m_firstCaption = first;
    m_secondCaption = second;
}

void CMessageDialog::SetTexts(std::optional<QString> title, std::optional<QString> body) {
    m_title = m_style != kBusy && title ? std::move(*title) : QString();
    m_body = body ? std::move(*body) : QString();
    if (isVisible()) {
        layoutTexts();
        repaint();
    }
}

void CMessageDialog::SetTextIds(int titleId, int bodyId) {
    const auto text = [this](int id) {
        return id == -1 ? std::nullopt : std::optional<QString>(m_strings.text(id));
    };
    SetTexts(text(titleId), text(bodyId));
}

void CMessageDialog::SetProgress(int position, int total) {
    if (QThread::currentThread() == thread()) {
        applyProgress(position, total);
        return;
    }
    m_pendingProgress.store(packProgress(position, total));
    m_port.PostCoalesced(kWmApplyProgress, kWmApplyProgress, 0, 0);
}

void CMessageDialog::EndDialog(int code) {
    if (QThread::currentThread() != thread()) {
        m_port.Post(kWmEndDialog, 0, code);
        return;
    }
    if (isVisible())
        done(code);
}

intptr_t CMessageDialog::HandleMessage(uint32_t message, uintptr_t, intptr_t lParam) {
    switch (message) {
    case kWmApplyProgress: {
        const uint64_t packed = m_pendingProgress.load();
        applyProgress(int(uint32_t(packed)), int(uint32_t(packed >> 32)));
        break;
    }
    case kWmEndDialog:
        EndDialog(static_cast<int>(lParam));
        break;
    }
    return 0;
}

bool CMessageDialog::event(QEvent* event) {
    return DeliverMessage(event, *this) || QDialog::event(event);
}

void CMessageDialog::applyProgress(int position, int total) {
    m_position = position;
    m_total = total;
    if (total <= 0) {
        // A range of 0..0 would make the bar a busy indicator.
        m_progressBar->setRange(0, 1);
        m_progressBar->setValue(0);
        return;
    }
    m_progressBar->setRange(0, total);
    m_progressBar->setValue(std::clamp(position, 0, total));
}

void CMessageDialog::endWithButton(ButtonResult result) {
    m_result = result;
    done(IDCANCEL);
}

QString CMessageDialog::answer() const {
    return m_answerLine->text();
}

void CMessageDialog::reject() {
    if (m_style == kOneButton)
        endWithButton(kFirstButton);
    else if (m_style == kAnswer)
        endWithButton(kSecondButton);
}

void CMessageDialog::setVisible(bool visible) {
    if (visible && !isVisible()) {
        startDialog();
        placeOnOwner();
    }
    if (!visible)
        m_busyTimer.stop();
    QDialog::setVisible(visible);
}

void CMessageDialog::startDialog() {
    // A run that its owner ends reports no button, whatever ended the last run.
    m_result = kNoButton;
    const int height = kDialogSize.height();
    const int buttonTop = m_style == kAnswer ? kButtonTop + kAnswerExtraHeight : kButtonTop;
    setFixedSize(kDialogSize.width(), height + (m_style == kAnswer ? kAnswerExtraHeight : 0));
    // Clear of the buttons, so that title and body share one centre line.
    m_titleLabel->setGeometry(kTitleRect.x(), kTitleRect.y(), kTitleRect.width(),
                              kButtonTop - kTitleRect.y());
    m_firstButton->hide();
    m_secondButton->hide();
    m_progressBar->hide();
    m_answerLine->hide();
    switch (m_style) {
    case kAnswer:
        m_answerLine->setGeometry(20, kAnswerLineTop, kDialogSize.width() - 40, kAnswerLineHeight);
        m_answerLine->setText(m_answer);
        m_answerLine->selectAll();
        m_answerLine->show();
        m_answerLine->setFocus(Qt::OtherFocusReason);
        [[fallthrough]];
    case kTwoButtons:
        m_firstButton->setGeometry(QRect(QPoint(50, buttonTop), kButtonSize));
        m_secondButton->setGeometry(QRect(QPoint(172, buttonTop), kButtonSize));
        m_firstButton->show();
        m_secondButton->show();
        break;
    case kBusy:
        m_titleLabel->setGeometry(30, (height - kBusyIconSide) / 2, kBusyIconSide, kBusyIconSide);
        if (m_titleLabel->imageCount() == 0)
            for (int frame : kBusyFrames)
                m_titleLabel->AddImage(frame, true);
        m_titleLabel->SetCurrentIndex(0);
        m_title.clear();
        m_busyTimer.start(kBusyFramePeriodMs, this);
        break;
    case kProgress:
    case kProgressVariant:
        m_secondButton->setGeometry(QRect(QPoint(112, kButtonTop), kButtonSize));
        m_secondButton->show();
        m_progressBar->show();
        applyProgress(0, 100);
        break;
    default: // one button
        m_firstButton->setGeometry(QRect(QPoint(110, kButtonTop), kButtonSize));
        m_firstButton->show();
        break;
    }
    setButtonLooks(m_firstButton, m_firstCaption);
    setButtonLooks(m_secondButton, m_secondCaption);
    layoutTexts();
}

// Centred on the owner's window, so that a message shows beside what it is
// about; on the screen without an owner.
void CMessageDialog::placeOnOwner() {
    QRect area;
    if (const QWidget* owner = parentWidget(); owner && owner->window()->isVisible())
        area = owner->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (!area.isEmpty())
        move(area.center() - QRect(QPoint(0, 0), size()).center());
}

// Texts keep inside the rounded outline, above the buttons and the bar, and
// shrink (down to kMinimumFontHeight) rather than be cut.
void CMessageDialog::layoutTexts() {
    const int width = kDialogSize.width();
    const int height = kDialogSize.height();
    const QRect title = m_titleLabel->geometry();
    const bool hasTitle = !m_title.isEmpty();
    const bool showsProgress = m_style == kProgress || m_style == kProgressVariant;

    const unsigned titleFormat = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
    m_titleLabel->SetText(m_title,
                          FittingFontHeight(m_title, titleFormat, font(), title.size(),
                                            kTitleFontHeight, kMinimumFontHeight),
                          kTitleColour, titleFormat);
    m_titleLabel->setVisible(hasTitle || m_style == kBusy);
    setAccessibleName(hasTitle ? m_title : m_body);
    setAccessibleDescription(m_body);
    m_progressBar->move(hasTitle ? kProgressRect.x() : (width - kProgressRect.width()) / 2,
                        kProgressRect.y());
    if (m_body.isEmpty()) {
        m_bodyLabel->hide();
        return;
    }

    const int besideTitle = title.right() + 1 + 15;
    QRect box;
    unsigned format = 0;
    if (showsProgress) {
        // One line above the bar.
        const int left = hasTitle ? besideTitle : kTextMargin;
        box = QRect(left, 6, width - left - kTextMargin, kProgressRect.y() - 8);
        format = (hasTitle ? 0 : DT_CENTER) | DT_VCENTER | DT_SINGLELINE;
    } else if (hasTitle) {
        box = QRect(besideTitle, title.y(), width - besideTitle - kTextMargin, title.height());
        const int available = width - title.width() - 40;
        format = MeasureSkinText(m_body, SkinFont(this, kBodyFontHeight)).width() > available
                     ? DT_VCENTER | DT_WORDBREAK
                     : DT_VCENTER | DT_SINGLELINE;
    } else if (m_style == kAnswer) {
        // Above the answer line, which it names.
        box = QRect(kTextMargin, 8, width - 2 * kTextMargin, kAnswerLineTop - 12);
        format = DT_CENTER | DT_VCENTER | DT_WORDBREAK;
        m_answerLine->setAccessibleName(m_body);
    } else if (m_style == kBusy) {
        // Beside the wheel, centred on it.
        const int left = title.right() + 1 + 35;
        box = QRect(left, kTextMargin, width - left - kTextMargin, height - 2 * kTextMargin);
        format = DT_CENTER | DT_VCENTER | DT_WORDBREAK;
    } else {
        // Two lines of Chinese at full size, centred on the space above the buttons.
        box = QRect(kTextMargin, 12, width - 2 * kTextMargin, kButtonTop - 12);
        format = DT_CENTER | DT_VCENTER | DT_WORDBREAK;
    }
    m_bodyLabel->setGeometry(box);
    m_bodyLabel->SetText(
        m_body,
        FittingFontHeight(m_body, format, font(), box.size(), kBodyFontHeight, kMinimumFontHeight),
        Qt::white, format);
    m_bodyLabel->show();
}

void CMessageDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = kOutlineWidth / 2.0;
    const qreal radius = kCornerDiameter / 2.0;
    painter.setPen(QPen(kOutline, kOutlineWidth));
    painter.setBrush(kFill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius, radius);
}

void CMessageDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void CMessageDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    // The window manager moves it where it can; by hand elsewhere.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void CMessageDialog::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragOffset)
        move(event->globalPosition().toPoint() - *m_dragOffset);
}

void CMessageDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragOffset.reset();
}

void CMessageDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_busyTimer.timerId()) {
        QDialog::timerEvent(event);
        return;
    }
    const int frames = m_titleLabel->imageCount();
    if (m_style != kBusy || frames == 0) {
        m_busyTimer.stop();
        return;
    }
    m_titleLabel->SetCurrentIndex((m_titleLabel->currentIndex() + 1) % frames);
    m_titleLabel->repaint();
}
