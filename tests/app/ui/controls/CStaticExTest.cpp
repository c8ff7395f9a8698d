#include "ui/controls/CStaticEx.h"
#include "RecordingWindow.h"
#include "TraceCapture.h"
#include "ui/controls/SkinText.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QTest>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

constexpr int kHalfRed = 9101;
constexpr int kBlue = 9102;

} // namespace

TEST(CStaticEx, HoldsSixteenPicturesAndRefusesASeventeenth) {
    TraceCapture trace;
    RecordingWindow window;
    CStaticEx label(&window);
    label.resize(20, 10);
    ASSERT_TRUE(label.AddImage(kBlue, false));
    for (int i = 1; i < CStaticEx::kMaxImages; ++i)
        ASSERT_TRUE(label.AddImage(kHalfRed, true)) << i;
    EXPECT_FALSE(label.AddImage(kHalfRed, true));
    EXPECT_TRUE(trace.Contains("refused, the label holds 16 already"));
    EXPECT_FALSE(label.AddImage(9999, true));
    EXPECT_EQ(label.imageCount(), 16);
    EXPECT_EQ(label.grab().toImage().pixelColor(5, 5), QColor(Qt::blue)) << "first kept";

    EXPECT_TRUE(label.AddImage(kHalfRed, false));
    EXPECT_EQ(label.imageCount(), 1) << "without append the pictures are replaced";
    EXPECT_FALSE(label.AddImage(9999, false));
    EXPECT_EQ(label.imageCount(), 0);
}

TEST(CStaticEx, ShowsItsTextOnTheBackgroundInsteadOfThePicture) {
    RecordingWindow window;
    window.resize(60, 30);
    CStaticEx label(&window);
    label.setGeometry(5, 5, 40, 20);
    label.AddImage(kBlue, false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(label.grab().toImage().pixelColor(2, 2), QColor(Qt::blue));
    EXPECT_EQ(label.grab().toImage().pixelColor(30, 15), window.colour()) << "beside the picture";

    label.SetText(QStringLiteral("."), 14, Qt::white, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
    EXPECT_EQ(label.grab().toImage().pixelColor(2, 2), window.colour());
    EXPECT_EQ(label.accessibleName(), QStringLiteral("."));
}

TEST(CStaticEx, ScrollsATextAtLeastAsWideAsItselfUntilTheTextChanges) {
    RecordingWindow window;
    CStaticEx label(&window);
    const QString title = QStringLiteral("A rather long title of a song, 歌曲");
    label.SetText(title, 14, Qt::white, DT_SINGLELINE | DT_VCENTER);
    const int textWidth = label.MeasureText().width();
    ASSERT_GT(textWidth, 0);

    label.resize(textWidth + 1, 20);
    label.StartScrolling();
    EXPECT_FALSE(label.isScrolling()) << "fits";
    label.resize(textWidth, 20);
    label.StartScrolling();
    EXPECT_TRUE(label.isScrolling()) << "exactly as wide";

    CStaticEx unsized(&window);
    unsized.resize(0, 0);
    unsized.StartScrolling();
    EXPECT_FALSE(unsized.isScrolling()) << "no text, nothing to scroll";

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return label.scrollOffset() >= 2; }, 10000));

    label.SetText(title, 14, Qt::white, DT_SINGLELINE | DT_VCENTER);
    EXPECT_TRUE(label.isScrolling()) << "the same text again changes nothing";
    label.SetText(title, 15, Qt::white, DT_SINGLELINE | DT_VCENTER);
    EXPECT_FALSE(label.isScrolling());
    EXPECT_EQ(label.scrollOffset(), 0);
}

namespace {

// The first and last rows of image that hold a pixel brighter than the
// background, within the columns before width.
std::pair<int, int> inkedRows(const QImage& image, int width) {
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < width; ++x)
            if (qGray(image.pixel(x, y)) > 160) {
                first = first < 0 ? y : first;
                last = y;
            }
    return {first, last};
}

} // namespace

TEST(CStaticEx, ATitleMixingInChineseKeepsItsLatinLettersWhole) {
    RecordingWindow window(Qt::black);
    CStaticEx label(&window);
    label.setGeometry(0, 0, 120, 16); // a title row of the panels
    const QString latin = QStringLiteral("gyp ");
    const QString mixed = latin + QStringLiteral("月亮");
    const QFont font = SkinFont(&window, 14);
    QTextLayout layout(mixed, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1000);
    const qreal mixedAscent = line.ascent();
    layout.endLayout();
    if (mixedAscent <= QFontMetricsF(font).ascent())
        GTEST_SKIP() << "no fallback font here sets Chinese higher than the Latin letters";
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const int latinWidth = QFontMetrics(font).horizontalAdvance(latin);

    label.SetText(latin, 14, Qt::white, DT_LEFT);
    const auto alone = inkedRows(label.grab().toImage(), latinWidth);
    ASSERT_GE(alone.first, 0);
    label.SetText(mixed, 14, Qt::white, DT_LEFT);
    EXPECT_EQ(inkedRows(label.grab().toImage(), latinWidth), alone)
        << "the descenders stay inside the label";
}

// In a Chinese desktop's font, whose ascent and descent outgrow a title row,
// a label that fits its height to its text keeps every descender ("song
// a.mp3") and the bottoms of the characters: it inks the rows a tall label
// inks.
TEST(CStaticEx, AFittedTitleKeepsItsDescendersInAChineseDesktopsFont) {
    RecordingWindow window(Qt::black);
    window.resize(300, 100);
    window.setFont(QFont(QStringLiteral("Noto Sans CJK TC")));
    if (QFontInfo(window.font()).family() != QStringLiteral("Noto Sans CJK TC"))
        GTEST_SKIP() << "no Noto Sans CJK here";
    CStaticEx fitted(&window);
    fitted.setGeometry(0, 0, 280, 16); // a title row of the panels
    fitted.FitHeightToText();
    CStaticEx tall(&window);
    tall.setGeometry(0, 40, 280, 60);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const QString& title :
         {QStringLiteral("song a.mp3"), QStringLiteral("月光小夜曲 (現場版).mp3")}) {
        fitted.SetText(title, 14, Qt::white, DT_LEFT);
        tall.SetText(title, 14, Qt::white, DT_LEFT);
        EXPECT_GT(fitted.height(), 16) << "the line outgrows the row";
        const auto whole = inkedRows(tall.grab().toImage(), 280);
        ASSERT_GE(whole.first, 0);
        EXPECT_EQ(inkedRows(fitted.grab().toImage(), 280), whole) << title.toStdString();
    }
    fitted.SetText(QStringLiteral("x"), 14, Qt::white, DT_LEFT);
    EXPECT_GE(fitted.height(), 16) << "never below its row";
}
