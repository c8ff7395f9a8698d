// The main window's search over several interfaces, told as one search.
#include "BoxSimProcess.h"
#include "DummyNetwork.h"
#include "shell/CBoxSearch.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

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
