#include "ui/controls/CBitmapSlider.h"
#include "RecordingWindow.h"
#include "TraceCapture.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

using Message = RecordingWindow::Message;

constexpr int kChannel = 9001;       // 100x10 blue, top 3 rows magenta
constexpr int kActiveChannel = 9002; // 100x10 green, top 3 rows magenta
constexpr int kThumb = 9003;         // 10x10 white, top 3 rows magenta
constexpr uintptr_t kId = 1234;

class CBitmapSliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(200, 50);
        slider.move(10, 10);
        ASSERT_TRUE(slider.SetChannelImages(kChannel, kActiveChannel));
        ASSERT_TRUE(slider.SetThumbImage(kThumb));
        slider.setRange(0, 1000);
        slider.SetPosition(0);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // The pictures are looked at without the focus mark.
        slider.clearFocus();
    }

    void press(int x) { QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(x, 5)); }
    void moveTo(int x) { QTest::mouseMove(&slider, QPoint(x, 5)); }
    void release(int x) { QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(x, 5)); }

    RecordingWindow window;
    CBitmapSlider slider{&window, static_cast<int>(kId)};
};

} // namespace

TEST_F(CBitmapSliderTest, MapsPositionsToPixelsAndBackAtTheEndsAndTheMiddle) {
    EXPECT_EQ(slider.size(), QSize(100, 10)) << "sized by its channel";
    // Thumb centres run from half a thumb (5) to the width less half a thumb (95).
    EXPECT_EQ(slider.PositionToPixel(0), 5);
    EXPECT_EQ(slider.PositionToPixel(500), 50);
    EXPECT_EQ(slider.PositionToPixel(1000), 95);
    EXPECT_EQ(slider.PixelToPosition(5), 0);
    EXPECT_EQ(slider.PixelToPosition(50), 500);
    EXPECT_EQ(slider.PixelToPosition(95), 1000);
    EXPECT_EQ(slider.PixelToPosition(51), 511) << "truncated toward zero";

    slider.SetPosition(5000);
    EXPECT_EQ(slider.value(), 1000);
    slider.SetPosition(-3);
    EXPECT_EQ(slider.value(), 0);
}

TEST_F(CBitmapSliderTest, DraggingPostsTrackingAtEachChangeAndSettlesOnRelease) {
    press(50); // beside the thumb: it jumps to the pointer (plus the grip's 2 pixels)
    moveTo(300);
    moveTo(301); // still at the end: nothing new
    moveTo(-40);
    release(-40);
    EXPECT_EQ(window.TakeMessages(), (std::vector<Message>{{WM_SLIDER_TRACKING, kId, 522},
                                                           {WM_SLIDER_TRACKING, kId, 1000},
                                                           {WM_SLIDER_TRACKING, kId, 0},
                                                           {WM_SLIDER_SETTLED, kId, 0}}));
    EXPECT_TRUE(slider.hasFocus()) << "a click takes the focus";

    // Taking the thumb 3 pixels right of its centre keeps that grip.
    slider.SetPosition(500);
    press(53);
    moveTo(63);
    release(63);
    EXPECT_EQ(window.TakeMessages(), (std::vector<Message>{{WM_SLIDER_TRACKING, kId, 522},
                                                           {WM_SLIDER_TRACKING, kId, 633},
                                                           {WM_SLIDER_SETTLED, kId, 633}}));
    moveTo(20);
    EXPECT_TRUE(window.TakeMessages().empty()) << "moving without the button moves nothing";
}

TEST_F(CBitmapSliderTest, EachKeyMovesAndPostsOneSettledMessage) {
    slider.setFocus(Qt::TabFocusReason);
    slider.SetPosition(990);
    const std::pair<Qt::Key, int> steps[] = {
        {Qt::Key_PageDown, 1000}, {Qt::Key_Home, 0},   {Qt::Key_Left, 0}, {Qt::Key_Right, 1},
        {Qt::Key_Down, 2},        {Qt::Key_End, 1000}, {Qt::Key_Up, 999}, {Qt::Key_PageUp, 979},
    };
    std::vector<Message> expected;
    for (const auto& [key, position] : steps) {
        QTest::keyClick(&slider, key);
        EXPECT_EQ(slider.value(), position) << QTest::toString(key);
        expected.push_back({WM_SLIDER_SETTLED, kId, position});
    }
    QTest::keyClick(&slider, Qt::Key_A);
    EXPECT_EQ(window.TakeMessages(), expected);
}

TEST_F(CBitmapSliderTest, MagentaPixelsAreNotDrawn) {
    slider.SetPosition(500);
    const QImage shot = window.grab().toImage();
    const auto at = [&](int x, int y) { return shot.pixelColor(slider.x() + x, slider.y() + y); };
    EXPECT_EQ(at(20, 1), window.colour()) << "keyed channel row";
    EXPECT_EQ(at(50, 1), window.colour()) << "keyed thumb row";
    EXPECT_EQ(at(20, 5), QColor(Qt::green)) << "left of the thumb: active channel";
    EXPECT_EQ(at(80, 5), QColor(Qt::blue)) << "right of the thumb: plain channel";
    EXPECT_EQ(at(50, 5), QColor(Qt::white)) << "thumb";
    EXPECT_EQ(at(44, 5), QColor(Qt::green));
    EXPECT_EQ(at(55, 5), QColor(Qt::blue));
}

TEST_F(CBitmapSliderTest, ARangeWithEqualEndsPutsTheThumbAtTheStartAndReportsItsMinimum) {
    slider.setRange(7, 7); // a one-second item
    slider.SetPosition(100);
    EXPECT_EQ(slider.value(), 7);
    EXPECT_EQ(slider.PositionToPixel(7), 5);
    EXPECT_EQ(slider.PixelToPosition(60), 7);
    press(60);
    release(60);
    QTest::keyClick(&slider, Qt::Key_PageDown);
    EXPECT_EQ(window.TakeMessages(), (std::vector<Message>{{WM_SLIDER_TRACKING, kId, 7},
                                                           {WM_SLIDER_SETTLED, kId, 7},
                                                           {WM_SLIDER_SETTLED, kId, 7}}));
    EXPECT_EQ(slider.grab().toImage().pixelColor(4, 5), QColor(Qt::white)) << "thumb at the start";

    slider.setRange(10, 5); // inverted: the minimum wins
    slider.SetPosition(0);
    EXPECT_EQ(slider.value(), 10);
}

TEST(CBitmapSlider, MissingBitmapsDrawNothingAndSaySo) {
    TraceCapture trace;
    RecordingWindow window;
    window.resize(120, 20);
    CBitmapSlider slider(&window);
    slider.resize(100, 10);
    EXPECT_FALSE(slider.SetChannelImages(kChannel, 9998));
    EXPECT_FALSE(slider.SetThumbImage(9997));
    EXPECT_TRUE(trace.Contains("Picture 9998 of type BITMAP is missing"));
    EXPECT_EQ(window.grab().toImage().pixelColor(50, 5), window.colour());
}
