#include "CVellumoDlg.h"

#include "ControlMessages.h"
#include "DebugPrint.h"
#include "PlayControlFormView.h"
#include "shell/BoxAddressText.h"
#include "shell/CVellumoCore.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/SkinText.h"
#include "update/CFileVersionInfo.h"

#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
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
constexpr int kStringChooseFiles = 303;
constexpr int kStringChooseFolder = 304;
constexpr int kStringChooseBox = 305;

// The Box in use, between the corner buttons; its hover look is the
// titles' green.
constexpr QRect kBoxButtonRect(64, 12, 282, 40);
constexpr int kBoxFontHeight = 15;
constexpr QColor kBoxHoverColour(163, 224, 57);

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
      m_upgradeButton(new CGdipButton(this)), m_boxButton(new CGdipButton(this)),
      m_versionLabel(new CStaticEx(this)), m_chooseBoxAction(new QAction(this)), m_chooser(strings),
      m_deviceList(this, strings),
      m_statusWindow(std::make_unique<CPlayStatusDialog>(this, strings)) {
    // The window class name of the design; the running instance is found by
    // its lock file (CSingleInstanceLock), not by this name.
    setObjectName(QStringLiteral("ZentharTavoli"));
    m_photoMusicPool->setObjectName(QStringLiteral("photoMusicPool"));
    m_videoPool->setObjectName(QStringLiteral("videoPool"));
    m_boxButton->setObjectName(QStringLiteral("boxButton"));
    m_versionLabel->setObjectName(QStringLiteral("version"));
    m_boxButton->hide();
    m_core.AttachWindows(*this, *m_statusWindow);
    connect(m_upgradeButton, &QAbstractButton::clicked, this, [this] { m_core.RunUpgrade(); });
    connect(m_remoteLinkButton, &QAbstractButton::clicked, this,
            [this] { m_core.OpenSetupPage(); });
    PlayControlFormView& playControl = m_statusWindow->playControl();
    connect(&playControl, &PlayControlFormView::FilesDropped, this,
            [this](const QList<QUrl>& urls, Placement placement) {
                m_core.PlayDropOnPlayControl(urls, placement);
            });

    // The device list from either window, while no modal window blocks it.
    m_chooseBoxAction->setText(strings.text(kStringChooseBox));
    m_chooseBoxAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    m_chooseBoxAction->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_chooseBoxAction, &QAction::triggered, this, [this] { m_core.SwitchBox(); });
    addAction(m_chooseBoxAction);
    connect(m_boxButton, &QAbstractButton::clicked, m_chooseBoxAction, &QAction::trigger);
    m_boxButton->SetTooltip(strings.text(kStringChooseBox), true);
    auto* choosePhotosAndMusic = new QShortcut(QKeySequence::Open, this);
    connect(choosePhotosAndMusic, &QShortcut::activated, this,
            [this] { choose(kPhotoMusicPoolMask, false, Placement::Queue); });

    for (const auto& [pool, mask] : {std::pair{m_photoMusicPool, kPhotoMusicPoolMask},
                                     std::pair{m_videoPool, kVideoPoolMask}}) {
        connect(pool, &QAbstractButton::clicked, this,
                [this, mask] { choose(mask, false, Placement::Queue); });
        addChooseActions(
            pool, [mask] { return mask; }, Placement::Queue);
    }
    connect(&playControl, &PlayControlFormView::ChooseRequested, this,
            [this](Placement placement, bool isFolder) {
                choose(m_core.PlayControlPoolMask(), isFolder, placement);
            });
    playControl.SetTargetMenu([this](QWidget* target, Placement placement) {
        addChooseActions(
            target, [this] { return m_core.PlayControlPoolMask(); }, placement);
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
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setWindowIcon(QIcon(QStringLiteral(":/ICON/128.png")));
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
    // The pools first, then the corner buttons and the Box between them.
    setTabOrder(m_photoMusicPool, m_videoPool);
    setTabOrder(m_videoPool, m_remoteLinkButton);
    setTabOrder(m_remoteLinkButton, m_boxButton);
    setTabOrder(m_boxButton, m_upgradeButton);

    // Bottom right, centred on a width of ten pixels a character.
    const QString version = QString::fromStdWString(ApplicationVersionText());
    const QString label =
        version.isEmpty() ? QString() : m_strings.text(kStringVersion) + u' ' + version;
    const int labelWidth = 10 * static_cast<int>(label.size());
    m_versionLabel->setGeometry(kClientWidth - 1 - labelWidth, kClientHeight - 1 - 25,
                                labelWidth + 1, 26);
    m_versionLabel->SetText(label, kVersionFontHeight, kWhite, DT_CENTER);
    m_versionLabel->setVisible(!label.isEmpty());
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
        if (m_waitingBox)
            m_waitingBox->EndDialog(static_cast<int>(wParam));
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
}

QWidget* CVellumoDlg::messageOwner() {
    if (isVisible())
        return this;
    if (m_statusWindow->isVisible())
        return m_statusWindow.get();
    return nullptr;
}

void CVellumoDlg::choose(uint32_t poolMask, bool isFolder, Placement placement) {
    if (m_core.Session() == nullptr)
        return;
    const QStringList chosen = m_chooser.Choose(messageOwner(), poolMask, isFolder);
    if (!chosen.isEmpty())
        m_core.PlayChosen(chosen, poolMask, placement);
}

void CVellumoDlg::addChooseActions(QWidget* target, std::function<uint32_t()> poolMask,
                                   Placement placement) {
    auto* files = new QAction(m_strings.text(kStringChooseFiles), target);
    connect(files, &QAction::triggered, this,
            [this, poolMask, placement] { choose(poolMask(), false, placement); });
    auto* folder = new QAction(m_strings.text(kStringChooseFolder), target);
    connect(folder, &QAction::triggered, this,
            [this, poolMask, placement] { choose(poolMask(), true, placement); });
    target->addActions({files, folder, m_chooseBoxAction});
    target->setContextMenuPolicy(Qt::ActionsContextMenu);
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
    m_waitingBox = std::make_unique<CMessageDialog>(nullptr, m_strings);
    m_waitingBox->SetStyle(CMessageDialog::kBusy);
    m_waitingBox->SetTexts(std::nullopt, body);
    m_waitingBox->DoModal();
    m_waitingBox.reset();
}

void CVellumoDlg::SetWaitingMessage(const QString& body) {
    if (m_waitingBox)
        m_waitingBox->SetTexts(std::nullopt, body);
}

void CVellumoDlg::EndWaitingMessage() {
    if (m_waitingBox)
        m_waitingBox->EndDialog(CMessageDialog::kFirstButton);
}

BoxListChoice CVellumoDlg::ChooseBox(const std::vector<FoundBox>& boxes) {
    m_deviceList.devices().clear();
    m_deviceList.SetSelectedIndex(-1);
    m_deviceList.DeleteItemButtons();
    m_listedBoxes.clear();
    for (const FoundBox& box : boxes)
        AddListedBox(box);
    m_deviceList.DoModal();
    BoxListChoice choice;
    choice.isAddByAddress = m_deviceList.isAddByAddressChosen();
    if (const auto key = m_deviceList.KeyAt(m_deviceList.selectedIndex()))
        choice.box = m_listedBoxes.at(*key);
    m_listedBoxes.clear();
    return choice;
}

void CVellumoDlg::AddListedBox(const FoundBox& box) {
    const std::string key = HostAndPortText(box.host, box.port);
    if (!m_listedBoxes.emplace(key, box).second)
        return;
    m_deviceList.AddDevice(key, box.friendlyName, box.kind, box.unusableReason);
}

std::optional<QString> CVellumoDlg::AskBoxAddress(const QString& prompt, const QString& previous) {
    CMessageDialog entry(messageOwner(), m_strings);
    entry.SetStyle(CMessageDialog::kAnswer);
    entry.SetAnswer(previous);
    entry.SetTexts(std::nullopt, prompt);
    entry.DoModal();
    if (entry.Result() != CMessageDialog::kFirstButton)
        return std::nullopt;
    return entry.answer();
}

void CVellumoDlg::ShowChosenBox(const QString& caption) {
    const unsigned format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    const QRect text(QPoint(0, 0), kBoxButtonRect.size());
    m_boxButton->setGeometry(kBoxButtonRect);
    m_boxButton->SetCaptionLook(CGdipButton::Look::Normal, caption, kWhite, kBoxFontHeight, text,
                                format);
    m_boxButton->SetCaptionLook(CGdipButton::Look::Hover, caption, kBoxHoverColour, kBoxFontHeight,
                                text, format);
    m_boxButton->SetCaptionLook(CGdipButton::Look::Pressed, caption, kBoxHoverColour,
                                kBoxFontHeight, text.translated(1, 1), format);
    m_boxButton->show();
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
    if (!m_progressNote) {
        m_progressNote = new CMessageDialog(this, m_strings);
        m_progressNote->SetStyle(CMessageDialog::kBusy);
    }
    m_progressNote->SetTexts(std::nullopt, body);
    m_progressNote->show();
}

// Freed rather than hidden: a hidden message would stay in the accessibility
// tree.
void CVellumoDlg::EndProgressNote() {
    if (!m_progressNote)
        return;
    m_progressNote->EndDialog(CMessageDialog::kNoButton);
    m_progressNote->deleteLater();
}

void CVellumoDlg::ShowMainWindow(CPlaybackHost::ShowHow how) {
    if (how == CPlaybackHost::ShowHow::Normal) {
        show();
    } else {
        showNormal();
        raise();
        activateWindow();
    }
    // Back from the status window, a keyboard user goes on from a pool.
    if (focusWidget() == nullptr)
        m_photoMusicPool->setFocus(Qt::OtherFocusReason);
}

QRect CVellumoDlg::DesktopArea() const {
    return screen()->availableGeometry();
}

void CVellumoDlg::PostClose() {
    QTimer::singleShot(0, this, &QWidget::close);
}

void CVellumoDlg::EndApplication() {
    if (m_waitingBox)
        m_waitingBox->EndDialog(IDCANCEL);
    m_deviceList.close();
    EndDialog(IDCANCEL);
}
