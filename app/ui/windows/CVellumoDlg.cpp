#include "CVellumoDlg.h"

#include "ControlMessages.h"
#include "DebugPrint.h"
#include "PlayControlFormView.h"
#include "shell/CVellumoCore.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/SkinText.h"
#include "update/CFileVersionInfo.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kClientWidth = 470;
constexpr int kClientHeight = 312;
constexpr unsigned kButtonTextFormat = DT_CENTER | DT_VCENTER | DT_WORDBREAK; // 21
constexpr int kButtonFontHeight = 14;
constexpr int kMinimumButtonFontHeight = 11;
constexpr int kVersionFontHeight = 12;
const QColor kWhite(0xFF, 0xFF, 0xFF);

// String numbers.
constexpr int kStringPhotoMusicPool = 243;
constexpr int kStringDropHint = 244;
constexpr int kStringVideoPool = 245;
constexpr int kStringSetup = 248;
constexpr int kStringUpgrade = 249;
constexpr int kStringVersion = 296;

// A pool's caption breaks only between words: its font shrinks, down to
// kMinimumButtonFontHeight, until the longest word fits the width, so that a
// caption without spaces (Chinese) does not lose its last character to a
// line of its own.
int captionFontHeight(const QString& caption, const QFont& font, int width) {
    int height = kButtonFontHeight;
    for (const QString& word : caption.split(u' ', Qt::SkipEmptyParts))
        height = std::min(height, FittingFontHeight(word, DT_SINGLELINE, font, QSize(width, 0),
                                                    kButtonFontHeight, kMinimumButtonFontHeight));
    return height;
}

} // namespace

CVellumoDlg::CVellumoDlg(CVellumoCore& core, const CStringTable& strings)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_core(core), m_strings(strings), m_photoMusicPool(new CGdipButton(this)),
      m_videoPool(new CGdipButton(this)), m_remoteLinkButton(new CGdipButton(this)),
      m_upgradeButton(new CGdipButton(this)), m_waitingBox(nullptr, strings),
      m_deviceList(this, strings),
      m_statusWindow(std::make_unique<CPlayStatusDialog>(this, strings)) {
    // The window class name of the design; the running instance is found by
    // its lock file (CSingleInstanceLock), not by this name.
    setObjectName(QStringLiteral("ZentharTavoli"));
    m_core.AttachWindows(*this, *m_statusWindow);
    connect(m_upgradeButton, &QAbstractButton::clicked, this, [this] { m_core.Upgrade().Run(); });
    connect(m_remoteLinkButton, &QAbstractButton::clicked, this,
            [this] { m_core.OpenSetupPage(); });
    connect(&m_statusWindow->playControl(), &PlayControlFormView::FilesDropped, this,
            [this](const QList<QUrl>& urls, Placement placement) {
                m_core.PlayDropOnPlayControl(urls, placement);
            });
}

CVellumoDlg::~CVellumoDlg() {
    m_core.DetachWindows();
    m_port.Close();
}

int CVellumoDlg::DoModal() {
    setAcceptDrops(true);
    LayoutControls();
    if (!m_core.Open())
        return m_endCode;
    show();
    DebugPrint("CVellumoDlg::DoModal(): shown, the box search took %lld ms\n",
               static_cast<long long>(
                   std::chrono::duration_cast<std::chrono::milliseconds>(m_core.OpeningSearchTime())
                       .count()));
    QEventLoop loop;
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    hide();
    return m_endCode;
}

void CVellumoDlg::EndDialog(int code) {
    m_endCode = code;
    if (m_loop != nullptr)
        m_loop->exit(code);
}

void CVellumoDlg::LayoutControls() {
    setWindowTitle(QStringLiteral("Brelmox"));
    setWindowIcon(QIcon(QStringLiteral(":/ICON/128.png")));
    m_versionText = QString::fromStdWString(ApplicationVersionText());
    m_background.Load(154, "BITMAP");
    struct Pictures {
        CGdipButton* button;
        int normal, pressed, hover;
        int captionString; // 0: none
        int tooltipString;
        QPoint position;
        QSize size;
    };
    const Pictures buttons[] = {
        {m_photoMusicPool,
         151,
         149,
         152,
         kStringPhotoMusicPool,
         kStringDropHint,
         {70, 120},
         {128, 136}},
        {m_videoPool, 157, 155, 156, kStringVideoPool, kStringDropHint, {250, 120}, {128, 136}},
        {m_remoteLinkButton, 236, 234, 235, 0, kStringSetup, {8, 7}, {50, 50}},
        {m_upgradeButton, 253, 251, 252, 0, kStringUpgrade, {353, 7}, {50, 50}},
    };
    // Centred under the pool's picture, as wide as two short words.
    const QRect captionRect = EdgeRect(21, 80, 106, 120);
    for (const Pictures& entry : buttons) {
        entry.button->hide();
        const std::optional<QString> caption =
            entry.captionString != 0 ? std::optional(m_strings.text(entry.captionString))
                                     : std::nullopt;
        const std::optional<QRect> rect =
            entry.captionString != 0 ? std::optional(captionRect) : std::nullopt;
        const int fontHeight = caption
                                   ? captionFontHeight(*caption, SkinFont(this, kButtonFontHeight),
                                                       captionRect.width())
                                   : kButtonFontHeight;
        entry.button->SetNormalImage(caption, entry.normal, "PNG", kWhite, fontHeight, rect,
                                     kButtonTextFormat);
        entry.button->SetPressedImage(caption, entry.pressed, "PNG", kWhite, fontHeight, rect,
                                      kButtonTextFormat);
        entry.button->SetHoverImage(caption, entry.hover, "PNG", kWhite, fontHeight, rect,
                                    kButtonTextFormat);
        entry.button->SetTooltip(m_strings.text(entry.tooltipString), true);
        entry.button->setGeometry(QRect(entry.position, entry.size));
        entry.button->show();
    }
    // The pools first, then the corner buttons.
    setTabOrder(m_photoMusicPool, m_videoPool);
    setTabOrder(m_videoPool, m_remoteLinkButton);
    setTabOrder(m_remoteLinkButton, m_upgradeButton);
    setFixedSize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

uint32_t CVellumoDlg::poolAt(const QPoint& position) const {
    if (m_photoMusicPool->geometry().contains(position))
        return kPhotoMusicPoolMask;
    if (m_videoPool->geometry().contains(position))
        return kVideoPoolMask;
    return 0;
}

void CVellumoDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CVellumoDlg::dragMoveEvent(QDragMoveEvent* event) {
    if (poolAt(event->position().toPoint()) != 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void CVellumoDlg::dropEvent(QDropEvent* event) {
    const uint32_t pool = poolAt(event->position().toPoint());
    const QMimeData* data = event->mimeData();
    if (pool == 0 || !data->hasUrls())
        return;
    event->acceptProposedAction();
    m_core.PlayDrop(data->urls(), pool, Placement::Queue);
}

intptr_t CVellumoDlg::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kEndWaitingMessage) {
        m_waitingBox.EndDialog(static_cast<int>(wParam));
        return 0;
    }
    CPlaybackSession* session = m_core.Session();
    if (session == nullptr || session->HandleLibraryMessage(message, wParam, lParam))
        return 0;
    if (const std::optional<ControlRequest> control = ControlRequestOf(message))
        session->Control(control->mediaType, control->action, static_cast<int32_t>(wParam));
    else if (message == WM_STATUS_CLOSED)
        session->StatusWindowClosed();
    else if (message == WM_STATUS_MINIMIZED)
        session->StatusWindowMinimized();
    return 0;
}

bool CVellumoDlg::event(QEvent* event) {
    if (DeliverMessage(event, *this))
        return true;
    return QWidget::event(event);
}

void CVellumoDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_background.isNull())
        painter.drawImage(QRect(QPoint(0, 0), m_background.size()), m_background.image());
    else
        painter.fillRect(rect(), Qt::black);
    if (m_versionText.isEmpty())
        return;
    const QString label = m_strings.text(kStringVersion) + u' ' + m_versionText;
    QRect area = rect();
    area.setLeft(area.right() - 10 * static_cast<int>(label.size()));
    area.setTop(area.bottom() - 25);
    DrawSkinText(painter, area, label, DT_CENTER, SkinFont(this, kVersionFontHeight), kWhite);
}

// Escape does nothing here.
void CVellumoDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        return;
    QWidget::keyPressEvent(event);
}

void CVellumoDlg::closeEvent(QCloseEvent* event) {
    m_core.EndAll();
    EndDialog(IDCANCEL);
    event->accept();
}

void CVellumoDlg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_core.MainWindowShown();
}

void CVellumoDlg::hideEvent(QHideEvent* event) {
    m_core.MainWindowHidden();
    QWidget::hideEvent(event);
}

// Restored from the task bar while media plays: the status window comes back.
void CVellumoDlg::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || isMinimized() || !m_core.Session())
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if ((change->oldState() & Qt::WindowMinimized) != 0)
        m_core.Session()->RestoreStatusWindow();
}

void CVellumoDlg::RunWaitingMessage(const QString& body) {
    m_waitingBox.SetStyle(CMessageDialog::kBusy);
    m_waitingBox.SetTexts(std::nullopt, body);
    m_waitingBox.DoModal();
}

void CVellumoDlg::SetWaitingMessage(const QString& body) {
    m_waitingBox.SetTexts(std::nullopt, body);
}

void CVellumoDlg::EndWaitingMessage() {
    m_waitingBox.EndDialog(CMessageDialog::kFirstButton);
}

std::string CVellumoDlg::ChooseBox(const std::vector<FoundBox>& boxes) {
    m_deviceList.devices().clear();
    m_deviceList.SetSelectedIndex(-1);
    m_deviceList.DeleteItemButtons();
    for (const FoundBox& box : boxes)
        m_deviceList.devices()[box.host] = box.friendlyName;
    m_deviceList.DoModal();
    return m_deviceList.KeyAt(m_deviceList.selectedIndex()).value_or(std::string());
}

void CVellumoDlg::ShowNotice(const QString& title, const QString& body) {
    CMessageDialog box(messageOwner(), m_strings);
    box.SetStyle(CMessageDialog::kOneButton);
    box.SetTexts(title, body);
    box.DoModal();
}

bool CVellumoDlg::Ask(const QString& title, const QString& body, const QString& firstCaption,
                      const QString& secondCaption) {
    CMessageDialog question(messageOwner(), m_strings);
    question.SetStyle(CMessageDialog::kTwoButtons);
    if (!firstCaption.isEmpty() || !secondCaption.isEmpty())
        question.SetButtonCaptions(firstCaption, secondCaption);
    question.SetTexts(title, body);
    question.DoModal();
    return question.Result() == CMessageDialog::kFirstButton;
}

std::unique_ptr<CProgressWindow> CVellumoDlg::MakeProgressWindow(CUpgradeHost::Owner owner) {
    auto window = std::make_unique<CMessageDialog>(
        owner == CUpgradeHost::Owner::MainWindow ? this : nullptr, m_strings);
    window->SetStyle(CMessageDialog::kProgress);
    return window;
}

void CVellumoDlg::ShowLastingNotice(CPlaybackHost::Notice kind, const QString& body,
                                    const QString& button, std::function<void()> onClosed) {
    QPointer<CMessageDialog>& notice = m_lastingNotices[kind];
    if (!notice) {
        QWidget* owner = m_statusWindow->isVisible() ? static_cast<QWidget*>(m_statusWindow.get())
                                                     : static_cast<QWidget*>(this);
        notice = new CMessageDialog(owner, m_strings);
        notice->SetStyle(CMessageDialog::kOneButton);
    }
    // Closed by its button only; EndLastingNotice closes it without a word.
    notice->disconnect(this);
    connect(notice, &QDialog::finished, this, [dialog = notice.data(), onClosed] {
        if (dialog->Result() == CMessageDialog::kFirstButton)
            onClosed();
    });
    notice->SetButtonCaptions(button, {});
    notice->SetTexts({}, body);
    notice->show();
}

void CVellumoDlg::EndLastingNotice(CPlaybackHost::Notice kind) {
    const auto found = m_lastingNotices.find(kind);
    if (found == m_lastingNotices.end() || !found->second)
        return;
    found->second->disconnect(this);
    found->second->hide();
}

void CVellumoDlg::ShowProgressNote(const QString& body) {
    m_progressNote.SetStyle(CMessageDialog::kBusy);
    m_progressNote.SetTexts(std::nullopt, body);
    m_progressNote.show();
}

void CVellumoDlg::ShowMainWindow(CPlaybackHost::ShowHow how) {
    if (how == CPlaybackHost::ShowHow::Normal) {
        show();
        return;
    }
    showNormal();
    raise();
    activateWindow();
}

QRect CVellumoDlg::DesktopArea() const {
    return screen()->availableGeometry();
}

void CVellumoDlg::PostClose() {
    QTimer::singleShot(0, this, &QWidget::close);
}

void CVellumoDlg::EndApplication() {
    m_waitingBox.EndDialog(IDCANCEL);
    m_deviceList.close();
    EndDialog(IDCANCEL);
}
