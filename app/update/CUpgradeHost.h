#pragma once

#include "dmp_vellumo.h"

#include <optional>
#include <string>

class CDmpInstances;
class QWidget;

// What the firmware upgrade asks of the main window. User-interface thread.
class CUpgradeHost {
public:
    // The PC's IPv4 address on the Box's network, or nothing.
    virtual std::optional<std::string> FindLocalAddress() const = 0;
    virtual const std::wstring& BoxAddress() const = 0;
    // The owner of the upgrade's progress window.
    virtual QWidget* MainWindow() = 0;
    // Runs a message box modally: a CMessageDialog style, title and body
    // string numbers (-1 for none). Returns which button ended it
    // (CMessageDialog::ButtonResult).
    virtual int ShowMessageBox(int style, int titleId, int bodyId) = 0;
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
