// The application's cost to a user, against the simulated Box:
//
// 1. Start to main window shown, for vellumo and, side by side in the same
//    run, for a minimal Qt Widgets window program (bench_minimal_window),
//    both on the offscreen QPA platform, alternately, after one unmeasured
//    start of each: the medians, their ratio and the goal (under 1 s). The
//    time runs from the fork to the line that says the window was shown: the
//    minimal program prints one right after show(); vellumo traces one right
//    after its show() (VELLUMO_TRACE=1) that also says how long its opening
//    waited for the box search, and that wait is taken off. Offscreen, so
//    that the figures do not depend on a display server's load.
// 2. While one audio file plays with a status record every second (the
//    simulator at one time unit per second, read in real time), the resident
//    memory of vellumo with its status window open and its CPU time
//    (utime + stime from /proc/PID/stat) over the measuring window, as a
//    share of one core; goal under 2%. vellumo is given the file on its
//    command line, which plays it as a drop on the photo-and-music pool once
//    the Box is chosen, and opens the status window when the link connects;
//    the measure starts once the Box has sent the third "time" record.
//
//   app_bench [RUNS] [SECONDS]    (10 starts each, 60 s; inside a private
//                                  network namespace: scripts/in-private-net.sh)
//
// vellumo runs with a runtime and a config directory of its own and no
// session bus, so that a vellumo the user runs is neither found nor
// disturbed, nor the user's remembered Boxes.
#include "BenchChild.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kShownTrace = "CVellumoDlg::DoModal(): shown, the box search took ";
constexpr const char* kMinimalShown = "minimal window shown";
constexpr auto kStartTimeout = std::chrono::seconds(60);
// One simulated time unit per second, read in real time.
constexpr int kBytesPerSecond = 100000;
constexpr int kPlayingAfterRecords = 3;
constexpr double kStartGoalMs = 1000;
constexpr double kCpuGoalPercent = 2;

std::vector<std::string> appEnvironment(const fs::path& runtimeDir, bool isTracing) {
    std::vector<std::string> entries = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + runtimeDir.string(),
                                        "XDG_CONFIG_HOME=" + runtimeDir.string()};
    if (isTracing)
        entries.emplace_back("VELLUMO_TRACE=1");
    return EnvironmentWith(entries, {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY",
                                     "VELLUMO_TRACE", "QT_SCALE_FACTOR"});
}

// vellumo-boxsim announcing on loopback; the Box's address is 127.0.0.1:7171,
// the port every instance uses.
std::unique_ptr<BenchChild> startBox(std::vector<std::string> extraArgs) {
    std::vector<std::string> args = {VELLUMO_BOXSIM_PATH, "--upnp-iface", "lo", "--http-port", "0",
                                     "--friendly-name",   "Bench Box"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    auto box =
        std::make_unique<BenchChild>(args, EnvironmentWith({}, {}), BenchChild::Stream::Output);
    if (!box->WaitForLine("ready", Clock::now() + std::chrono::seconds(10))) {
        std::fprintf(stderr, "app_bench: the simulated Box did not start\n");
        std::exit(1);
    }
    return box;
}

// Milliseconds from the fork to the line with marker, less the box search
// when the line says how long it took. Nothing when the line did not come.
std::optional<double> startToShown(const std::vector<std::string>& args,
                                   const std::vector<std::string>& environment,
                                   const std::string& marker) {
    const auto start = Clock::now();
    BenchChild child(args, environment, BenchChild::Stream::Error);
    const std::optional<std::string> line = child.WaitForLine(marker, start + kStartTimeout);
    const auto shown = Clock::now();
    if (!line)
        return std::nullopt;
    double ms = std::chrono::duration<double, std::milli>(shown - start).count();
    long long searchMs = 0;
    if (std::sscanf(line->c_str() + line->find(marker) + marker.size(), "%lld", &searchMs) == 1)
        ms -= static_cast<double>(searchMs);
    return ms;
}

bool measureStartUp(int runs, const fs::path& runtimeDir) {
    const auto box = startBox({});
    const std::vector<std::string> vellumo = {VELLUMO_PATH, "--iface", "lo"};
    const std::vector<std::string> minimal = {MINIMAL_WINDOW_PATH};
    const auto environment = appEnvironment(runtimeDir, true);
    std::vector<double> vellumoMs;
    std::vector<double> minimalMs;
    // The first start of each warms the caches and is not counted.
    for (int run = 0; run <= runs; ++run) {
        const auto minimalRun = startToShown(minimal, environment, kMinimalShown);
        const auto vellumoRun = startToShown(vellumo, environment, kShownTrace);
        if (!minimalRun || !vellumoRun) {
            std::fprintf(stderr, "app_bench: %s did not show its window within %lld s\n",
                         minimalRun ? "vellumo" : "the minimal window program",
                         static_cast<long long>(kStartTimeout.count()));
            return false;
        }
        if (run == 0)
            continue;
        minimalMs.push_back(*minimalRun);
        vellumoMs.push_back(*vellumoRun);
    }
    const double vellumoMedian = Median(vellumoMs);
    const double minimalMedian = Median(minimalMs);
    std::printf("Start to main window shown (QPA platform offscreen, %d starts each, alternately;\n"
                "vellumo's box search taken off):\n",
                runs);
    std::printf("  minimal Qt Widgets window  median %8.1f ms\n", minimalMedian);
    std::printf("  vellumo                    median %8.1f ms\n", vellumoMedian);
    std::printf("  ratio vellumo / minimal    %8.2f\n", vellumoMedian / minimalMedian);
    std::printf("  goal: vellumo under %.0f ms: %s\n", kStartGoalMs,
                vellumoMedian < kStartGoalMs ? "met" : "NOT met");
    return true;
}

struct TimeRecords {
    int count = 0;
    long long lastPosition = -1;
};

// The "time" records the Box has sent so far, from its event log.
TimeRecords timeRecords(const fs::path& log) {
    TimeRecords records;
    std::ifstream in(log);
    const std::string positionKey = "\"position\":";
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"keyword\":\"time\"") == std::string::npos)
            continue;
        ++records.count;
        const size_t at = line.find(positionKey);
        if (at != std::string::npos)
            records.lastPosition = std::atoll(line.c_str() + at + positionKey.size());
    }
    return records;
}

// utime + stime of a process, in clock ticks.
std::optional<long long> cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return std::nullopt;
    std::istringstream fields(stat.substr(nameEnd + 2));
    std::string field;
    // After the name: state is field 3 of the line, utime 14 and stime 15.
    for (int index = 3; index < 14; ++index)
        fields >> field;
    long long utime = 0;
    long long stime = 0;
    if (!(fields >> utime >> stime))
        return std::nullopt;
    return utime + stime;
}

// A "Vm..." line of /proc/PID/status, in KiB.
long long statusKiB(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(key + ":"))
            return std::atoll(line.c_str() + key.size() + 1);
    return -1;
}

bool measurePlaying(int seconds, const fs::path& dir) {
    const fs::path song = dir / "bench song.mp3";
    {
        // Long enough to outlast the search, the start and the window.
        std::ofstream out(song, std::ios::binary);
        const std::string block(kBytesPerSecond, 'a');
        for (int second = 0; second < seconds + 40; ++second)
            out << block;
    }
    const fs::path log = dir / "box.jsonl";
    const std::string rate = std::to_string(kBytesPerSecond);
    const auto box =
        startBox({"--rate", rate, "--read-rate", rate, "--no-hash", "--log", log.string()});
    BenchChild app({VELLUMO_PATH, "--iface", "lo", song.string()}, appEnvironment(dir, false),
                   BenchChild::Stream::Error);

    const auto deadline = Clock::now() + kStartTimeout;
    while (timeRecords(log).count < kPlayingAfterRecords) {
        if (Clock::now() > deadline || !app.IsRunning()) {
            std::fprintf(stderr, "app_bench: the Box never played the file\n");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const TimeRecords before = timeRecords(log);
    const auto ticksBefore = cpuTicks(app.Pid());
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto ticksAfter = cpuTicks(app.Pid());
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const TimeRecords after = timeRecords(log);
    const long long rssKiB = statusKiB(app.Pid(), "VmRSS");
    const long long peakKiB = statusKiB(app.Pid(), "VmHWM");
    if (!ticksBefore || !ticksAfter || !app.IsRunning()) {
        std::fprintf(stderr, "app_bench: vellumo ended while the file played\n");
        return false;
    }
    const int records = after.count - before.count;
    if (records < seconds - 2) {
        std::fprintf(stderr, "app_bench: the file stopped playing (%d status records in %d s)\n",
                     records, seconds);
        return false;
    }
    const double cpuSeconds =
        static_cast<double>(*ticksAfter - *ticksBefore) / static_cast<double>(sysconf(_SC_CLK_TCK));
    const double percent = 100 * cpuSeconds / wall;
    std::printf("One audio file playing, status window open (QPA platform offscreen), %.1f s,\n"
                "%d \"time\" records (positions %lld to %lld):\n",
                wall, records, before.lastPosition, after.lastPosition);
    std::printf("  vellumo resident memory     %8lld KiB (peak %lld KiB)\n", rssKiB, peakKiB);
    std::printf("  vellumo CPU                 %8.2f s = %.2f%% of one core (%.2f s per minute)\n",
                cpuSeconds, percent, cpuSeconds * 60 / wall);
    std::printf("  goal: under %.0f%% of one core: %s\n", kCpuGoalPercent,
                percent < kCpuGoalPercent ? "met" : "NOT met");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (!IsInPrivateNet())
        return 2;
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    if (runs < 1 || seconds < 1) {
        std::fprintf(stderr, "usage: app_bench [RUNS] [SECONDS]\n");
        return 2;
    }
    char pattern[] = "/tmp/vellumo-app-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const bool isDone = measureStartUp(runs, dir) && measurePlaying(seconds, dir);
    fs::remove_all(dir);
    return isDone ? 0 : 1;
}
