#pragma once

#include <string>
#include <string_view>
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

// What the command line asks before anything starts. "--help" and
// "--version" are answered on the terminal, without a display or a bus, and
// only when they stand alone.
enum class StartupRequest {
    Start,
    Help,
    Version,
    UsageError, // an unknown option, or "--help" or "--version" among other arguments
};

struct StartupOptions {
    StartupRequest request = StartupRequest::Start;
    std::string usageError; // what was wrong, for a UsageError
    StartupMode mode = StartupMode::Normal;
    FrameworkCommand frameworkCommand = FrameworkCommand::None; // the last switch given
    bool isPerUser = false; // the framework command came in its "PerUser" form
    // "--iface IF" or "--iface=IF", repeatable: the only interfaces the box
    // search uses. Empty: every interface that is up with an IPv4 address,
    // loopback excluded.
    std::vector<std::string> searchInterfaces;
    // Arguments that are not "--iface" options, in order: the mode words, the
    // framework switches and the files to play.
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
// A "--iface" without a name is traced and ignored. Any other argument that
// starts with "-" and is neither a mode word nor a framework switch is an
// unknown option.
StartupOptions ParseStartupOptions(const std::vector<std::string>& arguments);

// What "--help" prints.
std::string StartupUsage();

// Answers a request other than Start: the usage or "vellumo VERSION" on
// standard output, or the error and the usage on standard error. Returns the
// exit code: 0; 1 when version is empty (the executable carries no version
// record); 2 for a usage error.
int AnswerStartupRequest(const StartupOptions& options, std::string_view version);
