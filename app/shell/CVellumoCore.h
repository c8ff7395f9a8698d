#pragma once

#include "CBackgroundCall.h"
#include "CBoxSearch.h"
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
// Folders dropped or opened are walked off this thread, one walk at a time
// and bounded as CFileCollector is; a walk that takes long shows its
// progress. At most one message of a kind is on screen (CNoticeGate).
class CVellumoCore : public QObject, private CPlaybackHost, private CUpgradeHost {
public:
    static constexpr int kBoxPort = 7171;
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
    // The PC's IPv4 address on the Box's network, or nothing.
    std::optional<std::string> FindLocalAddress() const override;
    // Null until a Box has been chosen.
    CPlaybackSession* Session() { return m_session ? &*m_session : nullptr; }
    CFirmwareUpgrade& Upgrade() { return m_upgrade; }
    CFileHandOver& HandOver() { return m_handOver; }
    CDesktopIntegration* Desktop() { return m_desktop ? &*m_desktop : nullptr; }

    // Files dropped on a pool (kPhotoMusicPoolMask or kVideoPoolMask): local
    // "file:" addresses only, folders walked; they play once the walk has
    // ended. Nothing before a Box has been chosen.
    void PlayDrop(const QList<QUrl>& urls, uint32_t poolMask, Placement placement);
    // Files dropped on the status window's play control, on the pool its
    // types select.
    void PlayDropOnPlayControl(const QList<QUrl>& urls, Placement placement);

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
    std::wstring m_boxAddress;
    QString m_boxName; // the chosen Box's friendly name
    CFileHandOver m_handOver;
    std::unique_ptr<CRemoteControl> m_remote; // made on the first opening of the setup page
    QUrl m_setupPage;                         // the chosen Box's own, or empty
    CFirmwareUpgrade m_upgrade{*this};
    std::optional<CPlaybackSession> m_session;
    // After the session: it stops following it before the session ends, and
    // drops the sleep lock before the instances are gone.
    std::optional<CDesktopIntegration> m_desktop;
};
