// The setup page window against the simulated Box's own page, headless.
// Each case runs in a process of its own, so that the first one sees the
// web engine not yet loaded.
#include "BoxSimProcess.h"
#include "remote/CRemoteControl.h"

#include <QFile>
#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

constexpr int kLoadWaitMs = 60000;

bool isWebEngineLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

QString pageAddress(BoxSimProcess& box) {
    return QStringLiteral("%1:%2").arg(QString::fromStdString(box.address())).arg(box.webPort());
}

// The Box's logged requests of its setup page whose query contains text.
int requestsWith(BoxSimProcess& box, const std::string& text) {
    int count = 0;
    for (const JsonEvent& event : box.events())
        if (event.str("event") == "http" && event.str("query").find(text) != std::string::npos)
            ++count;
    return count;
}

bool waitForRequests(BoxSimProcess& box, const std::string& text, int count) {
    return box.waitForEvent([&](const JsonEvent&) { return requestsWith(box, text) >= count; })
        .has_value();
}

class RemoteControlTest : public ::testing::Test {
protected:
    void openAndWaitForPage(int top, int left) {
        QSignalSpy loaded(&remote, &CRemoteControl::PageLoaded);
        ASSERT_TRUE(remote.Open(pageAddress(box), top, left));
        ASSERT_TRUE(loaded.wait(kLoadWaitMs));
        EXPECT_TRUE(loaded.front().front().toBool());
    }

    BoxSimProcess box;
    CRemoteControl remote{QStringLiteral(REMOTE_PAGE_MODULE)};
};

} // namespace

// The engine comes with the first Open; a second Open keeps the one window,
// whose input Enable switches; the user's close tells the Box once, and a
// later Open makes a new window whose Close tells it again.
TEST_F(RemoteControlTest, OpensOneWindowAndEachCloseTellsTheBoxOnce) {
    ASSERT_TRUE(box.isReady());
    EXPECT_FALSE(isWebEngineLoaded());
    EXPECT_FALSE(remote.Open(QStringLiteral("evil.example/x#"), 0, 0));
    EXPECT_FALSE(isWebEngineLoaded());

    openAndWaitForPage(30, 420);
    EXPECT_TRUE(isWebEngineLoaded());
    auto* window = qobject_cast<QWidget*>(remote.Window());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(remote.Open(pageAddress(box), 0, 0));
    EXPECT_EQ(remote.Window(), window);
    EXPECT_EQ(window->size(), QSize(360, 400));
    EXPECT_EQ(window->pos(), QPoint(420, 30));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Remote Control"));
    EXPECT_EQ(requestsWith(box, "tavoli=in"), 1);
    // Enable(false) disables the widget the engine takes keys and clicks
    // through: Qt delivers no input to a disabled widget.
    QWidget* input = window->focusProxy();
    ASSERT_TRUE(input != nullptr && input != window);
    remote.Enable(false);
    EXPECT_FALSE(input->isEnabled());
    remote.Enable(true);
    EXPECT_TRUE(input->isEnabled());

    QSignalSpy closed(&remote, &CRemoteControl::Closed);
    window->close();
    EXPECT_EQ(closed.size(), 1);
    EXPECT_FALSE(remote.IsOpen());
    remote.Close();
    EXPECT_EQ(closed.size(), 1);
    ASSERT_TRUE(waitForRequests(box, "tavoli=out", 1));

    openAndWaitForPage(30, 420);
    EXPECT_NE(remote.Window(), nullptr);
    EXPECT_EQ(requestsWith(box, "tavoli=in"), 2);
    // The only "out" so far came from the first window.
    EXPECT_EQ(requestsWith(box, "tavoli=out"), 1);
    remote.Close();
    EXPECT_FALSE(remote.IsOpen());
    ASSERT_TRUE(waitForRequests(box, "tavoli=out", 2));
    EXPECT_EQ(requestsWith(box, "tavoli=out"), 2);
}
