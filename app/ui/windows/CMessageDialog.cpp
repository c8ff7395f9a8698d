#include "CMessageDialog.h"

#include "CGdipButton.h"
#include "CStaticEx.h"
#include "DialogUnits.h"
#include "SkinText.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QThread>
#include <QTimerEvent>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace {

// Private messages, above the numbers of the system's own windows.
constexpr uint32_t kWmApplyProgress = 0x8001;
constexpr uint32_t kWmEndDialog = 0x8002;

constexpr int kOkText = 265;
constexpr int kCancelText = 266;

const QSize kDialogSize = DialogUnitsRect(0, 0, 223, 81).size();
const QRect kTitleRect = DialogUnitsRect(6, 7, 70, 41);
const QRect kBodyRect = DialogUnitsRect(80, 7, 136, 41);
const QRect kProgressRect = DialogUnitsRect(85, 22, 122, 11);
constexpr QSize kButtonSize(116, 72);
constexpr int kButtonTop = 70;
constexpr int kBusyIconSide = 34;
constexpr int kBusyFramePeriodMs = 100;
constexpr int kBusyFrames[] = {225, 217, 218, 219, 220, 221, 222, 223, 224, 226, 227, 228};

constexpr int kCornerDiameter = 30;
constexpr QColor kFill(48, 48, 48);
constexpr QColor kOutline(128, 128, 128);
constexpr int kOutlineWidth = 2;
constexpr QColor kTitleColour(163, 224, 57);
constexpr int kTitleFontHeight = 28;
constexpr int kBodyFontHeight = 20;

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
      m_progressBar(new QProgressBar(this)) {
    // The rounded corners show what lies behind the window.
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kDialogSize);
    m_firstButton->setObjectName(QStringLiteral("firstButton"));
    m_secondButton->setObjectName(QStringLiteral("secondButton"));
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

void CMessageDialog::setVisible(bool visible) {
    if (visible && !isVisible())
        startDialog();
    if (!visible)
        m_busyTimer.stop();
    QDialog::setVisible(visible);
}

void CMessageDialog::startDialog() {
    // A run that its owner ends reports no button, whatever ended the last run.
    m_result = kNoButton;
    const int width = kDialogSize.width();
    const int height = kDialogSize.height();
    m_titleLabel->setGeometry(kTitleRect);
    m_bodyLabel->setGeometry(kBodyRect);
    m_firstButton->hide();
    m_secondButton->hide();
    m_progressBar->hide();
    switch (m_style) {
    case kTwoButtons:
        m_firstButton->setGeometry(QRect(QPoint(50, kButtonTop), kButtonSize));
        m_secondButton->setGeometry(QRect(QPoint(172, kButtonTop), kButtonSize));
        m_firstButton->show();
        m_secondButton->show();
        break;
    case kBusy:
        m_titleLabel->setGeometry(30, (height - kBusyIconSide) / 2, kBusyIconSide, kBusyIconSide);
        m_bodyLabel->setGeometry(80, 20, width - 100, height - 40);
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

void CMessageDialog::layoutTexts() {
    const int width = kDialogSize.width();
    const int height = kDialogSize.height();
    const int titleWidth = m_titleLabel->width();
    const int titleHeight = m_titleLabel->height();
    const bool hasTitle = !m_title.isEmpty();
    m_titleLabel->SetText(m_title, kTitleFontHeight, kTitleColour,
                          DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    m_titleLabel->setVisible(hasTitle || m_style == kBusy);
    setAccessibleName(hasTitle ? m_title : m_body);
    setAccessibleDescription(m_body);
    if (m_body.isEmpty()) {
        m_bodyLabel->hide();
        return;
    }
    m_bodyLabel->SetText(m_body, kBodyFontHeight, Qt::white,
                         hasTitle ? DT_VCENTER | DT_SINGLELINE : DT_CENTER | DT_WORDBREAK);
    const int available = width - titleWidth - 40;
    if (hasTitle) {
        if (m_bodyLabel->MeasureText().width() > available)
            m_bodyLabel->SetTextFormat(DT_WORDBREAK);
        m_bodyLabel->setGeometry(titleWidth + 15, 10, width - titleWidth - 10, titleHeight);
    } else if (m_style == kBusy) {
        const int textHeight = m_bodyLabel->MeasureText().height();
        m_bodyLabel->setGeometry(titleWidth + 35, (height - textHeight) / 2, available, height);
    } else {
        m_bodyLabel->setGeometry(10, 20, width - 10, titleHeight);
    }
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

void CMessageDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
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
