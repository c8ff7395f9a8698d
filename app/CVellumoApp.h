#pragma once

#include "shell/StartupOptions.h"
#include "update/CSingleInstanceLock.h"

#include <string>
#include <vector>

// The application object: decides what a process start does and runs it.
// "-closefirewall" alone adds the firewall exceptions and quits without any
// window (and without a display: the elevated run has none); a second start
// while an instance runs hands it its files and quits without a window,
// saying so on standard error; otherwise the main window runs until it
// closes, and the process ends with it.
class CVellumoApp {
public:
    // argc and argv as main() has them; Qt may read and change them.
    int Run(int& argc, char** argv);

    // The firewall run: every step runs and traces its failure; the process
    // ends normally whatever happened.
    static int RunFirewallCreation();

private:
    int runMainWindow(int& argc, char** argv);
    // A second start: hands its files to the running instance, if it has
    // any, brings back the window of what it plays, and quits.
    int handOverFiles(int& argc, char** argv);

    StartupOptions m_options;
    // Held while the main window runs: the mark of the running instance.
    CSingleInstanceLock m_instanceLock;
};
