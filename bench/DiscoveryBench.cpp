// Times discovery of one simulated Box on loopback, from StartSearch to
// DeviceFound, over several rounds, and prints the figures beside the goal.
// Announces on the network: run it only through scripts/in-private-net.sh.
#include "BoxAnnouncer.h"
#include "network/KvuUPnPFinder.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 10;
constexpr double kGoalMs = 500.0;

class FirstFound : public KvuUPnPFinderObserver {
public:
    void DeviceFound(const std::string&, const std::string&, const std::string&,
                     const std::string&) override {
        if (!isFound) {
            isFound = true;
            foundAt = Clock::now();
        }
    }
    void SearchCompleted() override { isOver = true; }
    void SearchFailed(const std::string&) override { isOver = true; }

    bool isFound = false;
    bool isOver = false;
    Clock::time_point foundAt;
};

} // namespace

int main() {
    const char* isPrivate = std::getenv("VELLUMO_IN_PRIVATE_NET");
    if (isPrivate == nullptr || std::strcmp(isPrivate, "1") != 0) {
        std::fprintf(stderr, "run through scripts/in-private-net.sh: this program announces\n");
        return 2;
    }
    BoxAnnouncer box("lo", "Bench Box", "127.0.0.1");
    if (!box.Start()) {
        std::fprintf(stderr, "cannot announce on lo\n");
        return 1;
    }
    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        KvuUPnPFinder finder("lo");
        FirstFound observer;
        finder.AddObserver(&observer);
        const auto startedAt = Clock::now();
        finder.StartSearch();
        while (!observer.isFound && !observer.isOver) {
            g_main_context_iteration(nullptr, TRUE);
        }
        if (!observer.isFound) {
            std::fprintf(stderr, "round %d: the Box was not found\n", round);
            return 1;
        }
        times.push_back(
            std::chrono::duration<double, std::milli>(observer.foundAt - startedAt).count());
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("discovery of one Box on loopback, StartSearch to DeviceFound, %d rounds:\n",
                kRounds);
    std::printf("  min %.1f ms, median %.1f ms, max %.1f ms\n", times.front(), median,
                times.back());
    std::printf("  median / goal (%.0f ms): %.2f\n", kGoalMs, median / kGoalMs);
    return 0;
}
