// The main window's search over several interfaces, told as one search.
#include "AnnouncedDevice.h"
#include "BoxSimProcess.h"
#include "DummyNetwork.h"
#include "shell/CBoxSearch.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <map>

namespace {

constexpr int kSearchBoundMs = 30000;

std::vector<std::string> announcing(const std::string& name) {
    return {"--upnp-iface", "lo", "--friendly-name", name};
}

} // namespace

// Two Boxes, one of them with a name the other could have: both are found,
// each once although two interfaces are searched.
TEST(BoxSearch, FindsEveryBoxOnceAcrossInterfaces) {
    if (!IsInDummyNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
    BoxSimProcess first(announcing("Living Room"), "127.0.0.2");
    BoxSimProcess second(announcing("Living Room"), "127.0.0.3");
    ASSERT_TRUE(first.isReady() && second.isReady());

    CBoxSearch search({"lo", kDummyInterface});
    QSignalSpy found(&search, &CBoxSearch::BoxFound);
    QSignalSpy completed(&search, &CBoxSearch::Completed);
    search.Start();
    ASSERT_TRUE(completed.wait(kSearchBoundMs));
    ASSERT_EQ(search.Found().size(), 2u);
    EXPECT_EQ(found.size(), 2);
    for (const FoundBox& box : search.Found()) {
        EXPECT_EQ(box.friendlyName, "Living Room");
        EXPECT_EQ(box.port, 7171);
        EXPECT_TRUE(box.location.starts_with("http://" + box.host + ":")) << box.location;
    }
    EXPECT_NE(search.Found()[0].host, search.Found()[1].host);
    // Told apart by their UDNs, which a remembered Box is known by.
    EXPECT_NE(search.Found()[0].udn, search.Found()[1].udn);
    EXPECT_FALSE(search.IsRunning());
}

TEST(BoxSearch, WithoutInterfacesTheSearchFails) {
    CBoxSearch search({});
    QSignalSpy failed(&search, &CBoxSearch::Failed);
    search.Start();
    ASSERT_TRUE(failed.wait(kSearchBoundMs));
    EXPECT_TRUE(search.Found().empty());
}

// A Box's setup page is the one its description names on the Box itself,
// made absolute; one on another site, and none at all, give none.
TEST(BoxSearch, KeepsTheSetupPageOnlyWhereItLiesOnTheBox) {
    if (!IsInDummyNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
    const auto named = [](const std::string& name, const std::string& page) {
        return "<friendlyName>" + name + "</friendlyName>" +
               (page.empty() ? "" : "<presentationURL>" + page + "</presentationURL>");
    };
    const AnnouncedDevice own("127.0.0.2", named("own", "/setup/index.html"));
    const AnnouncedDevice elsewhere("127.0.0.3", named("elsewhere", "http://phish.example/x"));
    const AnnouncedDevice none("127.0.0.4", named("none", ""));
    ASSERT_TRUE(own.IsAnnounced() && elsewhere.IsAnnounced() && none.IsAnnounced());

    CBoxSearch search({"lo"});
    QSignalSpy completed(&search, &CBoxSearch::Completed);
    search.Start();
    ASSERT_TRUE(completed.wait(kSearchBoundMs));
    std::map<std::string, std::string> pages;
    for (const FoundBox& box : search.Found())
        pages[box.friendlyName] = box.presentationUrl;
    EXPECT_EQ(pages,
              (std::map<std::string, std::string>{
                  {"own", own.Base() + "/setup/index.html"}, {"elsewhere", ""}, {"none", ""}}));
}

// Each device comes with its kind: the simulated Box, which lists no
// services, a Box; a description with both AV services a renderer; one with
// AVTransport alone unusable, with the reason.
TEST(BoxSearch, TellsBoxesRenderersAndUnusableDevicesApart) {
    if (!IsInDummyNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
    BoxSimProcess box(announcing("Den"), "127.0.0.2");
    ASSERT_TRUE(box.isReady());
    const std::string transport = "urn:schemas-upnp-org:service:AVTransport:1";
    const std::string rendering = "urn:schemas-upnp-org:service:RenderingControl:1";
    const AnnouncedDevice tv("127.0.0.3",
                             "<friendlyName>TV</friendlyName>" +
                                 AnnouncedDevice::ServiceListXml({transport, rendering}));
    const AnnouncedDevice half("127.0.0.4", "<friendlyName>Half</friendlyName>" +
                                                AnnouncedDevice::ServiceListXml({transport}));
    ASSERT_TRUE(tv.IsAnnounced() && half.IsAnnounced());

    CBoxSearch search({"lo"});
    QSignalSpy completed(&search, &CBoxSearch::Completed);
    search.Start();
    ASSERT_TRUE(completed.wait(kSearchBoundMs));
    std::map<std::string, std::pair<DeviceKind, std::string>> kinds;
    for (const FoundBox& found : search.Found())
        kinds[found.friendlyName] = {found.kind, found.unusableReason};
    EXPECT_EQ(kinds, (std::map<std::string, std::pair<DeviceKind, std::string>>{
                         {"Den", {DeviceKind::Box, ""}},
                         {"TV", {DeviceKind::Renderer, ""}},
                         {"Half", {DeviceKind::Unusable, kReasonNoRenderingControl}}}));
}
