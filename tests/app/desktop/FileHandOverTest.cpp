// Files opened with the application: a second start hands its files to the
// running instance over a private session bus; they become drops on the two
// pools once the main window takes them.
#include "PrivateBus.h"
#include "TempDir.h"
#include "TraceCapture.h"
#include "desktop/CFileHandOver.h"
#include "desktop/COpenFilesClient.h"
#include "playback/CPlayRequest.h"
#include "shell/CNoticeGate.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>

namespace {

class FileHandOverTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_bus.IsRunning()) << "dbus-daemon did not start"; }

    QString touch(const std::string& name) {
        const std::filesystem::path path = std::filesystem::path(m_dir.path()) / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "media";
        return QString::fromStdString(path.string());
    }

    void receive(CFileHandOver& handOver) {
        handOver.SetReceiver([this](const QStringList& paths) { m_batches.push_back(paths); });
    }

    // A second start's side of the hand-over with its arguments, read in
    // the test's folder, on a thread of its own: the running instance
    // answers on this one meanwhile.
    bool secondStart(const std::vector<std::string>& arguments) {
        QDBusConnection bus = m_bus.Connect(QStringLiteral("second-start"));
        std::future<bool> handedOver = std::async(std::launch::async, [&] {
            return COpenFilesClient::HandOver(
                CFileHandOver::LocalPaths(arguments, QString::fromStdString(m_dir.path())), bus);
        });
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return handedOver.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
            },
            60000));
        return handedOver.get();
    }

    PrivateBus m_bus;
    TempDir m_dir;
    std::vector<QStringList> m_batches;
};

// Relative paths, "file:" addresses and folders arrive as absolute paths;
// what does not exist and other addresses are left out.
TEST_F(FileHandOverTest, SecondStartsFilesArriveAsOneBatch) {
    const QString song = touch("song.mp3");
    const QString film = touch("my film.mp4");
    touch("album/a.mp3");
    const QString album = QString::fromStdString(m_dir.path()) + QStringLiteral("/album");
    CFileHandOver running;
    ASSERT_TRUE(running.Register(m_bus.Connect(QStringLiteral("running"))));
    receive(running);
    TraceCapture trace;

    EXPECT_TRUE(secondStart({"song.mp3", QUrl::fromLocalFile(film).toEncoded().toStdString(),
                             "./album/", "missing.mp3", "http://box.invalid/remote.mp3"}));

    ASSERT_EQ(m_batches.size(), 1u);
    EXPECT_EQ(m_batches[0], (QStringList{song, film, album}));
    EXPECT_TRUE(trace.Contains("missing.mp3"));
}

// Before a Box is chosen the files wait; thousands travel in several calls,
// each within the bounds the instance accepts.
TEST_F(FileHandOverTest, ThousandsOfFilesWaitForTheBoxInBoundedCalls) {
    touch("song.mp3");
    CFileHandOver running;
    ASSERT_TRUE(running.Register(m_bus.Connect(QStringLiteral("running"))));
    const int count = 2 * CFileHandOver::kMaxPathsPerCall + 10;
    EXPECT_TRUE(secondStart(std::vector<std::string>(count, "song.mp3")));
    EXPECT_TRUE(m_batches.empty());
    receive(running);

    ASSERT_EQ(m_batches.size(), 3u);
    qsizetype files = 0;
    for (const QStringList& batch : m_batches) {
        EXPECT_LE(batch.size(), CFileHandOver::kMaxPathsPerCall);
        files += batch.size();
    }
    EXPECT_EQ(files, count);

    // A client that ignores the bounds gets only what fits one call.
    m_batches.clear();
    running.OpenFiles(QStringList(count, touch("again.mp3")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_batches.empty(); }, 10000));
    ASSERT_EQ(m_batches.size(), 1u);
    EXPECT_EQ(m_batches[0].size(), CFileHandOver::kMaxPathsPerCall);
}

TEST_F(FileHandOverTest, WithoutARunningInstanceOrBusNothingIsHandedOver) {
    const QStringList paths{touch("song.mp3")};
    EXPECT_FALSE(COpenFilesClient::HandOver(paths, m_bus.Connect(QStringLiteral("alone")),
                                            std::chrono::milliseconds(0)));
    EXPECT_FALSE(COpenFilesClient::HandOver(paths, QDBusConnection(QStringLiteral("none"))));
    CFileHandOver unregistered;
    EXPECT_FALSE(unregistered.Register(QDBusConnection(QStringLiteral("none"))));

    // The name has one owner: a second instance cannot take it. The owner's
    // other objects may have claimed it first on the same connection.
    QDBusConnection running = m_bus.Connect(QStringLiteral("first"));
    ASSERT_TRUE(running.interface()
                    ->registerService(QString::fromLatin1(CFileHandOver::kServiceName))
                    .isValid());
    CFileHandOver first, second;
    EXPECT_TRUE(first.Register(running));
    EXPECT_FALSE(second.Register(m_bus.Connect(QStringLiteral("second"))));
}

} // namespace

// A client floods OpenFiles with a file that leads to a message, never
// waiting for an answer. Each call is answered while the first message is
// still on screen, and the messages that follow it are dropped instead of
// stacking a modal loop each.
TEST_F(FileHandOverTest, FloodOfCallsIsAnsweredAtOnceWithOneMessage) {
    constexpr int kCalls = 3000;
    const QString notMedia = touch("notes.txt");
    CFileHandOver running;
    ASSERT_TRUE(running.Register(m_bus.Connect(QStringLiteral("running"))));
    QDBusConnection flood = m_bus.Connect(QStringLiteral("flood"));
    int answers = 0;
    int errors = 0;
    CNoticeGate notices;
    int shown = 0;
    bool isAllAnsweredWhileShown = false;
    running.SetReceiver([&](const QStringList&) {
        notices.Show(QStringLiteral("not media"), [&] {
            ++shown;
            // The message's own loop, as a modal message box runs it.
            isAllAnsweredWhileShown =
                QTest::qWaitFor([&] { return answers + errors == kCalls; }, 120000);
        });
    });
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(CFileHandOver::kServiceName),
                                       QString::fromLatin1(CFileHandOver::kObjectPath),
                                       QString::fromLatin1(CFileHandOver::kInterface),
                                       QStringLiteral("OpenFiles"))
        << QStringList{notMedia};
    std::vector<std::unique_ptr<QDBusPendingCallWatcher>> watchers;
    for (int i = 0; i < kCalls; ++i) {
        auto& watcher = watchers.emplace_back(
            std::make_unique<QDBusPendingCallWatcher>(flood.asyncCall(call, 120000)));
        QObject::connect(
            watcher.get(), &QDBusPendingCallWatcher::finished,
            [&](QDBusPendingCallWatcher* done) { ++(done->isError() ? errors : answers); });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers + errors == kCalls; }, 120000));
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(isAllAnsweredWhileShown);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(notices.IsShown(QStringLiteral("not media")));
}
