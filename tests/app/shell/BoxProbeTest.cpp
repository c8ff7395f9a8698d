// A Box checked directly, without the search, against the simulated Box.
#include "BoxSimProcess.h"
#include "DummyNetwork.h"
#include "shell/CBoxProbe.h"
#include "shell/CBoxSearch.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

constexpr int kBoundMs = 30000;

// What the search knows of the Box at host, its description's address
// among it.
FoundBox searched(const std::string& host) {
    CBoxSearch search({"lo"});
    QSignalSpy completed(&search, &CBoxSearch::Completed);
    search.Start();
    EXPECT_TRUE(completed.wait(kBoundMs));
    for (const FoundBox& box : search.Found())
        if (box.host == host)
            return box;
    ADD_FAILURE() << "the search did not find " << host;
    return {};
}

CBoxProbe::Result probe(const FoundBox& box) {
    CBoxProbe probe;
    QSignalSpy finished(&probe, &CBoxProbe::Finished);
    probe.Start(box);
    EXPECT_TRUE(finished.wait(kBoundMs));
    EXPECT_FALSE(probe.IsRunning());
    return finished.isEmpty() ? CBoxProbe::Result{}
                              : finished.front().front().value<CBoxProbe::Result>();
}

class BoxProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsInDummyNetwork())
            GTEST_SKIP() << "needs a private network namespace (root)";
    }
};

} // namespace

// Both connections of a link are taken and closed again before any
// command; the description tells the name and says whether the UDN is the
// one remembered.
TEST_F(BoxProbeTest, ABoxAnswersOnItsPortAndItsDescriptionTellsItApart) {
    BoxSimProcess living({"--port", "7171", "--upnp-iface", "lo", "--friendly-name", "Living"},
                         "127.0.0.2");
    const FoundBox found = searched("127.0.0.2");
    ASSERT_FALSE(found.udn.empty());

    FoundBox remembered = found;
    remembered.friendlyName = "Old name";
    CBoxProbe::Result result = probe(remembered);
    EXPECT_EQ(result.outcome, CBoxProbe::Outcome::Answered);
    EXPECT_EQ(result.address, "127.0.0.2");
    EXPECT_EQ(result.box.friendlyName, "Living") << "the page's name";
    EXPECT_EQ(result.box.udn, found.udn);
    ASSERT_TRUE(living.waitForEvent([](const JsonEvent& e) {
        return e.str("event") == "closed" && e.str("reason") == "peer";
    }));
    for (const JsonEvent& event : living.events())
        EXPECT_NE(event.str("event"), "command") << "nothing is sent";

    remembered.udn = "uuid:another-box";
    result = probe(remembered);
    EXPECT_EQ(result.outcome, CBoxProbe::Outcome::OtherDevice);
    EXPECT_EQ(result.box.udn, found.udn) << "the device that holds the address now";

    // Without a description to read, the command port's answer stands.
    FoundBox byAddress;
    byAddress.host = "127.0.0.2";
    EXPECT_EQ(probe(byAddress).outcome, CBoxProbe::Outcome::Answered);
}

// A page that never answers, a port nobody takes, a name nobody knows.
TEST_F(BoxProbeTest, SilenceRefusalAndUnknownNamesAreToldApart) {
    BoxSimProcess living({"--port", "7171"}, "127.0.0.2");
    QTcpServer silent; // takes connections into its backlog, never answers
    ASSERT_TRUE(silent.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    silent.pauseAccepting();
    FoundBox hanging;
    hanging.host = "127.0.0.2";
    hanging.udn = "uuid:x";
    hanging.location = "http://127.0.0.2:" + std::to_string(silent.serverPort()) + "/d.xml";
    EXPECT_EQ(probe(hanging).outcome, CBoxProbe::Outcome::Answered);

    FoundBox nobody;
    nobody.host = "127.0.0.4";
    EXPECT_EQ(probe(nobody).outcome, CBoxProbe::Outcome::NoAnswer);

    FoundBox unknown;
    unknown.host = "no-such-box.invalid";
    const CBoxProbe::Result result = probe(unknown);
    EXPECT_EQ(result.outcome, CBoxProbe::Outcome::NotResolved);
    EXPECT_TRUE(result.address.empty());
}
