#include "CVellumoCore.h"

#include "BoxAddressText.h"
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
#include "renderer/player/RendererApi.h"
#include "update/CFileVersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <malloc.h>
#include <utility>

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
constexpr int kStringInvalidFiles = 272;
constexpr int kStringBoxCaption = 307;
constexpr int kStringRendererCaption = 621;
constexpr int kStringRendererNoUpgrade = 622;
constexpr int kStringAddressPrompt = 309;
constexpr int kStringNotAnAddress = 310;
constexpr int kStringNotResolved = 311;
constexpr int kStringNoAnswer = 312;
constexpr int kStringChecking = 313;

// How long the opening waits for a remembered Box before it shows the
// waiting message: one that answers within it opens the window at once.
constexpr int kProbeGraceMs = 500;

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
    connect(&m_probe, &CBoxProbe::Finished, this, &CVellumoCore::onProbeFinished);
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
        m_probe.Stop();
        if (m_probeWait != nullptr)
            m_probeWait->quit();
        m_host->EndApplication();
    }
}

bool CVellumoCore::searchForBox() {
    m_known.Load();
    for (;;) {
        const auto searchStart = std::chrono::steady_clock::now();
        m_search.Start();
        const std::optional<FoundBox> remembered =
            m_known.Boxes().empty() ? std::nullopt : std::optional(m_known.Boxes().front());
        std::optional<CBoxProbe::Result> answered;
        if (remembered)
            answered = checkWhileSearching(*remembered);
        else
            runSearchWait();
        m_openingSearchTime += std::chrono::steady_clock::now() - searchStart;
        if (m_isEnding)
            return false;
        if (answered) {
            // The search goes on: what it finds joins the device list.
            prepareForBox();
            useBox(*answered);
            return true;
        }
        m_search.Stop();
        // A remembered Box that did not answer, or whose address another
        // device holds now, is not offered as it was.
        const std::vector<FoundBox> listed = listedBoxes(remembered);
        const std::vector<FoundBox>& found = m_search.Found();
        if (found.empty()) {
            // Nothing answered the search: a Box remembered elsewhere, or
            // one given by address, may still do.
            std::optional<CBoxProbe::Result> chosen = chooseFromList(listed);
            if (m_isEnding)
                return false;
            if (chosen) {
                prepareForBox();
                useBox(*chosen);
                return true;
            }
            if (!askNoDevice())
                return false;
            continue;
        }
        prepareForBox();
        // A lone device is used at once, unless it cannot be: then the list
        // says why.
        std::optional<CBoxProbe::Result> chosen =
            listed.size() == 1 && found.front().kind != DeviceKind::Unusable
                ? answeredBySearch(found.front())
                : chooseFromList(listed);
        if (m_isEnding || !chosen)
            return false;
        useBox(*chosen);
        return true;
    }
}

// A remembered Box that answers at once opens the window without even the
// waiting message; one that answers later ends it.
std::optional<CBoxProbe::Result> CVellumoCore::checkWhileSearching(const FoundBox& remembered) {
    m_probeResult.reset();
    m_probe.Start(remembered);
    QEventLoop wait;
    m_probeWait = &wait;
    QTimer::singleShot(kProbeGraceMs, &wait, &QEventLoop::quit);
    if (m_probe.IsRunning())
        wait.exec();
    m_probeWait = nullptr;
    const auto hasAnswered = [this] {
        return m_probeResult && m_probeResult->outcome == CBoxProbe::Outcome::Answered;
    };
    if (!hasAnswered() && !m_isEnding) {
        m_isProbeWaited = m_probe.IsRunning();
        runSearchWait();
        m_isProbeWaited = false;
    }
    m_probe.Stop();
    return hasAnswered() ? std::exchange(m_probeResult, std::nullopt) : std::nullopt;
}

// The waiting message until the search ends (or, meanwhile, a check
// answers).
void CVellumoCore::runSearchWait() {
    if (!m_search.IsRunning() && !m_isProbeWaited)
        return;
    m_isSearchWaited = true;
    ++m_waitingRun;
    m_host->RunWaitingMessage(text(kStringSearching));
    m_isSearchWaited = false;
}

std::vector<FoundBox> CVellumoCore::listedBoxes(const std::optional<FoundBox>& left) const {
    std::vector<FoundBox> listed;
    const auto add = [&listed](const FoundBox& box) {
        const auto isSame = [&box](const FoundBox& other) {
            return (!box.udn.empty() && box.udn == other.udn) ||
                   (box.host == other.host && box.port == other.port);
        };
        if (std::ranges::none_of(listed, isSame))
            listed.push_back(box);
    };
    for (const FoundBox& box : m_found)
        add(box);
    for (const FoundBox& box : m_known.Boxes())
        if (!left || !(box == *left))
            add(box);
    return listed;
}

// Until the user chooses a Box that answers, or gives up. A Box the running
// search found has answered; any other is checked first.
std::optional<CBoxProbe::Result> CVellumoCore::chooseFromList(const std::vector<FoundBox>& boxes) {
    for (;;) {
        m_isListing = true;
        const BoxListChoice choice = m_host->ChooseBox(boxes);
        m_isListing = false;
        if (m_isEnding)
            return std::nullopt;
        std::optional<CBoxProbe::Result> chosen;
        if (choice.box) {
            const std::vector<FoundBox>& found = m_search.Found();
            if (std::ranges::find(found, *choice.box) != found.end())
                return answeredBySearch(*choice.box);
            chosen = check(*choice.box);
        } else if (choice.isAddByAddress) {
            chosen = askForAddress();
        } else {
            return std::nullopt;
        }
        if (chosen || m_isEnding)
            return chosen;
    }
}

// The address entry until an address answers or the user cancels; each
// failure says why, then the entry shows again with the text given.
std::optional<CBoxProbe::Result> CVellumoCore::askForAddress() {
    QString given;
    for (;;) {
        const std::optional<QString> typed =
            m_host->AskBoxAddress(text(kStringAddressPrompt), given);
        if (!typed || m_isEnding)
            return std::nullopt;
        given = *typed;
        const std::optional<HostAndPort> address = ParseHostAndPort(given.toStdString());
        if (!address) {
            m_host->ShowNotice(
                text(CStringTable::kErrorTitle),
                text(kStringNotAnAddress).replace(QStringLiteral("%S"), given.trimmed()));
            continue;
        }
        FoundBox given;
        given.host = address->host;
        given.port = address->port;
        if (auto checked = check(given))
            return checked;
        if (m_isEnding)
            return std::nullopt;
    }
}

// The check behind the waiting message; a failure says what happened. A
// device that answers with another UDN than the one remembered is a new
// Box, taken as such.
std::optional<CBoxProbe::Result> CVellumoCore::check(const FoundBox& box) {
    const QString address = QString::fromStdString(HostAndPortText(box.host, box.port));
    m_probeResult.reset();
    m_probe.Start(box);
    m_isProbeWaited = true;
    ++m_waitingRun;
    m_host->RunWaitingMessage(text(kStringChecking).replace(QStringLiteral("%S"), address));
    m_isProbeWaited = false;
    m_probe.Stop();
    const std::optional<CBoxProbe::Result> result = std::exchange(m_probeResult, std::nullopt);
    if (m_isEnding || !result)
        return std::nullopt;
    switch (result->outcome) {
    case CBoxProbe::Outcome::Answered:
    case CBoxProbe::Outcome::OtherDevice:
        return result;
    case CBoxProbe::Outcome::NotResolved:
        m_host->ShowNotice(text(CStringTable::kErrorTitle),
                           text(kStringNotResolved)
                               .replace(QStringLiteral("%S"), QString::fromStdString(box.host)));
        return std::nullopt;
    case CBoxProbe::Outcome::NoAnswer:
        m_host->ShowNotice(text(CStringTable::kErrorTitle),
                           text(kStringNoAnswer).replace(QStringLiteral("%S"), address));
        return std::nullopt;
    }
    return std::nullopt;
}

// A found renderer whose command port takes a link after all is a Box; the
// check says nothing when it is not.
CBoxProbe::Result CVellumoCore::answeredBySearch(const FoundBox& device) {
    CBoxProbe::Result answered{CBoxProbe::Outcome::Answered, device, device.host};
    if (device.kind != DeviceKind::Renderer)
        return answered;
    m_probeResult.reset();
    m_probe.Start(device);
    QEventLoop wait;
    m_probeWait = &wait;
    if (m_probe.IsRunning())
        wait.exec();
    m_probeWait = nullptr;
    m_probe.Stop();
    const std::optional<CBoxProbe::Result> result = std::exchange(m_probeResult, std::nullopt);
    if (result && result->outcome == CBoxProbe::Outcome::Answered) {
        DebugPrint("CVellumoCore: %s answers on its command port: a Box\n", device.host.c_str());
        answered.box.kind = DeviceKind::Box;
    }
    return answered;
}

void CVellumoCore::onProbeFinished(const CBoxProbe::Result& result) {
    m_probeResult = result;
    if (m_probeWait != nullptr)
        m_probeWait->quit();
    const bool isAnswer = result.outcome == CBoxProbe::Outcome::Answered;
    // The check alone ends the wait, or an answer ends the wait for the
    // search too.
    if (m_host != nullptr && m_isProbeWaited && (!m_isSearchWaited || isAnswer))
        m_host->EndWaitingMessage();
}

// Once a Box is chosen, the first time.
void CVellumoCore::prepareForBox() {
    if (m_isPrepared)
        return;
    m_isPrepared = true;
    const DmpVellumoApi& api = GetDmpVellumoApi();
    if (api.InstallCBTHook != nullptr)
        api.InstallCBTHook(api.module);
    WlanUtil& wlan = WlanUtil::Instance();
    if (wlan.Start())
        wlan.FindConnectedInterface();
}

void CVellumoCore::useBox(const CBoxProbe::Result& chosen) {
    if (m_session) {
        // What plays on the Box in use ends first: each link disconnects.
        m_desktop.reset();
        m_session->EndAll();
        m_session.reset();
        m_host->ShowMainWindow(CPlaybackHost::ShowHow::Normal);
        m_host->SetDropsAccepted(true);
    }
    m_box = chosen.box;
    m_boxAddress = QString::fromStdString(chosen.address).toStdWString();
    startPlayback();
    // A renderer is found again by the search; the remembered ones are
    // checked as Boxes.
    if (m_box.kind == DeviceKind::Box)
        m_known.Remember(m_box);
    const int caption =
        m_box.kind == DeviceKind::Renderer ? kStringRendererCaption : kStringBoxCaption;
    m_host->ShowChosenBox(text(caption).replace(QStringLiteral("%S"), boxName()));
}

QString CVellumoCore::boxName() const {
    return QString::fromStdString(m_box.friendlyName.empty() ? m_box.host : m_box.friendlyName);
}

void CVellumoCore::RunUpgrade() {
    if (m_box.kind == DeviceKind::Renderer) {
        m_host->ShowNotice(text(CStringTable::kErrorTitle),
                           text(kStringRendererNoUpgrade).replace(QStringLiteral("%S"), boxName()));
        return;
    }
    m_upgrade.Run();
}

void CVellumoCore::SwitchBox() {
    if (m_host == nullptr || m_isSwitching || m_isListing || !m_session)
        return;
    m_isSwitching = true;
    // A new search: what it finds joins the list while it shows.
    if (!m_search.IsRunning())
        m_search.Start();
    std::optional<CBoxProbe::Result> chosen = chooseFromList(listedBoxes(std::nullopt));
    m_search.Stop();
    if (chosen && !m_isEnding &&
        (chosen->address != QString::fromStdWString(m_boxAddress).toStdString() ||
         chosen->box.port != m_box.port))
        useBox(*chosen);
    m_isSwitching = false;
}

void CVellumoCore::startPlayback() {
    if (m_box.kind == DeviceKind::Renderer)
        m_session.emplace(GetRendererApi(), *m_statusWindow, static_cast<CPlaybackHost&>(*this),
                          PlayTarget{QString::fromStdString(m_box.location).toStdWString(), 0,
                                     m_host->LibraryWindow(), true,
                                     [this](DmpVellumoInfo* instance, int32_t error) {
                                         return RendererErrorText(instance, error, boxName());
                                     }},
                          boxName());
    else
        m_session.emplace(GetDmpVellumoApi(), *m_statusWindow, static_cast<CPlaybackHost&>(*this),
                          PlayTarget{m_boxAddress, m_box.port, m_host->LibraryWindow()}, boxName());
    m_desktop.emplace(*m_session);
}

void CVellumoCore::onBoxFound(const QString& host, const QString&) {
    const std::vector<FoundBox>& found = m_search.Found();
    const auto box = std::ranges::find(found, host.toStdString(), &FoundBox::host);
    if (box != found.end()) {
        std::erase_if(m_found, [&](const FoundBox& known) { return known.host == box->host; });
        m_found.push_back(*box);
        if (m_isListing)
            m_host->AddListedBox(*box);
    }
    if (!m_isSearchWaited)
        return;
    QString body = text(kStringFoundDevice);
    body.replace(QStringLiteral("%S"), host);
    m_host->SetWaitingMessage(body);
}

// The last word stays readable a moment before the waiting box goes.
void CVellumoCore::onSearchEnded(const QString& body, int delayMs) {
    if (!m_isSearchWaited)
        return;
    m_host->SetWaitingMessage(body);
    QTimer::singleShot(delayMs, this, [this, run = m_waitingRun] {
        if (m_host != nullptr && m_isSearchWaited && run == m_waitingRun)
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
    walk({LocalPathsFromUrls(urls), false, poolMask, placement, false});
}

void CVellumoCore::PlayDropOnPlayControl(const QList<QUrl>& urls, Placement placement) {
    if (m_session)
        PlayDrop(urls, m_session->PlayControlPoolMask(), placement);
}

void CVellumoCore::PlayChosen(const QStringList& paths, uint32_t poolMask, Placement placement) {
    if (!m_session || poolMask == 0)
        return;
    walk({localPaths(paths), false, poolMask, placement, true});
}

uint32_t CVellumoCore::PlayControlPoolMask() const {
    return m_session ? m_session->PlayControlPoolMask() : kPhotoMusicPoolMask;
}

void CVellumoCore::playOpened(const QStringList& paths) {
    if (m_session)
        walk({localPaths(paths), true, 0, Placement::Queue, false});
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
    else if (m_session->Play(files, job.poolMask, job.placement) ==
                 PlayRequestOutcome::NothingToPlay &&
             job.isChosen)
        ShowMessage(text(kStringInvalidFiles));
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
    const bool isOpen =
        m_box.presentationUrl.empty()
            ? m_remote->Open(QString::fromStdWString(m_boxAddress), frame.y(), left)
            : m_remote->OpenPage(QUrl(QString::fromStdString(m_box.presentationUrl)), frame.y(),
                                 left);
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
