#include "PlayStatusFixture.h"
#include "dmp_vellumo.h"
#include "playback/CPlaybackControl.h"
#include "ui/windows/CAudioFormView.h"
#include "ui/windows/CImageFormView.h"
#include "ui/windows/ControlMessages.h"

#include <climits>
#include <set>

namespace {

constexpr int32_t kMuted = INT32_MIN; // bit 31 of a volume

class PlaybackPanelTest : public PlayStatusFixture {
protected:
    void SetUp() override {
        open(DMP_TYPE_AUDIO);
        panel = &dialog.audioPanel();
        seekBar = child<CBitmapSlider>(panel, "seekBar");
        volumeBar = child<CBitmapSlider>(panel, "volumeBar");
        volumeButton = child<CGdipButton>(panel, "muteButton");
        mutedButton = child<CGdipButton>(panel, "unmuteButton");
        ASSERT_TRUE(seekBar && volumeBar && volumeButton && mutedButton);
    }

    void update(int total, int elapsed, int32_t volume = 40, int index = 0,
                const wchar_t* name = L"/home/u/Music/a.mp3", bool paused = false) {
        dialog.UpdateAudio({.count = 5,
                            .index = index,
                            .name = name,
                            .totalSeconds = total,
                            .elapsedSeconds = elapsed,
                            .repeat = 0,
                            .isPaused = paused,
                            .maxVolume = 99,
                            .volume = volume});
    }
    QString text(const char* label) { return child<CStaticEx>(panel, label)->text(); }
    QPoint thumb(const CBitmapSlider* bar) {
        return QPoint(bar->PositionToPixel(bar->value()), bar->height() / 2);
    }

    CAudioFormView* panel = nullptr;
    CBitmapSlider* seekBar = nullptr;
    CBitmapSlider* volumeBar = nullptr;
    CGdipButton* volumeButton = nullptr;
    CGdipButton* mutedButton = nullptr;
};

} // namespace

TEST_F(PlaybackPanelTest, ShowsTheFileNameAndTimesAndIgnoresStatusWithoutNameOrIndex) {
    update(3725, 59);
    EXPECT_EQ(text("title"), QStringLiteral("a.mp3"));
    EXPECT_EQ(text("total"), QStringLiteral("01:02:05"));
    EXPECT_EQ(text("elapsed"), QStringLiteral("00:00:59"));
    EXPECT_EQ(seekBar->maximum(), 3724);
    EXPECT_EQ(seekBar->value(), 59);
    EXPECT_EQ(volumeBar->value(), 40);

    update(360000, 0, 40, 0, L"no folder.ogg");
    EXPECT_EQ(text("title"), QStringLiteral("no folder.ogg"));
    EXPECT_EQ(text("total"), QStringLiteral("100:00:00")) << "hours keep every digit";

    update(10, 5, 40, -1, L"/x/other.mp3");
    update(10, 5, 40, 0, nullptr);
    EXPECT_EQ(text("title"), QStringLiteral("no folder.ogg"));
    EXPECT_EQ(text("total"), QStringLiteral("100:00:00"));
}

TEST_F(PlaybackPanelTest, ShortOrBrokenLengthsKeepTheSeekRangeSound) {
    for (int total : {1, 0, -5, INT_MIN}) {
        update(total, 0);
        EXPECT_EQ(seekBar->minimum(), 0) << total;
        EXPECT_EQ(seekBar->maximum(), 0) << total;
        EXPECT_EQ(seekBar->value(), 0) << total;
    }
    // Dragging a one-second item's bar reports its only position.
    QTest::mousePress(seekBar, Qt::LeftButton, {}, thumb(seekBar));
    QTest::mouseMove(seekBar, thumb(seekBar) + QPoint(40, 0));
    QTest::mouseRelease(seekBar, Qt::LeftButton, {}, thumb(seekBar) + QPoint(40, 0));
    for (const Message& message : messages())
        EXPECT_EQ(message.wParam, 0u);
}

TEST_F(PlaybackPanelTest, DraggingTheSeekThumbSendsEachPositionThenOneSeekAndHoldsTwoUpdates) {
    update(100, 10);
    QTest::mousePress(seekBar, Qt::LeftButton, {}, thumb(seekBar));
    messages();
    for (int x : {60, 90, 120}) {
        QTest::mouseMove(seekBar, QPoint(x, 5));
        const int seconds = seekBar->value();
        EXPECT_EQ(messages(), (std::vector<Message>{{WM_AUDIO_SEEK_TRACK, uintptr_t(seconds), 0}}));
        EXPECT_EQ(text("elapsed"), CPlaybackFormView::FormatTime(seconds));
        EXPECT_EQ(text("total"), QStringLiteral("00:01:39")) << "the bar's maximum";
    }
    QTest::mouseRelease(seekBar, Qt::LeftButton, {}, QPoint(120, 5));
    const int released = seekBar->value();
    EXPECT_GT(released, 10);
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_AUDIO_SEEK, uintptr_t(released), 0}}));

    const QString elapsed = text("elapsed");
    for (int i = 0; i < 2; ++i) {
        update(200, 3);
        EXPECT_EQ(seekBar->value(), released);
        EXPECT_EQ(text("elapsed"), elapsed);
        EXPECT_EQ(text("total"), QStringLiteral("00:01:39"));
    }
    update(200, 3);
    EXPECT_EQ(seekBar->value(), 3);
    EXPECT_EQ(text("total"), QStringLiteral("00:03:20"));
}

TEST_F(PlaybackPanelTest, MuteClickSwapsTheButtonsAndHoldsTheVolumeForThreeUpdates) {
    update(100, 1, 40);
    ASSERT_FALSE(volumeButton->isHidden());
    ASSERT_TRUE(mutedButton->isHidden());
    QTest::mouseClick(volumeButton, Qt::LeftButton);
    EXPECT_TRUE(volumeButton->isHidden());
    EXPECT_FALSE(mutedButton->isHidden());
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_AUDIO_MUTE, 0, 0}}));
    EXPECT_EQ(panel->volumeHold(), 3);

    for (int i = 0; i < 3; ++i)
        update(100, 1, 70); // the Box has not caught up yet
    EXPECT_FALSE(mutedButton->isHidden());
    EXPECT_EQ(volumeBar->value(), 40);
    update(100, 1, kMuted | 70);
    EXPECT_FALSE(mutedButton->isHidden());
    EXPECT_TRUE(volumeButton->isHidden());
    EXPECT_EQ(volumeBar->value(), 70);

    // Dragging the volume while muted offers the speaker again at once.
    QTest::mousePress(volumeBar, Qt::LeftButton, {}, QPoint(10, 3));
    const int dragged = volumeBar->value();
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_AUDIO_VOLUME_TRACK, uintptr_t(dragged), 0}}));
    EXPECT_FALSE(volumeButton->isHidden());
    EXPECT_TRUE(mutedButton->isHidden());
    QTest::mouseRelease(volumeBar, Qt::LeftButton, {}, QPoint(10, 3));
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_AUDIO_VOLUME, uintptr_t(dragged), 0}}));
    EXPECT_EQ(panel->volumeHold(), 2);

    // Hidden and shown again while muted: neither button until the next status.
    update(100, 1, kMuted | 5);
    update(100, 1, kMuted | 5);
    update(100, 1, kMuted | 5);
    panel->hide();
    panel->show();
    EXPECT_TRUE(volumeButton->isHidden());
    EXPECT_TRUE(mutedButton->isHidden());
    EXPECT_EQ(text("elapsed"), QStringLiteral("00:00:00"));
    EXPECT_EQ(text("title"), QStringLiteral(" "));
    update(100, 1, kMuted | 5);
    EXPECT_FALSE(mutedButton->isHidden());
}

TEST_F(PlaybackPanelTest, TransportButtonsSendTheirMessagesAndRepeatAlternatesWithRepeatAll) {
    const auto click = [&](const char* name) {
        QTest::mouseClick(child<CGdipButton>(panel, name), Qt::LeftButton);
    };
    click("playButton"); // playing until told otherwise: the click pauses
    update(9, 1, 0, 0, L"/a.mp3", true);
    click("playButton");
    click("nextButton");
    click("previousButton");
    for (int i = 0; i < 3; ++i)
        click("repeatButton");
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_AUDIO_PAUSE, 0, 0},
                                                {WM_AUDIO_RESUME, 0, 0},
                                                {WM_AUDIO_NEXT, 0, 0},
                                                {WM_AUDIO_PREV, 0, 0},
                                                {WM_AUDIO_REPEAT, 2, 0},
                                                {WM_AUDIO_REPEAT, 0, 0},
                                                {WM_AUDIO_REPEAT, 2, 0}}));
    update(9, 1, 0, 0, L"/a.mp3", false);
    EXPECT_TRUE(child<CGdipButton>(panel, "playButton")->isHidden());
    EXPECT_FALSE(child<CGdipButton>(panel, "pauseButton")->isHidden());

    // The mode outlives the window.
    dialog.Destroy();
    open(DMP_TYPE_AUDIO);
    EXPECT_EQ(panel->repeatMode(), 2);
    click("repeatButton");
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_AUDIO_REPEAT, 0, 0}}));
}

TEST_F(PlayStatusFixture, PhotoPanelCountsFromOneIgnoresItsBarAndRepeatsAll) {
    open(DMP_TYPE_IMAGE);
    CImageFormView* panel = &dialog.imagePanel();
    auto* bar = child<CBitmapSlider>(panel, "seekBar");
    dialog.UpdateImage(
        {.count = 5, .index = 0, .name = L"/home/u/Pictures/sea.jpg", .isPaused = false});
    EXPECT_EQ(child<CStaticEx>(panel, "total")->text(), QStringLiteral("1/5"));
    EXPECT_EQ(child<CStaticEx>(panel, "title")->text(), QStringLiteral("sea.jpg"));
    EXPECT_EQ(bar->maximum(), 4);
    EXPECT_EQ(bar->value(), 0);

    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(bar->width() - 5, 5));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() - 5, 5));
    EXPECT_EQ(bar->value(), 4) << "the bar itself moves";
    EXPECT_TRUE(messages().empty());
    dialog.UpdateImage(
        {.count = 5, .index = 9, .name = L"/home/u/Pictures/sea.jpg", .isPaused = false});
    EXPECT_EQ(bar->value(), 4) << "an index past the end stays at the end";
    dialog.UpdateImage({.count = 5, .index = 1, .name = L"/sea.jpg", .isPaused = false});
    EXPECT_EQ(bar->value(), 1);
    dialog.UpdateImage(
        {.count = INT_MIN, .index = INT_MAX, .name = L"/sea.jpg", .isPaused = false});
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_EQ(child<CStaticEx>(panel, "total")->text(), QStringLiteral("2147483648/-2147483648"));

    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(child<CGdipButton>(panel, "repeatButton"), Qt::LeftButton);
    EXPECT_EQ(messages(),
              (std::vector<Message>{
                  {WM_IMAGE_REPEAT, 1, 0}, {WM_IMAGE_REPEAT, 0, 0}, {WM_IMAGE_REPEAT, 1, 0}}));
}

// The panels' numbers, read at the main window: each range belongs to one
// media type, each action comes once per type, and exactly the actions the
// playback control offers a type have a number.
TEST(ControlMessages, EachPanelRangeAsksItsTypeForWhatPlaybackOffers) {
    const struct {
        uint32_t first, last, type;
    } ranges[] = {
        {3024, 3035, DMP_TYPE_VIDEO}, {3124, 3136, DMP_TYPE_AUDIO}, {3224, 3229, DMP_TYPE_IMAGE}};
    std::set<std::pair<uint32_t, PlaybackAction>> numbered;
    for (const auto& range : ranges)
        for (uint32_t message = range.first - 1; message <= range.last + 1; ++message) {
            const std::optional<ControlRequest> request = ControlRequestOf(message);
            const bool isInRange = message >= range.first && message <= range.last;
            ASSERT_EQ(request.has_value(), isInRange) << message;
            if (!request)
                continue;
            EXPECT_EQ(request->mediaType, range.type) << message;
            EXPECT_TRUE(numbered.insert({request->mediaType, request->action}).second) << message;
        }
    for (const auto& range : ranges)
        for (int action = 0; action <= static_cast<int>(PlaybackAction::Mute); ++action) {
            const auto asked = static_cast<PlaybackAction>(action);
            EXPECT_EQ(numbered.count({range.type, asked}) == 1,
                      CPlaybackControl::IsOffered(range.type, asked))
                << range.type << " " << action;
        }
    EXPECT_FALSE(ControlRequestOf(WM_STATUS_CLOSED));
}
