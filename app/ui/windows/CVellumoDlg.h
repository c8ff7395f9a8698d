#pragma once

#include "CListDialog.h"
#include "CMediaChooser.h"
#include "CMessageDialog.h"
#include "CPlayStatusDialog.h"
#include "resources/CStringTable.h"
#include "shell/CShellHost.h"
#include "ui/controls/CGdiPlusBitmapResource.h"
#include "ui/controls/CMessagePort.h"
#include "ui/controls/MessageLayer.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class CGdipButton;
class CStaticEx;
class CVellumoCore;
class QAction;
class QEventLoop;

// The main window: the two media pools that take dropped files, the setup
// and upgrade buttons, the Box in use and the version line; the application
// core does the rest. It runs modally (DoModal) on a loop of its own, so that
// it may hide while the status window shows and still be the application's
// life.
//
// Without a mouse: a pool (and the status window's "Play Now" and "Queue
// It") activated by Enter, Space or a click opens the file chooser and plays
// the choice as a drop; its context menu (the menu key, Shift+F10) also
// offers a folder and the device list. Ctrl+O chooses photos and music;
// Ctrl+B, in either window, or a click on the Box's name opens the device
// list to switch Boxes.
//
// Numbered messages it takes (MessageLayer.h): the library's 2024-2029,
// posted through its port; the panels' 3024-3035, 3124-3136, 3224-3229 and
// the status window's 4024/4025; 5024, which ends the waiting box.
class CVellumoDlg : public QWidget, public CMessageHandler, private CShellHost {
public:
    static constexpr uint32_t kEndWaitingMessage = 5024;

    // core: what the window's handlers call; it drives this window and its
    // status window (owned here) until the window goes. The texts come from
    // strings, which must outlive the window.
    explicit CVellumoDlg(CVellumoCore& core, const CStringTable& strings = CStringTable::Get());
    ~CVellumoDlg() override;

    // Opens the window (the core's opening first) and runs it until it
    // ends. Returns the end code: 2 (IDCANCEL) when the user gave up or the
    // window closed.
    int DoModal();
    void EndDialog(int code);
    // Puts up the pools, the corner buttons and the version line; DoModal
    // does so first, and nothing else is needed to draw the window.
    void LayoutControls();

    // The media pools and the setup button, for tests and pictures.
    CGdipButton* photoMusicPool() const { return m_photoMusicPool; }
    CGdipButton* videoPool() const { return m_videoPool; }
    CGdipButton* remoteLinkButton() const { return m_remoteLinkButton; }
    CGdipButton* boxButton() const { return m_boxButton; }
    // Null while no waiting message runs.
    CMessageDialog* waitingBox() { return m_waitingBox.get(); }
    CPlayStatusDialog& statusWindow() { return *m_statusWindow; }
    CListDialog& deviceList() { return m_deviceList; }

    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    // The Box in use, as the window names it (also for pictures).
    void ShowChosenBox(const QString& caption) override;
    // Where the library posts to this window's message map.
    DmpHostWindow* LibraryWindow() override { return m_port.HostWindow(); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    uint32_t poolAt(const QPoint& position) const;
    // The window that shows: the main window or, while media plays, the
    // status window; null before either shows.
    QWidget* messageOwner();
    // The chooser for a pool, its choice played there.
    void choose(uint32_t poolMask, bool isFolder, Placement placement);
    // The chooser's entries of a drop target's context menu, and the
    // device list's.
    void addChooseActions(QWidget* target, std::function<uint32_t()> poolMask, Placement placement);

    // CShellHost
    void RunWaitingMessage(const QString& body) override;
    void SetWaitingMessage(const QString& body) override;
    bool IsWaitingMessageShown() const override {
        return m_waitingBox && m_waitingBox->isVisible();
    }
    void EndWaitingMessage() override;
    BoxListChoice ChooseBox(const std::vector<FoundBox>& boxes) override;
    void AddListedBox(const FoundBox& box) override;
    std::optional<QString> AskBoxAddress(const QString& prompt, const QString& previous) override;
    void ShowNotice(const QString& title, const QString& body) override;
    bool Ask(const QString& title, const QString& body, const QString& firstCaption,
             const QString& secondCaption) override;
    std::unique_ptr<CProgressWindow> MakeProgressWindow(CUpgradeHost::Owner owner) override;
    void ShowLastingNotice(CPlaybackHost::Notice kind, const QString& body, const QString& button,
                           std::function<void()> onClosed) override;
    void EndLastingNotice(CPlaybackHost::Notice kind) override;
    void ShowProgressNote(const QString& body) override;
    void EndProgressNote() override;
    bool IsMainWindowVisible() const override { return isVisible(); }
    void SetMainWindowEnabled(bool isEnabled) override { setEnabled(isEnabled); }
    void HideMainWindow() override { hide(); }
    void ShowMainWindow(CPlaybackHost::ShowHow how) override;
    void MinimizeMainWindow() override { showMinimized(); }
    void SetDropsAccepted(bool isAccepted) override { setAcceptDrops(isAccepted); }
    QRect MainWindowFrame() const override { return frameGeometry(); }
    QRect DesktopArea() const override;
    void PostClose() override;
    void EndApplication() override;

    CVellumoCore& m_core;
    const CStringTable& m_strings;
    CGdiPlusBitmapResource m_background;

    CGdipButton* m_photoMusicPool;
    CGdipButton* m_videoPool;
    CGdipButton* m_remoteLinkButton;
    CGdipButton* m_upgradeButton;
    CGdipButton* m_boxButton; // the Box in use; opens the device list
    CStaticEx* m_versionLabel;
    QAction* m_chooseBoxAction;
    CMediaChooser m_chooser;

    // Without owner: it shows before the main window does. Made for each
    // run, so that a closed one is gone for assistive technologies too.
    std::unique_ptr<CMessageDialog> m_waitingBox;
    CListDialog m_deviceList;
    // Children of the window they were first shown over, which frees them.
    std::map<CPlaybackHost::Notice, QPointer<CMessageDialog>> m_lastingNotices;
    // The Boxes of the device list while it shows, by the list's keys.
    std::map<std::string, FoundBox> m_listedBoxes;
    QPointer<CMessageDialog> m_progressNote; // never modal; freed once it ends
    QEventLoop* m_loop = nullptr;            // while DoModal runs
    int m_endCode = IDCANCEL;

    // The port outlives the core's use of this window: the destructor ends
    // every instance first, so that nothing they post finds it gone midway.
    CMessagePort m_port{this};
    std::unique_ptr<CPlayStatusDialog> m_statusWindow;
};
