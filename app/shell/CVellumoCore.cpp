#include "CVellumoCore.h"

#include "CShellHost.h"
#include "DebugPrint.h"
#include "DmpVellumoApi.h"
#include "PlayListWriter.h"
#include "network/FirewallExceptions.h"
#include "network/IcmpEcho.h"
#include "network/LocalAddress.h"
#include "network/WlanUtil.h"
#include "playback/CFileCollector.h"
#include "playback/CStatusWindow.h"
#include "playback/StalePlayLists.h"
#include "remote/CompanionDetection.h"
#include "update/CFileVersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QTimerEvent>

#include <malloc.h>

namespace {

constexpr int kSearchCompletedWaitMs = 1000;
constexpr int kSearchFailedWaitMs = 5000;

// String numbers.
constexpr int kStringFoundDevice = 259;
constexpr int kStringSearchCompleted = 260;
constexpr int kStringSearchFailed = 261;
constexpr int kStringRescan = 263;
constexpr int kStringExit = 264;
constexpr int kStringWiDiRunning = 269;
constexpr int kStringSearching = 270;
constexpr int kStringNoDevice = 271;
constexpr int kStringVersion = 296;
constexpr int kStringSetupPageFailed = 341;
constexpr int kStringNoBoxAddress = 342;
constexpr int kStringNoWebEngine = 343;
constexpr int kStringNoWindow = 344;
constexpr int kStringPageEnded = 345;
constexpr int kStringCollecting = 347;

// A walk that lasts longer shows its progress, refreshed this often.
constexpr int kWalkProgressDelayMs = 1000;
constexpr int kWalkProgressPeriodMs = 250;

// The desktop's network settings, in the order tried; the first installed
// one opens.
const char* const kNetworkSettings[][2] = {
    {"gnome-control-center", "wifi"},
    {"systemsettings", "kcm_networkmanagement"},
    {"nm-connection-editor", nullptr},
};

// The setup page's window beside the main window needs this much room to
// its right.
constexpr int kSetupPageRoom = 401;
constexpr int kSetupPageGap = 10;
constexpr int kSetupPageLeftOffset = 370;

std::vector<std::string> localPaths(const QStringList& paths) {
    std::vector<std::string> local;
    for (const QString& path : paths)
        local.push_back(QFile::encodeName(path).toStdString());
    return local;
}

} // namespace

CVellumoCore::CVellumoCore(const StartupOptions& options, const CStringTable& strings)
    : m_strings(strings), m_search(options.searchInterfaces.empty() ? DefaultSearchInterfaces()
                                                                    : options.searchInterfaces) {
    // Lists an earlier run could not delete, killed while it played them.
    RemoveStalePlayLists(kvu::TemporaryPlayListFolder(), ProcessStartTime());
    // Files given on the command line, and those later starts hand over,
    // play once a Box is chosen.
    m_handOver.Register(QDBusConnection::sessionBus());
    m_handOver.Open(CFileHandOver::LocalPaths(options.FileArguments(), QDir::currentPath()));
    connect(&m_search, &CBoxSearch::BoxFound, this, &CVellumoCore::onBoxFound);
    connect(&m_search, &CBoxSearch::Completed, this,
            [this] { onSearchEnded(text(kStringSearchCompleted), kSearchCompletedWaitMs); });
    connect(&m_search, &CBoxSearch::Failed, this, [this](const QString& detail) {
        onSearchEnded(text(kStringSearchFailed) + u' ' + detail, kSearchFailedWaitMs);
    });
    connect(&m_firewallRun, &CBackgroundCall::Finished, this, &CVellumoCore::onFirewallRunFinished);
    connect(&m_reachability, &CBackgroundCall::Finished, this,
            &CVellumoCore::onReachabilityFinished);
    connect(&m_walk, &CBackgroundCall::Finished, this, &CVellumoCore::onWalkFinished);
    // The end of the desktop session ends every instance, so that each link
    // sends its disconnect.
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::commitDataRequest, this, [this] { EndAll(); });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            [this] { EndAll(); });
}

CVellumoCore::~CVellumoCore() {
    // The walk under way ends at its next entry; its result is never played.
    m_isWalkCancelled = true;
    DetachWindows();
}

void CVellumoCore::AttachWindows(CShellHost& host, CStatusWindow& statusWindow) {
    m_host = &host;
    m_statusWindow = &statusWindow;
}

void CVellumoCore::DetachWindows() {
    EndAll();
    m_handOver.SetReceiver({});
    m_desktop.reset();
    m_session.reset();
    m_reachabilityTimer.stop();
    m_walkJobs.clear();
    m_walkedPaths = 0;
    m_walkProgressTimer.stop();
    m_host = nullptr;
    m_statusWindow = nullptr;
}

QString CVellumoCore::text(int id) const {
    return id < 0 ? QString() : m_strings.text(id);
}

bool CVellumoCore::Open() {
    if (IsWiDiApplicationRunning()) {
        showNotice({}, text(kStringWiDiRunning));
        return false;
    }
    checkFirewall();
    if (!searchForBox())
        return false;
    m_handOver.SetReceiver([this](const QStringList& paths) { playOpened(paths); });
    return true;
}

void CVellumoCore::checkFirewall() {
    const std::string executable = RunningExecutablePath();
    const FirewallCheck check = CheckFirewallExceptions(executable);
    if (!check.NeedsCreationRun())
        return;
    // The elevation prompt waits for the user: the search goes on meanwhile.
    m_firewallRun.Start([executable] { return static_cast<int>(RunElevatedCreation(executable)); });
}

void CVellumoCore::onFirewallRunFinished(int outcome) {
    const auto result = static_cast<ElevationOutcome>(outcome);
    if (result == ElevationOutcome::Done || m_host == nullptr)
        return;
    DebugPrint("CVellumoCore: the elevated firewall run %s\n",
               result == ElevationOutcome::Refused ? "was refused" : "failed");
    showNotice(text(CStringTable::kErrorTitle),
               text(kStringVersion) + u' ' + QString::fromStdWString(ApplicationVersionText()));
    if (result == ElevationOutcome::Refused) {
        // Ends the search, the device list or the window, whichever runs.
        m_isEnding = true;
        m_search.Stop();
        m_host->EndApplication();
    }
}

bool CVellumoCore::searchForBox() {
    for (;;) {
        const auto searchStart = std::chrono::steady_clock::now();
        m_search.Start();
        m_host->RunWaitingMessage(text(kStringSearching));
        m_openingSearchTime += std::chrono::steady_clock::now() - searchStart;
        if (m_isEnding)
            return false;

        const std::vector<FoundBox> found = m_search.Found();
        if (!found.empty()) {
            m_search.Stop();
            const DmpVellumoApi& api = GetDmpVellumoApi();
            if (api.InstallCBTHook != nullptr)
                api.InstallCBTHook(api.module);
            WlanUtil& wlan = WlanUtil::Instance();
            if (wlan.Start())
                wlan.FindConnectedInterface();
            const std::string chosen =
                found.size() == 1 ? found.front().host : m_host->ChooseBox(found);
            if (m_isEnding || chosen.empty())
                return false;
            m_boxAddress = QString::fromStdString(chosen).toStdWString();
            for (const FoundBox& box : found)
                if (box.host == chosen) {
                    m_boxName = QString::fromStdString(box.friendlyName);
                    m_setupPage = QUrl(QString::fromStdString(box.presentationUrl));
                }
            if (m_boxName.isEmpty())
                m_boxName = QString::fromStdString(chosen);
            startPlayback();
            return true;
        }
        if (!askNoDevice())
            return false;
    }
}

void CVellumoCore::startPlayback() {
    m_session.emplace(GetDmpVellumoApi(), *m_statusWindow, static_cast<CPlaybackHost&>(*this),
                      PlayTarget{m_boxAddress, kBoxPort, m_host->LibraryWindow()}, m_boxName);
    m_desktop.emplace(*m_session);
}

void CVellumoCore::onBoxFound(const QString& host, const QString&) {
    QString body = text(kStringFoundDevice);
    body.replace(QStringLiteral("%S"), host);
    m_host->SetWaitingMessage(body);
}

// The last word stays readable a moment before the waiting box goes.
void CVellumoCore::onSearchEnded(const QString& body, int delayMs) {
    m_host->SetWaitingMessage(body);
    QTimer::singleShot(delayMs, this, [this] {
        if (m_host != nullptr)
            m_host->EndWaitingMessage();
    });
}

// "No device found.": true for "Rescan", false for "Exit".
bool CVellumoCore::askNoDevice() {
    openNetworkSettings();
    const bool isExit = m_host->Ask(text(CStringTable::kErrorTitle), text(kStringNoDevice),
                                    text(kStringExit), text(kStringRescan));
    return !isExit && !m_isEnding;
}

// Once per process, and only where the desktop has such a program: a
// question that comes back must not stack up settings windows.
void CVellumoCore::openNetworkSettings() {
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
            DebugPrint("CVellumoCore: cannot start %s\n", program);
        return;
    }
}

void CVellumoCore::MainWindowShown() {
    m_reachabilityTimer.start(kReachabilityPeriodMs, this);
}

void CVellumoCore::MainWindowHidden() {
    m_reachabilityTimer.stop();
}

void CVellumoCore::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_reachabilityTimer.timerId())
        checkReachability();
    else if (event->timerId() == m_walkProgressTimer.timerId())
        showWalkProgress();
    else
        QObject::timerEvent(event);
}

void CVellumoCore::checkReachability() {
    if (m_host == nullptr || !m_host->IsMainWindowVisible() || m_boxAddress.empty())
        return;
    m_reachabilityTimer.stop();
    m_reachability.Start([address = QString::fromStdWString(m_boxAddress).toStdString()] {
        return SendIcmpEcho(address) ? 1 : 0;
    });
}

void CVellumoCore::onReachabilityFinished(int isReachable) {
    if (m_host == nullptr)
        return;
    if (m_remote && m_remote->IsOpen())
        m_remote->Enable(isReachable != 0);
    if (isReachable != 0) {
        // The window may have been disabled by an earlier question.
        m_host->SetMainWindowEnabled(true);
        if (m_host->IsMainWindowVisible())
            m_reachabilityTimer.start(kReachabilityPeriodMs, this);
        return;
    }
    if (!m_host->IsMainWindowVisible())
        return;
    m_host->SetMainWindowEnabled(false);
    if (!askNoDevice()) {
        if (m_remote && m_remote->IsOpen())
            m_remote->Enable(true);
        m_host->EndApplication();
        return;
    }
    checkReachability();
}

void CVellumoCore::PlayDrop(const QList<QUrl>& urls, uint32_t poolMask, Placement placement) {
    if (!m_session || poolMask == 0)
        return;
    // One reading of the addresses for both kinds of drop: local files only.
    walk({LocalPathsFromUrls(urls), false, poolMask, placement});
}

void CVellumoCore::PlayDropOnPlayControl(const QList<QUrl>& urls, Placement placement) {
    if (m_session)
        PlayDrop(urls, m_session->PlayControlPoolMask(), placement);
}

void CVellumoCore::playOpened(const QStringList& paths) {
    if (m_session)
        walk({localPaths(paths), true, 0, Placement::Queue});
}

// Folder walks run one at a time off this thread, in the order asked for; a
// queue of more paths than one walk may find is not kept.
void CVellumoCore::walk(WalkJob job) {
    if (m_walkedPaths + job.paths.size() > CFileCollector::kMaxFiles) {
        DebugPrint("CVellumoCore: %zu paths wait for a walk, %zu more left out\n", m_walkedPaths,
                   job.paths.size());
        return;
    }
    m_walkedPaths += job.paths.size();
    m_walkJobs.push_back(std::move(job));
    startWalk();
}

void CVellumoCore::startWalk() {
    if (m_walkJobs.empty() || m_walk.IsRunning())
        return;
    m_walkFoundCount = 0;
    const bool isStarted = m_walk.Start([this, paths = m_walkJobs.front().paths] {
        // The result is read on the owner's thread only after Finished, which
        // the call's end is queued before.
        CFileCollector collector(
            {CFileCollector::kMaxFiles, &m_isWalkCancelled, &m_walkFoundCount});
        for (const std::string& path : paths)
            collector.CollectFiles(path);
        m_isWalkCut = collector.IsCut();
        m_walkedFiles = collector.TakeFiles();
        return 0;
    });
    if (isStarted)
        m_walkProgressTimer.start(kWalkProgressDelayMs, this);
}

void CVellumoCore::onWalkFinished() {
    m_walkProgressTimer.stop();
    if (m_host != nullptr)
        m_host->EndProgressNote();
    if (m_walkJobs.empty())
        return;
    const WalkJob job = std::move(m_walkJobs.front());
    m_walkJobs.pop_front();
    m_walkedPaths -= job.paths.size();
    std::vector<std::wstring> files = std::move(m_walkedFiles);
    m_walkedFiles = {};
    const bool isCut = m_isWalkCut;
    // The next walk runs while these files play.
    startWalk();
    if (!m_session || m_host == nullptr)
        return;
    m_isCutTold = false;
    if (job.isOpened)
        m_session->PlayOpened(files);
    else
        m_session->Play(files, job.poolMask, job.placement);
    if (isCut && !m_isCutTold)
        ShowMessage(CPlayRequest::CutText());
    // A walk of a large tree leaves much freed memory with the allocator.
    files = {};
    ::malloc_trim(0);
}

void CVellumoCore::showWalkProgress() {
    m_walkProgressTimer.start(kWalkProgressPeriodMs, this);
    if (m_host != nullptr)
        m_host->ShowProgressNote(
            text(kStringCollecting)
                .replace(QStringLiteral("%d"), QString::number(m_walkFoundCount)));
}

// Beside the main window: right of it when the desktop has room, else left.
void CVellumoCore::OpenSetupPage() {
    if (!m_remote) {
        m_remote = std::make_unique<CRemoteControl>();
        connect(m_remote.get(), &CRemoteControl::PageFailed, this,
                [this] { tellSetupPageFailure(); });
    }
    const QRect frame = m_host->MainWindowFrame();
    const int right = frame.x() + frame.width();
    const QRect desktop = m_host->DesktopArea();
    const int left = desktop.x() + desktop.width() - right >= kSetupPageRoom
                         ? right + kSetupPageGap
                         : frame.x() - kSetupPageLeftOffset;
    const bool isOpen = m_setupPage.isEmpty()
                            ? m_remote->Open(QString::fromStdWString(m_boxAddress), frame.y(), left)
                            : m_remote->OpenPage(m_setupPage, frame.y(), left);
    if (!isOpen)
        tellSetupPageFailure();
}

// Never the application's end: the main window stays as it was.
void CVellumoCore::tellSetupPageFailure() {
    if (m_host == nullptr)
        return;
    int reason = kStringNoWindow;
    switch (m_remote->LastFailure()) {
    case CRemoteControl::Failure::NoBoxAddress:
        reason = kStringNoBoxAddress;
        break;
    case CRemoteControl::Failure::NoWebEngine:
        reason = kStringNoWebEngine;
        break;
    case CRemoteControl::Failure::PageEnded:
        reason = kStringPageEnded;
        break;
    case CRemoteControl::Failure::NoWindow:
    case CRemoteControl::Failure::None:
        break;
    }
    showNotice(text(CStringTable::kErrorTitle),
               text(kStringSetupPageFailed).replace(QStringLiteral("%S"), text(reason)));
}

void CVellumoCore::EndAll() {
    if (m_session)
        m_session->EndAll();
}

void CVellumoCore::HideMainWindow() {
    m_host->HideMainWindow();
}

void CVellumoCore::ShowMainWindow(ShowHow how) {
    m_host->ShowMainWindow(how);
}

void CVellumoCore::ShowMainWindow() {
    m_host->ShowMainWindow(ShowHow::Normal);
}

void CVellumoCore::MinimizeMainWindow() {
    m_host->MinimizeMainWindow();
}

void CVellumoCore::SetDropsAccepted(bool isAccepted) {
    m_host->SetDropsAccepted(isAccepted);
}

void CVellumoCore::EndModalBoxes(int32_t linkError) {
    if (linkError == 0 && m_host->IsWaitingMessageShown())
        m_host->EndWaitingMessage();
    m_upgrade.EndModalBoxes(linkError);
}

void CVellumoCore::ShowMessage(const QString& body) {
    if (body == CPlayRequest::CutText())
        m_isCutTold = true;
    showNotice({}, body);
}

void CVellumoCore::showNotice(const QString& title, const QString& body) {
    m_notices.Show(title + u'\n' + body, [&] { m_host->ShowNotice(title, body); });
}

void CVellumoCore::LinkReported(DmpVellumoInfo* instance, int32_t linkError) {
    m_upgrade.LinkReported(instance, linkError);
}

void CVellumoCore::ShowLastingNotice(Notice kind, const QString& body, const QString& button) {
    m_host->ShowLastingNotice(kind, body, button, [this, kind] {
        if (m_session)
            m_session->LastingNoticeClosed(kind);
    });
}

void CVellumoCore::EndLastingNotice(Notice kind) {
    m_host->EndLastingNotice(kind);
}

std::optional<std::string> CVellumoCore::FindLocalAddress() const {
    return ::FindLocalAddress(QString::fromStdWString(m_boxAddress).toStdString());
}

std::unique_ptr<CProgressWindow> CVellumoCore::MakeProgressWindow(Owner owner) {
    return m_host->MakeProgressWindow(owner);
}

void CVellumoCore::ShowNotice(int titleId, int bodyId) {
    showNotice(text(titleId), text(bodyId));
}

void CVellumoCore::ShowNoticeAbout(int titleId, int bodyId, const std::string& name) {
    QString body = text(bodyId);
    body.replace(QStringLiteral("%S"), QString::fromStdString(name));
    showNotice(text(titleId), body);
}

bool CVellumoCore::Ask(int bodyId) {
    return m_host->Ask({}, text(bodyId));
}

void CVellumoCore::RunWaitingMessage(int bodyId) {
    m_host->RunWaitingMessage(text(bodyId));
}

DmpHostWindow* CVellumoCore::LibraryWindow() {
    return m_host->LibraryWindow();
}

void CVellumoCore::PostClose() {
    m_host->PostClose();
}
