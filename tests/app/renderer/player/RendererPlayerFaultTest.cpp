// A renderer player against the scripted renderer on loopback: what the
// renderer lists none of is told with the files, refused files are passed
// by to the end, a renderer that vanishes is told as a lost Box is.
#include "HostWindowRecorder.h"
#include "RendererRecorder.h"
#include "TempDir.h"
#include "playback/CDmpInstances.h"
#include "playback/CPlayRequest.h"
#include "player/RendererApi.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class RendererPlayerFaultTest : public ::testing::Test, public CPlayRequestReporter {
public:
    void ShowMessage(const QString& text) override { messages.append(text); }

protected:
    std::wstring media(const std::string& name) {
        const fs::path path = fs::path(dir.path()) / name;
        std::ofstream(path, std::ios::binary) << std::string(4096, 'm');
        return path.wstring();
    }

    // The scripted renderer with the arguments; the player started on it
    // for the files.
    DmpVellumoInfo* play(const std::vector<std::string>& arguments,
                         const std::vector<std::wstring>& files) {
        std::vector<std::string> args = {"/usr/bin/env", "python3", VELLUMO_FAKE_RENDERER};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::string why;
        EXPECT_TRUE(fake.Start(args, "LOCATION", &why)) << why;
        const std::string location = fake.Value("LOCATION");
        CPlayRequest request(instances, *this);
        const PlayTarget target{std::wstring(location.begin(), location.end()), 0, window.Window(),
                                true};
        EXPECT_EQ(request.Play(files, kPhotoMusicPoolMask, Placement::Queue, target),
                  PlayRequestOutcome::Started);
        return request.Record().started.empty() ? nullptr : request.Record().started.front();
    }

    const DmpVellumoApi& api = GetRendererApi();
    TempDir dir;
    PeerProcess fake;
    HostWindowRecorder window;
    QStringList messages;
    CDmpInstances instances{api};
};

// As many names as the message has room for, then a mark for the rest.
TEST_F(RendererPlayerFaultTest, FilesOfNoTypeTheRendererListsAreToldByName) {
    DmpVellumoInfo* player = play({}, {media("one.flac"), media("two.oga"), media("three.opus")});
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(window.Next(DMP_WM_CONNECTED, std::chrono::seconds(20)));
    const auto error = window.Next(DMP_WM_ERROR, std::chrono::seconds(20));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->lparam, kRendererErrorNoPlayableType);
    const QString text = RendererErrorText(player, error->lparam, QStringLiteral("Den TV"));
    EXPECT_TRUE(text.contains(QStringLiteral("Den TV"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("one.flac, two.oga, …"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("three.opus"))) << text.toStdString();
    // Only the renderer's own errors have a text of their own.
    EXPECT_TRUE(RendererErrorText(player, DMP_ERROR_CONNECT, QStringLiteral("Den TV")).isEmpty());
}

TEST_F(RendererPlayerFaultTest, FilesTheRendererRefusesArePassedByToTheEnd) {
    DmpVellumoInfo* player =
        play({"--fault", "SetAVTransportURI=714"}, {media("one.mp3"), media("two.mp3")});
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(window.Next(DMP_WM_CONNECTED, std::chrono::seconds(20)));
    const auto closed = window.Next(DMP_WM_CLOSED, std::chrono::seconds(30));
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->lparam, 0);
    EXPECT_EQ(api.GetPlayingType(player), 0u);
    EXPECT_EQ(window.CountOf(DMP_WM_ERROR), 0u);
}

TEST_F(RendererPlayerFaultTest, ARendererThatVanishesIsToldAsALostBox) {
    DmpVellumoInfo* player = play({"--mode", "vanish-on-play"}, {media("one.mp3")});
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(window.Next(DMP_WM_CONNECTED, std::chrono::seconds(20)));
    const auto error = window.Next(DMP_WM_ERROR, std::chrono::seconds(40));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->lparam, DMP_ERROR_BOX_LOST);
}

} // namespace
