#include "RendererApi.h"

#include "CRendererPlayer.h"
#include "Unicode.h"
#include "resources/CStringTable.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Every live player.
std::mutex g_mutex;
std::vector<CRendererPlayer*> g_players;

CRendererPlayer* playerOf(DmpVellumoInfo* handle) {
    auto* player = reinterpret_cast<CRendererPlayer*>(handle);
    std::lock_guard lock(g_mutex);
    return std::find(g_players.begin(), g_players.end(), player) != g_players.end() ? player
                                                                                    : nullptr;
}

DmpVellumoInfo* handleOf(CRendererPlayer* player) {
    return reinterpret_cast<DmpVellumoInfo*>(player);
}

template <typename Result, typename Call>
Result withPlayer(DmpVellumoInfo* handle, Result none, Call call) {
    CRendererPlayer* player = playerOf(handle);
    return player != nullptr ? call(*player) : none;
}

DmpVellumoInfo* createPlayer(const wchar_t* location, int32_t /*port*/, DmpHostWindow* window) {
    if (location == nullptr)
        return nullptr;
    auto* player = new CRendererPlayer(kvu::ToUtf8(location), window);
    std::lock_guard lock(g_mutex);
    g_players.push_back(player);
    return handleOf(player);
}

void destroyPlayer(DmpVellumoInfo* handle) {
    auto* player = reinterpret_cast<CRendererPlayer*>(handle);
    {
        std::lock_guard lock(g_mutex);
        const auto found = std::find(g_players.begin(), g_players.end(), player);
        if (found == g_players.end())
            return;
        g_players.erase(found);
    }
    delete player;
}

bool playFile(DmpVellumoInfo* handle, const wchar_t* path) {
    CRendererPlayer* player = playerOf(handle);
    if (player == nullptr || path == nullptr)
        return false;
    // One transport per renderer: what played there ends.
    std::vector<CRendererPlayer*> others;
    {
        std::lock_guard lock(g_mutex);
        for (CRendererPlayer* other : g_players)
            if (other != player && other->Location() == player->Location())
                others.push_back(other);
    }
    for (CRendererPlayer* other : others)
        other->Displaced();
    return player->PlayFile(path);
}

uint32_t filesType(DmpVellumoInfo* handle, const wchar_t* path) {
    return path == nullptr ? 0u : withPlayer(handle, 0u, [path](CRendererPlayer& player) {
        return player.FilesType(path);
    });
}

bool fileList(DmpVellumoInfo* handle, uint32_t mask, DmpMediaList** list) {
    return withPlayer(handle, false, [mask, list](CRendererPlayer& player) {
        const std::vector<std::wstring>* entries = nullptr;
        if (list == nullptr || !player.FileList(mask, &entries))
            return false;
        *list = reinterpret_cast<DmpMediaList*>(const_cast<std::vector<std::wstring>*>(entries));
        return true;
    });
}

bool mergeFileList(DmpVellumoInfo* handle, const DmpMediaList* list, uint32_t mask,
                   int32_t position) {
    if (list == nullptr)
        return false;
    const auto& entries = *reinterpret_cast<const std::vector<std::wstring>*>(list);
    return withPlayer(handle, false, [&](CRendererPlayer& player) {
        return player.Merge(entries, mask, position);
    });
}

void clearPlayList(DmpVellumoInfo* handle, uint32_t mask) {
    withPlayer(handle, 0, [mask](CRendererPlayer& player) {
        player.ClearLists(mask);
        return 0;
    });
}

void closePlayer(DmpVellumoInfo* handle, uint32_t mask) {
    if (withPlayer(handle, false, [mask](CRendererPlayer& player) { return player.Close(mask); }))
        destroyPlayer(handle);
}

// The entries that read or act on one player, each forwarding its arguments.
template <auto Member, typename Result, typename... Args>
Result forward(DmpVellumoInfo* handle, Args... args) {
    return withPlayer(handle, Result{}, [&](CRendererPlayer& player) {
        return static_cast<Result>((player.*Member)(args...));
    });
}

template <uint32_t Type> int32_t count(DmpVellumoInfo* handle) {
    return withPlayer(handle, 0, [](CRendererPlayer& player) { return player.Count(Type); });
}

template <uint32_t Type> int32_t index(DmpVellumoInfo* handle) {
    return withPlayer(handle, 0, [](CRendererPlayer& player) { return player.Index(Type); });
}

template <uint32_t Type> const wchar_t* name(DmpVellumoInfo* handle) {
    const wchar_t* const none = nullptr;
    return withPlayer(handle, none, [](CRendererPlayer& player) { return player.Name(Type); });
}

template <uint32_t Type> bool isPaused(DmpVellumoInfo* handle) {
    return withPlayer(handle, false, [](CRendererPlayer& player) { return player.IsPaused(Type); });
}

template <uint32_t Type> int32_t repeatMode(DmpVellumoInfo* handle) {
    return withPlayer(handle, 0, [](CRendererPlayer& player) { return player.RepeatMode(Type); });
}

DmpVellumoApi makeApi() {
    DmpVellumoApi api;
    api.CreateWithAsyncIo = createPlayer;
    api.Destroy = destroyPlayer;
    api.PlayFile = playFile;
    api.GetFilesType = filesType;
    api.GetFileList = fileList;
    api.MergeFileList = mergeFileList;
    api.ClearPlayList = clearPlayList;
    api.Close = closePlayer;
    api.PlayNext = forward<&CRendererPlayer::Next, bool, uint32_t>;
    api.PlayPrev = forward<&CRendererPlayer::Previous, bool, uint32_t>;
    api.Pause = forward<&CRendererPlayer::Pause, bool, uint32_t>;
    api.Resume = forward<&CRendererPlayer::Resume, bool, uint32_t>;
    api.SetRepeat = forward<&CRendererPlayer::SetRepeat, bool, uint32_t, int32_t>;
    api.SeekFileByTime = forward<&CRendererPlayer::Seek, bool, uint32_t>;
    api.SetVolume = forward<&CRendererPlayer::SetVolume, bool, int32_t>;
    api.GetPlayingType = forward<&CRendererPlayer::PlayingType, uint32_t>;
    api.GetTotalDuration = forward<&CRendererPlayer::TotalSeconds, int32_t>;
    api.GetCurrentDuration = forward<&CRendererPlayer::ElapsedSeconds, int32_t>;
    api.GetVolume = forward<&CRendererPlayer::Volume, int32_t>;
    api.GetMaxVolume = forward<&CRendererPlayer::MaxVolume, int32_t>;
    api.GetVideoCounts = count<DMP_TYPE_VIDEO>;
    api.GetImageCounts = count<DMP_TYPE_IMAGE>;
    api.GetAudioCounts = count<DMP_TYPE_AUDIO>;
    api.GetCurPlayingVideoIndex = index<DMP_TYPE_VIDEO>;
    api.GetCurPlayingImageIndex = index<DMP_TYPE_IMAGE>;
    api.GetCurPlayingAudioIndex = index<DMP_TYPE_AUDIO>;
    api.GetCurPlayingVideoName = name<DMP_TYPE_VIDEO>;
    api.GetCurPlayingImageName = name<DMP_TYPE_IMAGE>;
    api.GetCurPlayingAudioName = name<DMP_TYPE_AUDIO>;
    api.IsVideoPaused = isPaused<DMP_TYPE_VIDEO>;
    api.IsImagePaused = isPaused<DMP_TYPE_IMAGE>;
    api.IsAudioPaused = isPaused<DMP_TYPE_AUDIO>;
    api.GetVideoRepeatStatus = repeatMode<DMP_TYPE_VIDEO>;
    api.GetImageRepeatStatus = repeatMode<DMP_TYPE_IMAGE>;
    api.GetAudioRepeatStatus = repeatMode<DMP_TYPE_AUDIO>;
    return api;
}

} // namespace

QString RendererErrorText(DmpVellumoInfo* handle, int32_t error, const QString& rendererName) {
    constexpr int kStringNoPlayableType = 623;
    // The names the message has room for; more are marked only.
    constexpr size_t kListedFiles = 2;
    CRendererPlayer* player = playerOf(handle);
    if (error != kRendererErrorNoPlayableType || player == nullptr)
        return {};
    const std::vector<std::wstring> files = player->UnplayableFiles();
    QStringList names;
    // Names alone: the types, which few users read, are in the trace.
    for (size_t i = 0; i < std::min(files.size(), kListedFiles); ++i)
        names.append(QFileInfo(QString::fromStdWString(files[i])).fileName());
    if (files.size() > kListedFiles)
        names.append(QStringLiteral("…"));
    return CStringTable::Get()
        .text(kStringNoPlayableType)
        .replace(QStringLiteral("%S"), rendererName)
        .replace(QStringLiteral("%F"), names.join(QStringLiteral(", ")));
}

const DmpVellumoApi& GetRendererApi() {
    static const DmpVellumoApi api = makeApi();
    return api;
}
