#include "StartupOptions.h"

#include "DebugPrint.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr std::string_view kInterfaceOption = "--iface";

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

StartupMode modeOf(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1)
        return StartupMode::Normal;
    const std::string_view word = arguments.front();
    if (equalsIgnoringCase(word, "-closefirewall"))
        return StartupMode::CloseFirewall;
    if (equalsIgnoringCase(word, "-upgrade"))
        return StartupMode::Upgrade;
    if (equalsIgnoringCase(word, "-openfirewall"))
        return StartupMode::OpenFirewall;
    return StartupMode::Normal;
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

void readFrameworkSwitch(std::string_view argument, StartupOptions& options) {
    if (argument.size() < 2 || (argument.front() != '/' && argument.front() != '-'))
        return;
    for (const SwitchName& candidate : kSwitches)
        if (equalsIgnoringCase(argument.substr(1), candidate.name)) {
            options.frameworkCommand = candidate.command;
            options.isPerUser = candidate.isPerUser;
            return;
        }
}

} // namespace

StartupOptions ParseStartupOptions(const std::vector<std::string>& arguments) {
    StartupOptions options;
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
        options.arguments.emplace_back(argument);
        readFrameworkSwitch(argument, options);
    }
    options.mode = modeOf(options.arguments);
    return options;
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
