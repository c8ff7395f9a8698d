// vellumoctl play and version as a user runs them, against the simulated Box.
#include "BoxSimProcess.h"
#include "PlayListWriter.h"
#include "TempDir.h"
#include "TiedChild.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Runs vellumoctl with a pipe on its standard input and output.
class Vellumoctl {
public:
    explicit Vellumoctl(std::vector<std::string> args) {
        int in[2], out[2];
        EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        args.insert(args.begin(), VELLUMOCTL_PATH);
        m_pid = SpawnTiedChild(args, in[0], out[1]);
        EXPECT_GT(m_pid, 0);
        ::close(in[0]);
        ::close(out[1]);
        m_input = in[1];
        m_output = out[0];
    }
    ~Vellumoctl() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_input);
        ::close(m_output);
    }

    void Say(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(::write(m_input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Reads output until a line holds text; false when the output ends first.
    bool WaitForLine(const std::string& text) {
        for (;;) {
            for (size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
                const std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                m_lines.push_back(line);
                if (line.find(text) != std::string::npos)
                    return true;
            }
            pollfd entry{m_output, POLLIN, 0};
            if (::poll(&entry, 1, 10000) != 1)
                return false;
            char buffer[4096];
            const ssize_t got = ::read(m_output, buffer, sizeof buffer);
            if (got <= 0)
                return false;
            m_pending.append(buffer, static_cast<size_t>(got));
        }
    }

    int Wait() {
        ::close(m_input);
        m_input = -1;
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::vector<std::string>& Lines() const { return m_lines; }

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_pending;
    std::vector<std::string> m_lines;
};

class VellumoctlPlay : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_dir / "album");
        write(m_dir / "album" / "02 second.mp3", 300000);
        write(m_dir / "album" / "01 first.mp3", 300000);
        write(m_dir / "album" / "cover.txt", 10);
        write(m_dir / "clip.mkv", 1000);
    }

    static void write(const fs::path& path, size_t bytes) {
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'v');
    }

    std::string box(const BoxSimProcess& sim) const {
        return sim.address() + ":" + std::to_string(sim.port());
    }

    TempDir m_scratch;
    const fs::path m_dir = m_scratch.path();
};

TEST_F(VellumoctlPlay, PlaysAFolderInNameOrderToTheEnd) {
    // Each song lasts a second, so a loaded machine still reads its status
    // before the next one starts.
    BoxSimProcess sim({"--read-rate", "300000"});
    Vellumoctl ctl({"play", "--box", box(sim), (m_dir / "album").string()});
    ASSERT_TRUE(ctl.WaitForLine("connected"));
    ASSERT_TRUE(ctl.WaitForLine("audio: now playing 1/2"));
    EXPECT_NE(ctl.Lines().back().find("01 first.mp3"), std::string::npos);
    ASSERT_TRUE(ctl.WaitForLine("audio: now playing 2/2"));
    ASSERT_TRUE(ctl.WaitForLine("closed, still playing 0x0"));
    EXPECT_EQ(ctl.Wait(), 0);
    const auto names = sim.waitForEvent([](const JsonEvent& e) { return e.str("byte") == "l"; });
    ASSERT_TRUE(names);
    EXPECT_EQ(names->strings("names"), (std::vector<std::string>{"01 first.mp3", "02 second.mp3"}));
}

TEST_F(VellumoctlPlay, CommandsOnStandardInputReachTheBox) {
    BoxSimProcess sim({"--read-rate", "100000"});
    const fs::path list = m_dir / "mix.m3u";
    ASSERT_TRUE(kvu::WritePlayList(list.string(), {(m_dir / "album" / "01 first.mp3").wstring(),
                                                   (m_dir / "album" / "02 second.mp3").wstring()}));
    Vellumoctl ctl({"play", "--box", box(sim), list.string()});
    ASSERT_TRUE(ctl.WaitForLine("audio: now playing 1/2"));
    for (const char* command :
         {"pause", "resume", "vol 20", "mute", "repeat 1", "seek 0", "next"}) {
        ctl.Say(command);
        ASSERT_TRUE(ctl.WaitForLine(std::string(command).substr(0, std::string(command).find(' ')) +
                                    ": sent"))
            << command;
    }
    for (const char* byte : {"p", "P", "v", "m", "r", "J", "N"})
        EXPECT_TRUE(sim.waitForEvent([&](const JsonEvent& e) {
            return e.str("event") == "command" && e.str("byte") == byte;
        })) << byte;
    ASSERT_TRUE(ctl.WaitForLine("audio: now playing 2/2"));
    ctl.Say("quit");
    EXPECT_EQ(ctl.Wait(), 0);
    EXPECT_TRUE(sim.waitForEvent([](const JsonEvent& e) { return e.str("byte") == "D"; }));
}

TEST_F(VellumoctlPlay, FailuresExitWithOne) {
    BoxSimProcess sim;
    // Nothing playable: a text file only.
    Vellumoctl text({"play", "--box", box(sim), (m_dir / "album" / "cover.txt").string()});
    EXPECT_EQ(text.Wait(), 1);
    // Nobody listens.
    const std::string closedPort = "127.0.0.1:1";
    Vellumoctl refused({"play", "--box", closedPort, (m_dir / "clip.mkv").string()});
    EXPECT_TRUE(refused.WaitForLine("error -4: connect failed"));
    EXPECT_EQ(refused.Wait(), 1);
    Vellumoctl usage({"play", "--box", "not-an-address", (m_dir / "clip.mkv").string()});
    EXPECT_EQ(usage.Wait(), 2);
}

TEST(VellumoctlVersion, PrintsVersionAndMacOrFails) {
    BoxSimProcess sim;
    Vellumoctl ctl({"version", "--box", sim.address() + ":" + std::to_string(sim.port())});
    ASSERT_TRUE(ctl.WaitForLine("version 2.3.0.7"));
    ASSERT_TRUE(ctl.WaitForLine("mac a1:b2:c3:d4:e5:f6"));
    EXPECT_EQ(ctl.Wait(), 0);
    Vellumoctl silent({"version", "--box", "127.0.0.1:1"});
    EXPECT_EQ(silent.Wait(), 1);
}

} // namespace
