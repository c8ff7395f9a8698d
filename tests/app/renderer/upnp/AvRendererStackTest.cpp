// The control point against a real renderer in a network namespace of its own,
// reached over a veth pair; the media comes from the application's media
// server on this side of the pair, ranges and all, as when a user plays.
#include "CAvRenderer.h"
#include "CMediaServer.h"
#include "PrivateNetwork.h"
#include "RendererRecorder.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

namespace {

const char* const kAvTransport = "urn:schemas-upnp-org:service:AVTransport:1";
const char* const kRenderingControl = "urn:schemas-upnp-org:service:RenderingControl:1";

void PutLe(std::string* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A mono 16-bit PCM WAV of a quiet tone.
std::string ToneWav(int seconds) {
    const uint32_t rate = 8000;
    const uint32_t samples = rate * static_cast<uint32_t>(seconds);
    std::string wav = "RIFF";
    PutLe(&wav, 36 + samples * 2, 4);
    wav += "WAVEfmt ";
    PutLe(&wav, 16, 4);
    PutLe(&wav, 1, 2);
    PutLe(&wav, 1, 2);
    PutLe(&wav, rate, 4);
    PutLe(&wav, rate * 2, 4);
    PutLe(&wav, 2, 2);
    PutLe(&wav, 16, 2);
    wav += "data";
    PutLe(&wav, samples * 2, 4);
    for (uint32_t i = 0; i < samples; ++i)
        PutLe(&wav, static_cast<uint32_t>(static_cast<int16_t>(2000 * std::sin(i * 0.3))), 2);
    return wav;
}

bool CanMakeNamespaces(std::string* why) {
    if (!IsInPrivateNetwork()) {
        *why = "not in a private network";
        return false;
    }
    if (geteuid() != 0) {
        *why = "veth pairs need root";
        return false;
    }
    return access("/usr/bin/gmediarender", X_OK) == 0 || (*why = "no gmediarender", false);
}

class AvRendererStackTest : public testing::Test {
protected:
    // Starts the renderer and opens it into renderer. net: the pair's number,
    // one per test, since tests run side by side in one private network.
    void OpenRenderer(const std::string& stack, int net, std::unique_ptr<CAvRenderer>& renderer) {
        std::string why;
        if (!CanMakeNamespaces(&why))
            GTEST_SKIP() << why;
        ASSERT_TRUE(m_renderer.Start({"/bin/bash", VELLUMO_RUN_RENDERER, "--stack", stack, "--net",
                                      std::to_string(net), "--name", "Stack Renderer", "--uuid",
                                      "3f0e2b7a-1111-4c2d-9e8f-0a1b2c3d4e5f"},
                                     "LOCATION", &why))
            << why;
        CMediaServer::Settings settings;
        settings.port = 0;
        settings.address = ntohl(inet_addr(m_renderer.Value("HOST").c_str()));
        m_server = std::make_unique<CMediaServer>(settings);
        ASSERT_TRUE(m_server->Start(&why)) << why;
        m_toneUri = m_server->UrlOf(
            m_server->Publish(m_media.write("tone.wav", ToneWav(60)), "audio/x-wav"));
        renderer = CAvRenderer::Open(m_renderer.Value("LOCATION"), &m_recorder, &why);
        ASSERT_NE(renderer, nullptr) << why;
    }

    RendererMedia Tone() const {
        RendererMedia media;
        media.uri = m_toneUri;
        media.title = "Tone";
        media.kind = RendererMedia::Kind::Music;
        media.mimeType = "audio/x-wav";
        media.sizeBytes = 44 + 60 * 8000 * 2;
        media.durationMs = 60000;
        return media;
    }

    TempDir m_media;
    PeerProcess m_renderer;
    std::unique_ptr<CMediaServer> m_server;
    std::string m_toneUri;
    RendererRecorder m_recorder;
};

using State = RendererTransport::State;

TEST_F(AvRendererStackTest, OpensAndPlaysPausesSeeksSetsVolumeAndStops) {
    std::unique_ptr<CAvRenderer> renderer;
    OpenRenderer("gmediarender", 21, renderer);
    if (IsSkipped() || HasFatalFailure())
        return;
    EXPECT_EQ(renderer->FriendlyName(), "Stack Renderer");
    EXPECT_EQ(renderer->Udn(), "uuid:3f0e2b7a-1111-4c2d-9e8f-0a1b2c3d4e5f");
    EXPECT_EQ(renderer->LocalAddress(), m_renderer.Value("HOST"));
    EXPECT_FALSE(renderer->SinkProtocols().empty());
    EXPECT_TRUE(renderer->CanPlay("audio/x-wav") || renderer->CanPlay("audio/wav"));
    EXPECT_FALSE(renderer->CanPlay("application/x-vellumo-none"));
    EXPECT_EQ(renderer->VolumeMax(), 100);
    ASSERT_TRUE(m_recorder.WaitForTransport([](const RendererTransport&) { return true; }));

    RendererMedia tone = Tone();
    size_t mark = m_recorder.Mark();
    renderer->SetMedia(tone);
    renderer->Play();
    ASSERT_TRUE(m_recorder.WaitForTransport(
        [&](const RendererTransport& transport) {
            return transport.state == State::Playing && transport.currentUri == tone.uri;
        },
        mark))
        << "last state " << RendererStateName(m_recorder.Last().state) << " uri "
        << m_recorder.Last().currentUri;
    std::string answer = SoapCall(renderer->AvTransportControlUrl(), kAvTransport,
                                  "GetTransportInfo", "<InstanceID>0</InstanceID>");
    EXPECT_EQ(XmlValue(answer, "CurrentTransportState"), "PLAYING") << answer;
    answer = SoapCall(renderer->AvTransportControlUrl(), kAvTransport, "GetMediaInfo",
                      "<InstanceID>0</InstanceID>");
    EXPECT_EQ(XmlValue(answer, "CurrentURI"), tone.uri) << answer;
    // Position comes from the once-a-second poll while playing.
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) { return transport.positionMs >= 1000; }));

    mark = m_recorder.Mark();
    renderer->Pause();
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) { return transport.state == State::Paused; }, mark));
    answer = SoapCall(renderer->AvTransportControlUrl(), kAvTransport, "GetTransportInfo",
                      "<InstanceID>0</InstanceID>");
    EXPECT_EQ(XmlValue(answer, "CurrentTransportState"), "PAUSED_PLAYBACK") << answer;

    mark = m_recorder.Mark();
    renderer->SeekTo(30000);
    renderer->Play();
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) {
            return transport.state == State::Playing && transport.positionMs >= 30000;
        },
        mark))
        << "position " << m_recorder.Last().positionMs;
    answer = SoapCall(renderer->AvTransportControlUrl(), kAvTransport, "GetPositionInfo",
                      "<InstanceID>0</InstanceID>");
    std::string relTime = XmlValue(answer, "RelTime");
    EXPECT_TRUE(relTime.rfind("0:00:3", 0) == 0 || relTime.rfind("00:00:3", 0) == 0) << answer;

    mark = m_recorder.Mark();
    renderer->SetVolume(37);
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) { return transport.volume == 37; }, mark));
    answer = SoapCall(renderer->RenderingControlUrl(), kRenderingControl, "GetVolume",
                      "<InstanceID>0</InstanceID><Channel>Master</Channel>");
    EXPECT_EQ(XmlValue(answer, "CurrentVolume"), "37") << answer;

    mark = m_recorder.Mark();
    renderer->Stop();
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) { return transport.state == State::Stopped; },
        mark));
    answer = SoapCall(renderer->AvTransportControlUrl(), kAvTransport, "GetTransportInfo",
                      "<InstanceID>0</InstanceID>");
    EXPECT_EQ(XmlValue(answer, "CurrentTransportState"), "STOPPED") << answer;

    renderer.reset();
    for (const auto& failure : m_recorder.Failures())
        ADD_FAILURE() << failure.action << " failed: " << failure.code << " " << failure.text;
    EXPECT_EQ(m_recorder.LostCount(), 0);
    EXPECT_TRUE(m_recorder.CameOnOneOtherThread(std::this_thread::get_id()));
}

TEST_F(AvRendererStackTest, RendererThatExitsIsReportedLostOnce) {
    std::unique_ptr<CAvRenderer> renderer;
    OpenRenderer("gmediarender", 22, renderer);
    if (IsSkipped() || HasFatalFailure())
        return;
    renderer->SetMedia(Tone());
    renderer->Play();
    ASSERT_TRUE(m_recorder.WaitForTransport(
        [](const RendererTransport& transport) { return transport.state == State::Playing; }));
    m_renderer.Finish();
    EXPECT_TRUE(m_recorder.WaitForLost());
    renderer->Play();
    renderer->SetVolume(5);
    renderer.reset();
    EXPECT_EQ(m_recorder.LostCount(), 1);
    EXPECT_FALSE(m_recorder.HasReportAfterLost());
}

// A second stack: Rygel's playbin renderer, headless, found over the pair.
// Its playbin finds no audio output here and stays stopped, so only what
// needs no playing is checked.
TEST_F(AvRendererStackTest, RygelPlaybinOpensAndTakesTheVolume) {
    if (access("/usr/bin/rygel", X_OK) != 0)
        GTEST_SKIP() << "no rygel";
    std::unique_ptr<CAvRenderer> renderer;
    OpenRenderer("rygel", 23, renderer);
    if (IsSkipped() || HasFatalFailure())
        return;
    EXPECT_EQ(renderer->FriendlyName(), "Stack Renderer");
    EXPECT_EQ(renderer->LocalAddress(), m_renderer.Value("HOST"));
    EXPECT_TRUE(renderer->CanPlay("audio/x-wav") || renderer->CanPlay("audio/wav"));
    EXPECT_TRUE(renderer->HasNextMedia());
    // A value that differs from where it starts, so that a change is reported.
    int half = renderer->VolumeMax() * 37 / 100;
    size_t mark = m_recorder.Mark();
    renderer->SetVolume(half);
    EXPECT_TRUE(m_recorder.WaitForTransport(
        [&](const RendererTransport& transport) { return transport.volume == half; }, mark));
    std::string answer = SoapCall(renderer->RenderingControlUrl(), kRenderingControl, "GetVolume",
                                  "<InstanceID>0</InstanceID><Channel>Master</Channel>");
    EXPECT_EQ(XmlValue(answer, "CurrentVolume"), std::to_string(half)) << answer;
    renderer.reset();
    for (const auto& failure : m_recorder.Failures())
        ADD_FAILURE() << failure.action << " failed: " << failure.code << " " << failure.text;
    EXPECT_EQ(m_recorder.LostCount(), 0);
}

} // namespace
