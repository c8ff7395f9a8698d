#include "resources/art/Artwork.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Picture {
    const char* type;
    int number;
    int width;
    int height;
};

// Every picture the windows address, at the size they lay it out for.
constexpr Picture kPictures[] = {
    {"ICON", 128, 256, 256},   {"PNG", 151, 128, 136},    {"PNG", 149, 128, 136},
    {"PNG", 152, 128, 136},    {"PNG", 157, 128, 136},    {"PNG", 155, 128, 136},
    {"PNG", 156, 128, 136},    {"PNG", 236, 50, 50},      {"PNG", 234, 50, 50},
    {"PNG", 235, 50, 50},      {"PNG", 253, 50, 50},      {"PNG", 251, 50, 50},
    {"PNG", 252, 50, 50},      {"PNG", 193, 33, 26},      {"PNG", 191, 33, 26},
    {"PNG", 192, 33, 26},      {"PNG", 207, 33, 26},      {"PNG", 205, 33, 26},
    {"PNG", 206, 33, 26},      {"PNG", 201, 33, 26},      {"PNG", 199, 33, 26},
    {"PNG", 200, 33, 26},      {"PNG", 204, 33, 26},      {"PNG", 202, 33, 26},
    {"PNG", 203, 33, 26},      {"PNG", 260, 33, 26},      {"PNG", 262, 33, 26},
    {"PNG", 261, 33, 26},      {"PNG", 263, 33, 26},      {"PNG", 258, 33, 26},
    {"PNG", 256, 33, 26},      {"PNG", 198, 33, 26},      {"PNG", 196, 33, 26},
    {"PNG", 197, 33, 26},      {"PNG", 255, 33, 26},      {"PNG", 259, 33, 26},
    {"PNG", 254, 33, 26},      {"PNG", 195, 27, 23},      {"PNG", 194, 27, 23},
    {"PNG", 247, 24, 24},      {"PNG", 245, 24, 24},      {"PNG", 246, 24, 24},
    {"PNG", 250, 24, 24},      {"PNG", 248, 24, 24},      {"PNG", 249, 24, 24},
    {"PNG", 181, 132, 106},    {"PNG", 183, 132, 106},    {"PNG", 182, 132, 106},
    {"PNG", 170, 89, 101},     {"PNG", 168, 89, 101},     {"PNG", 169, 89, 101},
    {"PNG", 165, 89, 101},     {"PNG", 163, 89, 101},     {"PNG", 164, 89, 101},
    {"PNG", 176, 89, 101},     {"PNG", 174, 89, 101},     {"PNG", 175, 89, 101},
    {"PNG", 173, 89, 101},     {"PNG", 171, 89, 101},     {"PNG", 172, 89, 101},
    {"PNG", 210, 444, 36},     {"PNG", 209, 444, 36},     {"PNG", 211, 444, 36},
    {"PNG", 216, 116, 72},     {"PNG", 214, 116, 72},     {"PNG", 215, 116, 72},
    {"PNG", 225, 34, 34},      {"PNG", 217, 34, 34},      {"PNG", 218, 34, 34},
    {"PNG", 219, 34, 34},      {"PNG", 220, 34, 34},      {"PNG", 221, 34, 34},
    {"PNG", 222, 34, 34},      {"PNG", 223, 34, 34},      {"PNG", 224, 34, 34},
    {"PNG", 226, 34, 34},      {"PNG", 227, 34, 34},      {"PNG", 228, 34, 34},
    {"BITMAP", 154, 470, 312}, {"BITMAP", 189, 375, 307}, {"BITMAP", 188, 375, 156},
    {"BITMAP", 162, 95, 314},  {"BITMAP", 213, 469, 310}, {"BITMAP", 179, 98, 7},
    {"BITMAP", 177, 98, 7},    {"BITMAP", 184, 174, 10},  {"BITMAP", 185, 174, 10},
    {"BITMAP", 178, 10, 10},
};

// The slider pictures, where magenta is not drawn.
constexpr int kKeyedBitmaps[] = {179, 177, 184, 185, 178};

// Normal, pressed and hover pictures of each button that has all three.
constexpr int kButtonLooks[][3] = {
    {151, 149, 152}, {157, 155, 156}, {236, 234, 235}, {253, 251, 252}, {193, 191, 192},
    {207, 205, 206}, {201, 199, 200}, {204, 202, 203}, {260, 262, 261}, {263, 258, 256},
    {198, 196, 197}, {255, 259, 254}, {247, 245, 246}, {250, 248, 249}, {170, 168, 169},
    {165, 163, 164}, {176, 174, 175}, {173, 171, 172}, {210, 209, 211}, {216, 214, 215},
};

// Pictures that the code writes a white caption on, and where (logical pixels).
struct Caption {
    int number;
    QRect area;
};
const Caption kCaptions[] = {
    {151, QRect(QPoint(30, 80), QPoint(114, 119))},
    {149, QRect(QPoint(30, 80), QPoint(114, 119))},
    {152, QRect(QPoint(30, 80), QPoint(114, 119))},
    {157, QRect(QPoint(30, 80), QPoint(114, 119))},
    {155, QRect(QPoint(30, 80), QPoint(114, 119))},
    {156, QRect(QPoint(30, 80), QPoint(114, 119))},
    {170, QRect(QPoint(0, 55), QPoint(87, 94))},
    {168, QRect(QPoint(0, 55), QPoint(87, 94))},
    {169, QRect(QPoint(0, 55), QPoint(87, 94))},
    {165, QRect(QPoint(0, 55), QPoint(87, 94))},
    {163, QRect(QPoint(0, 55), QPoint(87, 94))},
    {164, QRect(QPoint(0, 55), QPoint(87, 94))},
    {176, QRect(QPoint(0, 55), QPoint(87, 94))},
    {174, QRect(QPoint(0, 55), QPoint(87, 94))},
    {175, QRect(QPoint(0, 55), QPoint(87, 94))},
    {173, QRect(QPoint(0, 55), QPoint(87, 94))},
    {171, QRect(QPoint(0, 55), QPoint(87, 94))},
    {172, QRect(QPoint(0, 55), QPoint(87, 94))},
    {210, QRect(10, 0, 434, 36)},
    {209, QRect(10, 0, 434, 36)},
    {211, QRect(10, 0, 434, 36)},
    {216, QRect(QPoint(12, 27), QPoint(103, 44))},
    {214, QRect(QPoint(12, 27), QPoint(103, 44))},
    {215, QRect(QPoint(12, 27), QPoint(103, 44))},
};

constexpr int kBusyFrames[] = {225, 217, 218, 219, 220, 221, 222, 223, 224, 226, 227, 228};

constexpr qreal kScales[] = {1.0, 2.0};

QImage argb(const char* type, int number, qreal scale) {
    return LoadArtwork(QString::fromLatin1(type), number, scale)
        .convertToFormat(QImage::Format_ARGB32);
}

// A colour that shows magenta bled into it: a fringe of a keyed picture.
bool isMagentaTinted(QRgb pixel) {
    const int redBlue = std::min(qRed(pixel), qBlue(pixel));
    return redBlue >= 96 && redBlue - qGreen(pixel) >= 64;
}

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Mean relative luminance of an area, the picture laid over the message
// dialog's grey as it is on screen.
double meanLuminance(const QImage& picture, const QRect& area) {
    QImage shown(picture.size(), QImage::Format_RGB32);
    shown.fill(QColor(48, 48, 48));
    QPainter(&shown).drawImage(0, 0, picture);
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = shown.pixel(x, y);
            sum +=
                0.2126 * linear(qRed(p)) + 0.7152 * linear(qGreen(p)) + 0.0722 * linear(qBlue(p));
        }
    return sum / (area.width() * area.height());
}

// Mean absolute difference per channel, 0 to 255.
double difference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * a.width() * a.height());
}

} // namespace

TEST(Artwork, EveryPictureComesAtBothScalesInItsExactSize) {
    for (const Picture& picture : kPictures) {
        SCOPED_TRACE(testing::Message() << picture.type << " " << picture.number);
        const QImage single = LoadArtwork(QString::fromLatin1(picture.type), picture.number, 1.0);
        ASSERT_FALSE(single.isNull());
        EXPECT_EQ(single.size(), QSize(picture.width, picture.height));
        EXPECT_EQ(single.devicePixelRatio(), 1.0);

        const QImage twice = LoadArtwork(QString::fromLatin1(picture.type), picture.number, 1.5);
        ASSERT_FALSE(twice.isNull());
        EXPECT_EQ(twice.size(), QSize(2 * picture.width, 2 * picture.height));
        EXPECT_EQ(twice.deviceIndependentSize(), QSizeF(picture.width, picture.height));
    }
    EXPECT_TRUE(LoadArtwork(u"PNG", 150, 1.0).isNull()) << "no such picture";
    EXPECT_TRUE(LoadArtwork(u"BITMAP", 151, 2.0).isNull()) << "151 is a PNG";
}

TEST(Artwork, BitmapsAreOpaqueAndOnlyTheKeyedOnesHoldMagenta) {
    for (const Picture& picture : kPictures) {
        if (QByteArrayView(picture.type) != "BITMAP")
            continue;
        const bool isKeyed =
            std::ranges::find(kKeyedBitmaps, picture.number) != std::end(kKeyedBitmaps);
        for (qreal scale : kScales) {
            SCOPED_TRACE(testing::Message() << "bitmap " << picture.number << " at " << scale);
            const QImage image = argb(picture.type, picture.number, scale);
            int magenta = 0;
            int tinted = 0;
            int translucent = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb p = image.pixel(x, y);
                    translucent += qAlpha(p) != 255;
                    if (p == qRgb(255, 0, 255))
                        ++magenta;
                    else if (isMagentaTinted(p))
                        ++tinted;
                }
            EXPECT_EQ(translucent, 0);
            EXPECT_EQ(tinted, 0) << "a fringe shows magenta around the picture";
            if (isKeyed) {
                EXPECT_GT(magenta, 0) << "nothing is transparent";
                EXPECT_LT(magenta, image.width() * image.height()) << "nothing is drawn";
            } else {
                EXPECT_EQ(magenta, 0);
            }
        }
    }
}

TEST(Artwork, PressedAndHoverLooksStandApartFromNormal) {
    for (const auto& looks : kButtonLooks) {
        for (qreal scale : kScales) {
            SCOPED_TRACE(testing::Message() << "button " << looks[0] << " at " << scale);
            const QImage normal = argb("PNG", looks[0], scale);
            const QImage pressed = argb("PNG", looks[1], scale);
            const QImage hover = argb("PNG", looks[2], scale);
            EXPECT_GT(difference(normal, pressed), 2.0);
            EXPECT_GT(difference(normal, hover), 2.0);
            EXPECT_GT(difference(pressed, hover), 2.0);
        }
    }
}

TEST(Artwork, CaptionsHaveADarkGroundForWhiteText) {
    // White on a ground of relative luminance 0.18 has a contrast of 4.5:1.
    for (const Caption& caption : kCaptions) {
        SCOPED_TRACE(testing::Message() << "picture " << caption.number);
        EXPECT_LT(meanLuminance(argb("PNG", caption.number, 1.0), caption.area), 0.18);
        const QRect doubled(caption.area.topLeft() * 2, caption.area.size() * 2);
        EXPECT_LT(meanLuminance(argb("PNG", caption.number, 2.0), doubled), 0.18);
    }
}

TEST(Artwork, BusyWheelTurnsFromFrameToFrame) {
    for (qreal scale : kScales) {
        std::vector<QImage> frames;
        for (int number : kBusyFrames)
            frames.push_back(argb("PNG", number, scale));
        for (size_t i = 0; i < frames.size(); ++i) {
            const QImage& next = frames[(i + 1) % frames.size()];
            EXPECT_GT(difference(frames[i], next), 1.0) << "frame " << kBusyFrames[i];
        }
    }
}
