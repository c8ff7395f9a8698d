// Plays a list of small files through a box link to the simulated Box, which
// asks for each in turn, reads it whole, stops it and asks for the next: the
// time per file is what an album of short tracks or a photo slideshow waits
// between files. Measured with the simulator's default (Nagle on, as a Box
// may well leave it) and with its --tcp-nodelay.
//
//   filelist_bench [FILES] [FILE_KIB]   (default 200 files of 64 KiB; run
//                                        inside a private network)
#include "BenchBaseline.h"
#include "BenchBoxSim.h"
#include "CDmpVellumo.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 3;
constexpr double kGoalMsPerFile = 2.0;

double msPerFile(const fs::path& dir, const std::vector<std::wstring>& files,
                 const std::vector<std::string>& boxArgs) {
    BenchBoxSim box(dir, boxArgs);
    CDmpVellumo link;
    link.OpenConnection("127.0.0.1", box.Port(), false);
    link.AddFiles(files, -1);
    const BenchMeasure m = MeasureRun([&] {
        link.Play(kMediaTypeAudio);
        box.WaitForFiles(static_cast<int>(files.size()));
        box.WaitForDone();
    });
    return m.seconds * 1000 / static_cast<double>(files.size());
}

} // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const size_t kib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 64;
    char pattern[] = "/tmp/filelist-bench-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    std::vector<std::wstring> files;
    for (size_t i = 0; i < count; ++i) {
        const fs::path file = dir / ("track" + std::to_string(i) + ".mp3");
        WritePatternFile(file, kib << 10);
        files.push_back(file.wstring());
    }

    std::vector<double> nagle, noDelay;
    for (int round = 0; round < kRounds; ++round) {
        nagle.push_back(msPerFile(dir, files, {}));
        noDelay.push_back(msPerFile(dir, files, {"--tcp-nodelay"}));
    }
    fs::remove_all(dir);

    std::printf("%zu files of %zu KiB, %d rounds, medians\n", count, kib, kRounds);
    std::printf("Box without TCP_NODELAY  %7.3f ms per file (goal < %.0f)\n", Median(nagle),
                kGoalMsPerFile);
    std::printf("Box with TCP_NODELAY     %7.3f ms per file (goal < %.0f)\n", Median(noDelay),
                kGoalMsPerFile);
    return 0;
}
