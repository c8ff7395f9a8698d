#pragma once

#include "CProgressWindow.h"
#include "dmp_vellumo.h"

#include <memory>
#include <optional>
#include <string>

class CDmpInstances;

// What the firmware upgrade asks of the application around it: the Box and
// its instances, and the windows. User-interface thread.
class CUpgradeHost {
public:
    // The PC's IPv4 address on the Box's network, or nothing.
    virtual std::optional<std::string> FindLocalAddress() const = 0;
    virtual const std::wstring& BoxAddress() const = 0;
    // A progress window, owned by the main window or by none (the download's
    // shows while the main window is hidden).
    enum class Owner { MainWindow, None };
    virtual std::unique_ptr<CProgressWindow> MakeProgressWindow(Owner owner) = 0;
    // A one-button message of the string table's title and body (-1 for
    // none), run modally.
    virtual void ShowNotice(int titleId, int bodyId) = 0;
    // The same with name (a path, UTF-8) in place of the body's "%S".
    virtual void ShowNoticeAbout(int titleId, int bodyId, const std::string& name) = 0;
    // A two-button question of that body, run modally: true for the first
    // button.
    virtual bool Ask(int bodyId) = 0;
    // Runs the main window's waiting message in the busy style with this
    // body until the main window ends it (the last instance has closed).
    virtual void RunWaitingMessage(int bodyId) = 0;
    virtual void HideMainWindow() = 0;
    virtual void ShowMainWindow() = 0;
    // The list of open library instances; null while there is none (no Box
    // chosen yet).
    virtual CDmpInstances* Instances() = 0;
    // Where the upgrade instance posts its notifications: the main window's
    // message map, which hands 2028 and 2029 to the playback session.
    virtual DmpHostWindow* LibraryWindow() = 0;
    // Queues the main window's close request.
    virtual void PostClose() = 0;

protected:
    ~CUpgradeHost() = default;
};
