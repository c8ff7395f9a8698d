#include "StartupOptions.h"

#include "DebugPrint.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

namespace {

constexpr std::string_view kInterfaceOption = "--iface";
constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

struct ModeWord {
    std::string_view word;
    StartupMode mode;
};

constexpr ModeWord kModeWords[] = {
    {"-closefirewall", StartupMode::CloseFirewall},
    {"-upgrade", StartupMode::Upgrade},
    {"-openfirewall", StartupMode::OpenFirewall},
};

std::optional<StartupMode> modeWordOf(std::string_view argument) {
    for (const ModeWord& candidate : kModeWords)
        if (equalsIgnoringCase(argument, candidate.word))
            return candidate.mode;
    return std::nullopt;
}

StartupMode modeOf(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1)
        return StartupMode::Normal;
    return modeWordOf(arguments.front()).value_or(StartupMode::Normal);
}

struct SwitchName {
    std::string_view name;
    FrameworkCommand command;
    bool isPerUser;
};

constexpr SwitchName kSwitches[] = {
    {"Embedding", FrameworkCommand::Embedding, false},
    {"Automation", FrameworkCommand::Automation, false},
    {"Register", FrameworkCommand::Register, false},
    {"Regserver", FrameworkCommand::Register, false},
    {"RegisterPerUser", FrameworkCommand::Register, true},
    {"RegserverPerUser", FrameworkCommand::Register, true},
    {"Unregister", FrameworkCommand::Unregister, false},
    {"Unregserver", FrameworkCommand::Unregister, false},
    {"UnregisterPerUser", FrameworkCommand::Unregister, true},
    {"UnregserverPerUser", FrameworkCommand::Unregister, true},
};

// True when argument is a framework switch.
bool readFrameworkSwitch(std::string_view argument, StartupOptions& options) {
    if (argument.size() < 2 || (argument.front() != '/' && argument.front() != '-'))
        return false;
    for (const SwitchName& candidate : kSwitches)
        if (equalsIgnoringCase(argument.substr(1), candidate.name)) {
            options.frameworkCommand = candidate.command;
            options.isPerUser = candidate.isPerUser;
            return true;
        }
    return false;
}

StartupRequest requestOf(const StartupOptions& options, std::string_view infoOption,
                         std::size_t argumentCount) {
    if (!options.usageError.empty())
        return StartupRequest::UsageError;
    if (infoOption.empty())
        return StartupRequest::Start;
    if (argumentCount != 1)
        return StartupRequest::UsageError;
    return infoOption == kHelpOption ? StartupRequest::Help : StartupRequest::Version;
}

} // namespace

StartupOptions ParseStartupOptions(const std::vector<std::string>& arguments) {
    StartupOptions options;
    std::string_view infoOption; // the first "--help" or "--version"
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == kInterfaceOption) {
            if (i + 1 < arguments.size())
                options.searchInterfaces.push_back(arguments[++i]);
            else
                DebugPrint("ParseStartupOptions(): --iface without an interface name\n");
            continue;
        }
        if (argument.starts_with(kInterfaceOption) && argument[kInterfaceOption.size()] == '=') {
            const std::string_view name = argument.substr(kInterfaceOption.size() + 1);
            if (!name.empty())
                options.searchInterfaces.emplace_back(name);
            else
                DebugPrint("ParseStartupOptions(): --iface without an interface name\n");
            continue;
        }
        if (argument == kHelpOption || argument == kVersionOption) {
            if (infoOption.empty())
                infoOption = argument;
            continue;
        }
        const bool isSwitch = readFrameworkSwitch(argument, options);
        if (!isSwitch && argument.starts_with('-') && !modeWordOf(argument)) {
            if (options.usageError.empty())
                options.usageError = "unknown option '" + std::string(argument) + "'";
            continue;
        }
        options.arguments.emplace_back(argument);
    }
    options.mode = modeOf(options.arguments);
    options.request = requestOf(options, infoOption, arguments.size());
    if (options.request == StartupRequest::UsageError && options.usageError.empty())
        options.usageError = std::string(infoOption) + " takes no other arguments";
    return options;
}

std::string StartupUsage() {
    return "usage: vellumo [--iface IF]... [-closefirewall | -upgrade | -openfirewall] [FILE...]\n"
           "       vellumo --help | --version\n"
           "\n"
           "Plays the PC's photos, music and videos on the Box: drop files or folders\n"
           "on its window, or name them as FILEs.\n"
           "\n"
           "  --iface IF       search for Boxes on interface IF only (repeatable);\n"
           "                   without it, every interface that is up with an IPv4\n"
           "                   address, loopback excluded\n"
           "  -closefirewall   as the only argument: add the firewall exceptions and\n"
           "                   quit without a window\n"
           "  -upgrade, -openfirewall\n"
           "                   as the only argument: start as without arguments\n"
           "  --help           print this help and quit\n"
           "  --version        print the version and quit\n"
           "\n"
           "One instance runs per user: a second start hands its FILEs to the running\n"
           "one and quits. The session bus starts vellumo with -Embedding for its\n"
           "remote-control object; -Register and -Unregister add and remove the\n"
           "user's service file for it.\n"
           "\n"
           "exit codes: 0 ok, 1 no version record, 2 usage error\n";
}

int AnswerStartupRequest(const StartupOptions& options, std::string_view version) {
    switch (options.request) {
    case StartupRequest::Help:
        std::fputs(StartupUsage().c_str(), stdout);
        return 0;
    case StartupRequest::Version:
        if (version.empty()) {
            std::fputs("vellumo: this executable carries no version record; reinstall vellumo\n",
                       stderr);
            return 1;
        }
        std::printf("vellumo %.*s\n", static_cast<int>(version.size()), version.data());
        return 0;
    case StartupRequest::UsageError:
        std::fprintf(stderr, "vellumo: %s\n%s", options.usageError.c_str(), StartupUsage().c_str());
        return 2;
    case StartupRequest::Start:
        break;
    }
    return 0;
}

std::vector<std::string> StartupOptions::FileArguments() const {
    std::vector<std::string> files;
    if (mode != StartupMode::Normal || !OpensMainWindow())
        return files;
    for (const std::string& argument : arguments) {
        if (argument.empty() || argument.front() == '-')
            DebugPrint("StartupOptions: '%s' is not a file, left out\n", argument.c_str());
        else
            files.push_back(argument);
    }
    return files;
}
