// A keyboard-only user against the simulated Box: files chosen instead of
// dragged, the sliders' keys, the play and pause button, a panel closed
// with the focus inside.
#include "MainWindowFixture.h"
#include "Sha256Digest.h"
#include "TestFiles.h"
#include "ui/controls/CBitmapSlider.h"
#include "ui/windows/CAudioFormView.h"
#include "ui/windows/CImageFormView.h"
#include "ui/windows/PlayControlFormView.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <filesystem>

namespace {

// The Box reads 200 kB a second and 20,000 bytes make a second of play: a
// 16 MB song lasts 800 s and its position moves ten seconds a second.
std::vector<std::string> slowBox() {
    std::vector<std::string> args = box("Living Room");
    args.insert(args.end(), {"--read-rate", "200000", "--rate", "20000"});
    return args;
}

// Accepts the chooser when it shows, with the files of folder named.
class ChooserAnswer {
public:
    ChooserAnswer(CVellumoDlg& window, const std::string& folder, QStringList names)
        : m_driver(window, [this, folder, names] {
              auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
              if (dialog == nullptr)
                  return false;
              startedIn = dialog->directory().absolutePath();
              dialog->setDirectory(QString::fromStdString(folder));
              QStringList quoted;
              for (const QString& name : names)
                  quoted << u'"' + name + u'"';
              // Typed, as selectFile leaves a focused name line alone.
              dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                  ->setText(quoted.join(u' '));
              // QFileDialog::accept, reached through the public QDialog one.
              static_cast<QDialog*>(dialog)->accept();
              return true;
          }) {}
    QString startedIn;

private:
    Driver m_driver;
};

// The names of the first count play lists the Box was given (one a link),
// in byte order.
std::vector<std::string> playListNames(BoxSimProcess& box, size_t count) {
    std::vector<std::string> names;
    const auto lists = [&](const JsonEvent& event) {
        if (!CommandIs('l')(event) || count == 0)
            return false;
        --count;
        for (const std::string& name : event.strings("names"))
            names.push_back(name);
        return count == 0;
    };
    box.waitForEvent(lists);
    std::ranges::sort(names);
    return names;
}

size_t countCommands(BoxSimProcess& box, char byte) {
    size_t count = 0;
    for (const JsonEvent& event : box.events())
        count += CommandIs(byte)(event);
    return count;
}

// The value of the last command of that byte; -1 for none.
int64_t lastValue(BoxSimProcess& box, char byte) {
    int64_t value = -1;
    for (const JsonEvent& event : box.events())
        if (CommandIs(byte)(event))
            value = event.num("value");
    return value;
}

} // namespace

// Space on the photo and music pool opens the chooser; the files chosen play
// as the same paths dropped on the pool would: the same play list, every
// byte. The next chooser starts in the folder used last.
TEST_F(MainWindowTest, APoolOpenedByKeyboardPlaysTheChosenFilesAsADrop) {
    BoxSimProcess living(slowBox(), "127.0.0.2");
    TempDir media;
    const std::string photo = MakePatternFile(media, "photo.jpg", 120000).string();
    const std::string song = MakePatternFile(media, "song.mp3", 16 << 20).string();
    auto window = makeWindow();
    ChooserAnswer answer(*window, media.path(),
                         {QStringLiteral("photo.jpg"), QStringLiteral("song.mp3")});
    bool isStarted = false;
    Driver driver(*window, [&] {
        if (!window->isVisible())
            return false;
        window->activateWindow();
        window->photoMusicPool()->setFocus(Qt::TabFocusReason);
        isStarted = true;
        QTest::keyClick(window->photoMusicPool(), Qt::Key_Space);
        return true;
    });
    QString secondStart;
    Driver again(*window, [&] {
        CPlayStatusDialog& status = window->statusWindow();
        if (!isStarted || !status.isVisible())
            return false;
        // "Play Now" by Enter: the chooser, cancelled by Escape.
        Driver cancel(*window, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return false;
            secondStart = dialog->directory().absolutePath();
            dialog->reject();
            return true;
        });
        QTest::keyClick(dropTarget(status.playControl(), QStringLiteral("Play Now")),
                        Qt::Key_Return);
        window->EndDialog(IDCANCEL);
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(secondStart, QString::fromStdString(media.path()));
    const auto received = living.waitForEvent(ReceivedWhole("photo.jpg"));
    ASSERT_TRUE(received);
    EXPECT_EQ(received->str("sha256"), Sha256FileHex(photo));
    const std::vector<std::string> chosenList = playListNames(living, 2);
    window.reset();

    // The same paths dropped, on a Box of their own.
    BoxSimProcess dropped(box("Dropped"), "127.0.0.3");
    living.terminate();
    window = makeWindow();
    bool isDropped = false;
    Driver dropper(*window, [&] {
        if (!window->isVisible() && !isDropped)
            return false;
        if (!isDropped) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(photo)),
                          QUrl::fromLocalFile(QString::fromStdString(song))});
            dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
            isDropped = true;
        }
        // The drop plays once its walk has ended, from this loop.
        const auto& events = dropped.events();
        if (std::none_of(events.begin(), events.end(), [](const JsonEvent& e) {
                return e.str("event") == "command" && e.str("byte") == "l";
            }))
            return false;
        window->EndDialog(IDCANCEL);
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(chosenList, playListNames(dropped, 2));
    EXPECT_EQ(chosenList, (std::vector<std::string>{"photo.jpg", "song.mp3"}));
}

// The seek bar's arrows step 10 s and Page Down a minute, each a seek on
// the Box; a volume key before the Box has reported its volume sends none,
// after the report it steps 5% of the Box's range. Pause and then Enter
// again resumes: the focus went to the play button that replaced it.
TEST_F(MainWindowTest, SliderKeysAndPauseThenEnterReachTheBoxAsTheRightCommands) {
    BoxSimProcess living(slowBox(), "127.0.0.2");
    TempDir media;
    const std::string song = MakePatternFile(media, "long.mp3", 16 << 20).string();
    auto window = makeWindow();
    enum class Stage { Opening, Playing, Known, Paused, Done } stage = Stage::Opening;
    int64_t seekFrom = -1;
    Driver driver(*window, [&] {
        CPlayStatusDialog& status = window->statusWindow();
        CAudioFormView& panel = status.audioPanel();
        auto* seekBar = panel.findChild<CBitmapSlider*>(QStringLiteral("seekBar"));
        auto* volumeBar = panel.findChild<CBitmapSlider*>(QStringLiteral("volumeBar"));
        auto* pause = panel.findChild<CGdipButton*>(QStringLiteral("pauseButton"));
        auto* play = panel.findChild<CGdipButton*>(QStringLiteral("playButton"));
        switch (stage) {
        case Stage::Opening: {
            if (!window->isVisible())
                return false;
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(song))});
            dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
            stage = Stage::Playing;
            return false;
        }
        case Stage::Playing:
            if (!status.isVisible() || seekBar == nullptr || seekBar->value() < 10)
                return false;
            status.activateWindow();
            EXPECT_FALSE(volumeBar->isValueKnown());
            volumeBar->setFocus(Qt::TabFocusReason);
            QTest::keyClick(volumeBar, Qt::Key_Right);
            QTest::keyClick(volumeBar, Qt::Key_Left);
            seekBar->setFocus(Qt::TabFocusReason);
            seekFrom = seekBar->value();
            QTest::keyClick(seekBar, Qt::Key_Right);
            QTest::keyClick(seekBar, Qt::Key_PageDown);
            // The repeat button's command makes the Box report its volume.
            QTest::keyClick(panel.findChild<CGdipButton*>(QStringLiteral("repeatButton")),
                            Qt::Key_Space);
            stage = Stage::Known;
            return false;
        case Stage::Known:
            if (!volumeBar->isValueKnown())
                return false;
            volumeBar->setFocus(Qt::TabFocusReason);
            QTest::keyClick(volumeBar, Qt::Key_Right);
            pause->setFocus(Qt::TabFocusReason);
            QTest::keyClick(pause, Qt::Key_Return);
            stage = Stage::Paused;
            return false;
        case Stage::Paused:
            if (play->isHidden())
                return false;
            EXPECT_TRUE(play->hasFocus()) << "pause handed the focus to play";
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            stage = Stage::Done;
            return false;
        case Stage::Done:
            if (countCommands(living, 'P') == 0) {
                living.waitForEvent(CommandIs('P'), std::chrono::milliseconds(20));
                return false;
            }
            window->EndDialog(IDCANCEL);
            return true;
        }
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(stage, Stage::Done);
    std::vector<int64_t> seeks;
    std::vector<int64_t> volumes;
    for (const JsonEvent& event : living.events()) {
        if (CommandIs('J')(event))
            seeks.push_back(event.num("value"));
        if (CommandIs('v')(event))
            volumes.push_back(event.num("value"));
    }
    EXPECT_EQ(seeks, (std::vector<int64_t>{seekFrom + 10, seekFrom + 70}));
    EXPECT_EQ(volumes, (std::vector<int64_t>{55})) << "none before the report, then 50 + 5";
    EXPECT_EQ(countCommands(living, 'p'), 1u);
    EXPECT_EQ(lastValue(living, 'v'), 55);
}

// The focus on the music panel's close: the status window is built again
// for the photos alone and the focus lands on one of their controls.
TEST_F(MainWindowTest, ClosingAPanelWithTheFocusInsideLeavesTheFocusOnAControl) {
    BoxSimProcess living(slowBox(), "127.0.0.2");
    TempDir media;
    const std::string photo = MakePatternFile(media, "photo.jpg", 120000).string();
    const std::string song = MakePatternFile(media, "long.mp3", 16 << 20).string();
    auto window = makeWindow();
    enum class Stage { Opening, Playing, Closed } stage = Stage::Opening;
    QWidget* focused = nullptr;
    Driver driver(*window, [&] {
        CPlayStatusDialog& status = window->statusWindow();
        switch (stage) {
        case Stage::Opening: {
            if (!window->isVisible())
                return false;
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(photo)),
                          QUrl::fromLocalFile(QString::fromStdString(song))});
            dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
            stage = Stage::Playing;
            return false;
        }
        case Stage::Playing: {
            if (!status.isVisible() || status.Types() != (DMP_TYPE_AUDIO | DMP_TYPE_IMAGE))
                return false;
            status.activateWindow();
            auto* close =
                status.audioPanel().findChild<CGdipButton*>(QStringLiteral("closeButton"));
            close->setFocus(Qt::TabFocusReason);
            QTest::keyClick(close, Qt::Key_Return);
            stage = Stage::Closed;
            return false;
        }
        case Stage::Closed:
            if (status.Types() != DMP_TYPE_IMAGE || !status.isVisible())
                return false;
            focused = status.focusWidget();
            window->EndDialog(IDCANCEL);
            return true;
        }
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    ASSERT_NE(focused, nullptr) << "the focus is nowhere";
    EXPECT_TRUE(window->statusWindow().imagePanel().isAncestorOf(focused))
        << focused->accessibleName().toStdString();
    EXPECT_TRUE(focused->focusPolicy() & Qt::TabFocus);
}
