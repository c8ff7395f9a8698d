#pragma once

#include "tools/CWorkerThread.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Fetches one web address (http or https) into memory, into a file, or only
// counts its bytes; on the starting thread or on a named thread of its own.
//
// URLs and file paths are UTF-8. The response must carry exactly one
// Content-Length: without one, with 0 or with several, the download fails, as
// it does when the body would pass that length. No cache is used or filled.
// A file download is refused before any data when the declared length would
// not fit the free space of the file's folder.
//
// The callback runs on the transfer's thread after each block of kBlockBytes
// (the last one may be shorter) and once at the end of every transfer, when
// IsFinished() is already true. It may call Stop().
//
// Start, Stop and destruction are called by the owner; Stop may also be
// called from any other thread and from the callback. The accessors may be
// read from any thread; Buffer() only once IsFinished() is true.
class CHttpDownloader {
public:
    enum class Mode : int32_t { None = 0, File = 1, Memory = 2, Count = 3 };
    using Callback = std::function<void(CHttpDownloader& downloader)>;

    static constexpr const char* kUserAgent = "CeHttp";
    static constexpr size_t kBlockBytes = 4096;
    static constexpr uint64_t kMemoryLimitBytes = uint64_t{5} * 1024 * 1024;
    // The connection phase, TCP and TLS handshakes included: a server that
    // takes the connection and never completes the handshake is left after
    // this long.
    static constexpr long kConnectTimeoutMs = 15000;
    // A transfer that receives fewer bytes than this in a stall window ends
    // as a failure.
    static constexpr long kStallBytes = 1024;
    static constexpr long kStallSeconds = 30;

    explicit CHttpDownloader(bool isAsynchronous = false, Callback callback = {});
    ~CHttpDownloader();
    CHttpDownloader(const CHttpDownloader&) = delete;
    CHttpDownloader& operator=(const CHttpDownloader&) = delete;

    // Each start stops and forgets the previous transfer. Result: 0 for a
    // started asynchronous transfer or a synchronous one that ended normally
    // (also when cancelled: see IsSucceeded), -1 for a failure.
    int32_t DownloadToMemory(const std::string& url);
    int32_t DownloadToFile(const std::string& url, const std::string& path);
    int32_t DownloadToCount(const std::string& url);

    // Cancels the transfer. Asynchronous: waits for its thread to end (unless
    // called from the callback). Synchronous: the transfer ends at its next
    // block. Not to be called from another thread while the owner starts or
    // destroys the object.
    void Stop();
    // Stops the transfer for good, from any thread and at any time: a running
    // transfer ends at once as cancelled, and every later start fails.
    void Abort();

    // Before a start: the bytes a transfer must receive in every window of
    // seconds (at least 1) not to count as stalled.
    void SetStallWindow(long bytes, long seconds);
    // Before a start: the longest body taken (Memory mode keeps its own,
    // smaller limit); a longer declared length fails before any data.
    void SetMaxLength(uint64_t bytes) { m_maxLength = bytes; }
    // Before a start: whether a body that the server calls text (a
    // Content-Type of text/...) or that begins as markup ("<" after white
    // space) fails, so that an error page is never taken for binary data.
    void SetTextRefused(bool isRefused) { m_isTextRefused = isRefused; }

    Mode GetMode() const { return m_mode; }
    uint64_t ExpectedLength() const { return m_expectedLength.load(); }
    uint64_t BytesReceived() const { return m_bytesReceived.load(); }
    // Bytes kept: copied to the buffer, written to the file, or counted.
    uint64_t BytesStored() const { return m_bytesStored.load(); }
    bool IsSucceeded() const { return m_isSucceeded.load(); }
    bool IsFinished() const { return m_isFinished.load(); }
    // Memory mode: the bytes received (all of them when IsSucceeded());
    // valid until the next start or destruction.
    const std::vector<uint8_t>& Buffer() const { return m_buffer; }

private:
    int32_t start(Mode mode, const std::string& url, const std::string& path);
    int32_t transfer();
    // libcurl's handles, declared as libcurl declares them so that the
    // header does not pull libcurl into every user.
    using CurlEasy = void;
    using CurlMulti = void;

    static void threadMain(void* self);
    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static size_t onData(char* data, size_t size, size_t count, void* self);
    // At the end of a response's headers: whether its body is the one to
    // keep (status 2xx, one Content-Length within the limits).
    bool acceptResponse();
    bool isLengthAccepted(uint64_t length) const;
    bool storeBlock(const uint8_t* data, size_t size);
    int32_t finish(bool hasFailed);
    void callBack();
    bool closeFile();

    const bool m_isAsynchronous;
    const Callback m_callback;
    kvu::tools::CWorkerThread m_thread{"HttpDownloader"};
    // Lives as long as the object so that Stop can wake a transfer from any
    // thread without racing its creation.
    CurlMulti* m_multi = nullptr;

    // Shared with other threads: atomic.
    std::atomic<bool> m_isCancelled{false};
    std::atomic<bool> m_isAborted{false};
    std::atomic<bool> m_isSucceeded{false};
    std::atomic<bool> m_isFinished{false};
    std::atomic<uint64_t> m_expectedLength{0};
    std::atomic<uint64_t> m_bytesReceived{0};
    std::atomic<uint64_t> m_bytesStored{0};

    // Set by a start, then used only by the transfer.
    std::string m_url;
    std::string m_path;
    long m_stallBytes = kStallBytes;
    long m_stallSeconds = kStallSeconds;
    uint64_t m_maxLength = UINT64_MAX;
    CurlEasy* m_easy = nullptr;
    struct curl_slist* m_requestHeaders = nullptr;
    std::vector<uint8_t> m_buffer;
    std::array<uint8_t, kBlockBytes> m_block{};
    size_t m_blockFill = 0;
    Mode m_mode = Mode::None;
    int m_file = -1;
    bool m_isTextRefused = false;
    bool m_hasCreatedFile = false;
    bool m_isBodyAccepted = false;
};
