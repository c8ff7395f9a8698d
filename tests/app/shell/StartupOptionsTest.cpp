// The start-up decision from the command line.
#include "shell/StartupOptions.h"

#include <gtest/gtest.h>

namespace {

struct ModeCase {
    std::vector<std::string> arguments;
    StartupMode mode;
};

} // namespace

TEST(StartupOptions, OnlyASingleArgumentSelectsAMode) {
    const ModeCase cases[] = {
        {{}, StartupMode::Normal},
        {{"-closefirewall"}, StartupMode::CloseFirewall},
        {{"-CLOSEFIREWALL"}, StartupMode::CloseFirewall},
        {{"-CloseFireWall"}, StartupMode::CloseFirewall},
        {{"-closefirewall", "x"}, StartupMode::Normal},
        {{"x", "-closefirewall"}, StartupMode::Normal},
        {{"closefirewall"}, StartupMode::Normal},
        {{"-closefirewal"}, StartupMode::Normal},
        {{"-Upgrade"}, StartupMode::Upgrade},
        {{"-OPENFIREWALL"}, StartupMode::OpenFirewall},
        {{"-upgrade", "-openfirewall"}, StartupMode::Normal},
        // The interface options do not count as arguments.
        {{"--iface", "lo", "-closefirewall"}, StartupMode::CloseFirewall},
        {{"-closefirewall", "--iface=eth0"}, StartupMode::CloseFirewall},
    };
    for (const ModeCase& c : cases) {
        const StartupOptions options = ParseStartupOptions(c.arguments);
        EXPECT_EQ(options.mode, c.mode) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(options.OpensMainWindow(), c.mode != StartupMode::CloseFirewall)
            << ::testing::PrintToString(c.arguments);
    }
}

TEST(StartupOptions, FrameworkSwitchesInEitherFormAndAnyCase) {
    struct SwitchCase {
        const char* argument;
        FrameworkCommand command;
        bool isPerUser;
    };
    const SwitchCase cases[] = {
        {"/Embedding", FrameworkCommand::Embedding, false},
        {"-embedding", FrameworkCommand::Embedding, false},
        {"/AUTOMATION", FrameworkCommand::Automation, false},
        {"/Register", FrameworkCommand::Register, false},
        {"-regserver", FrameworkCommand::Register, false},
        {"/RegserverPerUser", FrameworkCommand::Register, true},
        {"-registerperuser", FrameworkCommand::Register, true},
        {"/Unregister", FrameworkCommand::Unregister, false},
        {"/UNREGSERVER", FrameworkCommand::Unregister, false},
        {"-UnregserverPerUser", FrameworkCommand::Unregister, true},
        {"/UnregisterPerUser", FrameworkCommand::Unregister, true},
        {"Embedding", FrameworkCommand::None, false},
        {"/Embed", FrameworkCommand::None, false},
        {"/", FrameworkCommand::None, false},
    };
    for (const SwitchCase& c : cases) {
        const StartupOptions options = ParseStartupOptions({c.argument});
        EXPECT_EQ(options.frameworkCommand, c.command) << c.argument;
        EXPECT_EQ(options.isPerUser, c.isPerUser) << c.argument;
        EXPECT_EQ(options.OpensMainWindow(), c.command == FrameworkCommand::None) << c.argument;
    }
    // Among several switches the last one counts.
    const StartupOptions last = ParseStartupOptions({"/RegserverPerUser", "/Unregserver"});
    EXPECT_EQ(last.frameworkCommand, FrameworkCommand::Unregister);
    EXPECT_FALSE(last.isPerUser);
}

TEST(StartupOptions, InterfaceOptionsRepeatAndAreTakenOut) {
    const StartupOptions options =
        ParseStartupOptions({"--iface", "lo", "-upgrade", "--iface=wlan0", "--iface"});
    EXPECT_EQ(options.searchInterfaces, (std::vector<std::string>{"lo", "wlan0"}));
    EXPECT_EQ(options.arguments, (std::vector<std::string>{"-upgrade"}));
    EXPECT_EQ(options.mode, StartupMode::Upgrade);
    EXPECT_TRUE(ParseStartupOptions({"--iface="}).searchInterfaces.empty());
}

// --help and --version are answered only alone; an unknown option is a usage
// error wherever it stands, and files, mode words and switches are not.
TEST(StartupOptions, HelpVersionAndUnknownOptions) {
    struct RequestCase {
        std::vector<std::string> arguments;
        StartupRequest request;
    };
    const RequestCase cases[] = {
        {{"--help"}, StartupRequest::Help},
        {{"--version"}, StartupRequest::Version},
        {{"--version", "--iface", "lo"}, StartupRequest::UsageError},
        {{"/home/me/song.mp3", "--version"}, StartupRequest::UsageError},
        {{"--help", "--version"}, StartupRequest::UsageError},
        {{"--ifaces", "lo"}, StartupRequest::UsageError},
        {{"song.mp3", "-x"}, StartupRequest::UsageError},
        {{"-"}, StartupRequest::UsageError},
        {{"--VERSION"}, StartupRequest::UsageError},
        {{"-closefirewall", "x"}, StartupRequest::Start},
        {{"-UPGRADE"}, StartupRequest::Start},
        {{"-Embedding"}, StartupRequest::Start},
        {{"/Embed"}, StartupRequest::Start}, // a path, not an option
        {{"--iface=lo", "a.jpg", "b.jpg"}, StartupRequest::Start},
    };
    for (const RequestCase& c : cases) {
        const StartupOptions options = ParseStartupOptions(c.arguments);
        EXPECT_EQ(options.request, c.request) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(options.usageError.empty(), c.request != StartupRequest::UsageError)
            << ::testing::PrintToString(c.arguments);
    }
    EXPECT_EQ(ParseStartupOptions({"a.jpg", "--bogus", "--worse"}).usageError,
              "unknown option '--bogus'");
}
