// The main window offscreen against simulated Boxes announcing on loopback,
// the search pinned to loopback.
#include "MainWindowFixture.h"
#include "Sha256Digest.h"
#include "TestFiles.h"
#include "TiedChild.h"
#include "ui/controls/SkinText.h"
#include "ui/windows/CAudioFormView.h"
#include "ui/windows/CImageFormView.h"
#include "ui/windows/CMessageDialog.h"
#include "ui/windows/PlayControlFormView.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QUrl>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// The rows of the pool's caption area that hold white text: the span from
// the first to the last.
int captionTextHeight(CGdipButton& pool) {
    const QImage image = pool.grab().toImage();
    int first = -1;
    int last = -1;
    for (int y = 80; y < std::min(120, image.height()); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) > 200) {
                first = first < 0 ? y : first;
                last = y;
            }
    return first < 0 ? 0 : last - first + 1;
}

} // namespace

TEST(MainWindowLayout, PoolCaptionsBreakOnlyBetweenWords) {
    const int lineHeight = QFontMetrics(SkinFont(nullptr, 14)).height();
    for (const UiLanguage language :
         {UiLanguage::TraditionalChinese, UiLanguage::SimplifiedChinese, UiLanguage::English}) {
        const CStringTable strings(language);
        MainWindow window(ParseStartupOptions({"--iface", "lo"}), strings);
        window.LayoutControls();
        window.show();
        const int height = captionTextHeight(*window.photoMusicPool());
        ASSERT_GT(height, 0) << static_cast<int>(language);
        if (language == UiLanguage::English)
            EXPECT_GT(height, lineHeight) << "two words, two lines";
        else
            EXPECT_LE(height, lineHeight) << "no spaces, one line";
    }
}

TEST_F(MainWindowTest, OneBoxOpensTheWindowWithoutAList) {
    BoxSimProcess living(box("Living Room"), "127.0.0.2");
    auto window = makeWindow();
    bool isListShown = false;
    bool isWindowShown = false;
    Driver driver(*window, [&] {
        isListShown = isListShown || window->deviceList().isVisible();
        if (!window->isVisible())
            return false;
        isWindowShown = true;
        window->close();
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_TRUE(isWindowShown);
    EXPECT_FALSE(isListShown);
    EXPECT_EQ(window->BoxAddress(), L"127.0.0.2");
    EXPECT_EQ(window->FindLocalAddress(), "127.0.0.1");
}

// Two Boxes with the same name: the list shows both; closing it without a
// choice ends the application before the window shows.
TEST_F(MainWindowTest, TwoBoxesShowTheListAndClosingItEnds) {
    BoxSimProcess first(box("Living Room"), "127.0.0.2");
    BoxSimProcess second(box("Living Room"), "127.0.0.3");
    auto window = makeWindow();
    std::map<std::string, std::string> listed;
    size_t rows = 0;
    bool isWindowShown = false;
    Driver driver(*window, [&] {
        isWindowShown = isWindowShown || window->isVisible();
        if (!window->deviceList().isVisible())
            return false;
        listed = window->deviceList().devices();
        rows = window->deviceList().itemButtons().size();
        window->deviceList().close();
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(listed, (std::map<std::string, std::string>{{"127.0.0.2", "Living Room"},
                                                          {"127.0.0.3", "Living Room"}}));
    EXPECT_EQ(rows, 2u);
    EXPECT_FALSE(isWindowShown);
}

// Nothing answers: the device list offers only an address; closed, the
// question follows.
TEST_F(MainWindowTest, NoBoxAsksAndExitEnds) {
    auto window = makeWindow();
    QString body;
    size_t rows = 1;
    Driver driver(*window, [&] {
        if (window->deviceList().isVisible()) {
            rows = window->deviceList().itemButtons().size();
            EXPECT_NE(window->deviceList().addByAddressButton(), nullptr);
            window->deviceList().close();
            return false;
        }
        auto* question = dynamic_cast<CMessageDialog*>(QApplication::activeModalWidget());
        if (question == nullptr || question->style() != CMessageDialog::kTwoButtons)
            return false;
        for (const QWidget* child : question->findChildren<QWidget*>())
            if (child->accessibleName().startsWith(QStringLiteral("No device found.")))
                body = child->accessibleName();
        return clickButton(question, QStringLiteral("Exit"));
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(rows, 0u);
    EXPECT_TRUE(body.startsWith(QStringLiteral("No device found.")));
    EXPECT_FALSE(window->isVisible());
}

// Photos and music dropped on their pool reach the Box whole; the status
// window takes the main window's place with the music and photo panels and
// the current names. Music dropped on the play control's "Play Now" goes in
// front of the playing music. Closing the window while the song still plays
// sends the disconnect.
TEST_F(MainWindowTest, DropsOnThePoolPlayOnTheBox) {
    // The Box reads 2 MB a second: the song lasts a few seconds.
    std::vector<std::string> slow = box("Living Room");
    slow.insert(slow.end(), {"--read-rate", "2000000"});
    BoxSimProcess living(slow, "127.0.0.2");
    TempDir media;
    const std::string photo = MakePatternFile(media, "photo.jpg", 120000).string();
    const std::string song = MakePatternFile(media, "song.mp3", 16 << 20).string();
    const std::string added = MakePatternFile(media, "added.mp3", 1000).string();
    auto window = makeWindow();
    Driver driver(*window, [&] {
        if (!window->isVisible())
            return false;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(photo)),
                      QUrl::fromLocalFile(QString::fromStdString(song)),
                      QUrl(QStringLiteral("https://example.invalid/remote.mp3"))});
        dropAt(*window, QPointF(5, 300), data);
        EXPECT_TRUE(window->Session()->Instances().IsEmpty());
        // Played once the walk of the dropped paths has ended: see the next step.
        dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
        return true;
    });
    CPlayStatusDialog& status = window->statusWindow();
    bool isAddedDropped = false;
    Driver ender(*window, [&] {
        if (isAddedDropped) {
            // The drop plays once its walk has ended, from this loop.
            const auto& events = living.events();
            const auto restarted =
                std::find_if(events.begin(), events.end(), [](const JsonEvent& e) {
                    return e.str("event") == "command" && e.str("byte") == "l" &&
                           e.strings("names").size() == 2;
                });
            if (restarted == events.end())
                return false;
            EXPECT_EQ(restarted->strings("names"),
                      (std::vector<std::string>{"added.mp3", "song.mp3"}));
            window->EndDialog(IDCANCEL);
            return true;
        }
        if (window->isVisible() || !status.isVisible() ||
            !showsText(status.audioPanel(), QStringLiteral("song.mp3")) ||
            !showsText(status.imagePanel(), QStringLiteral("photo.jpg")))
            return false;
        EXPECT_EQ(status.Types(), DMP_TYPE_IMAGE | DMP_TYPE_AUDIO);
        EXPECT_EQ(window->Session()->Instances().All().size(), 1u);
        QWidget& playControl = status.playControl();
        const CGdipButton* playNow = dropTarget(playControl, QStringLiteral("Play Now"));
        EXPECT_NE(playNow, nullptr);
        if (playNow == nullptr)
            return true;
        QMimeData more;
        more.setUrls({QUrl::fromLocalFile(QString::fromStdString(added))});
        dropAt(playControl, QRectF(playNow->geometry()).center(), more);
        isAddedDropped = true;
        return false;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    for (const std::string& path : {photo, added}) {
        const std::string name = std::filesystem::path(path).filename().string();
        const auto received = living.waitForEvent([&](const JsonEvent& e) {
            return e.str("event") == "file" && e.str("name") == name && e.flag("complete");
        });
        ASSERT_TRUE(received) << name;
        EXPECT_EQ(received->str("sha256"), Sha256FileHex(path));
    }
    window.reset();
    EXPECT_TRUE(living.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "command" && e.str("byte") == "D"; }));
}

// Counts the times a window is hidden.
class HideCounter : public QObject {
public:
    size_t count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Hide;
        return false;
    }
};

// While music plays a window stays shown: when the photo half of the drop
// ends, or the music's link connects after the photos', the status window is
// rebuilt in place, never hidden, so that the window system cannot lose it
// between a hide and a show. Round after round.
TEST_F(MainWindowTest, WhenThePhotosEndTheStatusWindowStaysShown) {
    std::vector<std::string> slow = box("Living Room");
    slow.insert(slow.end(), {"--read-rate", "2000000"});
    BoxSimProcess living(slow, "127.0.0.2");
    TempDir media;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(
                      QString::fromStdString(MakePatternFile(media, "photo1.jpg", 20000).string())),
                  QUrl::fromLocalFile(
                      QString::fromStdString(MakePatternFile(media, "photo2.jpg", 20000).string())),
                  QUrl::fromLocalFile(QString::fromStdString(
                      MakePatternFile(media, "song.mp3", 16 << 20).string()))});
    auto window = makeWindow();
    CPlayStatusDialog& status = window->statusWindow();
    HideCounter hides;
    status.installEventFilter(&hides);
    constexpr int kRounds = 3;
    int round = 0;
    bool isDropped = false;
    Driver driver(*window, [&] {
        if (!isDropped) {
            if (!window->isVisible())
                return false;
            hides.count = 0;
            dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
            isDropped = true;
            return false;
        }
        if (status.Types() != DMP_TYPE_AUDIO)
            return false;
        EXPECT_TRUE(status.isVisible()) << round;
        EXPECT_EQ(hides.count, 0u) << round;
        isDropped = false;
        if (++round < kRounds) {
            status.close();
            return false;
        }
        window->EndDialog(IDCANCEL);
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(round, kRounds);
}

// The lasting notice shown over the status window, or null.
CMessageDialog* shownNotice(QWidget& statusWindow) {
    for (CMessageDialog* notice : statusWindow.findChildren<CMessageDialog*>())
        if (notice->isVisible())
            return notice;
    return nullptr;
}

// The Box stops while music plays: frozen (it neither answers nor closes), or
// ended and started again on its address. The user is told once, naming the
// Box; the status window waits veiled; when the Box answers again the list
// goes on with the file it had reached, at about the time it had reached.
class LostBoxTest : public MainWindowTest {
protected:
    enum class Loss { Freeze, Restart };

    void loseAndComeBack(Loss loss) {
        std::vector<std::string> slow = box("Living Room");
        slow.insert(slow.end(), {"--read-rate", "2000000"});
        std::optional<BoxSimProcess> living(std::in_place, slow, "127.0.0.2");
        TempDir media;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(
                          MakePatternFile(media, "first.mp3", 64 << 20).string())),
                      QUrl::fromLocalFile(QString::fromStdString(
                          MakePatternFile(media, "second.mp3", 1 << 20).string()))});
        auto window = makeWindow();
        CPlayStatusDialog& status = window->statusWindow();
        enum class Stage { Opening, Playing, Lost, Back } stage = Stage::Opening;
        int32_t elapsedWhenLost = 0;
        Driver driver(*window, [&] {
            switch (stage) {
            case Stage::Opening:
                if (!window->isVisible())
                    return false;
                dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
                stage = Stage::Playing;
                return false;
            case Stage::Playing: {
                CPlaybackSession* session = window->Session();
                DmpVellumoInfo* playing = session->Instances().FindInstanceFor(DMP_TYPE_AUDIO);
                const int32_t elapsed =
                    playing ? DmpCallOr(session->Instances().Api().GetCurrentDuration, 0, playing)
                            : 0;
                if (elapsed < 2)
                    return false;
                elapsedWhenLost = elapsed;
                if (loss == Loss::Freeze)
                    living->freeze(true);
                else
                    living.reset();
                stage = Stage::Lost;
                return false;
            }
            case Stage::Lost: {
                CMessageDialog* notice = shownNotice(status);
                if (notice == nullptr)
                    return false;
                EXPECT_TRUE(notice->accessibleName().contains(QStringLiteral("Living Room")));
                EXPECT_TRUE(status.isVisible());
                EXPECT_TRUE(status.waitingVeil().isVisible());
                if (loss == Loss::Freeze)
                    living->freeze(false);
                else
                    living.emplace(slow, "127.0.0.2");
                stage = Stage::Back;
                return false;
            }
            case Stage::Back:
                if (shownNotice(status) != nullptr || status.waitingVeil().isVisible())
                    return false;
                window->EndDialog(IDCANCEL);
                return true;
            }
            return true;
        });
        EXPECT_EQ(window->DoModal(), IDCANCEL);
        ASSERT_EQ(stage, Stage::Back);
        // The list taken up again starts with the file it had reached...
        const auto names = living->waitForEvent([](const JsonEvent& e) {
            return e.str("event") == "command" && e.str("byte") == "l" &&
                   e.strings("names") == std::vector<std::string>{"first.mp3", "second.mp3"} &&
                   e.num("pair") > 1;
        });
        EXPECT_TRUE(names || loss == Loss::Restart);
        if (loss == Loss::Restart) {
            EXPECT_TRUE(living->waitForEvent([](const JsonEvent& e) {
                return e.str("event") == "command" && e.str("byte") == "l" &&
                       e.strings("names").front() == "first.mp3";
            }));
        }
        // ...at about the time it had reached.
        const auto seek = living->waitForEvent(
            [](const JsonEvent& e) { return e.str("event") == "command" && e.str("byte") == "J"; });
        ASSERT_TRUE(seek);
        EXPECT_GE(seek->num("value"), elapsedWhenLost);
    }
};

TEST_F(LostBoxTest, AFrozenBoxIsToldAndTheListGoesOnWhereItStopped) {
    loseAndComeBack(Loss::Freeze);
}

TEST_F(LostBoxTest, ABoxEndedAndStartedAgainTakesTheListUp) {
    loseAndComeBack(Loss::Restart);
}

// A drop while the Box is down says so at once, naming the Box, and the main
// window takes drops again.
TEST_F(MainWindowTest, ADropWhileTheBoxIsDownSaysSo) {
    std::optional<BoxSimProcess> living(std::in_place, box("Living Room"), "127.0.0.2");
    TempDir media;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(
        QString::fromStdString(MakePatternFile(media, "song.mp3", 1000).string()))});
    auto window = makeWindow();
    bool isDropped = false;
    QString told;
    Driver driver(*window, [&] {
        if (!isDropped) {
            if (!window->isVisible())
                return false;
            living.reset();
            dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
            isDropped = true;
            return false;
        }
        QWidget* message = QApplication::activeModalWidget();
        if (message == nullptr)
            return false;
        told = message->accessibleName();
        EXPECT_TRUE(clickButton(message, QStringLiteral("OK")));
        return true;
    });
    Driver ender(*window, [&] {
        if (told.isEmpty() || QApplication::activeModalWidget() != nullptr ||
            !window->acceptDrops())
            return false;
        window->EndDialog(IDCANCEL);
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_TRUE(told.contains(QStringLiteral("Living Room"))) << told.toStdString();
}

// A file that cannot be read when the Box asks for it is skipped: the next
// one plays without a Next, and the user reads which file and why.
TEST_F(MainWindowTest, AnUnreadableFileIsSkippedWithANotice) {
    std::vector<std::string> slow = box("Living Room");
    slow.insert(slow.end(), {"--read-rate", "2000000"});
    BoxSimProcess living(slow, "127.0.0.2");
    TempDir media;
    const std::filesystem::path gone = MakePatternFile(media, "gone.mp3", 1000);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(
                      MakePatternFile(media, "first.mp3", 4 << 20).string())),
                  QUrl::fromLocalFile(QString::fromStdString(gone.string())),
                  QUrl::fromLocalFile(
                      QString::fromStdString(MakePatternFile(media, "next.mp3", 1000).string()))});
    auto window = makeWindow();
    CPlayStatusDialog& status = window->statusWindow();
    bool isDropped = false;
    QString noticeText;
    Driver driver(*window, [&] {
        if (!isDropped) {
            if (!window->isVisible())
                return false;
            dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
            isDropped = true;
            return false;
        }
        // Named to the Box, then gone while the first file plays.
        if (std::filesystem::exists(gone)) {
            if (showsText(status.audioPanel(), QStringLiteral("first.mp3")))
                std::filesystem::remove(gone);
            return false;
        }
        CMessageDialog* notice = shownNotice(status);
        if (notice == nullptr)
            return false;
        noticeText = notice->accessibleName();
        window->EndDialog(IDCANCEL);
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_TRUE(noticeText.contains(QStringLiteral("gone.mp3"))) << noticeText.toStdString();
    EXPECT_TRUE(living.waitForEvent([](const JsonEvent& e) {
        return e.str("event") == "file" && e.str("name") == "next.mp3" && e.flag("complete");
    }));
}

// The status window's close ends playback: every link disconnects and the
// main window takes drops again. A flood of status notifications leaves at
// most one refresh waiting. A Box that goes away mid-play is waited for
// until the user stops the wait: the main window comes back.
TEST_F(MainWindowTest, PlaybackEndsBackInTheMainWindow) {
    std::vector<std::string> slow = box("Living Room");
    slow.insert(slow.end(), {"--read-rate", "2000000"});
    std::optional<BoxSimProcess> living(std::in_place, slow, "127.0.0.2");
    TempDir media;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(
        QString::fromStdString(MakePatternFile(media, "song.mp3", 16 << 20).string()))});
    auto window = makeWindow();
    CPlayStatusDialog& status = window->statusWindow();
    MessageCounter refreshes(DMP_WM_AUDIO_STATUS);
    window->installEventFilter(&refreshes);
    const auto isPlaying = [&] {
        return !window->isVisible() && status.isVisible() && window->Session() != nullptr &&
               !window->Session()->Instances().IsEmpty();
    };
    const auto isBack = [&] {
        return window->isVisible() && window->acceptDrops() && !status.Exists() &&
               window->Session()->Instances().IsEmpty();
    };
    const auto drop = [&] {
        dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
    };
    enum class Stage {
        Opening,
        Playing,
        Closing,
        PlayingAgain,
        Flooded,
        BoxGone
    } stage = Stage::Opening;
    size_t refreshesBefore = 0;
    Driver driver(*window, [&] {
        switch (stage) {
        case Stage::Opening:
            if (!window->isVisible())
                return false;
            drop();
            stage = Stage::Playing;
            return false;
        case Stage::Playing:
            if (!isPlaying())
                return false;
            EXPECT_FALSE(window->acceptDrops());
            // The user closes it from its caption.
            status.close();
            stage = Stage::Closing;
            return false;
        case Stage::Closing:
            if (!isBack())
                return false;
            EXPECT_TRUE(
                living->waitForEvent([](const JsonEvent& e) { return e.str("byte") == "D"; }));
            drop();
            stage = Stage::PlayingAgain;
            return false;
        case Stage::PlayingAgain: {
            if (!isPlaying())
                return false;
            // Ten thousand refreshes of one instance, posted from another
            // thread while this one is busy.
            DmpHostWindow* host = window->LibraryWindow();
            const auto instance =
                reinterpret_cast<uintptr_t>(window->Session()->Instances().All().front());
            refreshesBefore = refreshes.count;
            std::thread flood([&] {
                for (int i = 0; i < 10000; ++i)
                    host->post(host->context, DMP_WM_AUDIO_STATUS, instance, 0);
            });
            flood.join();
            stage = Stage::Flooded;
            return false;
        }
        case Stage::Flooded:
            QApplication::processEvents();
            // The library's own refreshes may have come meanwhile, a few.
            EXPECT_GE(refreshes.count, refreshesBefore + 1);
            EXPECT_LT(refreshes.count, refreshesBefore + 20);
            living.reset();
            stage = Stage::BoxGone;
            return false;
        case Stage::BoxGone:
            if (CMessageDialog* notice = shownNotice(status)) {
                EXPECT_TRUE(clickButton(notice, QStringLiteral("Stop")));
            }
            if (!isBack())
                return false;
            window->close();
            return true;
        }
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(stage, Stage::BoxGone);
}

// A Box on the far end of the test's veth pair. Switched off (its process
// ended and its address gone) it stops answering: the window asks and is
// disabled; switched on again, "Rescan" gets a reply and the window is
// enabled again.
TEST_F(MainWindowTest, ABoxThatStopsAnsweringIsAskedForAndRescanEnablesTheWindow) {
    const std::string address = "10.99.0.50";
    const std::string peer = kDummyPeer;
    // Both ends of the pair are this namespace's: a packet from one of its
    // own addresses arriving on the other end must not count as forged.
    for (const std::string& device : {std::string("all"), std::string(kDummyInterface), peer}) {
        std::ofstream("/proc/sys/net/ipv4/conf/" + device + "/accept_local") << 1;
        std::ofstream("/proc/sys/net/ipv4/conf/" + device + "/rp_filter") << 0;
    }
    const auto switchOn = [&](std::optional<BoxSimProcess>& box) {
        EXPECT_EQ(std::system(("ip addr add " + address + "/32 dev " + peer).c_str()), 0);
        box.emplace(std::vector<std::string>{"--port", "7171", "--upnp-iface", peer,
                                             "--friendly-name", "Far Box"},
                    address);
    };
    const auto switchOff = [&](std::optional<BoxSimProcess>& box) {
        box.reset();
        EXPECT_EQ(std::system(("ip addr del " + address + "/32 dev " + peer).c_str()), 0);
    };
    std::optional<BoxSimProcess> far;
    switchOn(far);
    auto window = makeWindow(kDummyInterface);
    enum class Stage { Opening, SwitchedOff, Rescanned, Done } stage = Stage::Opening;
    Driver driver(*window, [&] {
        auto* question = dynamic_cast<CMessageDialog*>(QApplication::activeModalWidget());
        switch (stage) {
        case Stage::Opening:
            if (!window->isVisible() || question != nullptr)
                return false;
            switchOff(far);
            stage = Stage::SwitchedOff;
            return false;
        case Stage::SwitchedOff:
            if (question == nullptr || question->style() != CMessageDialog::kTwoButtons)
                return false;
            EXPECT_FALSE(window->isEnabled());
            switchOn(far);
            EXPECT_TRUE(clickButton(question, QStringLiteral("Rescan")));
            stage = Stage::Rescanned;
            return false;
        case Stage::Rescanned:
            if (question != nullptr || !window->isEnabled())
                return false;
            stage = Stage::Done;
            window->close();
            return true;
        case Stage::Done:
            return true;
        }
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(window->BoxAddress(), L"10.99.0.50");
    EXPECT_EQ(stage, Stage::Done);
    switchOff(far);
}

// While the WiDi application runs (an installed "Intel WiDi" whose
// executable is a running process) the window refuses to open: one message,
// no search.
TEST_F(MainWindowTest, RefusesToOpenWhileTheWiDiApplicationRuns) {
    TempDir data;
    std::filesystem::create_directories(data.file("applications"));
    std::filesystem::create_directories(data.file("widi"));
    const std::string executable = data.file("widi/WiDiApp.exe");
    std::filesystem::copy_file("/bin/sleep", executable);
    WriteTestFile(data.file("applications/widi.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Intel WiDi\nExec=WiDiApp.exe\nPath=" +
                      data.file("widi") + "\n");
    const ScopedEnvironment dataHome("XDG_DATA_HOME", data.path().c_str());
    const ScopedEnvironment dataDirs("XDG_DATA_DIRS", data.file("none").c_str());
    const pid_t widi = SpawnTiedChild({executable, "60"}, -1, -1);
    ASSERT_GT(widi, 0);
    // Until the copied program runs under its own name.
    while (std::filesystem::read_symlink("/proc/" + std::to_string(widi) + "/exe") != executable)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    auto window = makeWindow();
    bool isRefused = false;
    bool isSearching = false;
    Driver driver(*window, [&] {
        isSearching = isSearching || window->waitingBox() != nullptr;
        auto* box = dynamic_cast<CMessageDialog*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return false;
        for (const QWidget* child : box->findChildren<QWidget*>())
            isRefused = isRefused || child->accessibleName() ==
                                         QStringLiteral("Intel WiDi is running, please turn it "
                                                        "off first.");
        return clickButton(box, QStringLiteral("OK"));
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_TRUE(isRefused);
    EXPECT_FALSE(isSearching);
    EXPECT_FALSE(window->isVisible());
    kill(widi, SIGKILL);
    waitpid(widi, nullptr, 0);
}
