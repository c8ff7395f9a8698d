#include "CVellumoDlg.h"

#include "CFileCollector.h"
#include "CFileVersionInfo.h"
#include "CGdipButton.h"
#include "CStringTable.h"
#include "CompanionDetection.h"
#include "DebugPrint.h"
#include "FirewallExceptions.h"
#include "IcmpEcho.h"
#include "LocalAddress.h"
#include "PlayControlFormView.h"
#include "SkinText.h"
#include "UpgradeFiles.h"
#include "WlanUtil.h"

#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int kClientWidth = 470;
constexpr int kClientHeight = 312;
constexpr int kSearchCompletedWaitMs = 1000;
constexpr int kSearchFailedWaitMs = 5000;
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
constexpr int kStringError = 256;
constexpr int kStringFoundDevice = 259;
constexpr int kStringSearchCompleted = 260;
constexpr int kStringSearchFailed = 261;
constexpr int kStringRescan = 263;
constexpr int kStringExit = 264;
constexpr int kStringWiDiRunning = 269;
constexpr int kStringSearching = 270;
constexpr int kStringNoDevice = 271;
constexpr int kStringVersion = 296;

// The desktop's network settings, in the order tried; the first installed
// one opens.
const char* const kNetworkSettings[][2] = {
    {"gnome-control-center", "wifi"},
    {"systemsettings", "kcm_networkmanagement"},
    {"nm-connection-editor", nullptr},
};

// Status refreshes are coalesced per instance and kind: instances are
// allocated objects, so their low address bits are free for the kind.
uint64_t refreshKey(uintptr_t instance, uint32_t message) {
    return static_cast<uint64_t>(instance) ^ (message - DMP_WM_CONNECTED);
}

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

CVellumoDlg::CVellumoDlg(const StartupOptions& options, const CStringTable& strings)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_strings(strings),
      m_searchInterfaces(options.searchInterfaces.empty() ? DefaultSearchInterfaces()
                                                          : options.searchInterfaces),
      m_photoMusicPool(new CGdipButton(this)), m_videoPool(new CGdipButton(this)),
      m_remoteLinkButton(new CGdipButton(this)), m_upgradeButton(new CGdipButton(this)),
      m_waitingBox(nullptr, strings), m_deviceList(this, strings), m_search(m_searchInterfaces),
      m_statusWindow(std::make_unique<CPlayStatusDialog>(this, strings)) {
    // The window class name of the design; the running instance is found by
    // its lock file (CSingleInstanceLock), not by this name.
    setObjectName(QStringLiteral("ZentharTavoli"));
    // Files given on the command line, and those later starts hand over,
    // play once a Box is chosen.
    m_desktop.Files().Register(QDBusConnection::sessionBus());
    m_desktop.Files().Open(
        CFileHandOver::LocalPaths(CFileHandOver::FileArguments(options), QDir::currentPath()));
    connect(&m_search, &CBoxSearch::BoxFound, this, &CVellumoDlg::onBoxFound);
    connect(&m_search, &CBoxSearch::Completed, this, [this] {
        onSearchEnded(m_strings.text(kStringSearchCompleted), kSearchCompletedWaitMs);
    });
    connect(&m_search, &CBoxSearch::Failed, this, [this](const QString& detail) {
        onSearchEnded(m_strings.text(kStringSearchFailed) + u' ' + detail, kSearchFailedWaitMs);
    });
    connect(&m_firewallRun, &CBackgroundCall::Finished, this, &CVellumoDlg::onFirewallRunFinished);
    connect(m_upgradeButton, &QAbstractButton::clicked, this, [this] { m_upgrade.Run(); });
    connect(m_remoteLinkButton, &QAbstractButton::clicked, this, &CVellumoDlg::openRemotePage);
    connect(&m_reachability, &CBackgroundCall::Finished, this,
            &CVellumoDlg::onReachabilityFinished);
    // The end of the desktop session ends every instance, so that each link
    // sends its disconnect.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { endAll(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { endAll(); });
}

CVellumoDlg::~CVellumoDlg() {
    endAll();
    m_port.Close();
}

int CVellumoDlg::DoModal() {
    if (!initialise())
        return m_endCode;
    show();
    DebugPrint(
        "CVellumoDlg::DoModal(): shown, the box search took %lld ms\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(m_openingSearchTime).count()));
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

bool CVellumoDlg::initialise() {
    if (IsWiDiApplicationRunning()) {
        showOneButtonBox({}, m_strings.text(kStringWiDiRunning));
        m_endCode = IDCANCEL;
        return false;
    }
    setAcceptDrops(true);
    LayoutControls();
    checkFirewall();
    if (!SearchForBox())
        return false;
    m_desktop.Files().SetReceiver(
        [this](const QList<QUrl>& urls, uint32_t poolMask) { PlayDrop(urls, poolMask); });
    return true;
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

void CVellumoDlg::checkFirewall() {
    const std::string executable = RunningExecutablePath();
    const FirewallCheck check = CheckFirewallExceptions(executable);
    if (!check.NeedsCreationRun())
        return;
    // The elevation prompt waits for the user: the search goes on meanwhile.
    m_firewallRun.Start([executable] { return static_cast<int>(RunElevatedCreation(executable)); });
}

void CVellumoDlg::onFirewallRunFinished(int outcome) {
    const auto result = static_cast<ElevationOutcome>(outcome);
    if (result == ElevationOutcome::Done)
        return;
    DebugPrint("CVellumoDlg: the elevated firewall run %s\n",
               result == ElevationOutcome::Refused ? "was refused" : "failed");
    showOneButtonBox(m_strings.text(kStringError),
                     m_strings.text(kStringVersion) + u' ' + m_versionText);
    if (result == ElevationOutcome::Refused) {
        // Ends the search, the device list or the window, whichever runs.
        m_isEnding = true;
        m_search.Stop();
        m_waitingBox.EndDialog(IDCANCEL);
        m_deviceList.close();
        EndDialog(IDCANCEL);
    }
}

bool CVellumoDlg::SearchForBox() {
    for (;;) {
        m_deviceList.devices().clear();
        m_deviceList.SetSelectedIndex(-1);
        m_deviceList.DeleteItemButtons();
        const auto searchStart = std::chrono::steady_clock::now();
        m_search.Start();
        m_waitingBox.SetStyle(CMessageDialog::kBusy);
        m_waitingBox.SetTexts(std::nullopt, m_strings.text(kStringSearching));
        m_waitingBox.DoModal();
        m_openingSearchTime += std::chrono::steady_clock::now() - searchStart;
        if (m_isEnding)
            return false;

        const std::vector<FoundBox>& found = m_search.Found();
        if (!found.empty()) {
            m_search.Stop();
            const DmpVellumoApi& api = GetDmpVellumoApi();
            if (api.InstallCBTHook != nullptr)
                api.InstallCBTHook(api.module);
            WlanUtil& wlan = WlanUtil::Instance();
            if (wlan.Start())
                wlan.FindConnectedInterface();
            m_session.emplace(api, *m_statusWindow, static_cast<CPlaybackHost&>(*this));
            if (found.size() == 1) {
                m_boxAddress = QString::fromStdString(found.front().host).toStdWString();
                return true;
            }
            m_deviceList.DoModal();
            if (m_isEnding)
                return false;
            const auto key = m_deviceList.KeyAt(m_deviceList.selectedIndex());
            if (key && !key->empty()) {
                m_boxAddress = QString::fromStdString(*key).toStdWString();
                return true;
            }
            m_endCode = IDCANCEL;
            return false;
        }
        if (!askNoDevice()) {
            m_endCode = IDCANCEL;
            return false;
        }
    }
}

void CVellumoDlg::onBoxFound(const QString& host, const QString& friendlyName) {
    QString body = m_strings.text(kStringFoundDevice);
    body.replace(QStringLiteral("%S"), host);
    m_waitingBox.SetTexts(std::nullopt, body);
    m_deviceList.devices()[host.toStdString()] = friendlyName.toStdString();
}

// The last word stays readable a moment before the waiting box goes.
void CVellumoDlg::onSearchEnded(const QString& body, int delayMs) {
    m_waitingBox.SetTexts(std::nullopt, body);
    QTimer::singleShot(delayMs, &m_waitingBox,
                       [this] { m_waitingBox.EndDialog(CMessageDialog::kFirstButton); });
}

// "No device found.": true for "Rescan", false for "Exit".
bool CVellumoDlg::askNoDevice() {
    openNetworkSettings();
    CMessageDialog question(isVisible() ? this : nullptr, m_strings);
    question.SetStyle(CMessageDialog::kTwoButtons);
    question.SetButtonCaptions(m_strings.text(kStringExit), m_strings.text(kStringRescan));
    question.SetTexts(m_strings.text(kStringError), m_strings.text(kStringNoDevice));
    question.DoModal();
    return question.Result() != CMessageDialog::kFirstButton && !m_isEnding;
}

// Once per process, and only where the desktop has such a program: a
// question that comes back must not stack up settings windows.
void CVellumoDlg::openNetworkSettings() {
    if (m_isNetworkSettingsOpened)
        return;
    m_isNetworkSettingsOpened = true;
    for (const auto& [program, argument] : kNetworkSettings) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (path.isEmpty())
            continue;
        QStringList arguments;
        if (argument != nullptr)
            arguments << QString::fromLatin1(argument);
        if (!QProcess::startDetached(path, arguments))
            DebugPrint("CVellumoDlg: cannot start %s\n", program);
        return;
    }
}

std::optional<std::string> CVellumoDlg::FindLocalAddress() const {
    return ::FindLocalAddress(QString::fromStdWString(m_boxAddress).toStdString());
}

void CVellumoDlg::CheckReachability() {
    if (!isVisible() || m_boxAddress.empty())
        return;
    m_reachabilityTimer.stop();
    m_reachability.Start([address = QString::fromStdWString(m_boxAddress).toStdString()] {
        return SendIcmpEcho(address) ? 1 : 0;
    });
}

void CVellumoDlg::onReachabilityFinished(int isReachable) {
    if (m_remote && m_remote->IsOpen())
        m_remote->Enable(isReachable != 0);
    if (isReachable != 0) {
        // The window may have been disabled by an earlier question.
        setEnabled(true);
        if (isVisible())
            m_reachabilityTimer.start(kReachabilityPeriodMs, this);
        return;
    }
    if (!isVisible())
        return;
    setEnabled(false);
    if (!askNoDevice()) {
        if (m_remote && m_remote->IsOpen())
            m_remote->Enable(true);
        EndDialog(IDCANCEL);
        return;
    }
    CheckReachability();
}

void CVellumoDlg::showOneButtonBox(const QString& title, const QString& body) {
    CMessageDialog box(isVisible() ? this : nullptr, m_strings);
    box.SetStyle(CMessageDialog::kOneButton);
    box.SetTexts(title, body);
    box.DoModal();
}

void CVellumoDlg::ShowMessage(const QString& body) {
    showOneButtonBox({}, body);
}

uint32_t CVellumoDlg::poolAt(const QPoint& position) const {
    if (m_photoMusicPool->geometry().contains(position))
        return kPhotoMusicPoolMask;
    if (m_videoPool->geometry().contains(position))
        return kVideoPoolMask;
    return 0;
}

void CVellumoDlg::PlayDrop(const QList<QUrl>& urls, uint32_t poolMask) {
    if (!m_session || poolMask == 0)
        return;
    // One reading of the addresses for both kinds of drop: local files only.
    CFileCollector collector;
    for (const std::string& path : LocalPathsFromUrls(urls))
        collector.CollectFiles(path);
    CPlayRequest request(m_session->Instances(), *this);
    const PlayRequestOutcome outcome =
        request.Play(collector.Files(), poolMask, m_session->IsPlayNow(),
                     {m_boxAddress, kBoxPort, LibraryWindow()});
    // A new instance keeps drops off until its playback ends.
    SetDropsAccepted(outcome != PlayRequestOutcome::Started);
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
    PlayDrop(data->urls(), pool);
}

intptr_t CVellumoDlg::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_DROPFILES) {
        const auto* urls = reinterpret_cast<const QList<QUrl>*>(wParam);
        if (urls != nullptr && m_session)
            PlayDrop(*urls, m_session->PlayControlPoolMask());
        return 0;
    }
    if (message == kEndWaitingMessage) {
        m_waitingBox.EndDialog(static_cast<int>(wParam));
        return 0;
    }
    if (!m_session)
        return 0;
    if (!m_session->HandleLibraryMessage(message, wParam, lParam))
        m_session->HandleWindowMessage(message, wParam);
    // After every message, so that the media keys and the sleep lock also
    // follow a status window the user closed.
    m_desktop.Refresh(&m_session->Instances());
    return 0;
}

void CVellumoDlg::postFromLibrary(void* context, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam) {
    auto* window = static_cast<CVellumoDlg*>(context);
    const bool isRefresh = message >= DMP_WM_VIDEO_STATUS && message <= DMP_WM_AUDIO_STATUS;
    if (isRefresh)
        window->m_port.PostCoalesced(refreshKey(wParam, message), message, wParam, lParam);
    else
        window->m_port.Post(message, wParam, lParam);
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
    endAll();
    EndDialog(IDCANCEL);
    event->accept();
}

void CVellumoDlg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_reachabilityTimer.start(kReachabilityPeriodMs, this);
}

void CVellumoDlg::hideEvent(QHideEvent* event) {
    m_reachabilityTimer.stop();
    QWidget::hideEvent(event);
}

// Restored from the task bar while media plays: the status window comes back.
void CVellumoDlg::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || isMinimized() || !m_session)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if ((change->oldState() & Qt::WindowMinimized) != 0)
        m_session->RestoreStatusWindow();
}

void CVellumoDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_reachabilityTimer.timerId())
        CheckReachability();
    else
        QWidget::timerEvent(event);
}

void CVellumoDlg::endAll() {
    if (m_session)
        m_session->EndAll();
}

void CVellumoDlg::HideMainWindow() {
    hide();
}

void CVellumoDlg::ShowMainWindow(ShowHow how) {
    if (how == ShowHow::Restore)
        showNormal();
    else
        show();
}

void CVellumoDlg::MinimizeMainWindow() {
    showMinimized();
}

void CVellumoDlg::SetDropsAccepted(bool isAccepted) {
    setAcceptDrops(isAccepted);
}

void CVellumoDlg::EndModalBoxes(int32_t linkError) {
    if (linkError == 0 && m_waitingBox.isVisible())
        m_waitingBox.EndDialog(CMessageDialog::kFirstButton);
    m_upgrade.EndModalBoxes(linkError);
}

int CVellumoDlg::ShowMessageBox(int style, int titleId, int bodyId) {
    CMessageDialog box(isVisible() ? this : nullptr, m_strings);
    box.SetStyle(style);
    box.SetTextIds(titleId, bodyId);
    box.DoModal();
    return box.Result();
}

void CVellumoDlg::RunWaitingMessage(int bodyId) {
    m_waitingBox.SetStyle(CMessageDialog::kBusy);
    m_waitingBox.SetTextIds(-1, bodyId);
    m_waitingBox.DoModal();
}

void CVellumoDlg::PostClose() {
    QTimer::singleShot(0, this, &QWidget::close);
}

// Beside the main window: right of it when the desktop has room, else left.
void CVellumoDlg::openRemotePage() {
    if (!m_remote)
        m_remote = std::make_unique<CRemoteControl>();
    const QRect frame = frameGeometry();
    const int right = frame.x() + frame.width();
    const QRect desktop = screen()->availableGeometry();
    const int left = desktop.x() + desktop.width() - right >= 401 ? right + 10 : frame.x() - 370;
    m_remote->Open(QString::fromStdWString(m_boxAddress), frame.y(), left);
}
