// The panels' actions reach the simulated Box as the right commands, through
// the application's binding of the real library.
#include "PlaybackFixture.h"
#include "Unicode.h"
#include "playback/CPlaybackControl.h"
#include "playback/PanelStatus.h"
#include "ui/windows/ControlMessages.h"

namespace {

using Action = PlaybackAction;

// The Box reads 2 MB a second and 3,000,000 bytes make a second of play, so
// each 8 MB track plays a few seconds.
const std::vector<std::string> kRealTime = {"--read-rate", "2000000", "--rate", "3000000"};
constexpr size_t kTrackBytes = 8 << 20;

size_t countCommands(BoxSimProcess& box, char byte) {
    size_t count = 0;
    for (const JsonEvent& event : box.events())
        count += CommandIs(byte)(event);
    return count;
}

// Waits until the Box has logged n commands of that byte; the log has no
// wake-up of its own, so it is read again in short waits.
bool waitForCommands(BoxSimProcess& box, char byte, size_t n) {
    const auto deadline = std::chrono::steady_clock::now() + BoxSimProcess::kDefaultWait;
    while (countCommands(box, byte) < n) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        box.waitForEvent([](const JsonEvent&) { return false; }, std::chrono::milliseconds(20));
    }
    return true;
}

class PlaybackControlTest : public PlaybackFixture {
protected:
    // Plays three tracks and waits until the Box reads the first one.
    void startMusic(BoxSimProcess& box) {
        m_tracks = {media("one.mp3", kTrackBytes), media("two.mp3", kTrackBytes),
                    media("three.mp3", kTrackBytes)};
        ASSERT_EQ(play(box, m_tracks, kPhotoMusicPoolMask), PlayRequestOutcome::Started);
        ASSERT_TRUE(box.waitForEvent(EventIs("urgent")));
        ASSERT_TRUE(waitForAudio([](const MediaPanelStatus& s) { return s.index == 0; }));
    }
    // Waits on the audio notifications until the panel's values satisfy done.
    bool waitForAudio(const std::function<bool(const MediaPanelStatus&)>& done) {
        DmpVellumoInfo* instance = instances.FindInstanceFor(DMP_TYPE_AUDIO);
        while (!done(ReadAudioStatus(s_api, instance)))
            if (!window.Next(DMP_WM_AUDIO_STATUS))
                return done(ReadAudioStatus(s_api, instance));
        return true;
    }

    std::vector<std::wstring> m_tracks;
};

} // namespace

TEST_F(PlaybackControlTest, PanelActionsBecomeBoxCommands) {
    BoxSimProcess box(kRealTime);
    ASSERT_NO_FATAL_FAILURE(startMusic(box));
    const MediaPanelStatus status = ReadAudioStatus(s_api, instances.FindInstanceFor(4));
    EXPECT_EQ(status.count, 3);
    ASSERT_NE(status.name, nullptr);
    EXPECT_EQ(std::wstring(status.name), m_tracks[0]);

    CPlaybackControl control(instances);
    control.Handle(DMP_TYPE_AUDIO, Action::Pause);
    EXPECT_TRUE(box.waitForEvent(CommandIs('p')));
    // Nothing plays video: its pause goes nowhere.
    control.Handle(DMP_TYPE_VIDEO, Action::Pause);
    control.Handle(DMP_TYPE_AUDIO, Action::Resume);
    EXPECT_TRUE(box.waitForEvent(CommandIs('P')));
    EXPECT_EQ(countCommands(box, 'p'), 1u);

    // A volume drag sends odd values only and holds the refreshes back; the
    // release sends its value and lets them through.
    for (const int32_t volume : {10, 11, 12, 13})
        control.Handle(DMP_TYPE_AUDIO, Action::VolumeTrack, volume);
    EXPECT_TRUE(control.IsBusy());
    control.Handle(DMP_TYPE_AUDIO, Action::Volume, 14);
    EXPECT_FALSE(control.IsBusy());
    ASSERT_TRUE(waitForCommands(box, 'v', 3));
    std::vector<int64_t> sent;
    for (const JsonEvent& event : box.events())
        if (CommandIs('v')(event))
            sent.push_back(event.num("value"));
    EXPECT_EQ(sent, (std::vector<int64_t>{11, 13, 14}));
    control.Handle(DMP_TYPE_AUDIO, Action::Mute);
    EXPECT_TRUE(box.waitForEvent(CommandIs('m')));
    control.Handle(DMP_TYPE_AUDIO, Action::Repeat, 1);
    const auto repeat = box.waitForEvent(CommandIs('r'));
    ASSERT_TRUE(repeat);
    EXPECT_EQ(repeat->num("high"), 1);

    // A seek that ends on the file it began on reaches the Box.
    control.Handle(DMP_TYPE_AUDIO, Action::SeekTrack);
    EXPECT_TRUE(control.IsBusy());
    control.Handle(DMP_TYPE_AUDIO, Action::Seek, 2);
    EXPECT_FALSE(control.IsBusy());
    const auto seek = box.waitForEvent(CommandIs('J'));
    ASSERT_TRUE(seek);
    EXPECT_EQ(seek->num("value"), 2);
    // So does a step by key, which no drag precedes. It steps back: a step to
    // the end would let the Box move on to the next file by itself.
    control.Handle(DMP_TYPE_AUDIO, Action::Seek, 1);
    ASSERT_TRUE(waitForCommands(box, 'J', 2));
    int64_t stepped = -1;
    for (const JsonEvent& event : box.events())
        if (CommandIs('J')(event))
            stepped = event.num("value");
    EXPECT_EQ(stepped, 1);

    control.Handle(DMP_TYPE_AUDIO, Action::Next);
    EXPECT_TRUE(box.waitForEvent(CommandIs('N')));
    EXPECT_TRUE(waitForAudio([](const MediaPanelStatus& s) { return s.index == 1; }));
    control.Handle(DMP_TYPE_AUDIO, Action::Prev);
    EXPECT_TRUE(box.waitForEvent(CommandIs('V')));
}

TEST_F(PlaybackControlTest, ASeekThatEndsOnAnotherFileIsDropped) {
    BoxSimProcess box(kRealTime);
    ASSERT_NO_FATAL_FAILURE(startMusic(box));
    CPlaybackControl control(instances);
    control.Handle(DMP_TYPE_AUDIO, Action::SeekTrack);
    control.Handle(DMP_TYPE_AUDIO, Action::Next);
    ASSERT_TRUE(waitForAudio([](const MediaPanelStatus& s) { return s.index == 1; }));
    control.Handle(DMP_TYPE_AUDIO, Action::Seek, 2);
    EXPECT_FALSE(control.IsBusy());
    // Commands are handled in order: once the pause arrives, a seek would
    // have arrived before it.
    control.Handle(DMP_TYPE_AUDIO, Action::Pause);
    ASSERT_TRUE(box.waitForEvent(CommandIs('p')));
    EXPECT_EQ(countCommands(box, 'J'), 0u);
}

// Closing the last type leaves no instance: the library has ended it.
TEST_F(PlaybackControlTest, ClosingTheOnlyTypeEndsTheInstance) {
    BoxSimProcess box(kRealTime);
    ASSERT_NO_FATAL_FAILURE(startMusic(box));
    DmpVellumoInfo* playing = instances.FindInstanceFor(DMP_TYPE_AUDIO);
    CPlaybackControl control(instances);
    EXPECT_FALSE(control.Handle(DMP_TYPE_IMAGE, Action::Close));
    const auto closed = control.Handle(DMP_TYPE_AUDIO, Action::Close);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->instance, playing);
    EXPECT_EQ(closed->remainingTypes, 0u);
    EXPECT_TRUE(instances.IsEmpty());
    EXPECT_TRUE(box.waitForEvent(CommandIs('D')));
}

// Missing entries give the refresh defaults.
TEST(PanelStatus, MissingEntriesGiveDefaults) {
    const DmpVellumoApi empty;
    const MediaPanelStatus audio = ReadAudioStatus(empty, nullptr);
    EXPECT_EQ(audio.index, -1);
    EXPECT_EQ(audio.name, nullptr);
    EXPECT_EQ(audio.count + audio.volume + audio.maxVolume + audio.totalSeconds, 0);
    const ImagePanelStatus image = ReadImageStatus(empty, nullptr);
    EXPECT_EQ(image.index, -1);
    EXPECT_FALSE(image.isPaused);
}
