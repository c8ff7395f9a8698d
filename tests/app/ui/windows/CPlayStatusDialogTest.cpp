#include "PlayStatusFixture.h"
#include "dmp_vellumo.h"
#include "ui/windows/CAudioFormView.h"
#include "ui/windows/CImageFormView.h"
#include "ui/windows/CVideoFormView.h"
#include "ui/windows/ControlMessages.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

void drop(QWidget* target, QPoint at, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    // A drop goes to the widget that took the drag when it entered.
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

TEST_F(PlayStatusFixture, LaysOutThePanelsOfTheTypesBesideThePlayControl) {
    dialog.Create(0);
    EXPECT_FALSE(dialog.Exists()) << "no types, no window";

    open(DMP_TYPE_VIDEO | DMP_TYPE_AUDIO); // video plays alone
    EXPECT_EQ(dialog.size(), QSize(470, 314));
    EXPECT_EQ(dialog.playControl().geometry(), QRect(0, 0, 95, 314));
    EXPECT_EQ(dialog.videoPanel().geometry(), QRect(95, 0, 375, 307));
    EXPECT_FALSE(dialog.audioPanel().HasWindow());
    EXPECT_TRUE(dialog.HasStarted());
    EXPECT_EQ(dialog.playControl().types(), DMP_TYPE_VIDEO | DMP_TYPE_AUDIO);

    dialog.Destroy();
    EXPECT_EQ(dialog.Types(), 0u);
    EXPECT_FALSE(dialog.Exists());
    open(DMP_TYPE_AUDIO | DMP_TYPE_IMAGE); // compact music above compact photos
    EXPECT_EQ(dialog.size(), QSize(470, 314));
    EXPECT_FALSE(dialog.videoPanel().HasWindow());
    EXPECT_EQ(dialog.audioPanel().geometry(), QRect(95, 0, 375, 156));
    EXPECT_EQ(dialog.imagePanel().geometry(), QRect(95, 156, 375, 156));
    QTest::mouseClick(child<CGdipButton>(&dialog.audioPanel(), "closeButton"), Qt::LeftButton);
    QTest::mouseClick(child<CGdipButton>(&dialog.imagePanel(), "closeButton"), Qt::LeftButton);
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_AUDIO_CLOSE, 0, 0}, {WM_IMAGE_CLOSE, 0, 0}}));

    dialog.Destroy();
    open(DMP_TYPE_IMAGE);
    EXPECT_EQ(dialog.size(), QSize(470, 314));
    EXPECT_EQ(dialog.imagePanel().geometry(), QRect(95, 0, 375, 307));
    EXPECT_FALSE(dialog.audioPanel().HasWindow());
    EXPECT_FALSE(child<CGdipButton>(&dialog.imagePanel(), "closeButton"));
    EXPECT_FALSE(child<CStaticEx>(&dialog.imagePanel(), "elapsed"));

    dialog.Destroy();
    open(DMP_TYPE_AUDIO);
    EXPECT_EQ(dialog.size(), QSize(469, 314));
    EXPECT_EQ(dialog.audioPanel().geometry(), QRect(95, 0, 374, 307));

    dialog.Create(0);
    EXPECT_FALSE(dialog.Exists()) << "no types take the window down";
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.audioPanel().HasWindow());
}

TEST_F(PlayStatusFixture, EveryControlHasANameAndTabsInReadingOrder) {
    open(DMP_TYPE_AUDIO | DMP_TYPE_IMAGE);
    QStringList order;
    for (QWidget* widget = dialog.nextInFocusChain(); widget != &dialog;
         widget = widget->nextInFocusChain())
        if (widget->focusPolicy() & Qt::TabFocus)
            order << widget->accessibleName();
    const auto panel = [](const QString& name, const QStringList& more) {
        QStringList names;
        for (const char* action : {"Position", "Repeat", "Previous", "Play", "Pause", "Next"})
            names << QStringLiteral("%1 (%2)").arg(QLatin1StringView(action), name);
        for (const QString& action : more)
            names << QStringLiteral("%1 (%2)").arg(action, name);
        return names;
    };
    EXPECT_EQ(order, QStringList({QStringLiteral("Play Now"), QStringLiteral("Queue It")}) +
                         panel(QStringLiteral("Music"),
                               {QStringLiteral("Mute"), QStringLiteral("Unmute"),
                                QStringLiteral("Volume"), QStringLiteral("Close")}) +
                         panel(QStringLiteral("Photos"), {QStringLiteral("Close")}));
}

TEST_F(PlayStatusFixture, CaptionClosePostsClosedEscapeDoesNothingMinimisePostsMinimised) {
    open(DMP_TYPE_AUDIO | DMP_TYPE_IMAGE);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(child<CGdipButton>(&dialog.audioPanel(), "nextButton"), Qt::Key_Escape);
    QTest::keyClick(child<CGdipButton>(&dialog.playControl(), "queueItButton"), Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(messages().empty());

    dialog.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_STATUS_MINIMIZED, 0, 0}}));

    dialog.show();
    // Posted: the owner acts after the window has finished closing.
    QCoreApplication::sendPostedEvents();
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.audioPanel().HasWindow());
    EXPECT_FALSE(dialog.imagePanel().HasWindow());
    EXPECT_FALSE(dialog.playControl().HasWindow());
    EXPECT_EQ(messages(), (std::vector<Message>{{WM_STATUS_CLOSED, 0, 0}}));
}

TEST_F(PlayStatusFixture, ReopensWhereTheUserLeftIt) {
    open(DMP_TYPE_VIDEO);
    dialog.move(dialog.pos() + QPoint(123, 45));
    const QPoint left = dialog.geometry().topLeft();
    dialog.close();
    dialog.Destroy();
    dialog.move(0, 0); // no longer followed
    open(DMP_TYPE_AUDIO);
    EXPECT_EQ(dialog.geometry().topLeft(), left);
}

TEST_F(PlayStatusFixture, PhotoStatusIsKeptAndReappliedToANewWindow) {
    dialog.UpdateImage({.count = 7, .index = 2, .name = L"/p/one.jpg", .isPaused = true});
    open(DMP_TYPE_IMAGE);
    dialog.ReapplyImageStatus();
    auto* panel = &dialog.imagePanel();
    EXPECT_EQ(child<CStaticEx>(panel, "total")->text(), QStringLiteral("3/7"));
    EXPECT_EQ(child<CStaticEx>(panel, "title")->text(), QStringLiteral("one.jpg"));
    EXPECT_TRUE(panel->isPaused());

    dialog.UpdateImage({.count = 4, .index = 0, .name = nullptr, .isPaused = false});
    dialog.Destroy();
    open(DMP_TYPE_AUDIO | DMP_TYPE_IMAGE);
    dialog.ReapplyImageStatus();
    EXPECT_EQ(child<CStaticEx>(panel, "total")->text(), QStringLiteral("1/4"))
        << "a status without a name is kept with an empty one";
    EXPECT_FALSE(panel->isPaused());
}

TEST(PlayControlFormView, DropsOnPlayNowAndQueueItAreToldWithTheirPlacement) {
    QObject owner;
    CPlayStatusDialog status(&owner);
    status.Create(DMP_TYPE_AUDIO);
    PlayControlFormView& control = status.playControl();
    std::vector<std::pair<QList<QUrl>, Placement>> drops;
    QObject::connect(
        &control, &PlayControlFormView::FilesDropped, &owner,
        [&](const QList<QUrl>& urls, Placement placement) { drops.emplace_back(urls, placement); });
    const QRect playNow =
        control.findChild<CGdipButton*>(QStringLiteral("playNowButton"))->geometry();
    const QRect queueIt =
        control.findChild<CGdipButton*>(QStringLiteral("queueItButton"))->geometry();
    const QList<QUrl> files{QUrl::fromLocalFile(QStringLiteral("/home/u/Music/b c.mp3"))};

    drop(&control, playNow.center(), files);
    drop(&control, QPoint(playNow.center().x(), (playNow.bottom() + queueIt.top()) / 2), files);
    drop(&control, queueIt.center(), files);
    ASSERT_EQ(drops.size(), 2u) << "the gap between the targets takes nothing";
    EXPECT_EQ(drops[0].first, files);
    EXPECT_EQ(drops[0].second, Placement::PlayNow);
    EXPECT_EQ(drops[1].second, Placement::Queue);
}
