// Records from several threads on one link reach the Box whole and in order.
#include "CDmpVellumo.h"
#include "LinkTestSupport.h"
#include "LittleEndian.h"
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
        std::string head;
        for (int record = 1; m_fault.empty() && read(13, head); ++record) {
            const std::string problem = problemOf(head);
            if (!problem.empty())
                m_fault = "record " + std::to_string(record) + " '" + head[0] + "': " + problem;
        }
        while (read(4096, head)) {
        }
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

    static const uint8_t* bytes(const std::string& text, size_t at) {
        return reinterpret_cast<const uint8_t*>(text.data() + at);
    }

    // What is wrong with the record that starts with head, or nothing.
    std::string problemOf(const std::string& head) {
        const uint64_t value = kvu::ReadLe64(bytes(head, 5));
        const uint32_t low = static_cast<uint32_t>(value);
        const uint32_t high = static_cast<uint32_t>(value >> 32);
        // Play, Next and Disconnect take the next number; the rest carry the
        // current one.
        const bool isNumbered = head[0] == 'L' || head[0] == 'N' || head[0] == 'D';
        const uint32_t sequence = kvu::ReadLe32(bytes(head, 1));
        if (sequence != m_sequence + (isNumbered ? 1 : 0))
            return "sequence " + std::to_string(sequence) + " after " + std::to_string(m_sequence);
        m_sequence = sequence;
        ++m_counts[static_cast<uint8_t>(head[0])];
        switch (head[0]) {
        case 'v':
            return value <= static_cast<uint64_t>(kMaxVolume) ? "" : "volume out of range";
        case 'm':
            return value == 0 ? "" : "mute with a value";
        case 'D':
            return "";
        case 'J':
            return value <= kMaxSeek ? "" : "seek out of range";
        case 'L':
        case 'N':
            return low == 'A' && high > 0 && high < 10000 ? "" : "type or count out of range";
        case 'l':
            return value == 0 ? problemOfNames() : "names record with a value";
        default:
            return "unexpected command byte";
        }
    }

    std::string problemOfNames() {
        std::string length;
        std::string text;
        if (!read(4, length))
            return "names record cut short";
        const uint32_t size = kvu::ReadLe32(bytes(length, 0));
        if (size == 0 || size > kMaxNamesBytes)
            return "names length " + std::to_string(size);
        if (!read(size, text) || text.back() != '\n')
            return "names record cut short";
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (m_names.count(line) == 0)
                return "unknown name '" + line.substr(0, 40) + "'";
        return "";
    }

    int m_socket;
    std::set<std::string> m_names;
    std::string m_fault;
    uint32_t m_sequence = 0;
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
