// The firmware-upgrade command end to end: the real library, a simulated Box
// on the command port, the real file server on 7272 and a loopback server for
// the image download. The main window is a stand-in whose message boxes are
// real message dialogs answered by clicks.
#include "BoxSimProcess.h"
#include "DmpVellumoApi.h"
#include "OtherUser.h"
#include "ScopedEnvironment.h"
#include "SessionWindowStandIn.h"
#include "Sha256Digest.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "TiedChild.h"
#include "Unicode.h"
#include "ui/controls/CGdipButton.h"
#include "ui/windows/CMessageDialog.h"
#include "update/CFirmwareUpgrade.h"
#include "update/CSingleInstanceLock.h"
#include "update/CUpgradeHost.h"
#include "update/UpgradeFiles.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kNoText = -1;
constexpr size_t kImageBytes = 1536 * 1024;

const CStringTable& english() {
    static const CStringTable table(UiLanguage::English);
    return table;
}

void click(CMessageDialog& dialog, const char* name) {
    auto* button = dialog.findChild<CGdipButton*>(QString::fromLatin1(name));
    ASSERT_TRUE(button && button->isVisible()) << name;
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

std::string imageBytes(size_t bytes) {
    std::string image(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i)
        image[i] = static_cast<char>((i * 131 + i / 4093) & 0xff);
    return image;
}

std::string plistWithSwUrl(const std::string& url) {
    return "<?xml version=\"1.0\"?>\n<plist><dict>\n<key>Version</key><string>2</string>\n"
           "<key>SWURL</key>\n<string>" +
           url + "</string>\n</dict></plist>\n";
}

// Titles and bodies of a message box, as string numbers.
struct Shown {
    int titleId;
    int bodyId;
    bool operator==(const Shown&) const = default;
};

// The main window's part: its message boxes, its waiting message, its
// instance list behind a real playback session, and the library's messages
// through a real message port.
class MainWindowStandIn : public SessionWindowStandIn, public CUpgradeHost {
public:
    using SessionWindowStandIn::SessionWindowStandIn;

    std::optional<std::string> FindLocalAddress() const override { return localAddress; }
    const std::wstring& BoxAddress() const override { return boxAddress; }
    std::unique_ptr<CProgressWindow> MakeProgressWindow(Owner) override {
        auto window = std::make_unique<CMessageDialog>(nullptr, english());
        window->SetStyle(CMessageDialog::kProgress);
        return window;
    }
    void ShowNotice(int titleId, int bodyId) override { runMessage(titleId, bodyId, false); }
    void ShowNoticeAbout(int titleId, int bodyId, const std::string& name) override {
        about.push_back(name);
        runMessage(titleId, bodyId, false);
    }
    bool Ask(int bodyId) override {
        return runMessage(kNoText, bodyId, true) == CMessageDialog::kFirstButton;
    }
    // A real message box, answered by a click as the user would.
    int runMessage(int titleId, int bodyId, bool isQuestion) {
        shown.push_back({titleId, bodyId});
        CMessageDialog box(nullptr, english());
        box.SetStyle(isQuestion ? CMessageDialog::kTwoButtons : CMessageDialog::kOneButton);
        box.SetTextIds(titleId, bodyId);
        const char* answer = isQuestion && !isQuestionAccepted ? "secondButton" : "firstButton";
        QTimer::singleShot(0, &box, [&box, answer] { click(box, answer); });
        box.DoModal();
        return box.Result();
    }
    void RunWaitingMessage(int bodyId) override {
        shown.push_back({kNoText, bodyId});
        waitingBox.SetStyle(CMessageDialog::kBusy);
        waitingBox.SetTextIds(kNoText, bodyId);
        waitingEnd = waitingBox.DoModal();
    }
    void HideMainWindow() override { isHidden = true; }
    void ShowMainWindow() override { isHidden = false; }
    void ShowMainWindow(ShowHow) override { isHidden = false; }
    void EndModalBoxes(int32_t linkError) override {
        if (linkError == 0)
            waitingBox.EndDialog(CMessageDialog::kFirstButton);
        if (upgrade != nullptr)
            upgrade->EndModalBoxes(linkError);
    }
    void LinkReported(DmpVellumoInfo* instance, int32_t linkError) override {
        if (upgrade != nullptr)
            upgrade->LinkReported(instance, linkError);
    }
    CDmpInstances* Instances() override { return &session.Instances(); }
    DmpHostWindow* LibraryWindow() override { return port.HostWindow(); }
    void PostClose() override { ++closeRequests; }

    std::optional<std::string> localAddress = "127.0.0.1";
    std::wstring boxAddress = L"127.0.0.2";
    bool isQuestionAccepted = true;
    bool isHidden = false;
    int closeRequests = 0;
    int waitingEnd = -1;
    std::vector<Shown> shown;
    std::vector<std::string> about; // the names of ShowNoticeAbout, in order
    CFirmwareUpgrade* upgrade = nullptr;
    CMessageDialog waitingBox{nullptr, english()};
};

class FirmwareUpgradeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_api = BindDmpVellumoApi(REAL_LIBRARY_PATH, [](const std::wstring& text) {
            ADD_FAILURE() << kvu::ToUtf8(text);
        });
    }
    static void TearDownTestSuite() { UnbindDmpVellumoApi(s_api); }

    void SetUp() override {
        window.upgrade = &upgrade;
        // A run that never ends fails instead of hanging: every open dialog
        // is ended.
        QObject::connect(&watchdog, &QTimer::timeout, &watchdog, [] {
            ADD_FAILURE() << "a window was still open after the watchdog's time";
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
                    dialog->done(IDCANCEL);
        });
        watchdog.start(60000);
    }

    void writeUpgradeFiles(bool withImage) {
        WriteTestFile(files.appliancePath(), plistWithSwUrl("http://placeholder/install.img"));
        if (withImage)
            WriteTestFile(files.imagePath(), image);
    }

    // Names in the temporary directory that end in ".upd".
    std::vector<std::string> downloadFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(files.directory()))
            if (entry.path().extension() == ".upd")
                names.push_back(entry.path().filename());
        return names;
    }

    static DmpVellumoApi s_api;
    TempDir dir;
    ScopedEnvironment runtimeDirectory{"XDG_RUNTIME_DIR", dir.path().c_str()};
    UpgradeFiles files{dir.path()};
    const std::string image = imageBytes(kImageBytes);
    MainWindowStandIn window{s_api};
    CFirmwareUpgrade upgrade{window, files, english()};
    QTimer watchdog;
};

DmpVellumoApi FirmwareUpgradeTest::s_api;

BoxSimProcess::Predicate transferOf(const std::string& what) {
    return [what](const JsonEvent& event) {
        return event.str("event") == "transfer" && event.str("what") == what;
    };
}

// Expects the Box to have fetched the rewritten manifest and the whole image.
void expectBoxTookImage(BoxSimProcess& box, const std::string& image) {
    const auto manifest = box.waitForEvent(transferOf("manifest"));
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->str("url"), "http://127.0.0.1:7272/appliance.xml");
    EXPECT_TRUE(manifest->flag("complete"));
    const auto fetched = box.waitForEvent(transferOf("image"));
    ASSERT_TRUE(fetched);
    EXPECT_EQ(fetched->str("url"), "http://127.0.0.1:7272/install.img");
    EXPECT_TRUE(fetched->flag("complete"));
    EXPECT_EQ(fetched->str("sha256"), Sha256Hex(image));
}

} // namespace

TEST(FirmwareDownloadPercent, WholePercentOfTheStoredBytesCappedAtOneHundred) {
    EXPECT_EQ(CFirmwareDownload::Percent(0, 0), 0u);
    EXPECT_EQ(CFirmwareDownload::Percent(10, 0), 0u);
    // Lengths under 100 bytes.
    EXPECT_EQ(CFirmwareDownload::Percent(1, 3), 33u);
    EXPECT_EQ(CFirmwareDownload::Percent(99, 99), 100u);
    EXPECT_EQ(CFirmwareDownload::Percent(149, 150), 99u);
    EXPECT_EQ(CFirmwareDownload::Percent(300, 150), 100u);
    EXPECT_EQ(CFirmwareDownload::Percent(uint64_t{1} << 62, uint64_t{1} << 63), 50u);
}

// "install.img" in place: the Box fetches manifest and image from the PC, the
// progress window reaches its end, the writing notice waits for the Box to
// close its link, then the success message and the close request follow.
TEST_F(FirmwareUpgradeTest, ImagePresentUpgradesAndAsksToClose) {
    BoxSimProcess box({"--port", "7171", "--flash-time", "300"}, "127.0.0.2");
    ASSERT_TRUE(box.isReady());
    writeUpgradeFiles(true);

    upgrade.Run();

    expectBoxTookImage(box, image);
    ASSERT_NE(upgrade.ProgressWindow(), nullptr);
    EXPECT_EQ(upgrade.ProgressWindow()->progressPosition(), static_cast<int>(kImageBytes));
    EXPECT_EQ(upgrade.ProgressWindow()->progressTotal(), static_cast<int>(kImageBytes));
    EXPECT_EQ(window.shown, (std::vector<Shown>{{kNoText, 279}, {278, 280}}));
    EXPECT_EQ(window.waitingEnd, CMessageDialog::kFirstButton);
    EXPECT_EQ(window.closeRequests, 1);
    EXPECT_FALSE(window.isHidden);
    EXPECT_TRUE(window.session.Instances().IsEmpty());
    const auto written = box.waitForEvent([](const JsonEvent& event) {
        return event.str("event") == "upgrade" && event.str("stage") == "written";
    });
    EXPECT_TRUE(written);
}

// "install.img" missing: the question, the download from the address in
// "device_info.xml" with its progress window, then the upgrade.
TEST_F(FirmwareUpgradeTest, ImageMissingIsDownloadedWithProgressThenUpgraded) {
    TestHttpServer web;
    web.SetRoute("/firmware/v2.img", TestHttpServer::Route::Of(image).WithTrickle(65536));
    WriteTestFile(files.deviceInfoPath(), plistWithSwUrl(web.Url("/firmware/v2.img")));
    BoxSimProcess box({"--port", "7171", "--flash-time", "100"}, "127.0.0.2");
    ASSERT_TRUE(box.isReady());
    writeUpgradeFiles(false);

    // What the download's progress window shows, read as the user would.
    int largestPosition = 0;
    int shownTotal = 0;
    QString title;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        if (auto* progress = dynamic_cast<CMessageDialog*>(upgrade.Download().ProgressWindow())) {
            largestPosition = std::max(largestPosition, progress->progressPosition());
            shownTotal = progress->progressTotal();
            title = progress->accessibleName();
        }
    });
    poll.start(5);

    upgrade.Run();

    EXPECT_EQ(web.RequestCount("/firmware/v2.img"), 1);
    EXPECT_EQ(ReadTestFile(files.imagePath()), image);
    EXPECT_TRUE(downloadFiles().empty());
    EXPECT_TRUE(title.endsWith(u'%') && title.chopped(1).toUInt() <= 100) << title.toStdString();
    EXPECT_GT(largestPosition, 0);
    EXPECT_EQ(shownTotal, static_cast<int>(kImageBytes));
    expectBoxTookImage(box, image);
    EXPECT_EQ(window.shown, (std::vector<Shown>{{kNoText, 294}, {kNoText, 279}, {278, 280}}));
    EXPECT_EQ(window.closeRequests, 1);
}

// Cancel on the download's progress window stops the transfer: no ".upd"
// and no "install.img" remain, nothing is served, the main window comes back.
TEST_F(FirmwareUpgradeTest, CancelledDownloadLeavesNoFiles) {
    TestHttpServer web;
    web.SetRoute("/fw.img", TestHttpServer::Route::Of(image).WithHoldAfter(200000));
    WriteTestFile(files.deviceInfoPath(), plistWithSwUrl(web.Url("/fw.img")));
    writeUpgradeFiles(false);

    QTimer poll;
    bool hasClicked = false;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto* progress = dynamic_cast<CMessageDialog*>(upgrade.Download().ProgressWindow());
        if (!hasClicked && progress != nullptr && progress->isVisible() &&
            progress->progressPosition() > 0) {
            hasClicked = true;
            click(*progress, "secondButton");
        }
    });
    poll.start(5);

    upgrade.Run();
    web.Release();

    EXPECT_TRUE(hasClicked);
    EXPECT_TRUE(downloadFiles().empty());
    EXPECT_FALSE(std::filesystem::exists(files.imagePath()));
    EXPECT_EQ(window.shown, (std::vector<Shown>{{kNoText, 294}}));
    EXPECT_FALSE(window.isHidden);
    EXPECT_FALSE(CFirmwareDownload::IsDownloadRunning());
    EXPECT_TRUE(window.session.Instances().IsEmpty());
}

// Each row of the failure table shows its message and serves nothing.
TEST_F(FirmwareUpgradeTest, FailuresBeforeServingShowTheirMessage) {
    writeUpgradeFiles(true);
    window.localAddress.reset();
    upgrade.Run();
    window.localAddress = "127.0.0.1";

    // Another process holds the download lock.
    int input[2];
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
    const std::string lockPath = CSingleInstanceLock(CFirmwareDownload::kMutexName).Path();
    const pid_t holder = SpawnTiedChild({"/usr/bin/flock", lockPath, "cat"}, input[0], -1);
    close(input[0]);
    ASSERT_GT(holder, 0);
    for (int i = 0; i < 1000 && !CFirmwareDownload::IsDownloadRunning(); ++i)
        usleep(10000);
    ASSERT_TRUE(CFirmwareDownload::IsDownloadRunning());
    upgrade.Run();
    close(input[1]);
    waitpid(holder, nullptr, 0);

    std::filesystem::remove(files.appliancePath());
    upgrade.Run();
    // A manifest whose image address cannot be rewritten ends the command
    // without a message and without serving.
    WriteTestFile(files.appliancePath(), plistWithSwUrl("https://elsewhere/install.img"));
    upgrade.Run();
    // The user declines the download.
    std::filesystem::remove(files.imagePath());
    window.isQuestionAccepted = false;
    upgrade.Run();

    EXPECT_EQ(window.shown,
              (std::vector<Shown>{{256, 273}, {kNoText, 274}, {kNoText, 275}, {kNoText, 294}}));
    EXPECT_FALSE(std::filesystem::exists(files.imagePath()));
    EXPECT_EQ(upgrade.ProgressWindow(), nullptr);
    EXPECT_FALSE(window.isHidden);
    EXPECT_TRUE(window.session.Instances().IsEmpty());
}

// A download that cannot give a whole image, for any reason, reports that
// it failed and leaves neither a partial image nor a ".upd" file.
// Another user's image, or a manifest that links to a file of the user's,
// is neither served nor rewritten: the message names it and the Box gets
// nothing.
TEST_F(FirmwareUpgradeTest, FilesNotOfTheUsersOwnAreNeitherServedNorRewritten) {
    BoxSimProcess box({"--port", "7171"}, "127.0.0.2");
    ASSERT_TRUE(box.isReady());
    writeUpgradeFiles(true);
    ASSERT_EQ(::chown(files.imagePath().c_str(), kOtherUser, kOtherUser), 0);
    upgrade.Run();

    std::filesystem::remove(files.imagePath());
    WriteTestFile(files.imagePath(), image);
    TempDir elsewhere;
    const std::string notes = plistWithSwUrl("http://keep.example/mine.img");
    const std::string victim = elsewhere.write("notes.plist", notes);
    std::filesystem::remove(files.appliancePath());
    std::filesystem::create_symlink(victim, files.appliancePath());
    upgrade.Run();

    EXPECT_EQ(window.shown, (std::vector<Shown>{{256, 340}, {256, 340}}));
    EXPECT_EQ(window.about, (std::vector<std::string>{files.imagePath(), files.appliancePath()}));
    EXPECT_EQ(ReadTestFile(victim), notes);
    EXPECT_EQ(upgrade.ProgressWindow(), nullptr);
    EXPECT_TRUE(window.session.Instances().IsEmpty());
    for (const JsonEvent& event : box.events())
        EXPECT_NE(event.str("event"), "transfer");
}

TEST_F(FirmwareUpgradeTest, FailedDownloadsReportFailureAndLeaveNoFiles) {
    TestHttpServer web;
    web.SetRoute("/missing.img", TestHttpServer::Route::Of("gone").WithStatus(404));
    web.SetRoute("/short.img",
                 TestHttpServer::Route::Of(image).WithLength(TestHttpServer::Length::Overstated));
    web.SetRoute("/unsized.img",
                 TestHttpServer::Route::Of(image).WithLength(TestHttpServer::Length::Absent));
    // An update server that lies: an error page with status 200, a length
    // no firmware has.
    web.SetRoute("/error.img",
                 TestHttpServer::Route::Of("<html><body>Service unavailable</body></html>\n")
                     .WithHeader("Content-Type: text/html"));
    web.SetRoute("/endless.img", TestHttpServer::Route::Of(image).WithDeclaredLength(
                                     CFirmwareDownload::kMaxImageBytes + 1));
    writeUpgradeFiles(false);
    // The secure address first: a URL read earlier would stay in use.
    const std::vector<std::string> urls = {
        "https://127.0.0.1:1/secure.img", web.Url("/missing.img"), web.Url("/short.img"),
        web.Url("/unsized.img"),          web.Url("/error.img"),   web.Url("/endless.img")};
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        WriteTestFile(files.deviceInfoPath(), plistWithSwUrl(url));
        window.shown.clear();
        upgrade.Run();
        EXPECT_EQ(window.shown, (std::vector<Shown>{{kNoText, 294}, {kNoText, 295}}));
        EXPECT_FALSE(std::filesystem::exists(files.imagePath()));
        EXPECT_TRUE(downloadFiles().empty());
        EXPECT_FALSE(window.isHidden);
    }
    // No "device_info.xml" at all: nothing to download from.
    std::filesystem::remove(files.deviceInfoPath());
    window.shown.clear();
    upgrade.Run();
    EXPECT_EQ(window.shown, (std::vector<Shown>{{kNoText, 294}, {kNoText, 295}}));
}

// No Box listens: the library's connect error (-4) ends the progress window
// as a network error; the server stops and the instance is gone.
TEST_F(FirmwareUpgradeTest, ConnectFailureShowsNetworkError) {
    window.boxAddress = L"127.0.0.3";
    writeUpgradeFiles(true);

    upgrade.Run();

    EXPECT_EQ(window.shown, (std::vector<Shown>{{256, 282}}));
    EXPECT_EQ(window.closeRequests, 0);
    EXPECT_TRUE(window.session.Instances().IsEmpty());
}

// The Box gives up halfway through an image larger than what the sockets
// between it and the server can hold: the server never sends the whole
// image, the Box reports its failure and closes its link, and the progress
// window ends with the failure named, without a close request.
TEST_F(FirmwareUpgradeTest, BoxStoppingHalfwayIsNoSuccess) {
    BoxSimProcess box({"--port", "7171", "--fault", "image-halfway"}, "127.0.0.2");
    ASSERT_TRUE(box.isReady());
    writeUpgradeFiles(false);
    WriteTestFile(files.imagePath(), imageBytes(32 * 1024 * 1024));

    upgrade.Run();

    EXPECT_EQ(window.shown, (std::vector<Shown>{{256, 407}}));
    EXPECT_EQ(window.closeRequests, 0);
    EXPECT_TRUE(window.session.Instances().IsEmpty());
    const auto fetched = box.waitForEvent(transferOf("image"));
    ASSERT_TRUE(fetched);
    EXPECT_FALSE(fetched->flag("complete"));
}

// Every way the Box ends an upgrade badly is named, and "Success." is only
// for a Box that wrote the firmware: a manifest it turns down, a whole image
// it then fails to write, and a Box that closes after the image without a
// result.
TEST_F(FirmwareUpgradeTest, EveryFailureOfTheBoxIsNamed) {
    const struct {
        const char* fault;
        std::vector<Shown> shown;
    } cases[] = {
        {"refuse-manifest", {{256, 407}}},
        {"fail-write", {{kNoText, 279}, {256, 407}}},
        {"close-after-image", {{kNoText, 279}, {256, 408}}},
    };
    writeUpgradeFiles(true);
    for (const auto& failure : cases) {
        window.shown.clear();
        BoxSimProcess box({"--port", "7171", "--fault", failure.fault}, "127.0.0.2");
        ASSERT_TRUE(box.isReady());
        upgrade.Run();
        EXPECT_EQ(window.shown, failure.shown) << failure.fault;
        EXPECT_EQ(window.closeRequests, 0) << failure.fault;
        EXPECT_TRUE(window.session.Instances().IsEmpty()) << failure.fault;
    }
}
