// The Box's status stream, as a playing link reads it: any bytes, delivered
// in pieces of any size, must be parsed or skipped without a crash, a hang or
// a read past the record. The first input byte chooses where the reads
// split; the rest is what the Box sends on the data connection.
#include "CDmpVellumo.h"
#include "CDmpVellumoObserver.h"
#include "io/CStreamer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A connected stream that gives the input back in pieces and swallows
// whatever is written. At the end of the input it reports the peer gone.
class ScriptedStream : public kvu::io::CStreamer {
public:
    ScriptedStream(const uint8_t* data, size_t size, uint8_t splitSeed)
        : m_data(data, data + size), m_split(splitSeed | 1u) {}

    int32_t Open(const char*, int32_t) override { return kvu::io::kStreamOk; }
    void Close() override { m_isOpen = false; }
    int32_t Read(void* buffer, int32_t size, int32_t) override {
        if (!m_isOpen || m_read >= m_data.size() || size <= 0)
            return kvu::io::kStreamReceiveFailed;
        // A small linear congruential sequence: pieces of 1 to 16 bytes.
        m_split = m_split * 1103515245u + 12345u;
        const size_t piece = 1 + (m_split >> 16) % 16;
        const size_t count = std::min({piece, static_cast<size_t>(size), m_data.size() - m_read});
        std::memcpy(buffer, m_data.data() + m_read, count);
        m_read += count;
        return static_cast<int32_t>(count);
    }
    int32_t Write(const void*, int32_t size, int32_t) override {
        return m_isOpen ? size : kvu::io::kStreamSendFailed;
    }
    int32_t SetOption(int32_t, const void*) override { return kvu::io::kStreamOk; }
    bool IsOpen() const override { return m_isOpen; }

private:
    std::vector<uint8_t> m_data;
    size_t m_read = 0; // the reader's thread only
    uint32_t m_split;
    std::atomic<bool> m_isOpen{true};
};

// Waits for the link to report that the stream ended.
class ClosedWaiter : public CDmpVellumoObserver {
public:
    void Connected(CDmpVellumo*) override {}
    void StatusChanged(CDmpVellumo*) override {}
    void ErrorOccurred(CDmpVellumo*, int32_t) override {}
    void Closed(CDmpVellumo*) override {
        std::lock_guard lock(m_mutex);
        m_isClosed = true;
        m_changed.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_isClosed; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_isClosed = false;
};

// Two small files the Box may ask for.
const std::vector<std::wstring>& playList() {
    static const std::vector<std::wstring> files = [] {
        char dir[] = "/tmp/StatusStreamFuzz.XXXXXX";
        std::vector<std::wstring> paths;
        if (mkdtemp(dir) == nullptr)
            return paths;
        for (const char* name : {"/a.mp3", "/b.mp3"}) {
            const std::string path = std::string(dir) + name;
            std::ofstream(path) << std::string(3000, 'x');
            paths.emplace_back(path.begin(), path.end());
        }
        return paths;
    }();
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    CDmpVellumo link;
    ClosedWaiter waiter;
    link.AddObserver(&waiter);
    link.AttachStreams(std::make_unique<ScriptedStream>(nullptr, 0, 1),
                       std::make_unique<ScriptedStream>(data + 1, size - 1, data[0]));
    link.AddFiles(playList(), -1);
    if (link.Play(kMediaTypeAudio))
        waiter.Wait();
    link.RemoveObserver(&waiter);
    link.CloseConnection();
    return 0;
}
