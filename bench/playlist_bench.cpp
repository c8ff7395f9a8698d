// Play-list benchmarks, each printed beside a baseline measured in the same
// run:
//
// 1. Reading a 100,000-line play list, by the parser and by GetFilesType
//    through the C interface, beside a plain read of the same bytes.
// 2. A dropped folder of 100,000 small files, from the walk to the first file
//    byte a scripted Box on loopback receives (the application's path: the
//    collection, the temporary play list, GetFilesType, PlayFile, the Box's
//    request for the first entry), and its peak memory, beside a plain walk
//    that stats the same entries and writes the same list. Each side runs in
//    a child process of its own, so that its peak memory is its own.
// 3. The cost of one file change (the Box asking for another entry) near the
//    end of a play list of 1,000 and of 100,000 entries.
//
//   playlist_bench [ENTRIES]   (default 100000; run inside a private network)
#include "CDmpFileSource.h"
#include "DmpCommand.h"
#include "LittleEndian.h"
#include "PlayListFile.h"
#include "PlayListWriter.h"
#include "Unicode.h"
#include "dmp_vellumo.h"
#include "playback/CFileCollector.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLines = 100000;
constexpr int kRounds = 10;
constexpr int kSmallFolderEntries = 1000;
// Each file holds this many bytes, so that the first one can be received.
constexpr size_t kFileBytes = 16;
// File changes timed per list, all among its last entries.
constexpr int kFileChanges = 100;
constexpr size_t kFileSizeRecordBytes = 13;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// ---- 1: parsing ------------------------------------------------------------

bool parseSection() {
    char folder[] = "/tmp/playlist_benchXXXXXX";
    if (mkdtemp(folder) == nullptr)
        return false;
    const std::string path = std::string(folder) + "/bench.m3u";
    std::vector<std::wstring> entries;
    const std::wstring types[] = {L".mp3", L".jpg", L".avi", L".txt"};
    for (int i = 0; i < kLines; ++i)
        entries.push_back(L"/home/user/Media/Folder " + std::to_wstring(i % 97) + L"/file " +
                          std::to_wstring(i) + types[i % 4]);
    if (!kvu::WritePlayList(path, entries))
        return false;
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
            return false;
        while (source.Read(bytes.data(), kChunkBytes) > 0) {
        }
        readSeconds += secondsSince(start);

        start = Clock::now();
        MediaLists lists;
        if (!ParsePlayList(widePath, lists))
            return false;
        parseSeconds += secondsSince(start);
        kept = lists.video.size() + lists.image.size() + lists.audio.size();

        // A fresh handle each round: the same path twice would not be read again.
        Destroy(handle);
        handle = CreateA("127.0.0.1", 7171);
        start = Clock::now();
        if (GetFilesType(handle, widePath.c_str()) !=
            (DMP_TYPE_VIDEO | DMP_TYPE_IMAGE | DMP_TYPE_AUDIO))
            return false;
        classifySeconds += secondsSince(start);
    }
    Destroy(handle);
    unlink(path.c_str());
    rmdir(folder);

    std::printf("1. play list of %d lines (%zu media entries), %d rounds\n", kLines, kept, kRounds);
    std::printf("   parse: %.0f lines/s\n", kLines * kRounds / parseSeconds);
    std::printf("   plain read of the same bytes: %.0f lines/s\n", kLines * kRounds / readSeconds);
    std::printf("   GetFilesType: %.0f lines/s (%.1f ms a list)\n",
                kLines * kRounds / classifySeconds, 1000 * classifySeconds / kRounds);
    std::printf("   ratio parse/read time: %.2f\n", parseSeconds / readSeconds);
    std::printf("   ratio GetFilesType/read time: %.2f\n", classifySeconds / readSeconds);
    return true;
}

// ---- 2 and 3: a dropped folder -------------------------------------------

bool makeFolder(const fs::path& folder, int entries) {
    fs::create_directories(folder);
    const std::string bytes(kFileBytes, 'x');
    for (int i = 0; i < entries; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "track %06d.mp3", i);
        std::ofstream(folder / name, std::ios::binary) << bytes;
    }
    return fs::exists(folder / "track 000000.mp3");
}

bool readExactly(int fd, void* data, size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t count = ::recv(fd, bytes, size, 0);
        if (count <= 0)
            return false;
        bytes += count;
        size -= static_cast<size_t>(count);
    }
    return true;
}

bool writeAll(int fd, const void* data, size_t size) {
    return ::send(fd, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

// A Box on loopback, on a thread of the measured process: it reads the
// commands until "play", asks for the first entry, and notes when its first
// byte arrives; then it times file changes among the last entries.
class ScriptedBox {
public:
    ScriptedBox() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 2);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~ScriptedBox() {
        for (int fd : {m_listener, m_command, m_data})
            if (fd >= 0)
                ::close(fd);
    }
    int Port() const { return m_port; }
    // Ends a wait for the link's connections.
    void Abort() { ::shutdown(m_listener, SHUT_RDWR); }

    // Runs on the Box's thread until the first byte of entry 0 arrived.
    bool ServeFirstEntry() {
        m_command = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        m_data = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        const int isInline = 1;
        // The file-size record's urgent byte stays in the stream.
        ::setsockopt(m_data, SOL_SOCKET, SO_OOBINLINE, &isInline, sizeof isInline);
        if (!awaitPlay())
            return false;
        if (!requestEntry(0))
            return false;
        char first[kFileSizeRecordBytes + 1];
        if (!readExactly(m_data, first, sizeof first))
            return false;
        m_firstByteAt = Clock::now();
        return readExactly(m_data, first, kFileBytes - 1);
    }

    // Seconds per change, asking for count entries among the last ones.
    double TimeFileChanges(int entries, int count) {
        std::vector<char> bytes(kFileSizeRecordBytes + kFileBytes);
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i)
            if (!requestEntry(entries - 1 - i) || !readExactly(m_data, bytes.data(), bytes.size()))
                return -1;
        return secondsSince(start) / count;
    }
    Clock::time_point FirstByteAt() const { return m_firstByteAt; }

private:
    bool awaitPlay() {
        for (;;) {
            uint8_t head[kFileSizeRecordBytes];
            if (!readExactly(m_command, head, sizeof head))
                return false;
            if (head[0] == WireByte(kCmdPlay))
                return true;
            if (head[0] != WireByte(kCmdPlayListNames) && head[0] != WireByte(kCmdUpgrade))
                continue;
            uint8_t lengthBytes[4];
            if (!readExactly(m_command, lengthBytes, sizeof lengthBytes))
                return false;
            std::vector<char> extra(kvu::ReadLe32(lengthBytes));
            if (!readExactly(m_command, extra.data(), extra.size()))
                return false;
        }
    }

    // A status record: "stat", sequence, "play" and the entry's index.
    bool requestEntry(int index) {
        uint8_t record[16] = {'s', 't', 'a', 't', 0, 0, 0, 0, 'p', 'l', 'a', 'y'};
        kvu::WriteLe32(record + 12, static_cast<uint32_t>(index));
        return writeAll(m_data, record, sizeof record);
    }

    int m_listener = -1;
    int m_command = -1;
    int m_data = -1;
    int m_port = 0;
    Clock::time_point m_firstByteAt;
};

// What a child reports back through its pipe.
struct Figures {
    double firstByteSeconds = -1;
    double fileChangeSeconds = -1;
    double nameSeconds = -1;
};

constexpr int kNameLookups = 10000;

// The host window of the application's asynchronous instances; the bench
// needs none of the notifications.
void ignoreMessage(void*, uint32_t, uintptr_t, intptr_t) {}

// The application's path for a drop of one folder on the photo-and-music pool.
Figures dropFolder(const fs::path& folder, int entries) {
    Figures figures;
    ScriptedBox box;
    bool isServed = false;
    std::thread boxThread([&] { isServed = box.ServeFirstEntry(); });
    const auto start = Clock::now();

    CFileCollector collector;
    collector.CollectFiles(folder.string());
    const std::optional<std::string> listPath = kvu::WriteTemporaryPlayList(collector.Files());
    DmpHostWindow window{ignoreMessage, nullptr};
    DmpVellumoInfo* handle = CreateWithAsyncIoA("127.0.0.1", box.Port(), &window);
    const std::wstring widePath = listPath ? kvu::FromUtf8(*listPath) : std::wstring();
    const bool isPlaying = listPath && GetFilesType(handle, widePath.c_str()) == DMP_TYPE_AUDIO &&
                           PlayFile(handle, widePath.c_str());
    if (!isPlaying) {
        // Closing the links ends the Box's reads.
        box.Abort();
        Destroy(handle);
        handle = nullptr;
    }
    boxThread.join();
    if (isPlaying && isServed) {
        figures.firstByteSeconds = std::chrono::duration<double>(box.FirstByteAt() - start).count();
        figures.fileChangeSeconds = box.TimeFileChanges(entries, kFileChanges);
        // The name of the entry the Box asked for last, near the end.
        const auto start = Clock::now();
        for (int i = 0; i < kNameLookups; ++i)
            if (GetCurPlayingAudioName(handle) == nullptr)
                return figures;
        figures.nameSeconds = secondsSince(start) / kNameLookups;
    }
    if (listPath)
        ::unlink(listPath->c_str());
    Destroy(handle);
    return figures;
}

// The same work done plainly: walk the folder in name order, stat every
// entry, write the same play list.
Figures plainWalk(const fs::path& folder) {
    const auto start = Clock::now();
    std::vector<std::string> names;
    DIR* directory = ::opendir(folder.c_str());
    while (const dirent* entry = directory != nullptr ? ::readdir(directory) : nullptr)
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    if (directory != nullptr)
        ::closedir(directory);
    std::sort(names.begin(), names.end());
    std::vector<std::wstring> paths;
    paths.reserve(names.size());
    for (const std::string& name : names) {
        const std::string path = folder.string() + "/" + name;
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
            paths.push_back(kvu::FromUtf8(path));
    }
    const std::optional<std::string> listPath = kvu::WriteTemporaryPlayList(paths);
    Figures figures;
    if (listPath) {
        figures.firstByteSeconds = secondsSince(start);
        ::unlink(listPath->c_str());
    }
    return figures;
}

// Runs one side in a fresh process of this program (so that its peak
// resident size is its own): its figures and that peak.
bool inChild(const char* side, const fs::path& folder, int entries, Figures& figures,
             double& peakMiB) {
    int channel[2];
    if (::pipe(channel) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const std::string entryText = std::to_string(entries);
        const std::string fdText = std::to_string(channel[1]);
        ::execl("/proc/self/exe", "playlist_bench", "--side", side, folder.c_str(),
                entryText.c_str(), fdText.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(channel[1]);
    const bool isRead =
        ::read(channel[0], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
    ::close(channel[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return isRead && WIFEXITED(status) && WEXITSTATUS(status) == 0 && figures.firstByteSeconds >= 0;
}

// The child's part: playlist_bench --side drop|plain FOLDER ENTRIES FD.
int runSide(const std::string& side, const fs::path& folder, int entries, int fd) {
    const Figures figures = side == "drop" ? dropFolder(folder, entries) : plainWalk(folder);
    const bool isSent =
        ::write(fd, &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
    return isSent ? 0 : 1;
}

bool folderSection(int entries) {
    char base[] = "/tmp/playlist_folderXXXXXX";
    if (mkdtemp(base) == nullptr)
        return false;
    const fs::path large = fs::path(base) / "large";
    const fs::path small = fs::path(base) / "small";
    if (!makeFolder(large, entries) || !makeFolder(small, kSmallFolderEntries))
        return false;

    constexpr int kFolderRounds = 3;
    std::vector<double> oursSeconds, plainSeconds, oursMiB, plainMiB;
    std::vector<double> largeChange, smallChange, largeName, smallName;
    bool isComplete = true;
    for (int round = 0; round < kFolderRounds && isComplete; ++round) {
        Figures ours, plain, smallList;
        double oursPeak = 0, plainPeak = 0, smallPeak = 0;
        // Alternating sides, each in a fresh process.
        isComplete = inChild("drop", large, entries, ours, oursPeak) &&
                     inChild("plain", large, entries, plain, plainPeak) &&
                     inChild("drop", small, kSmallFolderEntries, smallList, smallPeak);
        oursSeconds.push_back(ours.firstByteSeconds);
        plainSeconds.push_back(plain.firstByteSeconds);
        oursMiB.push_back(oursPeak);
        plainMiB.push_back(plainPeak);
        largeChange.push_back(ours.fileChangeSeconds);
        smallChange.push_back(smallList.fileChangeSeconds);
        largeName.push_back(ours.nameSeconds);
        smallName.push_back(smallList.nameSeconds);
    }
    fs::remove_all(base);
    if (!isComplete) {
        std::fprintf(stderr, "a folder round failed\n");
        return false;
    }
    const double ours = median(oursSeconds), plain = median(plainSeconds);
    const double oursPeak = median(oursMiB), plainPeak = median(plainMiB);
    const double large1 = median(largeChange), small1 = median(smallChange);
    std::printf("2. folder of %d files of %zu bytes dropped, median of %d rounds\n", entries,
                kFileBytes, kFolderRounds);
    std::printf("   to the Box's first byte: %7.3f s   (goal < 0.5 s)\n", ours);
    std::printf("   plain walk + stat + list:   %7.3f s\n", plain);
    std::printf("   ratio ours/plain time:      %7.2f\n", ours / plain);
    std::printf("   peak memory:   %7.1f MiB; plain: %7.1f MiB; ratio %.2f\n", oursPeak, plainPeak,
                oursPeak / plainPeak);
    const double largeName1 = median(largeName), smallName1 = median(smallName);
    std::printf(
        "3. near the end of a list of %d and of %d entries (constant cost: ratio about 1)\n",
        kSmallFolderEntries, entries);
    std::printf("   file change, Box request to its last byte (%d changes, waits of the link "
                "included):\n      %8.3f ms, %8.3f ms, ratio %.2f\n",
                kFileChanges, 1000 * small1, 1000 * large1, large1 / small1);
    std::printf("   name of the current entry asked (%d times):\n      %8.3f us, %8.3f us, "
                "ratio %.2f\n",
                kNameLookups, 1e6 * smallName1, 1e6 * largeName1, largeName1 / smallName1);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--side")
        return runSide(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    const int entries = argc > 1 ? std::atoi(argv[1]) : kLines;
    if (entries < kSmallFolderEntries) {
        std::fprintf(stderr, "usage: playlist_bench [ENTRIES >= %d]\n", kSmallFolderEntries);
        return 2;
    }
    if (!parseSection())
        return 1;
    return folderSection(entries) ? 0 : 1;
}
