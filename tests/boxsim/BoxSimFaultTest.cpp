// Each fault mode of the simulated Box, as a peer sees it on the wire.
#include "BoxSimProcess.h"
#include "BoxWire.h"
#include "LittleEndian.h"
#include "RawBoxLink.h"
#include "Sha256Digest.h"

#include <gtest/gtest.h>

namespace {

bool startOneFile(RawBoxLink& link, int64_t size) {
    return link.sendCommand('l', 0, 0, JoinNames({"f.bin"})) &&
           link.sendCommand('L', 1, static_cast<int64_t>(kvu::PackHalves('A', 1))) &&
           link.waitStat("play", 0) && link.sendUrgent('F', 0, size);
}

bool hasEvent(BoxSimProcess& sim, const std::string& event) {
    for (const auto& e : sim.events()) {
        if (e.str("event") == event)
            return true;
    }
    return false;
}

} // namespace

// Every status record is preceded by "zzzz" and 12 zero bytes.
TEST(BoxSimFault, UnknownKeywordsPrecedeEveryRecord) {
    BoxSimProcess sim({"--fault", "unknown-keywords"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('n', 1, 0));
    ASSERT_TRUE(link.sendCommand('m', 1, 0));
    ASSERT_TRUE(link.waitKeyword("vol "));
    const std::string raw = link.received();
    ASSERT_EQ(raw.size(), 64u);
    const std::string junk = std::string("zzzz") + std::string(12, '\0');
    EXPECT_EQ(raw.substr(0, 16), junk);
    EXPECT_EQ(raw.substr(16, 4), "ver ");
    EXPECT_EQ(raw.substr(32, 16), junk);
    EXPECT_EQ(raw.substr(48, 4), "vol ");
}

// The first "time" of a file is cut to keyword + 10 bytes; the next record
// follows right after the short one.
TEST(BoxSimFault, TruncatedFirstTimeRecord) {
    BoxSimProcess sim({"--fault", "truncated-records", "--rate", "100"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    const std::string content = MakeContent(1000, 5);
    ASSERT_TRUE(startOneFile(link, static_cast<int64_t>(content.size())));
    ASSERT_TRUE(link.sendData(content));
    const auto received = link.waitReceived(
        [](const std::string& raw) { return raw.find("done") != std::string::npos; });
    ASSERT_TRUE(received);
    const std::string& raw = *received;
    ASSERT_GE(raw.size(), 48u);
    EXPECT_EQ(raw.substr(0, 4), "stat");
    EXPECT_EQ(raw.substr(16, 4), "time");
    const std::string next = raw.substr(30, 4);
    EXPECT_TRUE(next == "time" || next == "stat") << "record after the short one: " << next;
    const auto truncated = sim.waitForEvent(
        [](const JsonEvent& e) { return e.str("keyword") == "time" && e.flag("truncated"); });
    ASSERT_TRUE(truncated);
    EXPECT_EQ(truncated->num("position"), 0);
    const auto file = sim.waitForEvent(EventIs("file"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->str("sha256"), Sha256Hex(content));
}

// Halfway through the first file the Box drops both connections.
TEST(BoxSimFault, CloseMidFile) {
    BoxSimProcess sim({"--fault", "close-mid-file"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    const std::string content = MakeContent(10000, 6);
    ASSERT_TRUE(startOneFile(link, static_cast<int64_t>(content.size())));
    link.sendData(content); // may fail once the Box is gone
    ASSERT_TRUE(link.waitClosed());
    const auto closed = sim.waitForEvent(EventIs("closed"));
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->str("reason"), "fault");
    const auto file = sim.waitForEvent(EventIs("file"));
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->flag("complete"));
    EXPECT_EQ(file->num("received"), 5000);
    EXPECT_EQ(file->str("sha256"), Sha256Hex(content.substr(0, 5000)));
}

// After "L" the Box stops reading: the sender's buffers fill; "D" still works.
TEST(BoxSimFault, ReadNothingBlocksTheSender) {
    BoxSimProcess sim({"--fault", "read-nothing"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(startOneFile(link, 64 * 1024 * 1024));
    const size_t limit = 64u * 1024 * 1024;
    EXPECT_LT(link.fillData(limit), limit);
    ASSERT_TRUE(link.sendCommand('D', 2, 'A'));
    ASSERT_TRUE(link.waitClosed());
    EXPECT_TRUE(sim.waitForEvent(EventIs("closed")));
    EXPECT_FALSE(hasEvent(sim, "urgent"));
}

// No status record ever: not the play request, nor the query answers.
TEST(BoxSimFault, AnswerNothing) {
    BoxSimProcess sim({"--fault", "answer-nothing"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('n', 1, 0));
    ASSERT_TRUE(link.sendCommand('W', 2, 0x67));
    ASSERT_TRUE(link.sendCommand('l', 2, 0, JoinNames({"f.bin"})));
    ASSERT_TRUE(link.sendCommand('L', 3, static_cast<int64_t>(kvu::PackHalves('A', 1))));
    ASSERT_TRUE(link.sendCommand('D', 4, 'A'));
    const auto received = link.waitClosed();
    ASSERT_TRUE(received);
    EXPECT_EQ(*received, "");
    EXPECT_TRUE(sim.waitForEvent(EventIs("closed")));
    EXPECT_FALSE(hasEvent(sim, "status"));
}

// SIGTERM ends the Box cleanly, closing the pairs still open.
TEST(BoxSimFault, TerminatesCleanlyWithOpenPairs) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('n', 1, 0));
    ASSERT_TRUE(link.waitKeyword("ver "));
    EXPECT_EQ(sim.terminate(), 0);
    EXPECT_TRUE(link.waitClosed());
    const auto closed = sim.waitForEvent(EventIs("closed"), std::chrono::milliseconds(0));
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->str("reason"), "shutdown");
}

// Boxes on several loopback addresses run side by side.
TEST(BoxSimFault, SeveralBoxesOnLoopbackAddresses) {
    BoxSimProcess first({}, "127.0.0.2");
    BoxSimProcess second({"--firmware-version", "2"}, "127.0.0.3");
    ASSERT_TRUE(first.isReady());
    ASSERT_TRUE(second.isReady());
    RawBoxLink link(second.address(), second.port());
    ASSERT_TRUE(link.sendCommand('n', 1, 0));
    const auto version = link.waitKeyword("ver ");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->value, 2u);
    const auto ready = first.waitForEvent(EventIs("ready"));
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->str("address"), "127.0.0.2");
    EXPECT_NE(first.webPort(), 0);
    EXPECT_FALSE(first.waitForEvent(EventIs("connection"), std::chrono::milliseconds(0)));
}
