// vellumoctl play: plays files, folders and play lists on a Box through the
// library's C interface, or on a standard renderer through the same calls,
// in asynchronous mode, printing one line per notification and taking
// commands on standard input.
#include "BoxAddress.h"
#include "Commands.h"
#include "DmpVellumoApi.h"
#include "PlayListWriter.h"
#include "Unicode.h"
#include "playback/CFileCollector.h"
#include "renderer/player/RendererApi.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Notification {
    uint32_t number;
    intptr_t lparam;
};

// The library posts from its own threads; a pipe hands the notifications
// to the main loop in order.
void postToPipe(void* context, uint32_t number, uintptr_t, intptr_t lparam) {
    const Notification notification{number, lparam};
    const int fd = *static_cast<int*>(context);
    // Under PIPE_BUF: written whole or not at all.
    [[maybe_unused]] const ssize_t written = ::write(fd, &notification, sizeof notification);
}

// Files in the order given; folders walked as a drop on the application's
// pools walks them.
void collect(const fs::path& path, CFileCollector& collector) {
    std::error_code error;
    if (!fs::is_directory(path, error) && !fs::is_regular_file(path, error)) {
        std::fprintf(stderr, "vellumoctl: skipping %s: not a file or folder\n", path.c_str());
        return;
    }
    collector.CollectFiles(fs::absolute(path, error).lexically_normal().string());
}

const char* errorText(intptr_t code) {
    switch (code) {
    case DMP_ERROR_NOT_CONNECTED:
        return "not connected";
    case DMP_ERROR_FILE_OPEN:
        return "file cannot be opened";
    case DMP_ERROR_CONNECT:
        return "connect failed";
    case DMP_ERROR_STATUS_READ:
        return "status read failed";
    case DMP_ERROR_SEND:
        return "send failed";
    case DMP_ERROR_BOX_LOST:
        return "the player stopped answering";
    default:
        return "unknown error";
    }
}

// What was last printed for one media type, so that only changes are told.
struct TypeView {
    using Index = decltype(DmpVellumoApi::GetVideoCounts);
    using Name = decltype(DmpVellumoApi::GetCurPlayingVideoName);
    using Flag = decltype(DmpVellumoApi::IsVideoPaused);

    TypeView(const char* label, uint32_t bit, Index index, Name name, Index count, Flag isPaused)
        : label(label), bit(bit), index(index), name(name), count(count), isPaused(isPaused) {}

    const char* label;
    uint32_t bit;
    Index index;
    Name name;
    Index count;
    Flag isPaused;
    std::wstring lastName;
    // Nothing is told until the Box reports a value.
    int32_t lastPosition = -1;
    int32_t lastVolume = 0;
    int32_t lastMaxVolume = 0;
    bool wasPaused = false;
};

void showStatus(const DmpVellumoApi& api, DmpVellumoInfo* handle, TypeView& view) {
    const wchar_t* name = view.name(handle);
    if (name != nullptr && view.lastName != name) {
        view.lastName = name;
        std::printf("%s: now playing %d/%d %ls\n", view.label, view.index(handle) + 1,
                    view.count(handle), name);
    }
    if (view.bit != DMP_TYPE_IMAGE) {
        const int32_t position = api.GetCurrentDuration(handle);
        if (position != view.lastPosition) {
            view.lastPosition = position;
            std::printf("%s: time %d/%d\n", view.label, position, api.GetTotalDuration(handle));
        }
        const int32_t volume = api.GetVolume(handle);
        const int32_t maxVolume = api.GetMaxVolume(handle);
        if (volume != view.lastVolume || maxVolume != view.lastMaxVolume) {
            view.lastVolume = volume;
            view.lastMaxVolume = maxVolume;
            std::printf("%s: volume %d/%d\n", view.label, volume, maxVolume);
        }
    }
    const bool isPaused = view.isPaused(handle);
    if (isPaused != view.wasPaused) {
        view.wasPaused = isPaused;
        std::printf("%s: %s\n", view.label, isPaused ? "paused" : "resumed");
    }
}

const char kKeysHelp[] =
    "commands: pause, resume, next, prev, seek T, vol V, mute, repeat R, quit\n";

// Returns false when the user asked to quit.
bool runCommand(const DmpVellumoApi& api, DmpVellumoInfo* handle, const std::string& line) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word))
        return true;
    const uint32_t mask = api.GetPlayingType(handle);
    long argument = 0;
    const bool hasArgument = static_cast<bool>(words >> argument);
    bool isDone = false;
    if (word == "q" || word == "quit")
        return false;
    if (word == "p" || word == "pause")
        isDone = api.Pause(handle, mask);
    else if (word == "r" || word == "resume")
        isDone = api.Resume(handle, mask);
    else if (word == "n" || word == "next")
        isDone = api.PlayNext(handle, mask);
    else if (word == "b" || word == "prev")
        isDone = api.PlayPrev(handle, mask);
    else if ((word == "s" || word == "seek") && hasArgument && argument >= 0)
        isDone = api.SeekFileByTime(handle, static_cast<uint32_t>(argument));
    else if ((word == "v" || word == "vol") && hasArgument)
        isDone = api.SetVolume(handle, static_cast<int32_t>(argument));
    else if (word == "m" || word == "mute")
        isDone = api.SetVolume(handle, -1);
    else if (word == "repeat" && hasArgument)
        isDone = api.SetRepeat(handle, mask, static_cast<int32_t>(argument));
    else {
        std::printf("%s", kKeysHelp);
        return true;
    }
    std::printf("%s: %s\n", word.c_str(), isDone ? "sent" : "failed");
    return true;
}

int playUsage() {
    std::fprintf(stderr, "usage: vellumoctl play --box ADDR[:PORT] PATH...\n"
                         "       vellumoctl play --renderer LOCATION PATH...\n");
    return kExitUsage;
}

} // namespace

int RunPlay(int argc, char** argv) {
    BoxAddress box;
    std::string location;
    CFileCollector collector;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--box") == 0 && i + 1 < argc) {
            if (!ParseBoxAddress(argv[++i], box)) {
                std::fprintf(stderr, "vellumoctl: bad box address '%s'\n", argv[i]);
                return kExitUsage;
            }
        } else if (std::strcmp(argv[i], "--renderer") == 0 && i + 1 < argc) {
            location = argv[++i];
            if (!location.starts_with("http://")) {
                std::fprintf(stderr,
                             "vellumoctl: '%s' is no description address (http://...), as "
                             "discover prints them\n",
                             location.c_str());
                return kExitUsage;
            }
        } else if (argv[i][0] == '-') {
            std::fprintf(stderr, "vellumoctl: unknown option '%s'\n", argv[i]);
            return playUsage();
        } else {
            collect(argv[i], collector);
        }
    }
    const std::vector<std::wstring> entries = collector.TakeFiles();
    if (box.host.empty() == location.empty() || argc == 0) {
        return playUsage();
    }
    const bool isRenderer = !location.empty();
    const DmpVellumoApi& api = isRenderer ? GetRendererApi() : LinkedDmpVellumoApi();
    if (entries.empty()) {
        std::fprintf(stderr, "vellumoctl: nothing to play\n");
        return kExitFailure;
    }
    const std::optional<std::string> listPath = kvu::WriteTemporaryPlayList(entries);
    if (!listPath) {
        std::fprintf(stderr, "vellumoctl: cannot write a temporary play list: %s\n",
                     std::strerror(errno));
        return kExitFailure;
    }

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::perror("vellumoctl: pipe");
        std::remove(listPath->c_str());
        return kExitFailure;
    }
    DmpHostWindow window{&postToPipe, &pipeFds[1]};
    const std::wstring address = kvu::FromUtf8(isRenderer ? location : box.host);
    DmpVellumoInfo* handle = api.CreateWithAsyncIo(address.c_str(), box.port, &window);
    const bool isStarted = api.PlayFile(handle, kvu::FromUtf8(*listPath).c_str());
    // The player has read the list: it keeps the entries itself.
    std::remove(listPath->c_str());
    if (!isStarted) {
        std::fprintf(stderr, "vellumoctl: nothing playable among the given files\n");
        api.Destroy(handle);
        return kExitFailure;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (isRenderer)
        std::printf("playing on %s\n%s", location.c_str(), kKeysHelp);
    else
        std::printf("playing on %s:%d\n%s", box.host.c_str(), box.port, kKeysHelp);

    TypeView views[] = {
        {"video", DMP_TYPE_VIDEO, api.GetCurPlayingVideoIndex, api.GetCurPlayingVideoName,
         api.GetVideoCounts, api.IsVideoPaused},
        {"image", DMP_TYPE_IMAGE, api.GetCurPlayingImageIndex, api.GetCurPlayingImageName,
         api.GetImageCounts, api.IsImagePaused},
        {"audio", DMP_TYPE_AUDIO, api.GetCurPlayingAudioIndex, api.GetCurPlayingAudioName,
         api.GetAudioCounts, api.IsAudioPaused},
    };
    int exitCode = kExitOk;
    bool isRunning = true;
    bool isStdinOpen = true;
    std::string pending;
    while (isRunning) {
        pollfd fds[2] = {{pipeFds[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, isStdinOpen ? 2 : 1, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            Notification notification{};
            if (::read(pipeFds[0], &notification, sizeof notification) != sizeof notification)
                continue;
            switch (notification.number) {
            case DMP_WM_CONNECTED:
                std::printf("connected\n");
                break;
            case DMP_WM_VIDEO_STATUS:
                showStatus(api, handle, views[0]);
                break;
            case DMP_WM_IMAGE_STATUS:
                showStatus(api, handle, views[1]);
                break;
            case DMP_WM_AUDIO_STATUS:
                showStatus(api, handle, views[2]);
                break;
            case DMP_WM_CLOSED:
                std::printf("closed, still playing 0x%x\n",
                            static_cast<unsigned>(notification.lparam));
                isRunning = notification.lparam != 0;
                break;
            case DMP_WM_ERROR:
                std::printf("error %d: %s\n", static_cast<int>(notification.lparam),
                            errorText(notification.lparam));
                if (notification.lparam == DMP_ERROR_CONNECT ||
                    (isRenderer && notification.lparam == DMP_ERROR_BOX_LOST)) {
                    exitCode = kExitFailure;
                    isRunning = false;
                }
                break;
            default:
                break;
            }
        }
        if (isStdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                isStdinOpen = false;
                continue;
            }
            pending.append(buffer, static_cast<size_t>(got));
            for (size_t end; isRunning && (end = pending.find('\n')) != std::string::npos;) {
                isRunning = runCommand(api, handle, pending.substr(0, end));
                pending.erase(0, end + 1);
            }
        }
    }
    // Closes every link (the Box is told "D") and frees the handle.
    api.Destroy(handle);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    std::printf("done\n");
    return exitCode;
}
