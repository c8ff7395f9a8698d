// The control point against a scripted renderer on loopback that refuses,
// stays silent, vanishes or sends what it should not.
#include "CAvRenderer.h"
#include "RendererRecorder.h"
#include "TempDir.h"
#include "TraceCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using State = RendererTransport::State;

class AvRendererFaultTest : public testing::Test {
protected:
    // Starts the scripted renderer with the arguments; its LOCATION.
    std::string StartFake(const std::vector<std::string>& arguments) {
        std::vector<std::string> args = {"/usr/bin/env", "python3", VELLUMO_FAKE_RENDERER, "--log",
                                         m_dir.file("requests.log")};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::string why;
        EXPECT_TRUE(m_fake.Start(args, "LOCATION", &why)) << why;
        return m_fake.Value("LOCATION");
    }

    std::unique_ptr<CAvRenderer> OpenFake(const std::vector<std::string>& arguments) {
        std::string error;
        auto renderer = CAvRenderer::Open(StartFake(arguments), &m_recorder, &error);
        EXPECT_NE(renderer, nullptr) << error;
        return renderer;
    }

    std::string OpenError(const std::string& location) {
        std::string error;
        auto renderer = CAvRenderer::Open(location, &m_recorder, &error);
        EXPECT_EQ(renderer, nullptr);
        return error;
    }

    static RendererMedia Song() {
        RendererMedia media;
        media.uri = "http://127.0.0.1:9/song.mp3";
        media.title = "Song";
        media.mimeType = "audio/mpeg";
        media.durationMs = 60000;
        return media;
    }

    bool PlaySong(CAvRenderer* renderer) {
        size_t mark = m_recorder.Mark();
        renderer->SetMedia(Song());
        renderer->Play();
        return m_recorder.WaitForTransport(
            [](const RendererTransport& transport) {
                return transport.state == State::Playing && transport.currentUri == Song().uri;
            },
            mark);
    }

    TempDir m_dir;
    PeerProcess m_fake;
    RendererRecorder m_recorder;
};

TEST_F(AvRendererFaultTest, RefusedActionsComeWithTheirCodes) {
    auto renderer = OpenFake({"--fault", "Play=701", "--fault", "SetAVTransportURI=714", "--fault",
                              "SetNextAVTransportURI=716", "--fault", "Pause=718"});
    ASSERT_NE(renderer, nullptr);
    ASSERT_TRUE(renderer->HasNextMedia());
    renderer->SetMedia(Song());
    renderer->SetNextMedia(Song());
    renderer->Play();
    renderer->Pause();
    struct Expected {
        const char* action;
        int code;
        const char* text;
    };
    for (const Expected& expected : {Expected{"SetAVTransportURI", 714, "Illegal MIME-type"},
                                     Expected{"SetNextAVTransportURI", 716, "Resource not found"},
                                     Expected{"Play", 701, "Transition not available"},
                                     Expected{"Pause", 718, "Invalid InstanceID"}}) {
        RendererRecorder::Failure failure = m_recorder.WaitForFailure(expected.action);
        EXPECT_EQ(failure.action, expected.action);
        EXPECT_EQ(failure.code, expected.code) << expected.action;
        EXPECT_NE(failure.text.find(expected.text), std::string::npos) << failure.text;
    }
    // Refusals are answers: the renderer is still there and takes the next one.
    size_t mark = m_recorder.Mark();
    renderer->SetVolume(12);
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) { return transport.volume == 12; }, mark));
    EXPECT_EQ(m_recorder.LostCount(), 0);
    EXPECT_EQ(m_recorder.Failures().size(), 4u);
}

TEST_F(AvRendererFaultTest, RelativeControlUrlsAreResolved) {
    for (const char* mode : {"relative-urls", "url-base"}) {
        SCOPED_TRACE(mode);
        auto renderer = OpenFake({"--mode", mode, "--volume-max", "60"});
        ASSERT_NE(renderer, nullptr);
        std::string location = m_fake.Value("LOCATION");
        std::string origin = location.substr(0, location.find('/', 7));
        EXPECT_EQ(renderer->AvTransportControlUrl(),
                  origin + (std::string(mode) == "url-base" ? "/base/" : "/dev/") + "avt/control");
        EXPECT_EQ(renderer->VolumeMax(), 60);
        EXPECT_EQ(renderer->LocalAddress(), "127.0.0.1");
        EXPECT_EQ(renderer->FriendlyName(), "Scripted Renderer");
        EXPECT_TRUE(renderer->CanPlay("audio/mpeg"));
        EXPECT_TRUE(renderer->CanPlay("video/mp4"));
        EXPECT_FALSE(renderer->CanPlay("image/png"));
        // The scripted renderer answers only at the resolved paths.
        EXPECT_TRUE(PlaySong(renderer.get()));
        renderer->SetVolume(200);
        EXPECT_TRUE(m_recorder.WaitForTransport(
            [](const RendererTransport& transport) { return transport.volume == 60; }));
        renderer.reset();
        m_fake.Finish();
    }
    EXPECT_TRUE(m_recorder.Failures().empty());
}

TEST_F(AvRendererFaultTest, RendererWithoutEventsIsFollowedByPolling) {
    auto renderer = OpenFake({"--mode", "no-events", "--mode", "no-next"});
    ASSERT_NE(renderer, nullptr);
    EXPECT_FALSE(renderer->HasNextMedia());
    EXPECT_TRUE(PlaySong(renderer.get()));
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) { return transport.positionMs >= 2000; }));
    size_t mark = m_recorder.Mark();
    renderer->SetVolume(33);
    renderer->SetMute(true);
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) {
            return transport.volume == 33 && transport.isMuted;
        },
        mark));
    mark = m_recorder.Mark();
    renderer->Pause();
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) { return transport.state == State::Paused; }, mark));
    EXPECT_TRUE(m_recorder.Failures().empty());
}

TEST_F(AvRendererFaultTest, RendererThatVanishesMidPlayIsLostOnce) {
    auto renderer = OpenFake({"--mode", "vanish-on-play"});
    ASSERT_NE(renderer, nullptr);
    renderer->SetMedia(Song());
    renderer->Play();
    ASSERT_TRUE(m_recorder.WaitForLost());
    EXPECT_NE(m_recorder.LostWhy().find("no longer answers"), std::string::npos);
    // Calls after the loss are dropped, not sent nor reported.
    renderer->Play();
    renderer->SeekTo(1000);
    renderer->SetVolume(3);
    renderer.reset();
    EXPECT_EQ(m_recorder.LostCount(), 1);
    EXPECT_FALSE(m_recorder.HasReportAfterLost());
    EXPECT_TRUE(m_recorder.CameOnOneOtherThread(std::this_thread::get_id()));
}

TEST_F(AvRendererFaultTest, OpenRefusesRenderersItCannotUse) {
    TraceCapture trace;
    EXPECT_NE(
        OpenError(StartFake({"--mode", "missing-control"})).find("does not offer AVTransport"),
        std::string::npos);
    m_fake.Finish();
    EXPECT_NE(OpenError(StartFake({"--mode", "huge-description"})).find("cannot read"),
              std::string::npos);
    EXPECT_TRUE(trace.Contains("exceeds 262144 bytes"));
    m_fake.Finish();
    EXPECT_NE(OpenError(StartFake({"--mode", "malformed-description"})).find("cannot read"),
              std::string::npos);
    std::string gone = m_fake.Value("LOCATION");
    m_fake.Finish();
    EXPECT_NE(OpenError(gone).find("does not answer"), std::string::npos);
    EXPECT_NE(OpenError("http://10.254.253.9:8080/d.xml").find("not on a network"),
              std::string::npos);
    EXPECT_NE(OpenError("ftp://127.0.0.1/d.xml").find("is not the address"), std::string::npos);
    EXPECT_NE(OpenError("not a url").find("is not the address"), std::string::npos);
    EXPECT_EQ(m_recorder.History().size(), 0u);
}

TEST_F(AvRendererFaultTest, BadEventsAndAnswersAreTracedAndSurvived) {
    for (const char* mode : {"bad-lastchange", "huge-lastchange", "missing-fields"}) {
        SCOPED_TRACE(mode);
        TraceCapture trace;
        auto renderer = OpenFake({"--mode", mode});
        ASSERT_NE(renderer, nullptr);
        renderer->SetMedia(Song());
        renderer->Play();
        if (std::string(mode) == "bad-lastchange")
            EXPECT_TRUE(trace.WaitFor("unreadable AVTransport LastChange"));
        else if (std::string(mode) == "huge-lastchange")
            EXPECT_TRUE(trace.WaitFor("LastChange of"));
        else
            EXPECT_TRUE(trace.WaitFor("answer lacks CurrentTransportState"));
        // Later events and answers still count.
        if (std::string(mode) != "missing-fields") {
            EXPECT_TRUE(m_recorder.WaitForTransport([](const RendererTransport& transport) {
                return transport.state == State::Playing;
            }));
        }
        renderer.reset();
        m_fake.Finish();
    }
    EXPECT_EQ(m_recorder.LostCount(), 0);
}

} // namespace
