#pragma once

#include "FirewallProfile.h"

#include <string>
#include <vector>

// What the check at the main window's opening found.
struct FirewallCheck {
    FirewallResult result = kFirewallOk; // of reading the firewall
    bool isFirewallOn = false;
    bool isUpnpTcpOpen = false;
    bool isUpnpUdpOpen = false;
    bool isAppAuthorized = false;

    // The creation run is needed only when the firewall is on and an
    // exception is missing; a firewall that cannot be read is left alone.
    bool NeedsCreationRun() const {
        return isFirewallOn && !(isUpnpTcpOpen && isUpnpUdpOpen && isAppAuthorized);
    }
};

// The full path of the running executable; empty (traced) when unknown.
std::string RunningExecutablePath();

// The check of the main window's opening: reads the three exceptions when
// the firewall is on. A failed query counts as a missing exception.
FirewallCheck CheckFirewallExceptions(const std::string& executablePath);

// The creation run of "-closefirewall": adds whatever exception is missing.
// Every step runs even when an earlier one failed; returns the first failure.
FirewallResult CreateFirewallExceptions(const std::string& executablePath);

// The command line that runs the creation run with administrator rights.
std::vector<std::string> ElevatedCreationCommand(const std::string& executablePath);

enum class ElevationOutcome { Done, Refused, Failed };
// Runs ElevatedCreationCommand and waits for it: the elevation prompt decides
// whether the application may go on. Blocks; call it off the UI thread.
ElevationOutcome RunElevatedCreation(const std::string& executablePath);
