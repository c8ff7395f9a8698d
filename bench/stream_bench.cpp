// Streams one large file to the simulated Box through a box link and through
// the C interface and, side by side in the same rounds, sends the same file
// to a plain socket reader by sendfile() and by a read()+send() loop of
// 96 KiB blocks. The faster of those two is the baseline; prints the
// throughputs, the sender's CPU seconds per GiB and both ratios.
//
// A Box reports its playing time a few times a second. The simulator's
// default, one "time" record per MiB received, would make that thousands a
// second at loopback speed, so the simulator is run at one per 64 MiB; the
// link is also measured at the default, to show what a chatty Box costs.
//
//   stream_bench [SIZE_MIB]      (default 1024; run inside a private network)
#include "BenchBaseline.h"
#include "BenchBoxSim.h"
#include "CDmpVellumo.h"
#include "dmp_vellumo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr size_t kPrimerBytes = size_t{64} << 20;
const std::vector<std::string> kTimePer64Mib = {"--rate", "67108864"};

BenchMeasure streamThroughLink(const fs::path& dir, const fs::path& file,
                               const std::vector<std::string>& boxArgs) {
    BenchBoxSim box(dir, boxArgs);
    CDmpVellumo link;
    link.OpenConnection("127.0.0.1", box.Port(), false);
    link.AddFiles({file.wstring()}, -1);
    return MeasureRun([&] {
        link.Play(kMediaTypeVideo);
        box.WaitForFiles(1);
    });
}

void print(const char* name, const BenchFigures& figures) {
    std::printf("%-22s %8.1f MiB/s  %6.3f CPU s/GiB\n", name, figures.mibPerSecond,
                figures.cpuSecondsPerGib);
}

} // namespace

int main(int argc, char** argv) {
    const size_t sizeMib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
    const size_t size = sizeMib << 20;
    char pattern[] = "/tmp/stream-bench-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const fs::path file = dir / "movie.mkv";
    WritePatternFile(file, size);

    BenchSeries link(size), chattyLink(size), api(size), sendfileSeries(size), readSend(size);
    const std::vector<std::function<void()>> contenders = {
        [&] { link.Add(streamThroughLink(dir, file, kTimePer64Mib)); },
        [&] { chattyLink.Add(streamThroughLink(dir, file, {})); },
        [&] {
            BenchBoxSim box(dir, kTimePer64Mib);
            DmpVellumoInfo* handle = CreateA("127.0.0.1", box.Port());
            api.Add(MeasureRun([&] {
                PlayFileA(handle, file.c_str());
                box.WaitForFiles(1);
            }));
            Destroy(handle);
        },
        [&] { sendfileSeries.Add(MeasureSend(BaselineSender::Sendfile, file, size)); },
        [&] { readSend.Add(MeasureSend(BaselineSender::ReadSend, file, size)); },
    };
    // Each round starts with the next contender, so that each runs first
    // once. On this machine a run is slower right after some others (after
    // read()+send() most of all), so every run follows the same unmeasured
    // one: a short read()+send() of the file's start.
    const int rounds = static_cast<int>(contenders.size());
    for (int round = 0; round < rounds; ++round)
        for (size_t i = 0; i < contenders.size(); ++i) {
            MeasureSend(BaselineSender::ReadSend, file, std::min(size, kPrimerBytes));
            contenders[(static_cast<size_t>(round) + i) % contenders.size()]();
        }
    fs::remove_all(dir);

    const BenchFigures viaLink = link.Figures(), viaApi = api.Figures();
    const BenchFigures bySendfile = sendfileSeries.Figures(), byReadSend = readSend.Figures();
    const bool isSendfileFaster = bySendfile.mibPerSecond >= byReadSend.mibPerSecond;
    const BenchFigures base = isSendfileFaster ? bySendfile : byReadSend;
    std::printf("file: %zu MiB, %d rounds, medians\n", sizeMib, rounds);
    print("box link", viaLink);
    print("C interface", viaApi);
    print("box link, time per MiB", chattyLink.Figures());
    print(BaselineName(BaselineSender::Sendfile), bySendfile);
    print(BaselineName(BaselineSender::ReadSend), byReadSend);
    std::printf("baseline: %s\n", BaselineName(isSendfileFaster ? BaselineSender::Sendfile
                                                                : BaselineSender::ReadSend));
    std::printf(
        "link/baseline      throughput %.2f (goal >= 0.95)  CPU per GiB %.2f (goal <= 1.20)\n",
        viaLink.mibPerSecond / base.mibPerSecond, viaLink.cpuSecondsPerGib / base.cpuSecondsPerGib);
    std::printf("interface/baseline throughput %.2f               CPU per GiB %.2f\n",
                viaApi.mibPerSecond / base.mibPerSecond,
                viaApi.cpuSecondsPerGib / base.cpuSecondsPerGib);
    return 0;
}
