// Start to usable main window against the simulated Box, two ways in one
// run, alternately, after one unmeasured start of each:
//
// - remembered: the Box was used before (the XDG config folder remembers
//   it), so the start checks it directly and opens the window as soon as
//   it answers, the search going on behind;
// - searching: nothing is remembered, as at a first start (and at every
//   start before Boxes were remembered): the window opens once the search
//   has ended with the one Box found.
//
// The time runs from the fork to the line vellumo traces right after its
// main window's show() (VELLUMO_TRACE=1), on the offscreen QPA platform so
// that no display server's load counts. Prints the medians, their ratio and
// the goal (remembered under 500 ms).
//
//   startup_bench [RUNS]    (10 starts each; inside a private network
//                            namespace: scripts/in-private-net.sh)
//
// vellumo runs with a runtime and a config folder of its own and no session
// bus, so that a vellumo the user runs is neither found nor disturbed.
#include "BenchChild.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kShownTrace = "CVellumoDlg::DoModal(): shown";
constexpr auto kStartTimeout = std::chrono::seconds(60);
constexpr double kGoalMs = 500;
constexpr const char* kBoxAddress = "127.0.0.1";

std::vector<std::string> appEnvironment(const fs::path& runtimeDir, const fs::path& configDir) {
    return EnvironmentWith(
        {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtimeDir.string(),
         "XDG_CONFIG_HOME=" + configDir.string(), "VELLUMO_TRACE=1"},
        {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY", "QT_SCALE_FACTOR"});
}

// The Box as a start that used it before remembers it, in the file's own
// format: its address and command port.
void rememberTheBox(const fs::path& configDir) {
    fs::create_directories(configDir / "vellumo");
    std::ofstream(configDir / "vellumo" / "boxes.json")
        << R"({"boxes":[{"host":")" << kBoxAddress
        << R"(","port":7171,"name":"Bench Box","udn":"","location":""}]})";
}

// Milliseconds from the fork to the main window shown; nothing when it did
// not show.
std::optional<double> startToShown(const std::vector<std::string>& environment) {
    const auto start = Clock::now();
    BenchChild app({VELLUMO_PATH, "--iface", "lo"}, environment, BenchChild::Stream::Error);
    if (!app.WaitForLine(kShownTrace, start + kStartTimeout))
        return std::nullopt;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (!IsInPrivateNet())
        return 2;
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    if (runs < 1) {
        std::fprintf(stderr, "usage: startup_bench [RUNS]\n");
        return 2;
    }
    char pattern[] = "/tmp/vellumo-startup-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const fs::path remembering = dir / "remembering";
    const fs::path fresh = dir / "fresh";

    BenchChild box({VELLUMO_BOXSIM_PATH, "--address", kBoxAddress, "--port", "7171", "--upnp-iface",
                    "lo", "--http-port", "0", "--friendly-name", "Bench Box"},
                   EnvironmentWith({}, {}), BenchChild::Stream::Output);
    if (!box.WaitForLine("ready", Clock::now() + std::chrono::seconds(10))) {
        std::fprintf(stderr, "startup_bench: the simulated Box did not start\n");
        return 1;
    }
    std::vector<double> rememberedMs;
    std::vector<double> searchingMs;
    bool isDone = true;
    // The first start of each warms the caches and is not counted.
    for (int run = 0; run <= runs && isDone; ++run) {
        rememberTheBox(remembering);
        // A start that chose the Box remembers it: the next one starts fresh.
        fs::remove_all(fresh);
        const auto remembered = startToShown(appEnvironment(dir, remembering));
        const auto searching = startToShown(appEnvironment(dir, fresh));
        if (!remembered || !searching) {
            std::fprintf(stderr, "startup_bench: vellumo did not show its window within %lld s\n",
                         static_cast<long long>(kStartTimeout.count()));
            isDone = false;
        } else if (run > 0) {
            rememberedMs.push_back(*remembered);
            searchingMs.push_back(*searching);
        }
    }
    fs::remove_all(dir);
    if (!isDone)
        return 1;
    const double rememberedMedian = Median(rememberedMs);
    const double searchingMedian = Median(searchingMs);
    std::printf("Start to usable main window (QPA platform offscreen, one Box, %d starts each,\n"
                "alternately):\n",
                runs);
    std::printf("  searching, nothing remembered  median %8.1f ms\n", searchingMedian);
    std::printf("  the remembered Box answering   median %8.1f ms\n", rememberedMedian);
    std::printf("  ratio searching / remembered   %8.2f\n", searchingMedian / rememberedMedian);
    std::printf("  goal: remembered under %.0f ms: %s\n", kGoalMs,
                rememberedMedian < kGoalMs ? "met" : "NOT met");
    return 0;
}
