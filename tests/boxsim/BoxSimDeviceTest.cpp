// The simulated Box as a device: queries, volume, several pairs, malformed
// commands, fault modes and its own shutdown.
#include "BoxSimProcess.h"
#include "BoxWire.h"
#include "LittleEndian.h"
#include "RawBoxLink.h"
#include "Sha256Digest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int64_t playValue(char mediaType, uint32_t count) {
    return static_cast<int64_t>(kvu::PackHalves(static_cast<uint8_t>(mediaType), count));
}

BoxSimProcess::Predicate closedWith(const std::string& reason) {
    return [reason](const JsonEvent& e) {
        return e.str("event") == "closed" && e.str("reason") == reason;
    };
}

} // namespace

// "n" and "W" answer the configured values; "v", "m" and "r" answer "vol "
// with the maximum, the volume in bits 0-15 and the repeat mode in 16-23.
TEST(BoxSimDevice, QueriesAndVolume) {
    BoxSimProcess sim({"--firmware-version", "0x1122334455667788", "--mac", "0x0000001122334455",
                       "--max-volume", "80"});
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('n', 1, 0));
    const auto version = link.waitKeyword("ver ");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->value, 0x1122334455667788u);
    EXPECT_EQ(version->seq, 1);
    ASSERT_TRUE(link.sendCommand('W', 2, 0x67));
    const auto mac = link.waitKeyword("waid");
    ASSERT_TRUE(mac);
    EXPECT_EQ(mac->value, 0x0000001122334455u);
    EXPECT_EQ(mac->seq, 2);

    ASSERT_TRUE(link.sendCommand('v', 2, 30));
    auto volume = link.waitKeyword("vol ");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->low(), 80u);
    EXPECT_EQ(volume->high(), 30u);
    ASSERT_TRUE(link.sendCommand('r', 3, static_cast<int64_t>(kvu::PackHalves('A', 2))));
    volume = link.waitKeyword("vol ");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->high(), 30u | (2u << 16));
    ASSERT_TRUE(link.sendCommand('m', 3, 0));
    volume = link.waitKeyword("vol ");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->high(), 2u << 16);
    // Out of range volumes are held to 0..max, never spilling into the repeat bits.
    ASSERT_TRUE(link.sendCommand('v', 3, 70000));
    volume = link.waitKeyword("vol ");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->high(), 80u | (2u << 16));
    ASSERT_TRUE(link.sendCommand('v', 3, -5));
    volume = link.waitKeyword("vol ");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->high(), 2u << 16);

    const auto logged = sim.waitForEvent(StatusIs("waid"));
    ASSERT_TRUE(logged);
    EXPECT_EQ(logged->num("value"), 0x0000001122334455);
    const auto command = sim.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "command" && e.str("byte") == "r"; });
    ASSERT_TRUE(command);
    EXPECT_EQ(command->num("seq"), 3);
    EXPECT_EQ(command->num("low"), 'A');
    EXPECT_EQ(command->num("high"), 2);
}

// Commands with extra data are logged with it; "D" closes both connections.
TEST(BoxSimDevice, LogsExtraDataAndDisconnects) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('l', 0, 0, "a\nb\nc\n"));
    ASSERT_TRUE(link.sendCommand('D', 2, 'I'));
    ASSERT_TRUE(link.waitClosed());
    const auto names = sim.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "command" && e.str("byte") == "l"; });
    ASSERT_TRUE(names);
    EXPECT_EQ(names->strings("names"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(names->str("extra"), "a\nb\nc\n");
    EXPECT_TRUE(sim.waitForEvent(closedWith("D")));
}

// Connections pair in arrival order; two pairs play at once, each its own file.
TEST(BoxSimDevice, TwoPairsPlayConcurrently) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    RawBoxLink image(sim.address(), sim.port());
    RawBoxLink audio(sim.address(), sim.port());
    const std::string picture = MakeContent(150000, 3);
    const std::string song = MakeContent(250000, 4);
    for (RawBoxLink* link : {&image, &audio}) {
        ASSERT_TRUE(link->sendCommand('l', 0, 0, JoinNames({"x.bin"})));
        ASSERT_TRUE(link->sendCommand('L', 1, playValue('I', 1)));
        ASSERT_TRUE(link->waitStat("play", 0));
    }
    ASSERT_TRUE(image.sendUrgent('F', 0, static_cast<int64_t>(picture.size())));
    ASSERT_TRUE(audio.sendUrgent('F', 0, static_cast<int64_t>(song.size())));
    ASSERT_TRUE(image.sendData(picture.substr(0, 70000)));
    ASSERT_TRUE(audio.sendData(song.substr(0, 70000)));
    ASSERT_TRUE(image.sendData(picture.substr(70000)));
    ASSERT_TRUE(audio.sendData(song.substr(70000)));
    ASSERT_TRUE(image.waitStat("done", 1));
    ASSERT_TRUE(audio.waitStat("done", 1));

    std::vector<std::string> connections;
    for (const auto& e : sim.events()) {
        if (e.str("event") == "connection")
            connections.push_back(std::to_string(e.num("pair")) + e.str("role"));
    }
    EXPECT_EQ(connections, (std::vector<std::string>{"1command", "1data", "2command", "2data"}));
    for (const auto& [pair, content] : {std::pair{1, picture}, std::pair{2, song}}) {
        const auto file = sim.waitForEvent([pair = pair](const JsonEvent& e) {
            return e.str("event") == "file" && e.num("pair") == pair;
        });
        ASSERT_TRUE(file);
        EXPECT_EQ(file->str("sha256"), Sha256Hex(content));
    }
}

// Malformed command records close their pair; the Box survives and serves the
// next pair.
TEST(BoxSimDevice, MalformedCommandsCloseOnlyTheirPair) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    {
        RawBoxLink unknownByte(sim.address(), sim.port());
        ASSERT_TRUE(unknownByte.sendCommand('Z', 1, 0));
        ASSERT_TRUE(unknownByte.waitClosed());
    }
    {
        RawBoxLink hugeLength(sim.address(), sim.port());
        ASSERT_TRUE(hugeLength.sendCommand('l', 0, 0));
        ASSERT_TRUE(hugeLength.sendCommandBytes(std::string("\x00\x00\x00\x20", 4)));
        ASSERT_TRUE(hugeLength.waitClosed());
    }
    {
        RawBoxLink cutShort(sim.address(), sim.port());
        ASSERT_TRUE(cutShort.sendCommandBytes("n\x01"));
        cutShort.closeCommand();
        ASSERT_TRUE(cutShort.waitClosed());
    }
    RawBoxLink healthy(sim.address(), sim.port());
    ASSERT_TRUE(healthy.sendCommand('n', 1, 0));
    ASSERT_TRUE(healthy.waitKeyword("ver "));
    EXPECT_TRUE(sim.isRunning());

    std::vector<std::string> reasons;
    std::vector<std::string> errors;
    for (const auto& e : sim.events()) {
        if (e.str("event") == "closed")
            reasons.push_back(std::to_string(e.num("pair")) + e.str("reason"));
        if (e.str("event") == "error")
            errors.push_back(e.str("text"));
    }
    EXPECT_EQ(reasons, (std::vector<std::string>{"1error", "2error", "3peer"}));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("0x5a"), std::string::npos);
    EXPECT_NE(errors[1].find("536870912"), std::string::npos);
}

// A peer that hangs up between its command and data connections does not
// shift the pairing of the next link.
TEST(BoxSimDevice, LoneCommandConnectionIsDropped) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(sim.port());
    ::inet_pton(AF_INET, sim.address().c_str(), &to.sin_addr);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ASSERT_TRUE(sim.waitForEvent(EventIs("connection")));
    ::close(fd);
    ASSERT_TRUE(sim.waitForEvent(closedWith("peer")));

    RawBoxLink link(sim.address(), sim.port());
    ASSERT_TRUE(link.sendCommand('n', 1, 0));
    ASSERT_TRUE(link.waitKeyword("ver "));
}

// A PC that sends "D" and hangs up at once, data connection first: the Box
// still reads the "D" that arrived before the hang-up.
TEST(BoxSimDevice, DisconnectSentJustBeforeHangingUpIsRead) {
    BoxSimProcess sim;
    ASSERT_TRUE(sim.isReady());
    constexpr int kLinks = 20;
    for (int i = 0; i < kLinks; ++i) {
        RawBoxLink link(sim.address(), sim.port());
        ASSERT_TRUE(link.sendCommand('D', i, 'I'));
        link.closeData();
        link.closeCommand();
    }
    ASSERT_TRUE(sim.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "closed" && e.num("pair") == kLinks; }));
    for (int i = 0; i < kLinks; ++i) {
        EXPECT_TRUE(sim.waitForEvent(
            [i](const JsonEvent& e) {
                return e.str("event") == "command" && e.str("byte") == "D" && e.num("seq") == i;
            },
            std::chrono::milliseconds(2000)))
            << "link " << i;
    }
}
