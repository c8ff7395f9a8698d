#pragma once

#include "PrivateBus.h"

#include <QProcess>

#include <vector>

// python3-dbusmock's logind on a private bus, in the place of the system
// bus, and the inhibitor locks it holds.
class LogindStandIn {
public:
    struct Inhibitor {
        QString what, who, why, mode;
    };

    explicit LogindStandIn(PrivateBus& bus);
    ~LogindStandIn();
    LogindStandIn(const LogindStandIn&) = delete;
    LogindStandIn& operator=(const LogindStandIn&) = delete;

    bool IsRunning() const { return m_isRunning; }
    std::vector<Inhibitor> Inhibitors();

private:
    QDBusConnection m_observer;
    QProcess m_process;
    bool m_isRunning = false;
};
