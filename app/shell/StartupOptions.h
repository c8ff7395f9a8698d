#pragma once

#include <string>
#include <vector>

// What a process start does, decided from its arguments (without the
// program name).
enum class StartupMode {
    Normal,
    CloseFirewall, // adds the firewall exceptions and quits; no window
    Upgrade,       // recognised; starts like Normal
    OpenFirewall,  // recognised; starts like Normal
};

// The desktop-integration switches, introduced by "/" or "-" in any letter
// case. Another part of the program acts on them; they are only parsed here.
enum class FrameworkCommand {
    None,
    Embedding,  // "Embedding": serve remote-control clients without a window
    Automation, // "Automation": the same, started by an automation client
    Register,   // "Register", "Regserver" and their "PerUser" forms
    Unregister, // "Unregister", "Unregserver" and their "PerUser" forms
};

struct StartupOptions {
    StartupMode mode = StartupMode::Normal;
    FrameworkCommand frameworkCommand = FrameworkCommand::None; // the last switch given
    bool isPerUser = false; // the framework command came in its "PerUser" form
    // "--iface IF" or "--iface=IF", repeatable: the only interfaces the box
    // search uses. Empty: every interface that is up with an IPv4 address,
    // loopback excluded.
    std::vector<std::string> searchInterfaces;
    // Arguments that are not "--iface" options, in order.
    std::vector<std::string> arguments;

    // Only a start that is neither the firewall run nor a framework command
    // opens the main window.
    bool OpensMainWindow() const {
        return mode != StartupMode::CloseFirewall && frameworkCommand == FrameworkCommand::None;
    }
    // The arguments that name files to play: those of a normal start that
    // opens the main window, options ("-...") left out (traced).
    std::vector<std::string> FileArguments() const;
};

// The "--iface" options are taken out first; the mode is then decided from
// the rest: exactly one argument, compared without regard to case with
// "-closefirewall", "-upgrade" and "-openfirewall"; anything else is Normal.
// A "--iface" without a name is traced and ignored.
StartupOptions ParseStartupOptions(const std::vector<std::string>& arguments);
