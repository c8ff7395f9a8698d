// Drives the C interface against vellumo-boxsim for a soak run: play, seek,
// next, volume, merge, close and destroy, connects that fail, a Box that
// vanishes mid-play and device queries, over and over until the time is up.
// scripts/soak.sh samples this process's descriptors, threads and memory.
//
//   soak_driver BOXSIM MINUTES WORKDIR
//
// Prints one line per hundred rounds; exits 1 when a call that must succeed
// fails.
#include "PlayListWriter.h"
#include "dmp_vellumo.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kEventBound = std::chrono::seconds(10);

// A host window whose post only queues, as the library requires.
class Window {
public:
    Window() : m_window{&Window::post, this} {}
    DmpHostWindow* Get() { return &m_window; }

    // Waits for a message with that number and takes it.
    bool Take(uint32_t number) {
        std::unique_lock lock(m_mutex);
        return m_posted.wait_for(lock, kEventBound, [&] {
            for (auto it = m_messages.begin(); it != m_messages.end(); ++it)
                if (*it == number) {
                    m_messages.erase(it);
                    return true;
                }
            return false;
        });
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
    }

private:
    static void post(void* context, uint32_t number, uintptr_t, intptr_t) {
        auto* self = static_cast<Window*>(context);
        std::lock_guard lock(self->m_mutex);
        self->m_messages.push_back(number);
        self->m_posted.notify_all();
    }

    DmpHostWindow m_window;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::vector<uint32_t> m_messages;
};

// One vellumo-boxsim on 127.0.0.1 and a port it picked.
class Box {
public:
    explicit Box(std::string path) : m_path(std::move(path)) {}
    ~Box() { Stop(); }

    bool Start() {
        int out[2];
        if (::pipe(out) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            // Reads at 4 MB/s: a track of 1 MB plays for a while. The setup
            // page takes a free port: two Boxes run at once.
            ::execl(m_path.c_str(), m_path.c_str(), "--address", "127.0.0.1", "--port", "0",
                    "--http-port", "0", "--read-rate", "4000000", "--rate", "1000000", "--no-hash",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        FILE* lines = ::fdopen(out[0], "r");
        char line[256] = {};
        const bool isReady = lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr &&
                             std::sscanf(line, "ready 127.0.0.1:%d", &m_port) == 1;
        if (lines != nullptr)
            std::fclose(lines);
        return isReady;
    }
    void Stop(int signal = SIGTERM) {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, signal);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    int Port() const { return m_port; }

private:
    std::string m_path;
    pid_t m_pid = -1;
    int m_port = 0;
};

std::string makeFile(const std::string& dir, const std::string& name, size_t bytes) {
    const std::string path = dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < bytes; ++i)
        out.put(static_cast<char>(i * 7 + 3));
    return path;
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

struct Fixture {
    std::string listPath;
};

bool fail(const std::string& what, long round) {
    std::fprintf(stderr, "soak: round %ld: %s\n", round, what.c_str());
    return false;
}

// An asynchronous handle playing the list once it reported the connection;
// null (the failure printed, with context after its text) when it did not.
DmpVellumoInfo* startPlaying(Box& box, const Fixture& files, Window& window, long round,
                             const std::string& context = {}) {
    window.Clear();
    DmpVellumoInfo* handle = CreateWithAsyncIoA("127.0.0.1", box.Port(), window.Get());
    if (!PlayFileA(handle, files.listPath.c_str())) {
        fail("PlayFile" + context, round);
        return nullptr;
    }
    if (!window.Take(DMP_WM_CONNECTED)) {
        fail("no connected notification" + context, round);
        return nullptr;
    }
    return handle;
}

// Play with every control, then close the types one by one.
bool playAndControl(Box& box, const Fixture& files, Window& window, long round) {
    DmpVellumoInfo* handle = startPlaying(box, files, window, round);
    if (handle == nullptr)
        return false;
    window.Take(DMP_WM_AUDIO_STATUS);
    SeekFileByTime(handle, static_cast<uint32_t>(round % 3));
    SetVolume(handle, static_cast<int32_t>(round % 100));
    SetVolume(handle, -1);
    PlayNext(handle, DMP_TYPE_AUDIO);
    Pause(handle, DMP_TYPE_AUDIO);
    Resume(handle, DMP_TYPE_AUDIO);
    PlayPrev(handle, DMP_TYPE_AUDIO);
    DmpMediaList* list = nullptr;
    if (GetFileList(handle, DMP_TYPE_AUDIO, &list))
        MergeFileList(handle, list, DMP_TYPE_AUDIO, round % 2 == 0 ? -1 : 0);
    GetCurPlayingAudioName(handle);
    GetTotalDuration(handle);
    if (round % 2 == 0)
        Close(handle, GetPlayingType(handle));
    else
        Destroy(handle);
    return true;
}

bool connectFails(int closedPort, const Fixture& files, Window& window, long round) {
    window.Clear();
    DmpVellumoInfo* handle = CreateWithAsyncIoA("127.0.0.1", closedPort, window.Get());
    PlayFileA(handle, files.listPath.c_str());
    const bool isReported = window.Take(DMP_WM_ERROR);
    Destroy(handle);
    return isReported || fail("a failed connect was not reported", round);
}

bool synchronousPlay(Box& box, const Fixture& files, long round) {
    DmpVellumoInfo* handle = CreateA("127.0.0.1", box.Port());
    if (!PlayFileA(handle, files.listPath.c_str()))
        return fail("synchronous PlayFile", round);
    PlayNext(handle, DMP_TYPE_AUDIO);
    SetVolume(handle, 50);
    Destroy(handle);
    return true;
}

// The Box is killed while a file streams; the handle is destroyed after it
// noticed, and a new Box takes its place.
bool boxVanishes(Box& box, const Fixture& files, Window& window, long round) {
    DmpVellumoInfo* handle = startPlaying(box, files, window, round, " before the Box vanishes");
    if (handle == nullptr)
        return false;
    box.Stop(SIGKILL);
    window.Take(DMP_WM_CLOSED);
    Destroy(handle);
    return box.Start() || fail("the Box does not start again", round);
}

bool queryDevice(Box& box, long round) {
    DmpVellumoInfo* handle = CreateA("127.0.0.1", box.Port());
    int32_t major = 0, minor = 0, reserved = 0, build = 0;
    const bool isAnswered = GetBoxVersion(handle, &major, &minor, &reserved, &build);
    GetCurAdapterMacAddr(handle);
    Destroy(handle);
    return isAnswered || fail("GetBoxVersion", round);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: soak_driver BOXSIM MINUTES WORKDIR\n");
        return 2;
    }
    const std::string dir = argv[3];
    const auto deadline = Clock::now() + std::chrono::minutes(std::atol(argv[2]));
    Fixture files;
    std::vector<std::wstring> tracks;
    for (int i = 0; i < 3; ++i)
        tracks.push_back(wide(makeFile(dir, "track" + std::to_string(i) + ".mp3", 1 << 20)));
    files.listPath = dir + "/soak.m3u";
    if (!kvu::WritePlayList(files.listPath, tracks))
        return 1;

    Box box(argv[1]);
    if (!box.Start()) {
        std::fprintf(stderr, "soak: the Box does not start\n");
        return 1;
    }
    // A port that was just free: connects to it fail.
    Box gone(argv[1]);
    if (!gone.Start())
        return 1;
    const int closedPort = gone.Port();
    gone.Stop();

    Window window;
    long round = 0;
    while (Clock::now() < deadline) {
        bool isOk = true;
        switch (round % 5) {
        case 0:
            isOk = playAndControl(box, files, window, round);
            break;
        case 1:
            isOk = connectFails(closedPort, files, window, round);
            break;
        case 2:
            isOk = synchronousPlay(box, files, round);
            break;
        case 3:
            isOk = boxVanishes(box, files, window, round);
            break;
        default:
            isOk = queryDevice(box, round);
            break;
        }
        if (!isOk)
            return 1;
        if (++round % 100 == 0) {
            std::printf("soak: %ld rounds\n", round);
            std::fflush(stdout);
        }
    }
    std::printf("soak: done after %ld rounds\n", round);
    return 0;
}
