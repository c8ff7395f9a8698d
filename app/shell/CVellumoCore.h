#pragma once

#include "CBackgroundCall.h"
#include "CBoxProbe.h"
#include "CBoxSearch.h"
#include "CKnownBoxes.h"
#include "CNoticeGate.h"
#include "StartupOptions.h"
#include "desktop/CDesktopIntegration.h"
#include "desktop/CFileHandOver.h"
#include "playback/CPlayRequest.h"
#include "playback/CPlaybackHost.h"
#include "playback/CPlaybackSession.h"
#include "remote/CRemoteControl.h"
#include "resources/CStringTable.h"
#include "update/CFirmwareUpgrade.h"
#include "update/CUpgradeHost.h"

#include <QBasicTimer>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CShellHost;
class CStatusWindow;

// The application without its windows: the opening (companion check,
// firewall step, the search for a Box and its choice), the check that the
// chosen Box still answers, playback of what is dropped or opened, the
// firmware upgrade and the setup page. The windows reach it through typed
// calls and it reaches them through CShellHost. User-interface thread only.
//
// The Boxes used or added by address are remembered (CKnownBoxes). At the
// opening the last one is checked directly (CBoxProbe) while the search
// runs: when it answers the main window opens at once and the search goes
// on, its Boxes joining the device list; the wait for the search's end
// stays only when it does not. A search that finds nothing offers the
// remembered Boxes and "Add by address…" before it asks again.
//
// Folders dropped or opened are walked off this thread, one walk at a time
// and bounded as CFileCollector is; a walk that takes long shows its
// progress. At most one message of a kind is on screen (CNoticeGate).
class CVellumoCore : public QObject, private CPlaybackHost, private CUpgradeHost {
public:
    static constexpr int kReachabilityPeriodMs = 3000;

    // Files named on the command line, and those later starts hand over,
    // wait until a Box is chosen. The texts of its messages come from
    // strings, which must outlive the core.
    explicit CVellumoCore(const StartupOptions& options,
                          const CStringTable& strings = CStringTable::Get());
    ~CVellumoCore() override;

    // The windows it drives, until DetachWindows; both outlive that.
    void AttachWindows(CShellHost& host, CStatusWindow& statusWindow);
    // Every instance ends, and the windows are forgotten.
    void DetachWindows();

    // The opening: false when the application is to end instead of showing
    // the main window (a companion application runs, the firewall step was
    // refused, the user gave up the search).
    bool Open();
    // The time the opening spent waiting for the search, every round of it.
    std::chrono::steady_clock::duration OpeningSearchTime() const { return m_openingSearchTime; }

    const std::wstring& BoxAddress() const override { return m_boxAddress; }
    // The Box in use (host as remembered, a name or dotted IPv4); its port
    // and name. Empty host until one is chosen.
    const FoundBox& Box() const { return m_box; }
    const CKnownBoxes& KnownBoxes() const { return m_known; }
    const CBoxSearch& Search() const { return m_search; }
    // The PC's IPv4 address on the Box's network, or nothing.
    std::optional<std::string> FindLocalAddress() const override;
    // Null until a Box has been chosen.
    CPlaybackSession* Session() { return m_session ? &*m_session : nullptr; }
    CFirmwareUpgrade& Upgrade() { return m_upgrade; }
    // The upgrade of the Box in use; a TV or speaker is told it takes none.
    void RunUpgrade();
    CFileHandOver& HandOver() { return m_handOver; }
    CDesktopIntegration* Desktop() { return m_desktop ? &*m_desktop : nullptr; }

    // Files dropped on a pool (kPhotoMusicPoolMask or kVideoPoolMask): local
    // "file:" addresses only, folders walked; they play once the walk has
    // ended. Nothing before a Box has been chosen.
    void PlayDrop(const QList<QUrl>& urls, uint32_t poolMask, Placement placement);
    // Files dropped on the status window's play control, on the pool its
    // types select.
    void PlayDropOnPlayControl(const QList<QUrl>& urls, Placement placement);
    // Files and folders chosen for a pool: as a drop of the same paths,
    // except that a choice with nothing to play (a folder gone meanwhile)
    // says "Invalid files.".
    void PlayChosen(const QStringList& paths, uint32_t poolMask, Placement placement);
    // The pool the status window's play control takes files for.
    uint32_t PlayControlPoolMask() const;

    // The device list again, the search going on meanwhile: another Box
    // chosen ends what plays on this one, then plays on it.
    void SwitchBox();

    // The main window shows or hides: the reachability check runs while it
    // shows.
    void MainWindowShown();
    void MainWindowHidden();

    // The setup page beside the main window: the page the chosen Box's
    // description names, else its default one. A page that cannot be opened,
    // or that stops working, is told in a message.
    void OpenSetupPage();
    // Closing the main window or the end of the desktop session.
    void EndAll();

private:
    void checkFirewall();
    void onFirewallRunFinished(int outcome);
    bool searchForBox();
    std::optional<CBoxProbe::Result> checkWhileSearching(const FoundBox& remembered);
    void runSearchWait();
    std::vector<FoundBox> listedBoxes(const std::optional<FoundBox>& left) const;
    std::optional<CBoxProbe::Result> chooseFromList(const std::vector<FoundBox>& boxes);
    std::optional<CBoxProbe::Result> askForAddress();
    std::optional<CBoxProbe::Result> check(const FoundBox& box);
    CBoxProbe::Result answeredBySearch(const FoundBox& device);
    void onProbeFinished(const CBoxProbe::Result& result);
    void prepareForBox();
    void useBox(const CBoxProbe::Result& chosen);
    // The Box in use as messages name it: its friendly name, else its host.
    QString boxName() const;
    void onBoxFound(const QString& host, const QString& friendlyName);
    void onSearchEnded(const QString& body, int delayMs);
    void startPlayback();
    bool askNoDevice();
    void openNetworkSettings();
    void checkReachability();
    void onReachabilityFinished(int isReachable);
    void playOpened(const QStringList& paths);
    // What a walk plays once it has ended.
    struct WalkJob {
        std::vector<std::string> paths;
        bool isOpened; // files opened with the application; else a drop:
        uint32_t poolMask;
        Placement placement;
        bool isChosen; // in the file chooser: nothing to play is told
    };
    void walk(WalkJob job);
    void startWalk();
    void onWalkFinished();
    void showWalkProgress();
    void tellSetupPageFailure();
    void showNotice(const QString& title, const QString& body);
    void timerEvent(QTimerEvent* event) override;
    QString text(int id) const;

    // CPlaybackHost
    void HideMainWindow() override;
    void ShowMainWindow(ShowHow how) override;
    void MinimizeMainWindow() override;
    void SetDropsAccepted(bool isAccepted) override;
    void EndModalBoxes(int32_t linkError) override;
    void ShowMessage(const QString& text) override;
    void LinkReported(DmpVellumoInfo* instance, int32_t linkError) override;
    void ShowLastingNotice(Notice kind, const QString& body, const QString& button) override;
    void EndLastingNotice(Notice kind) override;
    // CUpgradeHost
    std::unique_ptr<CProgressWindow> MakeProgressWindow(Owner owner) override;
    void ShowNotice(int titleId, int bodyId) override;
    void ShowNoticeAbout(int titleId, int bodyId, const std::string& name) override;
    bool Ask(int bodyId) override;
    void RunWaitingMessage(int bodyId) override;
    void ShowMainWindow() override;
    CDmpInstances* Instances() override { return m_session ? &m_session->Instances() : nullptr; }
    DmpHostWindow* LibraryWindow() override;
    void PostClose() override;

    const CStringTable& m_strings;
    CNoticeGate m_notices;
    CShellHost* m_host = nullptr;
    CStatusWindow* m_statusWindow = nullptr;
    CBoxSearch m_search;
    CKnownBoxes m_known;
    CBoxProbe m_probe;
    std::optional<CBoxProbe::Result> m_probeResult; // the last check's, until taken
    QEventLoop* m_probeWait = nullptr;              // while the opening waits for the check alone
    bool m_isSearchWaited = false; // the waiting message shows until the search ends
    bool m_isProbeWaited = false;  // the waiting message shows until the check ends
    int m_waitingRun = 0;          // counts the waiting message's runs
    bool m_isListing = false;      // the device list shows
    bool m_isSwitching = false;
    bool m_isPrepared = false;     // the hook and the wireless monitor are up
    std::vector<FoundBox> m_found; // every Box any search found, by host
    CBackgroundCall m_firewallRun{"firewall-run"};
    CBackgroundCall m_reachability{"reachability"};
    // Walks waiting, the one under way first, and the paths they hold.
    std::deque<WalkJob> m_walkJobs;
    size_t m_walkedPaths = 0;
    QBasicTimer m_walkProgressTimer;
    bool m_isCutTold = false; // while a walk's files play
    // Shared with the walk's thread: set here, read there.
    std::atomic<bool> m_isWalkCancelled{false};
    // Written there, read here for the progress.
    std::atomic<size_t> m_walkFoundCount{0};
    // Written by the walk's thread before its end is queued; read here once
    // Finished is delivered.
    std::vector<std::wstring> m_walkedFiles;
    bool m_isWalkCut = false;
    // Joined before the fields its call writes go: declared after them.
    CBackgroundCall m_walk{"file-walk"};
    QBasicTimer m_reachabilityTimer;
    bool m_isNetworkSettingsOpened = false;
    bool m_isEnding = false; // the elevation was refused: the application ends
    std::chrono::steady_clock::duration m_openingSearchTime{};
    FoundBox m_box;
    std::wstring m_boxAddress; // the dotted IPv4 address m_box was reached at
    CFileHandOver m_handOver;
    std::unique_ptr<CRemoteControl> m_remote; // made on the first opening of the setup page
    CFirmwareUpgrade m_upgrade{*this};
    std::optional<CPlaybackSession> m_session;
    // After the session: it stops following it before the session ends, and
    // drops the sleep lock before the instances are gone.
    std::optional<CDesktopIntegration> m_desktop;
};
