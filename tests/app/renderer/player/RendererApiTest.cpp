// The renderer's table as the playback code drives it, without a renderer
// on the network: what a drop plays on a player of one transport, two
// players on one renderer, an unknown handle, a renderer that does not
// answer.
#include "player/RendererApi.h"
#include "HostWindowRecorder.h"
#include "TempDir.h"
#include "playback/CDmpInstances.h"
#include "playback/CPlayRequest.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// Nothing listens there: the connect is refused at once.
constexpr wchar_t kSilentRenderer[] = L"http://127.0.0.1:9/description.xml";

class RendererApiTest : public ::testing::Test, public CPlayRequestReporter {
public:
    void ShowMessage(const QString& text) override { messages.append(text); }

protected:
    std::wstring media(const std::string& name) {
        const fs::path path = fs::path(dir.path()) / name;
        std::ofstream(path, std::ios::binary) << "media";
        return path.wstring();
    }
    PlayTarget target() { return PlayTarget{kSilentRenderer, 0, window.Window(), true}; }

    const DmpVellumoApi& api = GetRendererApi();
    TempDir dir;
    HostWindowRecorder window;
    QStringList messages;
    CDmpInstances instances{api};
};

TEST_F(RendererApiTest, ADropOfPhotosAndMusicPlaysTheMusicAlone) {
    CPlayRequest request(instances, *this);
    const std::vector<std::wstring> files = {media("a.jpg"), media("b.mp3"), media("c.png"),
                                             media("d.flac")};
    ASSERT_EQ(request.Play(files, kPhotoMusicPoolMask, Placement::Queue, target()),
              PlayRequestOutcome::Started);
    EXPECT_TRUE(request.Record().hasLeftOutPhotos);
    DmpVellumoInfo* player = request.Record().started.front();
    EXPECT_EQ(api.GetPlayingType(player), DMP_TYPE_AUDIO);
    EXPECT_EQ(api.GetAudioCounts(player), 2);
    EXPECT_EQ(api.GetImageCounts(player), 0);
}

TEST_F(RendererApiTest, PhotosAloneAndVideosPlayAsDropped) {
    CPlayRequest request(instances, *this);
    ASSERT_EQ(request.Play({media("a.jpg"), media("c.png")}, kPhotoMusicPoolMask, Placement::Queue,
                           target()),
              PlayRequestOutcome::Started);
    EXPECT_FALSE(request.Record().hasLeftOutPhotos);
    EXPECT_EQ(api.GetPlayingType(request.Record().started.front()), DMP_TYPE_IMAGE);
}

TEST_F(RendererApiTest, APlayerThatStartsEndsTheOneThatPlayedOnTheSameRenderer) {
    CPlayRequest first(instances, *this);
    ASSERT_EQ(first.Play({media("a.mp3")}, kPhotoMusicPoolMask, Placement::Queue, target()),
              PlayRequestOutcome::Started);
    DmpVellumoInfo* music = first.Record().started.front();
    CPlayRequest second(instances, *this);
    ASSERT_EQ(second.Play({media("v.mkv")}, kVideoPoolMask, Placement::Queue, target()),
              PlayRequestOutcome::Started);
    EXPECT_EQ(api.GetPlayingType(music), 0u);
    EXPECT_EQ(api.GetPlayingType(second.Record().started.front()), DMP_TYPE_VIDEO);
    const std::optional<HostWindowRecorder::Message> closed = window.Next(DMP_WM_CLOSED);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->wparam, reinterpret_cast<uintptr_t>(music));
    EXPECT_EQ(closed->lparam, 0);
}

TEST_F(RendererApiTest, MusicDroppedOnPlayingMusicJoinsItsQueue) {
    CPlayRequest first(instances, *this);
    ASSERT_EQ(first.Play({media("a.mp3")}, kPhotoMusicPoolMask, Placement::Queue, target()),
              PlayRequestOutcome::Started);
    DmpVellumoInfo* music = first.Record().started.front();
    CPlayRequest second(instances, *this);
    EXPECT_EQ(second.Play({media("b.mp3"), media("a.mp3")}, kPhotoMusicPoolMask, Placement::Queue,
                          target()),
              PlayRequestOutcome::Merged);
    // Queued once: the entry already there is not added again.
    EXPECT_EQ(api.GetAudioCounts(music), 2);
    CPlayRequest third(instances, *this);
    EXPECT_EQ(third.Play({media("c.mp3")}, kPhotoMusicPoolMask, Placement::PlayNow, target()),
              PlayRequestOutcome::Merged);
    EXPECT_EQ(api.GetAudioCounts(music), 3);
}

TEST_F(RendererApiTest, ARendererThatDoesNotAnswerIsToldAsAFailedConnect) {
    CPlayRequest request(instances, *this);
    ASSERT_EQ(request.Play({media("a.mp3")}, kPhotoMusicPoolMask, Placement::Queue, target()),
              PlayRequestOutcome::Started);
    const std::optional<HostWindowRecorder::Message> error = window.Next(DMP_WM_ERROR);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->lparam, DMP_ERROR_CONNECT);
    EXPECT_EQ(window.CountOf(DMP_WM_CONNECTED), 0u);
}

TEST_F(RendererApiTest, UnknownHandlesAreIgnored) {
    int notAPlayer = 0;
    auto* unknown = reinterpret_cast<DmpVellumoInfo*>(&notAPlayer);
    EXPECT_EQ(api.GetPlayingType(unknown), 0u);
    EXPECT_FALSE(api.PlayFile(unknown, L"/tmp/x.m3u"));
    EXPECT_EQ(api.GetCurPlayingAudioName(unknown), nullptr);
    api.Destroy(unknown);
    EXPECT_EQ(api.Upgrade, nullptr);
}

} // namespace
