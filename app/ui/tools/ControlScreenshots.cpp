#include "CScreenshotWriter.h"
#include "ScreenshotStage.h"
#include "Screenshots.h"
#include "ui/controls/CBitmapSlider.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/SkinText.h"

#include <QSignalBlocker>
#include <QTest>

namespace {

// The size of a picture, for buttons sized by their pictures.
QSize pictureSize(int number) {
    CGdiPlusBitmapResource picture;
    picture.Load(number, "PNG");
    return picture.isNull() ? QSize(48, 48) : picture.size();
}

CGdipButton* addButton(QWidget& stage, int normal, int pressed, int hover, QRect geometry) {
    auto* button = new CGdipButton(&stage);
    button->setGeometry(geometry);
    button->SetNormalImage(std::nullopt, normal, "PNG", Qt::white, 14, std::nullopt, 21);
    button->SetPressedImage(std::nullopt, pressed, "PNG", Qt::white, 14, std::nullopt, 21);
    if (hover)
        button->SetHoverImage(std::nullopt, hover, "PNG", Qt::white, 14, std::nullopt, 21);
    return button;
}

} // namespace

void ShootButtonLooks(CScreenshotWriter& writer, QWidget& stage, CGdipButton& button,
                      const QString& name) {
    const QRect area = button.geometry().adjusted(-6, -6, 6, 6) & stage.rect();
    const QPoint away(stage.width() - 1, stage.height() - 1);
    // The press below is a click: whatever the button starts stays unstarted.
    const QSignalBlocker quiet(&button);
    QTest::mouseMove(&stage, away);
    writer.SaveWidget(name + QStringLiteral("-normal"), stage, area);
    QTest::mouseMove(&button, button.rect().center());
    writer.SaveWidget(name + QStringLiteral("-hover"), stage, area);
    QTest::mousePress(&button, Qt::LeftButton, {}, button.rect().center());
    writer.SaveWidget(name + QStringLiteral("-pressed"), stage, area);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, button.rect().center());
    QTest::mouseMove(&stage, away);
    button.clearFocus(); // the click gave it the focus, without the mark
    button.setFocus(Qt::TabFocusReason);
    writer.SaveWidget(name + QStringLiteral("-focused"), stage, area);
    button.clearFocus();
}

namespace {

void shootPanelControls(CScreenshotWriter& writer) {
    ScreenshotStage stage(189, QSize(375, 307));
    CGdipButton* play = addButton(stage, 193, 191, 192, QRect(QPoint(20, 20), pictureSize(193)));
    CGdipButton* close =
        addButton(stage, 195, 194, 0, QRect(QPoint(stage.width() - 60, 20), pictureSize(195)));
    stage.show();
    ShootButtonLooks(writer, stage, *play, QStringLiteral("button-play"));
    ShootButtonLooks(writer, stage, *close, QStringLiteral("button-close-brightened"));
    delete play;
    delete close;

    CBitmapSlider seek(&stage, 1);
    seek.move(20, 120);
    seek.SetChannelImages(184, 185);
    seek.SetThumbImage();
    seek.setRange(0, 300);
    CBitmapSlider volume(&stage, 2);
    volume.move(20, 160);
    volume.SetChannelImages(179, 177);
    volume.setRange(0, 100);
    seek.show();
    volume.show();
    const QRect area = QRect(10, 110, std::max(seek.width(), volume.width()) + 20, 70);
    const std::pair<const char*, int> steps[] = {{"0", 0}, {"half", 50}, {"full", 100}};
    for (const auto& [name, percent] : steps) {
        seek.SetPosition(seek.maximum() * percent / 100);
        volume.SetPosition(volume.maximum() * percent / 100);
        writer.SaveWidget(QStringLiteral("sliders-%1").arg(QLatin1StringView(name)), stage, area);
    }
    seek.setRange(0, 0);
    seek.SetPosition(0);
    writer.SaveWidget(QStringLiteral("sliders-equal-ends"), stage, area);

    CStaticEx cover(&stage);
    cover.setGeometry(QRect(QPoint(240, 20), pictureSize(181)));
    cover.AddImage(181, false);
    CStaticEx title(&stage);
    title.setGeometry(20, 200, 200, 24);
    title.SetText(QStringLiteral("A Long Song Title That Does Not Fit \u2013 "
                                 "\u4e00\u9996\u5f88\u9577\u7684\u6b4c.mp3"),
                  14, Qt::white, DT_VCENTER | DT_SINGLELINE);
    title.StartScrolling();
    cover.show();
    title.show();
    writer.SaveWidget(QStringLiteral("panel-cover"), stage);
    // The title rests a second at its start, then moves a pixel per 100 ms.
    for (int frame = 0; frame < 3; ++frame) {
        writer.SaveWidget(QStringLiteral("label-scrolling-%1").arg(frame), stage,
                          title.geometry().adjusted(-10, -6, 10, 6));
        QTest::qWait(1600);
    }
}

} // namespace

void ShootControls(CScreenshotWriter& writer) {
    shootPanelControls(writer);
}
