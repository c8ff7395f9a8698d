// The setup page window against the simulated Box's own page, headless, and
// against pages of a local server that misbehave. Each case runs in a
// process of its own, so that the first one sees the web engine not yet
// loaded. As root, the process gives the engine no sandbox switch: the
// window's own code must.
#include "BoxSimProcess.h"
#include "TestHttpServer.h"
#include "remote/CRemoteControl.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

constexpr int kLoadWaitMs = 60000;
using Route = TestHttpServer::Route;

QString serverAddress(const TestHttpServer& server) {
    return QStringLiteral("127.0.0.1:%1").arg(server.Port());
}

QString pageTitle(QObject* window) {
    return window != nullptr ? window->property("title").toString() : QString();
}

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

// A page that calls alert() while the window is closed, as a client's
// RemoteControl.Close could at any moment: no dialog of the page ever runs,
// and the window goes from the event loop, the process unharmed.
TEST(RemoteControlPage, CloseWhileThePageAlertsEndsTheWindowCleanly) {
    TestHttpServer server;
    server.SetRoute("/remote/?tavoli=in",
                    Route::Of("<html><head><title>before</title></head><body><script>"
                              "alert('The Box says hi'); confirm('Sure?'); prompt('Name?');"
                              "document.title = 'after alert';</script></body></html>"));
    CRemoteControl remote{QStringLiteral(REMOTE_PAGE_MODULE)};
    ASSERT_TRUE(remote.Open(serverAddress(server), 0, 0));
    const QPointer<QObject> window = remote.Window();
    bool hasSeenADialog = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        hasSeenADialog = hasSeenADialog || QApplication::activeModalWidget() != nullptr;
        if (hasSeenADialog || pageTitle(window) == u"after alert") {
            poll.stop();
            remote.Close();
        }
    });
    poll.start(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, kLoadWaitMs));
    EXPECT_FALSE(hasSeenADialog);
    EXPECT_FALSE(remote.IsOpen());
}

// The page stays on the Box: a new window and a navigation to another host
// go nowhere; a page of the Box itself opens.
TEST(RemoteControlPage, NavigationStaysOnTheBox) {
    TestHttpServer server;
    const std::string elsewhere = "http://localhost:" + std::to_string(server.Port());
    server.SetRoute("/remote/?tavoli=in",
                    Route::Of("<html><body><script>window.open('" + elsewhere +
                              "/popup'); location.href = '" + elsewhere +
                              "/phish'; setTimeout(function() { location.href = '/remote/next'; }, "
                              "100);</script></body></html>"));
    server.SetRoute("/remote/next", Route::Of("<html><head><title>next</title></head></html>"));
    CRemoteControl remote{QStringLiteral(REMOTE_PAGE_MODULE)};
    ASSERT_TRUE(remote.Open(serverAddress(server), 0, 0));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return pageTitle(remote.Window()) == u"next"; }, kLoadWaitMs));
    EXPECT_EQ(server.RequestCount("/popup"), 0);
    EXPECT_EQ(server.RequestCount("/phish"), 0);
    EXPECT_EQ(remote.Window()->property("url").toUrl().host(), QStringLiteral("127.0.0.1"));
    int windows = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        windows += widget->isVisible();
    EXPECT_EQ(windows, 1);
}

// A window module that cannot be loaded, and a page whose process is killed,
// end as failures the caller can tell; neither ends the process.
TEST(RemoteControlPage, FailuresAreToldNotFatal) {
    CRemoteControl missing{QStringLiteral("/nonexistent/vellumo-remote-page.so")};
    EXPECT_FALSE(missing.Open(QStringLiteral("127.0.0.1"), 0, 0));
    EXPECT_EQ(missing.LastFailure(), CRemoteControl::Failure::NoWebEngine);
    EXPECT_FALSE(missing.Open(QStringLiteral("evil.example/x#"), 0, 0));
    EXPECT_EQ(missing.LastFailure(), CRemoteControl::Failure::NoBoxAddress);

    TestHttpServer server;
    server.SetRoute("/remote/?tavoli=in", Route::Of("<html><head><title>up</title></head></html>"));
    CRemoteControl remote{QStringLiteral(REMOTE_PAGE_MODULE)};
    QSignalSpy failed(&remote, &CRemoteControl::PageFailed);
    ASSERT_TRUE(remote.Open(serverAddress(server), 0, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageTitle(remote.Window()) == u"up"; }, kLoadWaitMs));
    QObject* page = remote.Window()->findChild<QObject*>(QStringLiteral("setupPage"));
    ASSERT_NE(page, nullptr);
    const qint64 renderer = page->property("renderProcessPid").toLongLong();
    ASSERT_GT(renderer, 0);
    ::kill(static_cast<pid_t>(renderer), SIGKILL);
    ASSERT_TRUE(failed.wait(kLoadWaitMs));
    EXPECT_EQ(remote.LastFailure(), CRemoteControl::Failure::PageEnded);
    EXPECT_FALSE(remote.IsOpen());
}
