// The simulated Box reading play lists from a raw peer: file sizes, data,
// seeks, pauses and jumps, as the event log and the status records show them.
#include "BoxSimProcess.h"
#include "BoxWire.h"
#include "LittleEndian.h"
#include "RawBoxLink.h"
#include "Sha256Digest.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr size_t kChunkBytes = 98304;

int64_t playValue(char mediaType, uint32_t count) {
    return static_cast<int64_t>(kvu::PackHalves(static_cast<uint8_t>(mediaType), count));
}

BoxSimProcess::Predicate fileEvent(int64_t index) {
    return
        [index](const JsonEvent& e) { return e.str("event") == "file" && e.num("index") == index; };
}

// Sends names and "L"; true when the Box asked for index 0.
bool startList(RawBoxLink& link, const std::initializer_list<std::string>& names) {
    return link.sendCommand('l', 0, 0, JoinNames(names)) &&
           link.sendCommand('L', 1, playValue('I', static_cast<uint32_t>(names.size()))) &&
           link.waitStat("play", 0).has_value();
}

bool sendInChunks(RawBoxLink& link, const std::string& content) {
    for (size_t at = 0; at < content.size(); at += kChunkBytes) {
        if (!link.sendData(content.substr(at, kChunkBytes)))
            return false;
    }
    return true;
}

class BoxSimPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        m_outDir = std::filesystem::temp_directory_path() /
                   ("boxsim-out-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_outDir);
        std::filesystem::create_directories(m_outDir / "out");
    }
    void TearDown() override { std::filesystem::remove_all(m_outDir); }
    std::string outDir() const { return (m_outDir / "out").string(); }

    std::filesystem::path m_outDir;
};

} // namespace

// An empty file and one of several 98304-byte chunks arrive whole: digests in
// the log, files in the output directory, time records in units of the rate.
TEST_F(BoxSimPlayback, PlaysEmptyAndChunkedFiles) {
    BoxSimProcess sim({"--rate", "65536", "--output-dir", outDir()});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.isConnected());
    const std::string big = MakeContent(3 * kChunkBytes + 1234, 7);
    ASSERT_TRUE(startList(link, {"empty.bin", "/home/user/Pictures/big.bin"}));

    ASSERT_TRUE(link.sendUrgent('F', 0, 0));
    const auto emptyTime = link.waitKeyword("time");
    ASSERT_TRUE(emptyTime);
    EXPECT_EQ(emptyTime->low(), 0u);
    ASSERT_TRUE(link.waitStat("stop", 0));
    ASSERT_TRUE(link.waitStat("play", 1));

    ASSERT_TRUE(link.sendUrgent('F', 0, static_cast<int64_t>(big.size())));
    ASSERT_TRUE(sendInChunks(link, big));
    uint32_t lastPosition = 0;
    bool isFirst = true;
    while (auto record = link.waitStatus([](const RawBoxLink::Status& s) {
        return s.keyword == "time" || s.keyword == "stat";
    })) {
        if (record->keyword == "stat") {
            EXPECT_EQ(record->state(), "stop");
            EXPECT_EQ(record->high(), 1u);
            break;
        }
        EXPECT_EQ(record->low(), 5u); // ceil(296146 / 65536)
        if (isFirst) {
            EXPECT_EQ(record->high(), 0u);
        }
        EXPECT_GE(record->high(), lastPosition);
        lastPosition = record->high();
        isFirst = false;
    }
    EXPECT_EQ(lastPosition, big.size() / 65536);
    const auto done = link.waitStat("done", 2);
    ASSERT_TRUE(done);

    const auto emptyEvent = sim.waitForEvent(fileEvent(0));
    ASSERT_TRUE(emptyEvent);
    EXPECT_EQ(emptyEvent->str("sha256"), Sha256Hex(""));
    EXPECT_TRUE(emptyEvent->flag("complete"));
    const auto bigEvent = sim.waitForEvent(fileEvent(1));
    ASSERT_TRUE(bigEvent);
    EXPECT_EQ(bigEvent->str("name"), "/home/user/Pictures/big.bin");
    EXPECT_EQ(bigEvent->num("size"), static_cast<int64_t>(big.size()));
    EXPECT_EQ(bigEvent->num("offset"), 0);
    EXPECT_EQ(bigEvent->num("received"), static_cast<int64_t>(big.size()));
    EXPECT_EQ(bigEvent->str("sha256"), Sha256Hex(big));
    EXPECT_TRUE(bigEvent->flag("complete"));
    ASSERT_TRUE(sim.waitForEvent(EventIs("done")));
    EXPECT_EQ(Sha256FileHex(outDir() + "/big.bin"), Sha256Hex(big));
    EXPECT_EQ(Sha256FileHex(outDir() + "/empty.bin"), Sha256Hex(""));

    // Box sequence numbers count up by one per record.
    int64_t expectedSeq = 1;
    for (const auto& e : sim.events()) {
        if (e.str("event") == "status") {
            EXPECT_EQ(e.num("seq"), expectedSeq++) << e.text();
        }
    }
    // Peer closing after "done" ends the pair.
    link.closeCommand();
    const auto closed = sim.waitForEvent(EventIs("closed"));
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->str("reason"), "peer");
}

// A forward seek: left-overs before the "$" mark are dropped, the digest covers
// the bytes from the offset on, and the file is not written (it has a hole).
TEST_F(BoxSimPlayback, SeekContinuesFromTheOffset) {
    BoxSimProcess sim({"--rate", "1000", "--output-dir", outDir()});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    const std::string content = MakeContent(300000, 11);
    ASSERT_TRUE(startList(link, {"movie.bin"}));
    ASSERT_TRUE(link.sendUrgent('F', 5, static_cast<int64_t>(content.size())));
    ASSERT_TRUE(link.sendData(content.substr(0, 50000)));
    ASSERT_TRUE(link.sendCommand('J', 1, 120));

    const auto seek = link.waitKeyword("seek");
    ASSERT_TRUE(seek);
    EXPECT_EQ(seek->value, 120000u);
    ASSERT_TRUE(link.sendData(content.substr(50000, 40000))); // in flight before the answer
    ASSERT_TRUE(link.sendUrgent('$', seek->seq, 120000));
    ASSERT_TRUE(link.sendData(content.substr(120000)));
    const auto afterSeek = link.waitKeyword("time");
    ASSERT_TRUE(afterSeek);
    EXPECT_EQ(afterSeek->high(), 120u);
    ASSERT_TRUE(link.waitStat("done", 1));

    const auto file = sim.waitForEvent(fileEvent(0));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->num("offset"), 120000);
    EXPECT_EQ(file->num("received"), 180000);
    EXPECT_EQ(file->str("sha256"), Sha256Hex(content.substr(120000)));
    EXPECT_TRUE(file->flag("complete"));
    const auto answer = sim.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "urgent" && e.str("byte") == "$"; });
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->num("value"), 120000);
    const auto error = sim.waitForEvent(EventIs("error"), std::chrono::milliseconds(0));
    EXPECT_FALSE(error) << (error ? error->text() : "");
    EXPECT_FALSE(std::filesystem::exists(outDir() + "/movie.bin"));
}

// A backward seek re-reads bytes already received: the file is still whole.
// A "$" that answers with the wrong offset and seq is logged as an error.
TEST_F(BoxSimPlayback, BackwardSeekKeepsFileWholeAndMismatchIsLogged) {
    BoxSimProcess sim({"--rate", "1000", "--output-dir", outDir()});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    const std::string content = MakeContent(200000, 13);
    ASSERT_TRUE(startList(link, {"song.bin"}));
    ASSERT_TRUE(link.sendUrgent('F', 0, static_cast<int64_t>(content.size())));
    ASSERT_TRUE(link.sendData(content.substr(0, 150000)));
    ASSERT_TRUE(link.waitStatus(
        [](const RawBoxLink::Status& s) { return s.keyword == "time" && s.high() == 150; }));
    ASSERT_TRUE(link.sendCommand('J', 1, 100));
    const auto seek = link.waitKeyword("seek");
    ASSERT_TRUE(seek);
    ASSERT_EQ(seek->value, 100000u);
    ASSERT_TRUE(link.sendUrgent('$', seek->seq + 7, 99999));
    ASSERT_TRUE(link.sendData(content.substr(100000)));
    ASSERT_TRUE(link.waitStat("done", 1));

    const auto file = sim.waitForEvent(fileEvent(0));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->num("offset"), 100000);
    EXPECT_EQ(file->str("sha256"), Sha256Hex(content.substr(100000)));
    EXPECT_EQ(Sha256FileHex(outDir() + "/song.bin"), Sha256Hex(content));
    const auto error = sim.waitForEvent(EventIs("error"));
    ASSERT_TRUE(error);
    EXPECT_NE(error->str("text").find("seek"), std::string::npos);
}

// A seek time beyond the end (even one whose byte offset overflows) lands on
// the end of the file, which is then complete with nothing more to read.
TEST_F(BoxSimPlayback, SeekPastTheEndClampsToTheSize) {
    BoxSimProcess sim({"--rate", "1000"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(startList(link, {"clip.bin"}));
    ASSERT_TRUE(link.sendUrgent('F', 0, 5000));
    ASSERT_TRUE(link.waitKeyword("time"));
    ASSERT_TRUE(link.sendCommand('J', 1, INT64_MAX / 10));
    const auto seek = link.waitKeyword("seek");
    ASSERT_TRUE(seek);
    EXPECT_EQ(seek->value, 5000u);
    ASSERT_TRUE(link.sendUrgent('$', seek->seq, 5000));
    ASSERT_TRUE(link.waitStat("done", 1));
    const auto file = sim.waitForEvent(fileEvent(0));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->num("offset"), 5000);
    EXPECT_EQ(file->num("received"), 0);
    EXPECT_TRUE(file->flag("complete"));
}

// While paused the Box reads nothing: the file completes only after "P".
TEST_F(BoxSimPlayback, PauseHoldsReadingUntilResume) {
    BoxSimProcess sim({"--rate", "1000"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    const std::string content = MakeContent(20000, 17);
    ASSERT_TRUE(startList(link, {"a.bin", "b.bin"}));
    ASSERT_TRUE(link.sendUrgent('F', 0, static_cast<int64_t>(content.size())));
    ASSERT_TRUE(link.sendData(content.substr(0, 1000)));
    ASSERT_TRUE(link.waitStatus(
        [](const RawBoxLink::Status& s) { return s.keyword == "time" && s.high() == 1; }));
    ASSERT_TRUE(link.sendCommand('p', 2, playValue('I', 2)));
    ASSERT_TRUE(link.waitStat("pend", 0));
    ASSERT_TRUE(link.sendData(content.substr(1000)));
    ASSERT_TRUE(link.sendCommand('P', 3, playValue('I', 2)));
    ASSERT_TRUE(link.waitStat("resu", 0));
    ASSERT_TRUE(link.waitStat("play", 1));

    bool isPaused = false;
    for (const auto& e : sim.events()) {
        if (e.str("event") == "status" && e.str("keyword") == "stat")
            isPaused = e.str("state") == "pend";
        if (e.str("keyword") == "time" || e.str("event") == "file") {
            EXPECT_FALSE(isPaused) << "read while paused: " << e.text();
        }
    }
    const auto file = sim.waitForEvent(fileEvent(0));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->str("sha256"), Sha256Hex(content));
}

// "N", "V" and "s" abandon the current file (its left-overs are skipped up to
// the next "F"); "N" on the last entry ends the list.
TEST_F(BoxSimPlayback, NextPreviousRestartAndPastTheEnd) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    const std::string a = MakeContent(5000, 1);
    const std::string b = MakeContent(7000, 2);
    ASSERT_TRUE(startList(link, {"a", "b", "c"}));
    // Each jump waits for the Box to have taken the "F" (its first "time"):
    // a late "F" would count for the entry the Box moved on to.
    ASSERT_TRUE(link.sendUrgent('F', 0, static_cast<int64_t>(a.size())));
    ASSERT_TRUE(link.sendData(a.substr(0, 100)));
    ASSERT_TRUE(link.waitKeyword("time"));
    ASSERT_TRUE(link.sendCommand('N', 2, playValue('I', 3)));
    ASSERT_TRUE(link.waitStat("stop", 0));
    ASSERT_TRUE(link.waitStat("play", 1));

    // Rest of "a" still in flight, then "b" and a step back.
    ASSERT_TRUE(link.sendData(a.substr(100)));
    ASSERT_TRUE(link.sendUrgent('F', 0, static_cast<int64_t>(b.size())));
    ASSERT_TRUE(link.sendData(b.substr(0, 10)));
    ASSERT_TRUE(link.waitKeyword("time"));
    ASSERT_TRUE(link.sendCommand('V', 3, playValue('I', 3)));
    ASSERT_TRUE(link.waitStat("stop", 1));
    ASSERT_TRUE(link.waitStat("play", 0));
    ASSERT_TRUE(link.sendUrgent('F', 0, static_cast<int64_t>(a.size())));
    ASSERT_TRUE(link.sendData(a));
    ASSERT_TRUE(link.waitStat("stop", 0));
    ASSERT_TRUE(link.waitStat("play", 1));
    ASSERT_TRUE(link.sendCommand('s', 4, playValue('I', 0)));
    ASSERT_TRUE(link.waitStat("stop", 1));
    ASSERT_TRUE(link.waitStat("play", 0));
    // Two quick skips count twice, a third runs past the end.
    ASSERT_TRUE(link.sendCommand('N', 5, playValue('I', 3)));
    ASSERT_TRUE(link.sendCommand('N', 6, playValue('I', 3)));
    ASSERT_TRUE(link.waitStat("play", 2));
    ASSERT_TRUE(link.sendCommand('N', 7, playValue('I', 3)));
    ASSERT_TRUE(link.waitStat("stop", 2));
    ASSERT_TRUE(link.waitStat("done", 3));

    std::vector<std::string> files;
    for (const auto& e : sim.events()) {
        if (e.str("event") == "file") {
            files.push_back(std::to_string(e.num("index")) + (e.flag("complete") ? "+" : "-"));
            if (e.flag("complete")) {
                EXPECT_EQ(e.str("sha256"), Sha256Hex(a));
            }
        }
    }
    EXPECT_EQ(files, (std::vector<std::string>{"0-", "1-", "0+"}));
    ASSERT_TRUE(sim.waitForEvent(EventIs("done")));
}

// Names resent during playback replace the list: a restart plays the new
// head (the library inserting files at the head of a playing list).
TEST_F(BoxSimPlayback, ResentNamesApplyToTheRunningList) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(startList(link, {"a", "b"}));
    ASSERT_TRUE(link.sendUrgent('F', 0, 1000));
    ASSERT_TRUE(link.waitKeyword("time"));
    ASSERT_TRUE(link.sendCommand('l', 1, 0, JoinNames({"new", "a", "b"})));
    ASSERT_TRUE(link.sendCommand('s', 2, playValue('I', 0)));
    ASSERT_TRUE(link.waitStat("stop", 0));
    ASSERT_TRUE(link.waitStat("play", 0));
    ASSERT_TRUE(link.sendData(std::string(1000, 'a'))); // left-over of "a"
    ASSERT_TRUE(link.sendUrgent('F', 0, 3));
    ASSERT_TRUE(link.sendData("new"));
    ASSERT_TRUE(link.waitStat("play", 1));
    const auto file = sim.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "file" && e.flag("complete"); });
    ASSERT_TRUE(file);
    EXPECT_EQ(file->str("name"), "new");
    EXPECT_EQ(file->str("sha256"), Sha256Hex("new"));
}

// An empty play list cannot be played: the pair is closed, the Box lives on.
TEST_F(BoxSimPlayback, EmptyListEndsThePair) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('L', 1, playValue('A', 0)));
    ASSERT_TRUE(link.waitClosed());
    const auto closed = sim.waitForEvent(EventIs("closed"));
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->str("reason"), "error");
    EXPECT_TRUE(sim.isRunning());
}

// Names are reduced to their last component: nothing lands outside the
// output directory, and a name with nothing safe left is not written.
TEST_F(BoxSimPlayback, OutputNamesStayInsideTheDirectory) {
    BoxSimProcess sim({"--output-dir", outDir()});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(startList(link, {"../escape.bin", "sub/inner.bin", ".."}));
    for (int index = 0; index < 3; ++index) {
        if (index > 0) {
            ASSERT_TRUE(link.waitStat("play", index));
        }
        const std::string content = "content " + std::to_string(index);
        ASSERT_TRUE(link.sendUrgent('F', 0, static_cast<int64_t>(content.size())));
        ASSERT_TRUE(link.sendData(content));
    }
    ASSERT_TRUE(link.waitStat("done", 3));
    EXPECT_EQ(Sha256FileHex(outDir() + "/escape.bin"), Sha256Hex("content 0"));
    EXPECT_EQ(Sha256FileHex(outDir() + "/inner.bin"), Sha256Hex("content 1"));
    std::vector<std::string> outside;
    for (const auto& entry : std::filesystem::directory_iterator(m_outDir))
        outside.push_back(entry.path().filename().string());
    EXPECT_EQ(outside, std::vector<std::string>{"out"});
    size_t inside = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(outDir()))
        ++inside;
    EXPECT_EQ(inside, 2u);
    EXPECT_TRUE(sim.waitForEvent(EventIs("error")));
}
