#include "CListDialog.h"

#include "ui/controls/CGdipButton.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/DialogUnits.h"
#include "ui/controls/MessageLayer.h"
#include "ui/controls/SkinText.h"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr int kTitleText = 262;
constexpr int kAddByAddressText = 308;
constexpr int kBackgroundBitmap = 213;
constexpr int kRowNormal = 210;
constexpr int kRowPressed = 209;
constexpr int kRowHover = 211;

// The client area of the 469 by 310 pixel window with its frame and caption.
const QSize kClientSize = DialogUnitsRect(0, 0, 309, 174).size();
constexpr int kRowWidth = 444;
constexpr int kRowHeight = 36;
constexpr int kRowsInView = 6; // with a seventh partly shown
constexpr QRect kTitleRect(0, 0, 464, 36);
constexpr QRect kScrollBarRect(445, 36, 20, 246);
constexpr QColor kTitleColour(163, 224, 57);
constexpr QColor kRowColour(255, 255, 255);
constexpr int kWheelNotch = 120; // eighths of a degree

// A device's row: its kind's mark at the left, the name, and at the right the
// kind's word or, for a device that cannot be used, the reason.
constexpr int kBoxText = 600;
constexpr int kRendererText = 601;
constexpr int kUnusableSpoken = 602; // "Cannot be used: %S"
constexpr int kNoTransportText = 603;
constexpr int kNoRenderingText = 604;
constexpr int kNoCommandPortText = 605;
constexpr QRect kMarkRect(9, 6, 24, 24);
constexpr int kNameLeft = 42;
constexpr int kWordRight = kRowWidth - 10;
constexpr int kWordGap = 12;
constexpr int kWordFontHeight = 14;
constexpr int kMaxWordWidth = 260;
constexpr QColor kBoxColour(163, 224, 57);
constexpr QColor kRendererColour(112, 190, 255);
constexpr QColor kUnusableColour(124, 128, 134);

QColor kindColour(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::Box:
        return kBoxColour;
    case DeviceKind::Renderer:
        return kRendererColour;
    case DeviceKind::Unusable:
        break;
    }
    return kUnusableColour;
}

// The kind's mark, drawn as lines so that it is sharp at every scale: a flat
// player with its light, a screen on its foot, a barred circle.
void drawKindMark(QPainter& painter, const QRectF& box, DeviceKind kind) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.topLeft());
    painter.scale(box.width() / 24.0, box.height() / 24.0);
    const QColor colour = kindColour(kind);
    painter.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    switch (kind) {
    case DeviceKind::Box:
        painter.drawRoundedRect(QRectF(2, 8, 20, 9), 2, 2);
        painter.drawLine(QPointF(5.5, 12.5), QPointF(11, 12.5));
        painter.drawLine(QPointF(5, 19.5), QPointF(6.5, 19.5));
        painter.drawLine(QPointF(17.5, 19.5), QPointF(19, 19.5));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QPointF(17.5, 12.5), 1.5, 1.5);
        break;
    case DeviceKind::Renderer:
        painter.drawRoundedRect(QRectF(2, 4, 20, 13), 1.5, 1.5);
        painter.drawLine(QPointF(12, 17), QPointF(12, 20));
        painter.drawLine(QPointF(8, 20.5), QPointF(16, 20.5));
        break;
    case DeviceKind::Unusable:
        painter.drawEllipse(QPointF(12, 12), 8, 8);
        painter.drawLine(QPointF(6.5, 17.5), QPointF(17.5, 6.5));
        break;
    }
    painter.restore();
}

// Paints a row's mark and word over its button; the clicks and the focus go
// to the button beneath.
class CKindMark : public QWidget {
public:
    CKindMark(QWidget* row, DeviceKind kind, QString word, int wordWidth)
        : QWidget(row), m_kind(kind), m_word(std::move(word)), m_wordWidth(wordWidth) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(row->rect());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        drawKindMark(painter, kMarkRect, m_kind);
        DrawSkinText(painter, EdgeRect(kWordRight - m_wordWidth, 0, kWordRight, kRowHeight), m_word,
                     DT_RIGHT | DT_VCENTER | DT_SINGLELINE, SkinFont(this, kWordFontHeight),
                     kindColour(m_kind));
    }

private:
    DeviceKind m_kind;
    QString m_word;
    int m_wordWidth;
};

// A reason from the network shows on one line, its control characters
// masked.
QString shownReason(const std::string& reason) {
    QString text = QString::fromStdString(reason);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    return text;
}

} // namespace

CListDialog::CListDialog(QWidget* owner, const CStringTable& strings)
    : QDialog(owner), m_strings(strings), m_title(new CStaticEx(this)),
      m_clipFrame(new QWidget(this)), m_list(new QWidget(m_clipFrame)),
      m_scrollBar(new QScrollBar(Qt::Vertical, this)) {
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setFixedSize(kClientSize);
    m_title->setGeometry(kTitleRect);
    m_scrollBar->setGeometry(kScrollBarRect);
    m_scrollBar->setSingleStep(1);
    // Dark, to sit on the dialog's dark picture.
    QPalette dark = m_scrollBar->palette();
    dark.setColor(QPalette::Window, QColor(34, 36, 40));
    dark.setColor(QPalette::Base, QColor(34, 36, 40));
    dark.setColor(QPalette::Button, QColor(100, 104, 112));
    dark.setColor(QPalette::Light, QColor(96, 100, 106));
    dark.setColor(QPalette::Midlight, QColor(86, 90, 96));
    dark.setColor(QPalette::Mid, QColor(52, 54, 58));
    dark.setColor(QPalette::Dark, QColor(20, 20, 22));
    dark.setColor(QPalette::Shadow, QColor(0, 0, 0));
    dark.setColor(QPalette::ButtonText, QColor(200, 204, 208));
    dark.setColor(QPalette::WindowText, QColor(200, 204, 208));
    m_scrollBar->setPalette(dark);
    m_scrollBar->installEventFilter(this);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &CListDialog::scrollTo);
    // Only line steps and the thumb move the list; a click in the trough does not.
    connect(m_scrollBar, &QScrollBar::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderPageStepAdd ||
            action == QAbstractSlider::SliderPageStepSub)
            m_scrollBar->setSliderPosition(m_scrollBar->value());
    });
}

std::optional<std::string> CListDialog::KeyAt(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_devices.size())
        return std::nullopt;
    return std::next(m_devices.begin(), index)->first;
}

void CListDialog::DeleteItemButtons() {
    for (CGdipButton* button : m_itemButtons)
        delete button;
    m_itemButtons.clear();
    delete m_addByAddressButton;
    m_addByAddressButton = nullptr;
}

void CListDialog::SetKind(const std::string& key, DeviceKind kind,
                          const std::string& unusableReason) {
    if (kind == DeviceKind::Box)
        m_kinds.erase(key);
    else
        m_kinds[key] = {kind, kind == DeviceKind::Unusable ? unusableReason : std::string()};
}

DeviceKind CListDialog::KindOf(const std::string& key) const {
    const auto found = m_kinds.find(key);
    return found == m_kinds.end() ? DeviceKind::Box : found->second.kind;
}

// The word at a device's row: its kind's, or why it cannot be used.
QString CListDialog::kindText(const std::string& key) const {
    const auto found = m_kinds.find(key);
    if (found == m_kinds.end())
        return m_strings.text(kBoxText);
    if (found->second.kind == DeviceKind::Renderer)
        return m_strings.text(kRendererText);
    const std::string& reason = found->second.unusableReason;
    if (reason == kReasonNoAVTransport)
        return m_strings.text(kNoTransportText);
    if (reason == kReasonNoRenderingControl)
        return m_strings.text(kNoRenderingText);
    if (reason == kReasonNoCommandPort)
        return m_strings.text(kNoCommandPortText);
    return shownReason(reason);
}

void CListDialog::AddDevice(const std::string& key, const std::string& name) {
    AddDevice(key, name, DeviceKind::Box);
}

void CListDialog::AddDevice(const std::string& key, const std::string& name, DeviceKind kind,
                            const std::string& unusableReason) {
    if (m_devices.contains(key))
        return;
    SetKind(key, kind, unusableReason);
    // The rows are made anew in key order; the focus stays on its row.
    const QWidget* focus = focusWidget();
    std::optional<std::string> focusedKey;
    for (size_t row = 0; row < m_itemButtons.size(); ++row)
        if (m_itemButtons[row] == focus)
            focusedKey = KeyAt(static_cast<int>(row));
    const bool isAddRowFocused = focus != nullptr && focus == m_addByAddressButton;
    m_devices.emplace(key, name);
    if (!isVisible())
        return;
    const int scrolled = m_scrollBar->value();
    makeRows();
    m_scrollBar->setValue(std::min(scrolled, m_scrollBar->maximum()));
    scrollTo(m_scrollBar->value());
    if (isAddRowFocused)
        m_addByAddressButton->setFocus(Qt::OtherFocusReason);
    else if (focusedKey)
        m_itemButtons[static_cast<size_t>(
                          std::distance(m_devices.begin(), m_devices.find(*focusedKey)))]
            ->setFocus(Qt::OtherFocusReason);
}

void CListDialog::setVisible(bool visible) {
    if (visible && !isVisible())
        startDialog();
    QDialog::setVisible(visible);
}

void CListDialog::startDialog() {
    m_background.Load(kBackgroundBitmap, "BITMAP", devicePixelRatioF());
    m_isAddByAddressChosen = false;
    m_title->SetText(m_strings.text(kTitleText), 28, kTitleColour, DT_CENTER | DT_VCENTER);
    m_scrollBar->setAccessibleName(m_title->text());
    m_wheelRemainder = 0;
    makeRows();
    m_scrollBar->setValue(0);
    scrollTo(0);
}

void CListDialog::makeRows() {
    DeleteItemButtons();
    int row = 0;
    for (const auto& [key, name] : m_devices) {
        const DeviceKind kind = KindOf(key);
        const bool isUsable = kind != DeviceKind::Unusable;
        const QString word = kindText(key);
        CGdipButton* button = addRow(row, QString::fromStdString(name.empty() ? key : name),
                                     isUsable ? kRowColour : kUnusableColour, kind, word);
        // Two Boxes of one name differ by their addresses; the kind is heard
        // after them.
        QString spoken = QString::fromStdString(key);
        if (!name.empty())
            spoken = QStringLiteral("%1, %2").arg(QString::fromStdString(name), spoken);
        const QString heardKind =
            isUsable ? word : m_strings.text(kUnusableSpoken).replace(QStringLiteral("%S"), word);
        button->SetSpokenName(QStringLiteral("%1, %2").arg(spoken, heardKind));
        // Neither a click nor the keyboard reaches a device that cannot be used.
        button->setEnabled(isUsable);
        if (isUsable)
            connect(button, &QAbstractButton::clicked, this, [this, row] {
                m_selectedIndex = row;
                done(IDCANCEL);
            });
        m_itemButtons.push_back(button);
        ++row;
    }
    m_addByAddressButton = addRow(row, m_strings.text(kAddByAddressText), kTitleColour);
    m_addByAddressButton->setObjectName(QStringLiteral("addByAddressButton"));
    connect(m_addByAddressButton, &QAbstractButton::clicked, this, [this] {
        m_isAddByAddressChosen = true;
        done(IDCANCEL);
    });

    const int count = row + 1;
    m_clipFrame->setGeometry(0, kRowHeight, kRowWidth, kRowHeight * count);
    m_list->setGeometry(0, 0, kRowWidth, kRowHeight * count);
    // Seven rows give a range of 0 to 0, which leaves the bar disabled.
    if (count > kRowsInView + 1) {
        m_scrollBar->setRange(0, count - kRowsInView - 1);
        m_scrollBar->setEnabled(true);
    } else {
        m_scrollBar->setRange(0, 0);
        m_scrollBar->setEnabled(false);
    }
}

// Rows are made in tab order, the address row last.
CGdipButton* CListDialog::addRow(int row, const QString& caption, QColor captionColour,
                                 std::optional<DeviceKind> kind, const QString& kindText) {
    auto* button = new CGdipButton(m_list);
    button->setGeometry(0, kRowHeight * row, kRowWidth, kRowHeight);
    QRect textRect = EdgeRect(10, 0, kRowWidth, kRowHeight);
    if (kind) {
        // Rounded up, with a pixel to spare: the ellipsis goes by the exact width.
        const QFontMetricsF metrics(SkinFont(m_list, kWordFontHeight));
        const int wordWidth = std::min(
            static_cast<int>(std::ceil(metrics.horizontalAdvance(kindText))) + 1, kMaxWordWidth);
        textRect = EdgeRect(kNameLeft, 0, kWordRight - wordWidth - kWordGap, kRowHeight);
        new CKindMark(button, *kind, kindText, wordWidth);
    }
    // A row that cannot be chosen keeps one look.
    const bool isChoosable = kind != DeviceKind::Unusable;
    const unsigned format = DT_VCENTER | DT_SINGLELINE;
    button->SetNormalImage(caption, kRowNormal, "PNG", captionColour, 18, textRect, format);
    button->SetPressedImage(caption, isChoosable ? kRowPressed : kRowNormal, "PNG", captionColour,
                            18, textRect, format);
    button->SetHoverImage(caption, isChoosable ? kRowHover : kRowNormal, "PNG", captionColour, 18,
                          textRect, format);
    button->installEventFilter(this);
    button->show();
    return button;
}

void CListDialog::scrollTo(int row) {
    m_list->move(0, -kRowHeight * row);
}

void CListDialog::scrollByWheel(int angleDelta) {
    if (!m_scrollBar->isEnabled())
        return;
    m_wheelRemainder += angleDelta;
    const int rows = m_wheelRemainder / kWheelNotch;
    m_wheelRemainder -= rows * kWheelNotch;
    m_scrollBar->setValue(m_scrollBar->value() - rows);
}

void CListDialog::wheelEvent(QWheelEvent* event) {
    scrollByWheel(event->angleDelta().y());
}

// The wheel over a row or the bar moves one row per notch too (the bar's own
// handling would move several). A row that takes the focus comes into view.
bool CListDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        scrollByWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
        return true;
    }
    // A row that cannot be chosen does not light up under the pointer.
    if (event->type() == QEvent::Enter && watched->isWidgetType() &&
        !static_cast<QWidget*>(watched)->isEnabled())
        return true;
    if (event->type() == QEvent::FocusIn && watched->isWidgetType())
        scrollIntoView(static_cast<QWidget*>(watched));
    return QDialog::eventFilter(watched, event);
}

void CListDialog::scrollIntoView(const QWidget* row) {
    if (row->parentWidget() != m_list || !m_scrollBar->isEnabled())
        return;
    const int index = row->y() / kRowHeight;
    const int first = m_scrollBar->value();
    // Rows first to first + kRowsInView - 1 show whole.
    if (index < first)
        m_scrollBar->setValue(index);
    else if (index >= first + kRowsInView)
        m_scrollBar->setValue(index - kRowsInView + 1);
}

void CListDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 24, 24));
    painter.drawImage(QPoint(0, 0), m_background.image());
}

void CListDialog::closeEvent(QCloseEvent* event) {
    done(IDCANCEL);
    DeleteItemButtons();
    event->accept();
}
