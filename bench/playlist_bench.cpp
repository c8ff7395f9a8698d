// Times reading a 100,000-line play list, by the parser and by GetFilesType
// through the C interface, and prints lines per second beside a plain read
// of the same file's bytes in the same run as the baseline.
#include "CDmpFileSource.h"
#include "PlayListFile.h"
#include "PlayListWriter.h"
#include "Unicode.h"
#include "dmp_vellumo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kLines = 100000;
constexpr int kRounds = 10;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main() {
    char folder[] = "/tmp/playlist_benchXXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    const std::string path = std::string(folder) + "/bench.m3u";
    std::vector<std::wstring> entries;
    const std::wstring types[] = {L".mp3", L".jpg", L".avi", L".txt"};
    for (int i = 0; i < kLines; ++i)
        entries.push_back(L"/home/user/Media/Folder " + std::to_wstring(i % 97) + L"/file " +
                          std::to_wstring(i) + types[i % 4]);
    if (!kvu::WritePlayList(path, entries))
        return 1;
    const std::wstring widePath = kvu::FromUtf8(path);

    double readSeconds = 0;
    double parseSeconds = 0;
    double classifySeconds = 0;
    DmpVellumoInfo* handle = CreateA("127.0.0.1", 7171);
    size_t kept = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        CDmpFileSource source;
        std::vector<uint8_t> bytes(static_cast<size_t>(kChunkBytes));
        if (!source.Open(widePath))
            return 1;
        while (source.Read(bytes.data(), kChunkBytes) > 0) {
        }
        readSeconds += secondsSince(start);

        start = Clock::now();
        MediaLists lists;
        if (!ParsePlayList(widePath, lists))
            return 1;
        parseSeconds += secondsSince(start);
        kept = lists.video.size() + lists.image.size() + lists.audio.size();

        // A fresh handle each round: the same path twice would not be read again.
        Destroy(handle);
        handle = CreateA("127.0.0.1", 7171);
        start = Clock::now();
        if (GetFilesType(handle, widePath.c_str()) !=
            (DMP_TYPE_VIDEO | DMP_TYPE_IMAGE | DMP_TYPE_AUDIO))
            return 1;
        classifySeconds += secondsSince(start);
    }
    Destroy(handle);
    unlink(path.c_str());
    rmdir(folder);

    std::printf("play list of %d lines (%zu media entries), %d rounds\n", kLines, kept, kRounds);
    std::printf("parse: %.0f lines/s\n", kLines * kRounds / parseSeconds);
    std::printf("plain read of the same bytes: %.0f lines/s\n", kLines * kRounds / readSeconds);
    std::printf("GetFilesType: %.0f lines/s (%.1f ms a list)\n", kLines * kRounds / classifySeconds,
                1000 * classifySeconds / kRounds);
    std::printf("ratio parse/read time: %.2f\n", parseSeconds / readSeconds);
    std::printf("ratio GetFilesType/read time: %.2f\n", classifySeconds / readSeconds);
    return 0;
}
