// The main window offscreen against simulated Boxes announcing on loopback,
// the search pinned to loopback.
#include "BoxSimProcess.h"
#include "CGdipButton.h"
#include "CVellumoDlg.h"
#include "DummyNetwork.h"
#include "RecordingStatusWindow.h"
#include "Sha256Digest.h"
#include "TempDir.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

namespace {

constexpr auto kBound = std::chrono::seconds(40);

std::vector<std::string> box(const std::string& name) {
    return {"--port", "7171", "--upnp-iface", "lo", "--friendly-name", name};
}

// Clicks the button of a modal box that carries caption.
bool clickButton(QWidget* box, const QString& caption) {
    if (box == nullptr)
        return false;
    for (CGdipButton* button : box->findChildren<CGdipButton*>())
        if (button->isVisible() && button->accessibleName() == caption) {
            button->click();
            return true;
        }
    return false;
}

// Runs step every 20 ms from whatever loop runs (the window's, a modal
// box's), until it returns true. When the bound passes first, the test fails
// and every modal box and the window end, so that nothing waits forever.
class Driver {
public:
    Driver(CVellumoDlg& window, std::function<bool()> step) : m_step(std::move(step)) {
        m_deadline = std::chrono::steady_clock::now() + kBound;
        QObject::connect(&m_timer, &QTimer::timeout, [this, &window] {
            if (m_step()) {
                m_timer.stop();
            } else if (std::chrono::steady_clock::now() > m_deadline) {
                // Keeps answering "Exit" and closing boxes until the window
                // has ended: a closed question means "Rescan".
                if (!m_hasFailed)
                    ADD_FAILURE() << "the window never came to the expected state";
                m_hasFailed = true;
                if (QWidget* box = QApplication::activeModalWidget())
                    if (!clickButton(box, QStringLiteral("Exit")))
                        box->close();
                window.EndDialog(IDCANCEL);
            }
        });
        m_timer.start(20);
    }

private:
    std::function<bool()> m_step;
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_hasFailed = false;
};

// A drag from a file manager that enters the window and drops at position.
void dropAt(QWidget& window, const QPointF& position, const QMimeData& data) {
    QDragEnterEvent enter(position.toPoint(), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(position, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsInDummyNetwork())
            GTEST_SKIP() << "needs a private network namespace (root)";
    }
    std::unique_ptr<CVellumoDlg> makeWindow(const std::string& searchInterface = "lo") {
        auto status = std::make_unique<RecordingStatusWindow>();
        statusWindow = status.get();
        return std::make_unique<CVellumoDlg>(ParseStartupOptions({"--iface", searchInterface}),
                                             std::move(status));
    }

    RecordingStatusWindow* statusWindow = nullptr;
};

} // namespace

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

TEST_F(MainWindowTest, NoBoxAsksAndExitEnds) {
    auto window = makeWindow();
    QString body;
    Driver driver(*window, [&] {
        auto* question = dynamic_cast<CMessageDialog*>(QApplication::activeModalWidget());
        if (question == nullptr || question->style() != CMessageDialog::kTwoButtons)
            return false;
        for (const QWidget* child : question->findChildren<QWidget*>())
            if (child->accessibleName().startsWith(QStringLiteral("No device found.")))
                body = child->accessibleName();
        return clickButton(question, QStringLiteral("Exit"));
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_TRUE(body.startsWith(QStringLiteral("No device found.")));
    EXPECT_FALSE(window->isVisible());
}

// Photos and music dropped on their pool reach the Box whole; the status
// window comes for both types and the main window hides. Music forwarded
// by the play control's "Play Now" goes in front of the playing music.
// Closing the window while the song still plays sends the disconnect.
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
        dropAt(*window, QRectF(window->photoMusicPool()->geometry()).center(), data);
        EXPECT_EQ(window->Session()->Instances().All().size(), 1u);
        return true;
    });
    Driver ender(*window, [&] {
        if (statusWindow->createdTypes.empty() || window->isVisible())
            return false;
        statusWindow->isPlayNow = true;
        const QList<QUrl> urls = {QUrl::fromLocalFile(QString::fromStdString(added))};
        SendMessageTo(window.get(), CVellumoDlg::kDropFilesMessage,
                      reinterpret_cast<uintptr_t>(&urls), 0);
        const auto restarted = living.waitForEvent([](const JsonEvent& e) {
            return e.str("event") == "command" && e.str("byte") == "l" &&
                   e.strings("names").size() == 2;
        });
        EXPECT_TRUE(restarted);
        if (restarted) {
            EXPECT_EQ(restarted->strings("names"),
                      (std::vector<std::string>{"added.mp3", "song.mp3"}));
        }
        window->EndDialog(IDCANCEL);
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(statusWindow->createdTypes, std::vector<uint32_t>{DMP_TYPE_IMAGE | DMP_TYPE_AUDIO});
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

int main(int argc, char** argv) {
    std::string why;
    if (!EnterDummyNetwork(&why))
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
