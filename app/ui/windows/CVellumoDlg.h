#pragma once

#include "CBackgroundCall.h"
#include "CBoxSearch.h"
#include "CDesktopIntegration.h"
#include "CFirmwareUpgrade.h"
#include "CGdiPlusBitmapResource.h"
#include "CListDialog.h"
#include "CMessageDialog.h"
#include "CMessagePort.h"
#include "CPlayRequest.h"
#include "CPlayStatusDialog.h"
#include "CPlaybackHost.h"
#include "CPlaybackSession.h"
#include "CRemoteControl.h"
#include "CStringTable.h"
#include "CUpgradeHost.h"
#include "MessageLayer.h"
#include "StartupOptions.h"

#include <QBasicTimer>
#include <QList>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class CGdipButton;
class QEventLoop;

// The main window: finds the Box, shows the two media pools that take
// dropped files, checks that the Box still answers, and handles every
// numbered message of playback (CPlaybackSession). It runs modally
// (DoModal) on a loop of its own, so that it may hide while the status
// window shows and still be the application's life.
//
// Numbered messages it takes (MessageLayer.h): the library's 2024-2029,
// posted through LibraryWindow(); the panels' 3024-3035, 3124-3136,
// 3224-3229 and the status window's 4024/4025; WM_DROPFILES (0x233) sent by
// the play control with wParam pointing to the dropped QList<QUrl> (valid
// during the send), taken as a drop on the pool that the status window's
// types select, at the head when it landed on "Play Now".
class CVellumoDlg : public QWidget,
                    public CMessageHandler,
                    private CPlaybackHost,
                    private CPlayRequestReporter,
                    private CUpgradeHost {
public:
    static constexpr int kBoxPort = 7171;
    static constexpr int kReachabilityPeriodMs = 3000;
    static constexpr uint32_t kEndWaitingMessage = 5024;

    // The main window drives its play status window (CPlayStatusDialog)
    // through CStatusWindow and owns it. Its texts and those of its boxes
    // come from strings, which must outlive the window.
    explicit CVellumoDlg(const StartupOptions& options,
                         const CStringTable& strings = CStringTable::Get());
    ~CVellumoDlg() override;

    // Opens the window (checks, firewall, the search) and runs it until it
    // ends. Returns the end code: 2 (IDCANCEL) when the user gave up or the
    // window closed.
    int DoModal();
    void EndDialog(int code);
    // Puts up the pools, the corner buttons and the version line; DoModal
    // does so first, and nothing else is needed to draw the window.
    void LayoutControls();

    // Plays dropped files on a pool (kPhotoMusicPoolMask or kVideoPoolMask):
    // local "file:" addresses only, folders walked; the messages of a play
    // request are shown. Does nothing before a Box has been chosen.
    void PlayDrop(const QList<QUrl>& urls, uint32_t poolMask);

    // The PC's IPv4 address on the Box's network, for the firmware upgrade.
    std::optional<std::string> FindLocalAddress() const override;
    const std::wstring& BoxAddress() const override { return m_boxAddress; }
    // The window the library posts to: status refreshes of one instance and
    // kind are coalesced, at most one waits at a time.
    DmpHostWindow* LibraryWindow() override { return &m_libraryWindow; }
    // Null until a Box has been chosen.
    CPlaybackSession* Session() { return m_session ? &*m_session : nullptr; }

    // The media pools and the setup button, for tests and pictures.
    CGdipButton* photoMusicPool() const { return m_photoMusicPool; }
    CGdipButton* videoPool() const { return m_videoPool; }
    CGdipButton* remoteLinkButton() const { return m_remoteLinkButton; }
    CMessageDialog& waitingBox() { return m_waitingBox; }
    CPlayStatusDialog& statusWindow() { return *m_statusWindow; }
    CListDialog& deviceList() { return m_deviceList; }

    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool initialise();
    void checkFirewall();
    void onFirewallRunFinished(int outcome);
    bool SearchForBox();
    void onBoxFound(const QString& host, const QString& friendlyName);
    void onSearchEnded(const QString& body, int delayMs);
    bool askNoDevice();
    void openNetworkSettings();
    void CheckReachability();
    void onReachabilityFinished(int isReachable);
    void endAll();

    uint32_t poolAt(const QPoint& position) const;
    void showOneButtonBox(const QString& title, const QString& body);
    void ShowMessage(const QString& text) override;

    void HideMainWindow() override;
    void ShowMainWindow(ShowHow how) override;
    void MinimizeMainWindow() override;
    void SetDropsAccepted(bool isAccepted) override;
    void EndModalBoxes(int32_t linkError) override;

    QWidget* MainWindow() override { return this; }
    int ShowMessageBox(int style, int titleId, int bodyId) override;
    void RunWaitingMessage(int bodyId) override;
    void ShowMainWindow() override { show(); }
    CDmpInstances* Instances() override { return m_session ? &m_session->Instances() : nullptr; }
    void PostClose() override;
    void openRemotePage();

    static void postFromLibrary(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam);

    const CStringTable& m_strings;
    std::vector<std::string> m_searchInterfaces;
    std::wstring m_boxAddress;
    QString m_versionText;
    CGdiPlusBitmapResource m_background;

    CGdipButton* m_photoMusicPool;
    CGdipButton* m_videoPool;
    CGdipButton* m_remoteLinkButton;
    CGdipButton* m_upgradeButton;

    // Without owner: it shows before the main window does.
    CMessageDialog m_waitingBox;
    CListDialog m_deviceList;
    CBoxSearch m_search;
    CBackgroundCall m_firewallRun{"firewall-run"};
    CBackgroundCall m_reachability{"reachability"};
    QBasicTimer m_reachabilityTimer;
    bool m_isNetworkSettingsOpened = false;
    bool m_isEnding = false;      // the elevation was refused: the application ends
    QEventLoop* m_loop = nullptr; // while DoModal runs
    int m_endCode = 2;
    // The time the opening spent waiting for the box search (every round of
    // it), traced with the showing of the window so that the start-up time
    // without it can be told.
    std::chrono::steady_clock::duration m_openingSearchTime{};

    // The port goes after the session: the instances end first, so that
    // nothing they post finds the port gone midway.
    CMessagePort m_port{this};
    DmpHostWindow m_libraryWindow{&CVellumoDlg::postFromLibrary, this};
    std::unique_ptr<CPlayStatusDialog> m_statusWindow;
    std::optional<CPlaybackSession> m_session;
    CFirmwareUpgrade m_upgrade{*this};
    std::unique_ptr<CRemoteControl> m_remote; // made on the first press of the setup button
    // Last: its media keys send to this window, and it drops the sleep lock
    // before the instances are gone.
    CDesktopIntegration m_desktop{this};
};
