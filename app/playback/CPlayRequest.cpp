#include "CPlayRequest.h"

#include "CFileCollector.h"
#include "DebugPrint.h"
#include "PlayListWriter.h"
#include "Unicode.h"
#include "resources/CStringTable.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kStringVideo = 251;
constexpr int kStringMusic = 252;
constexpr int kStringPhoto = 253;
constexpr int kStringIgnored = 254;
constexpr int kStringInvalidFiles = 272;
constexpr int kStringCut = 346;

constexpr uint32_t kAllTypes = DMP_TYPE_VIDEO | DMP_TYPE_IMAGE | DMP_TYPE_AUDIO;

// Deletes the play list when the request ends: the library has read it by then.
class PlayListFile {
public:
    explicit PlayListFile(std::string path) : m_path(std::move(path)) {}
    ~PlayListFile() {
        if (::unlink(m_path.c_str()) != 0)
            DebugPrint("CPlayRequest: unlink(%s) failed: 0x%08lx\n", m_path.c_str(),
                       static_cast<unsigned long>(errno));
    }
    PlayListFile(const PlayListFile&) = delete;
    PlayListFile& operator=(const PlayListFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

static_assert(CFileCollector::kMaxFiles == DMP_MAX_QUEUED_ENTRIES,
              "a drop holds as many files as a playing list");

PlayRequestOutcome CPlayRequest::withPlayList(
    const std::vector<std::wstring>& files,
    const std::function<PlayRequestOutcome(const std::string& playListPath)>& play) {
    PlayRequestOutcome outcome = PlayRequestOutcome::InvalidFiles;
    const std::optional<std::string> path = kvu::WriteTemporaryPlayList(files);
    if (path) {
        const PlayListFile playList(*path);
        outcome = play(playList.path());
    } else {
        m_messages.append(CStringTable::Get().text(kStringInvalidFiles));
    }
    for (const QString& message : std::exchange(m_messages, {}))
        m_reporter.ShowMessage(message);
    return outcome;
}

QString CPlayRequest::CutText() {
    return CStringTable::Get().text(kStringCut);
}

QString CPlayRequest::IgnoredText(uint32_t mask) {
    const CStringTable& strings = CStringTable::Get();
    QString text;
    if ((mask & DMP_TYPE_VIDEO) != 0)
        text += strings.text(kStringVideo);
    if ((mask & DMP_TYPE_IMAGE) != 0)
        text += strings.text(kStringPhoto);
    if ((mask & DMP_TYPE_AUDIO) != 0) {
        if (!text.isEmpty())
            text += u'/';
        text += strings.text(kStringMusic);
    }
    return text + strings.text(kStringIgnored);
}

PlayRequestOutcome CPlayRequest::Play(const std::vector<std::wstring>& files, uint32_t poolMask,
                                      Placement placement, const PlayTarget& target) {
    if (files.empty() || poolMask == 0)
        return PlayRequestOutcome::NothingToPlay;
    return withPlayList(files, [&](const std::string& path) {
        return playFromList(path, poolMask, kAllTypes, placement, target);
    });
}

PlayRequestOutcome CPlayRequest::PlayOpened(const std::vector<std::wstring>& files,
                                            const PlayTarget& target) {
    if (files.empty())
        return PlayRequestOutcome::NothingToPlay;
    return withPlayList(files, [&](const std::string& path) {
        const PlayRequestOutcome photoMusic =
            playFromList(path, kPhotoMusicPoolMask, kPhotoMusicPoolMask, Placement::Queue, target);
        if (photoMusic == PlayRequestOutcome::InvalidFiles ||
            photoMusic == PlayRequestOutcome::NoInstance)
            return photoMusic;
        const PlayRequestOutcome video =
            playFromList(path, kVideoPoolMask, kVideoPoolMask, Placement::Queue, target);
        return photoMusic == PlayRequestOutcome::Started ? photoMusic : video;
    });
}

PlayRequestOutcome CPlayRequest::PlayType(const std::vector<std::wstring>& files, uint32_t type,
                                          const PlayTarget& target) {
    if (files.empty())
        return PlayRequestOutcome::NothingToPlay;
    return withPlayList(files, [&](const std::string& path) {
        return playFromList(path, type, type, Placement::Queue, target);
    });
}

PlayRequestOutcome CPlayRequest::playFromList(const std::string& playListPath, uint32_t poolMask,
                                              uint32_t wantedMask, Placement placement,
                                              const PlayTarget& target) {
    const DmpVellumoApi& api = m_instances.Api();
    DmpVellumoInfo* instance =
        DmpCallOr(api.CreateWithAsyncIo, static_cast<DmpVellumoInfo*>(nullptr),
                  target.boxAddress.c_str(), target.boxPort, target.window);
    if (instance == nullptr)
        return PlayRequestOutcome::NoInstance;

    const std::wstring widePath = kvu::FromUtf8(playListPath);
    uint32_t types = DmpCallOr(api.GetFilesType, 0u, instance, widePath.c_str());
    if (types == 0) {
        if (api.Destroy != nullptr)
            api.Destroy(instance);
        m_messages.append(CStringTable::Get().text(kStringInvalidFiles));
        return PlayRequestOutcome::InvalidFiles;
    }
    if (target.isRenderer && (types & kPhotoMusicPoolMask) == kPhotoMusicPoolMask &&
        (wantedMask & DMP_TYPE_AUDIO) != 0) {
        DebugPrint("CPlayRequest: photos left out for the music on a player of one transport\n");
        m_record.hasLeftOutPhotos = true;
        wantedMask &= ~DMP_TYPE_IMAGE;
    }
    if (const uint32_t unwanted = types & ~wantedMask) {
        if (api.ClearPlayList != nullptr)
            api.ClearPlayList(instance, unwanted);
        types &= wantedMask;
        if (types == 0) {
            if (api.Destroy != nullptr)
                api.Destroy(instance);
            return PlayRequestOutcome::NothingToPlay;
        }
    }
    const int32_t position = placement == Placement::PlayNow ? 0 : -1;
    for (const uint32_t type : {DMP_TYPE_VIDEO, DMP_TYPE_IMAGE, DMP_TYPE_AUDIO}) {
        DmpVellumoInfo* existing = m_instances.FindInstanceFor(type);
        if ((types & type) == 0 || !MergeIntoPlaying(type, instance, position))
            continue;
        types &= ~type;
        const auto isRecorded = [existing](const auto& merge) { return merge.first == existing; };
        if (std::none_of(m_record.merged.begin(), m_record.merged.end(), isRecorded))
            m_record.merged.emplace_back(existing, placement);
    }

    const uint32_t accepted = types & poolMask;
    const uint32_t rest = types & ~accepted;
    if (rest != 0) {
        if (accepted == 0)
            m_messages.append(IgnoredText(rest));
        if (api.ClearPlayList != nullptr)
            api.ClearPlayList(instance, rest);
    }
    if (accepted != 0) {
        m_instances.Add(instance);
        m_record.started.push_back(instance);
        // Given the same path, the library plays the lists as merged and
        // cleared above instead of reading the file again.
        DmpCallOr(api.PlayFile, false, instance, widePath.c_str());
        return PlayRequestOutcome::Started;
    }
    if (api.Destroy != nullptr)
        api.Destroy(instance);
    return rest != 0 ? PlayRequestOutcome::Ignored : PlayRequestOutcome::Merged;
}

bool CPlayRequest::MergeIntoPlaying(uint32_t type, DmpVellumoInfo* newInstance, int32_t position) {
    const DmpVellumoApi& api = m_instances.Api();
    DmpVellumoInfo* existing = m_instances.FindInstanceFor(type);
    if (existing == nullptr || api.GetFileList == nullptr || api.MergeFileList == nullptr)
        return false;
    DmpMediaList* list = nullptr;
    if (!api.GetFileList(newInstance, type, &list) || list == nullptr)
        return false;
    api.MergeFileList(existing, list, type, position);
    if (api.ClearPlayList != nullptr)
        api.ClearPlayList(newInstance, type);
    const auto count = type == DMP_TYPE_VIDEO   ? api.GetVideoCounts
                       : type == DMP_TYPE_IMAGE ? api.GetImageCounts
                                                : api.GetAudioCounts;
    if (DmpCallOr(count, 0, existing) >= DMP_MAX_QUEUED_ENTRIES && !m_messages.contains(CutText()))
        m_messages.append(CutText());
    return true;
}
