#include "CListDialog.h"

#include "ui/controls/CGdipButton.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/DialogUnits.h"
#include "ui/controls/MessageLayer.h"
#include "ui/controls/SkinText.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QWheelEvent>

#include <iterator>

namespace {

constexpr int kTitleText = 262;
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
constexpr int kWheelNotch = 120; // eighths of a degree

} // namespace

CListDialog::CListDialog(QWidget* owner, const CStringTable& strings)
    : QDialog(owner), m_strings(strings), m_title(new CStaticEx(this)),
      m_clipFrame(new QWidget(this)), m_list(new QWidget(m_clipFrame)),
      m_scrollBar(new QScrollBar(Qt::Vertical, this)) {
    setWindowTitle(QStringLiteral("Brelmox"));
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
}

void CListDialog::setVisible(bool visible) {
    if (visible && !isVisible())
        startDialog();
    QDialog::setVisible(visible);
}

void CListDialog::startDialog() {
    m_background.Load(kBackgroundBitmap, "BITMAP", devicePixelRatioF());
    DeleteItemButtons();
    const int count = static_cast<int>(m_devices.size());
    int row = 0;
    QWidget* previous = nullptr;
    for (const auto& [key, name] : m_devices) {
        auto* button = new CGdipButton(m_list);
        button->setGeometry(0, kRowHeight * row, kRowWidth, kRowHeight);
        const QString caption = QString::fromStdString(name.empty() ? key : name);
        const QRect textRect = EdgeRect(10, 0, kRowWidth, kRowHeight);
        const unsigned format = DT_VCENTER | DT_SINGLELINE;
        button->SetNormalImage(caption, kRowNormal, "PNG", Qt::white, 18, textRect, format);
        button->SetPressedImage(caption, kRowPressed, "PNG", Qt::white, 18, textRect, format);
        button->SetHoverImage(caption, kRowHover, "PNG", Qt::white, 18, textRect, format);
        connect(button, &QAbstractButton::clicked, this, [this, row] {
            m_selectedIndex = row;
            done(IDCANCEL);
        });
        button->installEventFilter(this);
        if (previous)
            setTabOrder(previous, button);
        previous = button;
        m_itemButtons.push_back(button);
        button->show();
        ++row;
    }
    if (previous)
        setTabOrder(previous, m_scrollBar);

    m_title->SetText(m_strings.text(kTitleText), 28, kTitleColour, DT_CENTER | DT_VCENTER);
    m_clipFrame->setGeometry(0, kRowHeight, kRowWidth, kRowHeight * count);
    m_list->setGeometry(0, 0, kRowWidth, kRowHeight * count);
    m_scrollBar->setAccessibleName(m_title->text());
    m_wheelRemainder = 0;
    // Seven rows give a range of 0 to 0, which leaves the bar disabled.
    if (count > kRowsInView + 1) {
        m_scrollBar->setRange(0, count - kRowsInView - 1);
        m_scrollBar->setEnabled(true);
    } else {
        m_scrollBar->setRange(0, 0);
        m_scrollBar->setEnabled(false);
    }
    m_scrollBar->setValue(0);
    scrollTo(0);
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
// handling would move several).
bool CListDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        scrollByWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
        return true;
    }
    return QDialog::eventFilter(watched, event);
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
