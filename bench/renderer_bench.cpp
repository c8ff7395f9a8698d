// Drop to playing, side by side: a song handed to a standard renderer
// (gmediarender in a namespace of its own behind a veth pair) through the
// renderer player until the renderer itself says PLAYING, and the same song
// handed to the simulated Box through the library until the Box's first
// status. Median, minimum and maximum of ten each, and their ratio.
//
//   scripts/in-private-net.sh build/dev/bench/renderer_bench   (as root)
#include "BenchBoxSim.h"
#include "PlayListWriter.h"
#include "RendererRecorder.h"
#include "dmp_vellumo.h"
#include "player/RendererApi.h"
#include "upnp/CAvRenderer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 10;
constexpr auto kGuard = std::chrono::seconds(30);

// The first notification of a number, whatever thread posts it.
class Notifications {
public:
    DmpHostWindow* Window() { return &m_window; }
    void Reset() {
        std::lock_guard lock(m_mutex);
        m_seen.clear();
    }
    bool WaitFor(uint32_t number) {
        std::unique_lock lock(m_mutex);
        return m_posted.wait_for(lock, kGuard, [&] {
            return std::find(m_seen.begin(), m_seen.end(), number) != m_seen.end();
        });
    }

private:
    static void post(void* context, uint32_t number, uintptr_t, intptr_t) {
        auto* self = static_cast<Notifications*>(context);
        std::lock_guard lock(self->m_mutex);
        self->m_seen.push_back(number);
        self->m_posted.notify_all();
    }

    DmpHostWindow m_window{&Notifications::post, this};
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::vector<uint32_t> m_seen;
};

// Tells nothing: the benchmark only reads the renderer's control address.
class Quiet : public CAvRendererObserver {
    void TransportChanged(const RendererTransport&) override {}
    void ActionFailed(const std::string&, int, const std::string&) override {}
    void RendererLost(const std::string&) override {}
};

void writeSong(const fs::path& path) {
    // 30 s of 8 kHz 16-bit mono silence.
    const uint32_t dataBytes = 8000 * 2 * 30;
    std::ofstream out(path, std::ios::binary);
    const auto le32 = [&out](uint32_t value) { out.write(reinterpret_cast<char*>(&value), 4); };
    const auto le16 = [&out](uint16_t value) { out.write(reinterpret_cast<char*>(&value), 2); };
    out << "RIFF";
    le32(36 + dataBytes);
    out << "WAVEfmt ";
    le32(16);
    le16(1);
    le16(1);
    le32(8000);
    le32(16000);
    le16(2);
    le16(16);
    out << "data";
    le32(dataBytes);
    out << std::string(dataBytes, '\0');
}

struct Figures {
    double median, minimum, maximum;
};

Figures figuresOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {(values[values.size() / 2 - 1] + values[values.size() / 2]) / 2, values.front(),
            values.back()};
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool isRendererPlaying(const std::string& controlUrl) {
    const std::string answer = SoapCall(controlUrl, "urn:schemas-upnp-org:service:AVTransport:1",
                                        "GetTransportInfo", "<InstanceID>0</InstanceID>");
    return XmlValue(answer, "CurrentTransportState") == "PLAYING";
}

std::vector<double> rendererRounds(const std::string& location, const std::string& list) {
    std::string error;
    Quiet quiet;
    const std::string controlUrl = [&] {
        const auto renderer = CAvRenderer::Open(location, &quiet, &error);
        return renderer ? renderer->AvTransportControlUrl() : std::string();
    }();
    if (controlUrl.empty()) {
        std::fprintf(stderr, "renderer_bench: %s\n", error.c_str());
        return {};
    }
    const DmpVellumoApi& api = GetRendererApi();
    const std::wstring wideLocation(location.begin(), location.end());
    const std::wstring wideList(list.begin(), list.end());
    std::vector<double> times;
    Notifications notifications;
    for (int round = 0; round < kRounds; ++round) {
        const Clock::time_point start = Clock::now();
        DmpVellumoInfo* player =
            api.CreateWithAsyncIo(wideLocation.c_str(), 0, notifications.Window());
        api.PlayFile(player, wideList.c_str());
        while (!isRendererPlaying(controlUrl) && Clock::now() - start < kGuard)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        times.push_back(millisecondsSince(start));
        // Destroying the player stops the renderer for the next round.
        api.Destroy(player);
        while (isRendererPlaying(controlUrl))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return times;
}

std::vector<double> boxRounds(const fs::path& dir, const std::string& list) {
    std::vector<double> times;
    BenchBoxSim box(dir);
    Notifications notifications;
    for (int round = 0; round < kRounds; ++round) {
        notifications.Reset();
        const Clock::time_point start = Clock::now();
        DmpVellumoInfo* handle =
            CreateWithAsyncIoA("127.0.0.1", box.Port(), notifications.Window());
        PlayFileA(handle, list.c_str());
        const bool isPlaying = notifications.WaitFor(DMP_WM_AUDIO_STATUS);
        times.push_back(millisecondsSince(start));
        Destroy(handle);
        if (!isPlaying)
            std::fprintf(stderr, "renderer_bench: the simulated Box sent no status\n");
    }
    return times;
}

} // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("renderer_bench." + std::to_string(getpid()));
    fs::create_directories(dir);
    writeSong(dir / "song.wav");
    const std::string list = (dir / "song.m3u").string();
    kvu::WritePlayList(list, {(dir / "song.wav").wstring()});

    PeerProcess renderer;
    std::string why;
    if (!renderer.Start({VELLUMO_RUN_RENDERER, "--net", "41"}, "LOCATION", &why)) {
        std::fprintf(stderr, "renderer_bench: the renderer did not start: %s\n", why.c_str());
        fs::remove_all(dir);
        return 1;
    }
    const std::vector<double> onRenderer = rendererRounds(renderer.Value("LOCATION"), list);
    renderer.Finish();
    const std::vector<double> onBox = boxRounds(dir, list);
    fs::remove_all(dir);
    if (onRenderer.size() != kRounds || onBox.size() != kRounds)
        return 1;

    const Figures rendererFigures = figuresOf(onRenderer);
    const Figures boxFigures = figuresOf(onBox);
    std::printf("drop to playing, %d rounds each        median      min      max\n", kRounds);
    std::printf("  gmediarender over a veth pair   %8.1f ms %6.1f ms %6.1f ms\n",
                rendererFigures.median, rendererFigures.minimum, rendererFigures.maximum);
    std::printf("  simulated Box on loopback       %8.1f ms %6.1f ms %6.1f ms\n", boxFigures.median,
                boxFigures.minimum, boxFigures.maximum);
    std::printf("  ratio renderer / Box            %8.1f\n",
                rendererFigures.median / boxFigures.median);
    return 0;
}
