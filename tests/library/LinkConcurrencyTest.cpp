// Records from several threads on one link reach the Box whole and in order.
#include "CDmpVellumo.h"
#include "LinkTestSupport.h"
#include "RawBoxPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <thread>

namespace {

constexpr int kControlThreads = 3;
constexpr int kControlsPerThread = 1500;
constexpr int kFileSwitches = 150;
constexpr int32_t kMaxVolume = 100;
constexpr uint32_t kMaxSeek = 1000;
constexpr uint32_t kMaxNamesBytes = 1 << 20;

// Reads the command connection as the Box does and checks every record
// against what the test's threads can have sent. Stops checking at the first
// malformed record (the stream cannot be resynchronised after it) but keeps
// reading, so that the link's writers never block.
class RecordChecker {
public:
    RecordChecker(int socket, std::set<std::string> names)
        : m_socket(socket), m_names(std::move(names)) {}

    void Run() {
        while (m_fault.empty()) {
            std::string head;
            if (!read(13, head))
                return;
            checkRecord(head);
        }
        std::string rest;
        while (read(4096, rest))
            ;
    }

    std::string Fault() const { return m_fault; }
    int Count(char command) const { return m_counts[static_cast<uint8_t>(command)]; }

private:
    bool read(size_t count, std::string& out) {
        out.clear();
        while (out.size() < count) {
            char buffer[4096];
            const ssize_t got =
                ::recv(m_socket, buffer, std::min(sizeof buffer, count - out.size()), 0);
            if (got <= 0)
                return false;
            out.append(buffer, static_cast<size_t>(got));
        }
        return true;
    }

    static uint64_t le(const std::string& bytes, size_t at, size_t count) {
        uint64_t value = 0;
        for (size_t i = 0; i < count; ++i)
            value |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
        return value;
    }

    void fail(const std::string& head, const std::string& why) {
        std::ostringstream text;
        text << "record " << m_records << " '" << head[0] << "': " << why;
        m_fault = text.str();
    }

    void checkRecord(const std::string& head) {
        ++m_records;
        const uint64_t value = le(head, 5, 8);
        const uint32_t low = static_cast<uint32_t>(value);
        const uint32_t high = static_cast<uint32_t>(value >> 32);
        // Play, Next and Disconnect take the next number; the rest carry the
        // current one.
        const bool numbered = head[0] == 'L' || head[0] == 'N' || head[0] == 'D';
        const uint64_t expected = m_sequence + (numbered ? 1 : 0);
        if (le(head, 1, 4) != expected)
            return fail(head, "sequence " + std::to_string(le(head, 1, 4)) + " instead of " +
                                  std::to_string(expected));
        m_sequence = expected;
        switch (head[0]) {
        case 'v':
            if (value > static_cast<uint64_t>(kMaxVolume))
                return fail(head, "volume out of range");
            break;
        case 'm':
        case 'D':
            if (head[0] == 'm' && value != 0)
                return fail(head, "mute with a value");
            break;
        case 'J':
            if (value > kMaxSeek)
                return fail(head, "seek out of range");
            break;
        case 'L':
        case 'N':
            if (low != 'A' || high == 0 || high > 10000)
                return fail(head, "type or count out of range");
            break;
        case 'l':
            if (value != 0)
                return fail(head, "names record with a value");
            if (!checkNames(head))
                return;
            break;
        default:
            return fail(head, "unexpected command byte");
        }
        ++m_counts[static_cast<uint8_t>(head[0])];
    }

    bool checkNames(const std::string& head) {
        std::string length;
        std::string text;
        if (!read(4, length))
            return fail(head, "names record cut short"), false;
        const uint64_t size = le(length, 0, 4);
        if (size == 0 || size > kMaxNamesBytes)
            return fail(head, "names length " + std::to_string(size)), false;
        if (!read(size, text))
            return fail(head, "names record cut short"), false;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (m_names.count(line) == 0)
                return fail(head, "unknown name '" + line.substr(0, 40) + "'"), false;
        if (text.back() != '\n')
            return fail(head, "names without a final newline"), false;
        return true;
    }

    int m_socket;
    std::set<std::string> m_names;
    std::string m_fault;
    int m_records = 0;
    uint64_t m_sequence = 0;
    int m_counts[256] = {};
};

TEST(LinkConcurrency, RecordsFromManyThreadsArriveWhole) {
    TempDir dir;
    RawBoxPeer peer;
    CDmpVellumo link;
    ASSERT_TRUE(link.OpenConnection("127.0.0.1", peer.Port(), false));
    peer.AcceptPair();

    // Long names make the names record long, which widens the window in which
    // another thread's record could cut into it.
    std::set<std::string> names;
    std::vector<std::wstring> files;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "entry-" + std::to_string(i) + "-" + std::string(150, 'a' + i);
        names.insert(name);
        files.push_back(MakePatternFile(dir, name, 10).wstring());
    }
    ASSERT_TRUE(link.AddFiles(files, -1));

    RecordChecker checker(peer.CommandSocket(), names);
    std::thread box([&checker] { checker.Run(); });

    std::atomic<bool> go{false};
    std::atomic<int> volumes{0}, mutes{0}, seeks{0};
    std::vector<std::thread> controls;
    for (int t = 0; t < kControlThreads; ++t)
        controls.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < kControlsPerThread; ++i) {
                switch ((i + t) % 3) {
                case 0:
                    volumes += link.SetVolume(i % (kMaxVolume + 1)) ? 1 : 0;
                    break;
                case 1:
                    mutes += link.Mute() ? 1 : 0;
                    break;
                default:
                    seeks += link.Seek(static_cast<uint32_t>(i) % kMaxSeek) ? 1 : 0;
                    break;
                }
            }
        });

    go = true;
    int plays = link.Play(kMediaTypeAudio) ? 1 : 0;
    int switches = 0;
    for (int i = 0; i < kFileSwitches; ++i) {
        // Appending to a playing list resends the names; Next switches files.
        EXPECT_TRUE(link.AddFiles({files[static_cast<size_t>(i) % files.size()]}, -1));
        switches += link.Next() ? 1 : 0;
    }
    for (std::thread& control : controls)
        control.join();
    link.CloseConnection();
    box.join();

    EXPECT_EQ(checker.Fault(), "");
    if (checker.Fault().empty()) {
        EXPECT_EQ(checker.Count('v'), volumes.load());
        EXPECT_EQ(checker.Count('m'), mutes.load());
        EXPECT_EQ(checker.Count('J'), seeks.load());
        EXPECT_EQ(checker.Count('L'), plays);
        EXPECT_EQ(checker.Count('N'), switches);
        // One names record from Play and one per append.
        EXPECT_EQ(checker.Count('l'), 1 + kFileSwitches);
        EXPECT_EQ(checker.Count('D'), 1);
    }
}

} // namespace
