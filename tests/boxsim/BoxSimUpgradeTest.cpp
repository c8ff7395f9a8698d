// The simulated Box taking a firmware upgrade from a loopback HTTP server, and
// serving its setup page.
#include "BoxSimProcess.h"
#include "RawBoxLink.h"
#include "Sha256Digest.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <map>

namespace {

// A manifest whose SWURL entry names url; a decoy <string> before the key
// must not be taken for it.
std::string manifestFor(const std::string& url) {
    return "<?xml version=\"1.0\"?>\n<plist><dict>\n"
           "<string>http://decoy.invalid/x.img</string>\n"
           "<key>Version</key><string>2</string>\n"
           "<key>SWURL</key>\n<string>\n  " +
           url + " \n</string>\n</dict></plist>\n";
}

BoxSimProcess::Predicate transferOf(const std::string& what) {
    return [what](const JsonEvent& e) {
        return e.str("event") == "transfer" && e.str("what") == what;
    };
}

BoxSimProcess::Predicate upgradeEnded() {
    return [](const JsonEvent& e) {
        return e.str("event") == "upgrade" && e.str("stage") != "writing";
    };
}

} // namespace

// The Box fetches the manifest and the image it names, logs both with their
// digests, writes for the flash time, answers only "stat" "done" 0 and closes.
TEST(BoxSimUpgrade, FetchesManifestAndImageThenWritesAndCloses) {
    TestHttpServer server;
    const std::string image = MakeContent(700000, 11);
    const std::string manifest = manifestFor(server.Url("/install.img"));
    server.SetRoute("/appliance.xml", TestHttpServer::Route::Of(manifest));
    server.SetRoute("/install.img", TestHttpServer::Route::Of(image).WithTrickle(65536));
    BoxSimProcess sim({"--flash-time", "50"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('u', 1, 0, server.Url("/appliance.xml")));

    const auto received = link.waitClosed();
    ASSERT_TRUE(received);
    ASSERT_EQ(received->size(), 16u);
    EXPECT_EQ(received->substr(0, 4), "stat");
    EXPECT_EQ(received->substr(8, 8), std::string("done\0\0\0\0", 8));
    const auto manifestLog = sim.waitForEvent(transferOf("manifest"));
    ASSERT_TRUE(manifestLog);
    EXPECT_TRUE(manifestLog->flag("complete"));
    EXPECT_EQ(manifestLog->str("sha256"), Sha256Hex(manifest));
    const auto imageLog = sim.waitForEvent(transferOf("image"));
    ASSERT_TRUE(imageLog);
    EXPECT_EQ(imageLog->str("url"), server.Url("/install.img"));
    EXPECT_TRUE(imageLog->flag("complete"));
    EXPECT_EQ(imageLog->num("received"), static_cast<int64_t>(image.size()));
    EXPECT_EQ(imageLog->str("sha256"), Sha256Hex(image));
    const auto ended = sim.waitForEvent(upgradeEnded());
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->str("stage"), "written");
    const auto closed = sim.waitForEvent(EventIs("closed"));
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->str("reason"), "upgrade");
    EXPECT_EQ(server.RequestCount("/install.img"), 1);
    EXPECT_EQ(server.LastRequest("/install.img").rfind("GET /install.img HTTP/1.1\r\n", 0), 0u);
}

// With the image-halfway fault the Box gives up after half the image: the log
// shows an incomplete transfer whose digest covers exactly what arrived.
TEST(BoxSimUpgrade, ImageStoppedHalfwayIsLoggedIncomplete) {
    TestHttpServer server;
    const std::string image = MakeContent(2000000, 12);
    server.SetRoute("/appliance.xml",
                    TestHttpServer::Route::Of(manifestFor(server.Url("/install.img"))));
    server.SetRoute("/install.img", TestHttpServer::Route::Of(image).WithTrickle(65536));
    BoxSimProcess sim({"--fault", "image-halfway"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('u', 1, 0, server.Url("/appliance.xml")));
    ASSERT_TRUE(link.waitStat("done", -1));
    ASSERT_TRUE(link.waitClosed());
    const auto imageLog = sim.waitForEvent(transferOf("image"));
    ASSERT_TRUE(imageLog);
    EXPECT_FALSE(imageLog->flag("complete"));
    const int64_t got = imageLog->num("received");
    EXPECT_GE(got, static_cast<int64_t>(image.size() / 2));
    EXPECT_LT(got, static_cast<int64_t>(image.size()));
    EXPECT_EQ(imageLog->str("sha256"), Sha256Hex(image.substr(0, static_cast<size_t>(got))));
    const auto ended = sim.waitForEvent(upgradeEnded());
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->str("stage"), "failed");
}

// Manifests the Box cannot use end the upgrade with a reason, "stat" "done"
// -1 and no request for an image.
TEST(BoxSimUpgrade, UnusableManifestsFailWithAReason) {
    struct Case {
        const char* name;
        TestHttpServer::Route route;
        std::vector<std::string> args;
        const char* reason;
    };
    const std::string goodManifest = manifestFor("http://127.0.0.1:9/install.img");
    const std::vector<Case> cases = {
        {"refused by the server", TestHttpServer::Route::Of("").Refused(), {}, "manifest:"},
        {"missing", TestHttpServer::Route::Of("gone").WithStatus(404), {}, "status 404"},
        {"refused by the Box",
         TestHttpServer::Route::Of(goodManifest),
         {"--fault", "refuse-manifest"},
         "refused"},
        {"without SWURL",
         TestHttpServer::Route::Of("<plist><key>URL</key><string>http://x/y"
                                   "</string></plist>"),
         {},
         "no SWURL"},
        {"with https",
         TestHttpServer::Route::Of(manifestFor("https://127.0.0.1/install.img")),
         {},
         "not an http:// URL"},
        {"not XML",
         TestHttpServer::Route::Of("<plist><key>SWURL</key><string>"),
         {},
         "not well-formed"},
        {"huge", TestHttpServer::Route::Of(std::string(1024 * 1024 + 1, ' ')), {}, "longer than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestHttpServer server;
        server.SetRoute("/appliance.xml", c.route);
        BoxSimProcess sim(c.args);
        ASSERT_TRUE(sim.isReady());
        RawBoxLink link(sim.address(), sim.port());
        ASSERT_TRUE(link.sendCommand('u', 1, 0, server.Url("/appliance.xml")));
        EXPECT_TRUE(link.waitStat("done", -1));
        const auto ended = sim.waitForEvent(upgradeEnded());
        ASSERT_TRUE(ended);
        EXPECT_EQ(ended->str("stage"), "failed");
        EXPECT_NE(ended->str("text").find(c.reason), std::string::npos) << ended->str("text");
        const auto manifestLog = sim.waitForEvent(transferOf("manifest"));
        ASSERT_TRUE(manifestLog);
        EXPECT_LE(manifestLog->num("received"), 1024 * 1024);
        EXPECT_FALSE(sim.waitForEvent(transferOf("image"), std::chrono::milliseconds(0)));
    }
}

// While a transfer hangs the Box still answers on the pair; "D" ends the pair
// and cancels the upgrade without an answer.
TEST(BoxSimUpgrade, DisconnectCancelsAHangingTransfer) {
    TestHttpServer server;
    server.SetRoute("/appliance.xml",
                    TestHttpServer::Route::Of(manifestFor("http://x/y.img")).WithHoldAfter(10));
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('u', 1, 0, server.Url("/appliance.xml")));
    ASSERT_TRUE(link.sendCommand('n', 2, 0));
    ASSERT_TRUE(link.waitKeyword("ver "));
    ASSERT_TRUE(link.sendCommand('D', 3, 0));
    const auto received = link.waitClosed();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->find("done"), std::string::npos);
    const auto ended = sim.waitForEvent(upgradeEnded());
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->str("stage"), "cancelled");
    const auto closed = sim.waitForEvent(EventIs("closed"));
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->str("reason"), "D");
}

namespace {

size_t appendBody(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// GET url; the status (0 when no answer came) and the body.
std::pair<long, std::string> httpGet(const std::string& url) {
    std::string body;
    long status = 0;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(easy) == CURLE_OK)
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    return {status, body};
}

} // namespace

// The setup page answers under /remote/; every request is logged with its
// query so that the visits can be counted; other paths are 404.
TEST(BoxSimWeb, SetupPageVisitsAreLoggedAndCounted) {
    BoxSimProcess sim({"--friendly-name", "Den <Box>"});
    ASSERT_TRUE(sim.isReady());
    ASSERT_NE(sim.webPort(), 0);
    const std::string base = "http://" + sim.address() + ":" + std::to_string(sim.webPort());
    const auto page = httpGet(base + "/remote/?tavoli=in");
    EXPECT_EQ(page.first, 200);
    EXPECT_NE(page.second.find("<title>Den &lt;Box&gt; Setup</title>"), std::string::npos);
    EXPECT_EQ(httpGet(base + "/remote/?tavoli=in").first, 200);
    EXPECT_EQ(httpGet(base + "/remote/?tavoli=out").first, 200);
    EXPECT_EQ(httpGet(base + "/setup/?tavoli=in").first, 404);

    ASSERT_TRUE(sim.waitForEvent([](const JsonEvent& e) { return e.str("path") == "/setup/"; }));
    std::map<std::string, int> visits;
    for (const auto& e : sim.events()) {
        if (e.str("event") == "http")
            ++visits[e.str("path") + "?" + e.str("query") + " " + std::to_string(e.num("status"))];
    }
    EXPECT_EQ(visits, (std::map<std::string, int>{{"/remote/?tavoli=in 200", 2},
                                                  {"/remote/?tavoli=out 200", 1},
                                                  {"/setup/?tavoli=in 404", 1}}));
}
