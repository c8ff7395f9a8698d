#include "ui/controls/CGdipButton.h"
#include "RecordingWindow.h"
#include "TraceCapture.h"
#include "ui/controls/SkinText.h"

#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int kHalfRed = 9101; // 20x10, red at half opacity
constexpr int kBlue = 9102;    // 20x10, opaque blue

// Channels within 2 of each other: blending rounds differently by path.
::testing::AssertionResult near(QColor actual, QColor expected) {
    if (std::abs(actual.red() - expected.red()) <= 2 &&
        std::abs(actual.green() - expected.green()) <= 2 &&
        std::abs(actual.blue() - expected.blue()) <= 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got " << actual.name().toStdString() << ", want " << expected.name().toStdString();
}

QColor pixel(QWidget& widget, int x, int y) {
    return widget.grab().toImage().pixelColor(x, y);
}

class CGdipButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(100, 50);
        button.setGeometry(10, 10, 30, 20);
        QObject::connect(&button, &QAbstractButton::clicked, &button, [this] { ++clicks; });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // The window's first focus marks the button; the pictures are
        // looked at without it.
        button.clearFocus();
    }

    RecordingWindow window{QColor(40, 60, 80)};
    CGdipButton button{&window};
    int clicks = 0;
};

} // namespace

TEST_F(CGdipButtonTest, LooksFollowEnterPressAndLeaveOverTheWindowsPixels) {
    ASSERT_TRUE(button.SetNormalImage(std::nullopt, kHalfRed, "PNG", Qt::white, 14, std::nullopt,
                                      DT_CENTER | DT_VCENTER | DT_WORDBREAK));
    const QColor background = window.colour();
    const QColor blend(148, 30, 40); // half red over the window's colour
    EXPECT_TRUE(near(pixel(button, 5, 5), blend));
    EXPECT_TRUE(near(pixel(button, 25, 15), background)) << "beside the smaller picture";

    QTest::mouseMove(&button, QPoint(5, 5));
    EXPECT_EQ(button.currentLook(), CGdipButton::Look::Hover);
    // Brightened: each channel 1.05 c + 0.05 (of 255), alpha unchanged.
    EXPECT_TRUE(near(pixel(button, 5, 5), QColor(148, 37, 47)));

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(button.currentLook(), CGdipButton::Look::Pressed);
    // Without a pressed picture the normal one moves one pixel right and down.
    EXPECT_TRUE(near(pixel(button, 0, 0), background));
    EXPECT_TRUE(near(pixel(button, 20, 10), blend));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button.currentLook(), CGdipButton::Look::Hover);

    QTest::mouseMove(&window, QPoint(80, 40));
    EXPECT_EQ(button.currentLook(), CGdipButton::Look::Normal);
    EXPECT_TRUE(near(pixel(button, 5, 5), blend));

    // Pictures of their own replace the derived looks.
    ASSERT_TRUE(button.SetPressedImage(std::nullopt, kBlue, "PNG", Qt::white, 14, std::nullopt, 0));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(near(pixel(button, 0, 0), Qt::blue));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
}

TEST_F(CGdipButtonTest, AQuickDoubleClickGivesTwoClicks) {
    button.SetNormalImage(QStringLiteral("OK"), kHalfRed, "PNG", Qt::white, 14, std::nullopt, 0);
    // Through the window, so that the second press arrives as a double-click.
    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, button.pos() + QPoint(5, 5));
    EXPECT_EQ(clicks, 2);
}

TEST_F(CGdipButtonTest, KeyboardFocusShowsAMarkAndSpaceOrEnterClick) {
    button.SetNormalImage(QStringLiteral("OK"), kBlue, "PNG", Qt::white, 14, EdgeRect(0, 0, 30, 20),
                          DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    button.SetTooltip(QStringLiteral("Confirm"), true);
    EXPECT_EQ(button.accessibleName(), QStringLiteral("OK")) << "the caption names it";
    EXPECT_EQ(button.toolTip(), QStringLiteral("Confirm"));
    button.clearFocus();
    const QImage unfocused = button.grab().toImage();

    button.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(button.hasFocus());
    EXPECT_NE(button.grab().toImage(), unfocused) << "no focus mark";
    QTest::keyClick(&button, Qt::Key_Space);
    QTest::keyClick(&button, Qt::Key_Return);
    QTest::keyClick(&button, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(clicks, 3);
    QTest::keyClick(&button, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(&button, Qt::Key_Escape);
    EXPECT_EQ(clicks, 3);

    CGdipButton silent(&window);
    silent.SetTooltip(QString(), true);
    EXPECT_TRUE(silent.toolTip().isEmpty()) << "an empty tooltip changes nothing";
    silent.SetTooltip(QStringLiteral("Close"), false);
    EXPECT_EQ(silent.accessibleName(), QStringLiteral("Close")) << "without caption, the tooltip";
    EXPECT_TRUE(silent.toolTip().isEmpty()) << "not activated";
}

TEST_F(CGdipButtonTest, AClickedButtonThatHidesHandsTheFocusOnWithoutAMark) {
    CGdipButton next(&window);
    next.setGeometry(50, 10, 30, 20);
    next.SetNormalImage(std::nullopt, kBlue, "PNG", Qt::white, 14, std::nullopt, 0);
    button.SetNormalImage(std::nullopt, kBlue, "PNG", Qt::white, 14, std::nullopt, 0);
    next.show();
    const QImage unmarked = next.grab().toImage();
    QObject::connect(&button, &QAbstractButton::clicked, &button, [this] { button.hide(); });

    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(next.hasFocus()) << "hiding hands the focus on";
    EXPECT_EQ(next.grab().toImage(), unmarked) << "a click leaves no keyboard mark";

    button.show();
    button.setFocus(Qt::TabFocusReason);
    button.hide();
    ASSERT_TRUE(next.hasFocus());
    EXPECT_NE(next.grab().toImage(), unmarked) << "a keyboard user keeps the mark";
}

// A keyboard user sees where the focus is from a window's first focus on;
// a button replaced by its twin (pause by play) hands it over, mark and all.
TEST_F(CGdipButtonTest, TheFirstFocusIsMarkedAndAReplacementTakesFocusAndMark) {
    RecordingWindow other{QColor(40, 60, 80)};
    other.resize(100, 50);
    CGdipButton first(&other);
    CGdipButton twin(&other);
    CGdipButton next(&other);
    for (CGdipButton* each : {&first, &twin, &next}) {
        each->setGeometry(10, 10, 30, 20);
        each->SetNormalImage(std::nullopt, kBlue, "PNG", Qt::white, 14, std::nullopt, 0);
    }
    next.move(50, 10);
    twin.hide();
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_TRUE(first.hasFocus());
    EXPECT_TRUE(first.showsFocusMark()) << "the window's first focus";

    first.ReplaceWith(twin);
    EXPECT_TRUE(twin.hasFocus()) << "not the next button";
    EXPECT_TRUE(twin.showsFocusMark());
    EXPECT_TRUE(first.isHidden());
    QTest::mouseClick(&twin, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(twin.showsFocusMark()) << "a click takes the mark away";
    twin.ReplaceWith(first);
    EXPECT_TRUE(first.hasFocus());
    EXPECT_FALSE(first.showsFocusMark());
}

TEST_F(CGdipButtonTest, AMissingPictureLeavesTheBackgroundAndSaysSo) {
    TraceCapture trace;
    EXPECT_FALSE(
        button.SetNormalImage(QStringLiteral("x"), 9999, "PNG", Qt::white, 14, std::nullopt, 0));
    EXPECT_FALSE(button.SetHoverImage(std::nullopt, kBlue, "ICO", Qt::white, 14, std::nullopt, 0));
    EXPECT_TRUE(trace.Contains("Picture 9999 of type PNG is missing"));
    EXPECT_TRUE(trace.Contains("Unknown resource type ICO"));
    EXPECT_TRUE(near(pixel(button, 29, 19), window.colour()));
}

TEST(CGdiPlusBitmapResource, TheTwiceSizedTwinKeepsTheLogicalSize) {
    CGdiPlusBitmapResource picture;
    ASSERT_TRUE(picture.Load(kHalfRed, "PNG", 2.0));
    EXPECT_EQ(picture.image().size(), QSize(40, 20));
    EXPECT_EQ(picture.size(), QSize(20, 10));
    ASSERT_TRUE(picture.Load(kBlue, "PNG", 2.0)) << "no twin: the plain picture";
    EXPECT_EQ(picture.image().size(), QSize(20, 10));
    EXPECT_FALSE(picture.Load(9999, "PNG", 1.0));
    EXPECT_TRUE(picture.isNull()) << "a failed load leaves nothing of the old picture";
}
