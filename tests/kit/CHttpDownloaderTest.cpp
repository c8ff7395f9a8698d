#include "CHttpDownloader.h"
#include "LoopbackListener.h"
#include "TempDir.h"
#include "TestHttpServer.h"

#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

using Route = TestHttpServer::Route;
constexpr size_t kBlock = CHttpDownloader::kBlockBytes;

std::string patterned(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>((i * 31 + i / 4096 + 7) % 251);
    return body;
}

std::string asString(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

bool exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

// What the callback saw, one snapshot per call.
struct CallbackLog {
    struct Call {
        uint64_t bytesReceived;
        bool isFinished;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Call> calls;

    CHttpDownloader::Callback Recorder() {
        return [this](CHttpDownloader& downloader) {
            std::lock_guard lock(mutex);
            calls.push_back({downloader.BytesReceived(), downloader.IsFinished()});
            changed.notify_all();
        };
    }
    template <typename Predicate> void WaitUntil(Predicate predicate) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return predicate(calls); });
    }
    // Whether the last transfer finished within a generous bound.
    bool WaitForFinish() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10),
                                [&] { return !calls.empty() && calls.back().isFinished; });
    }
    std::vector<Call> Calls() {
        std::lock_guard lock(mutex);
        return calls;
    }
};

class CHttpDownloaderTest : public ::testing::Test {
protected:
    TestHttpServer m_server;
    TempDir m_folder;
    const std::string m_dir = m_folder.path();
    CallbackLog m_log;
};

// Two full blocks and a short third: one callback per block and one at the end.
TEST_F(CHttpDownloaderTest, MemoryDownloadCallsBackPerBlockAndAtTheEnd) {
    const std::string body = patterned(2 * kBlock + 100);
    m_server.SetRoute("/three", Route::Of(body));
    CHttpDownloader downloader(false, m_log.Recorder());

    EXPECT_EQ(downloader.DownloadToMemory(m_server.Url("/three")), 0);

    EXPECT_TRUE(downloader.IsSucceeded());
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_EQ(downloader.ExpectedLength(), body.size());
    EXPECT_EQ(downloader.BytesReceived(), body.size());
    EXPECT_EQ(asString(downloader.Buffer()), body);
    const auto calls = m_log.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].bytesReceived, kBlock);
    EXPECT_EQ(calls[1].bytesReceived, 2 * kBlock);
    EXPECT_EQ(calls[2].bytesReceived, body.size());
    EXPECT_FALSE(calls[2].isFinished);
    EXPECT_TRUE(calls[3].isFinished);
    const std::string request = m_server.LastRequest("/three");
    EXPECT_NE(request.find("User-Agent: CeHttp\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("Cache-Control: no-cache\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("Pragma: no-cache\r\n"), std::string::npos) << request;
}

TEST_F(CHttpDownloaderTest, ResponseWithoutContentLengthFailsEvenWithABody) {
    m_server.SetRoute("/bare",
                      Route::Of(patterned(5000)).WithLength(TestHttpServer::Length::Absent));
    CHttpDownloader downloader(false, m_log.Recorder());

    EXPECT_EQ(downloader.DownloadToMemory(m_server.Url("/bare")), -1);

    EXPECT_FALSE(downloader.IsSucceeded());
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_EQ(downloader.BytesReceived(), 0u);
    EXPECT_TRUE(downloader.Buffer().empty());
    EXPECT_EQ(m_log.Calls().size(), 1u);
}

TEST_F(CHttpDownloaderTest, MemoryLimitAcceptsFiveMebibytesAndRefusesOneByteMoreBeforeData) {
    const std::string limit = patterned(CHttpDownloader::kMemoryLimitBytes);
    m_server.SetRoute("/limit", Route::Of(limit));
    m_server.SetRoute("/over", Route::Of(limit + "x"));
    CHttpDownloader downloader(false, m_log.Recorder());

    EXPECT_EQ(downloader.DownloadToMemory(m_server.Url("/limit")), 0);
    EXPECT_TRUE(downloader.IsSucceeded());
    EXPECT_TRUE(asString(downloader.Buffer()) == limit);

    m_log.calls.clear();
    EXPECT_EQ(downloader.DownloadToMemory(m_server.Url("/over")), -1);
    EXPECT_FALSE(downloader.IsSucceeded());
    EXPECT_EQ(downloader.BytesReceived(), 0u);
    EXPECT_TRUE(downloader.Buffer().empty());
    ASSERT_EQ(m_log.Calls().size(), 1u);
    EXPECT_TRUE(m_log.Calls()[0].isFinished);
}

TEST_F(CHttpDownloaderTest, FileAndCountModesKeepEveryByte) {
    const std::string body = patterned(3 * kBlock + 1);
    m_server.SetRoute("/file", Route::Of(body));
    const std::string path = m_dir + "/image.upd";
    CHttpDownloader downloader;

    EXPECT_EQ(downloader.DownloadToFile(m_server.Url("/file"), path), 0);
    EXPECT_TRUE(downloader.IsSucceeded());
    EXPECT_EQ(downloader.BytesStored(), body.size());
    EXPECT_EQ(ReadTestFile(path), body);

    EXPECT_EQ(downloader.DownloadToCount(m_server.Url("/file")), 0);
    EXPECT_TRUE(downloader.IsSucceeded());
    EXPECT_EQ(downloader.BytesReceived(), body.size());
    EXPECT_EQ(downloader.BytesStored(), body.size());
    EXPECT_TRUE(downloader.Buffer().empty());
}

TEST_F(CHttpDownloaderTest, BodyCutShortFailsAndDeletesThePartialFile) {
    m_server.SetRoute(
        "/cut", Route::Of(patterned(3 * kBlock)).WithLength(TestHttpServer::Length::Overstated));
    const std::string path = m_dir + "/cut.bin";
    CHttpDownloader downloader;

    EXPECT_EQ(downloader.DownloadToFile(m_server.Url("/cut"), path), -1);

    EXPECT_FALSE(downloader.IsSucceeded());
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_LT(downloader.BytesReceived(), downloader.ExpectedLength());
    EXPECT_FALSE(exists(path));
}

TEST_F(CHttpDownloaderTest, StopDuringAsynchronousFileDownloadDeletesThePartialFile) {
    m_server.SetRoute("/held", Route::Of(patterned(10 * kBlock)).WithHoldAfter(3 * kBlock));
    const std::string path = m_dir + "/held.bin";
    CHttpDownloader downloader(true, m_log.Recorder());

    ASSERT_EQ(downloader.DownloadToFile(m_server.Url("/held"), path), 0);
    m_log.WaitUntil([](const auto& calls) { return !calls.empty(); });
    EXPECT_TRUE(exists(path));
    downloader.Stop();

    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_FALSE(downloader.IsSucceeded());
    EXPECT_FALSE(exists(path));
    EXPECT_TRUE(m_log.Calls().back().isFinished);
}

// The callback's Stop ends a synchronous transfer at the next block.
TEST_F(CHttpDownloaderTest, StopFromTheCallbackEndsASynchronousDownload) {
    m_server.SetRoute("/long", Route::Of(patterned(20 * kBlock)).WithTrickle(kBlock));
    const std::string path = m_dir + "/long.bin";
    CHttpDownloader* self = nullptr;
    CHttpDownloader downloader(false, [&self](CHttpDownloader& d) {
        if (!d.IsFinished())
            self->Stop();
    });
    self = &downloader;

    EXPECT_EQ(downloader.DownloadToFile(m_server.Url("/long"), path), 0);

    EXPECT_FALSE(downloader.IsSucceeded());
    EXPECT_EQ(downloader.BytesReceived(), kBlock);
    EXPECT_FALSE(exists(path));
}

// A new start stops a held transfer and forgets its buffer.
TEST_F(CHttpDownloaderTest, SecondDownloadDiscardsTheFirst) {
    m_server.SetRoute("/first", Route::Of(std::string(3 * kBlock, 'a')).WithHoldAfter(kBlock));
    m_server.SetRoute("/second", Route::Of("second body"));
    CHttpDownloader downloader(true, m_log.Recorder());

    ASSERT_EQ(downloader.DownloadToMemory(m_server.Url("/first")), 0);
    m_log.WaitUntil([](const auto& calls) { return !calls.empty(); });
    ASSERT_EQ(downloader.DownloadToMemory(m_server.Url("/second")), 0);
    m_log.WaitUntil([](const auto& calls) { return calls.back().isFinished && calls.size() > 2; });

    EXPECT_TRUE(downloader.IsSucceeded());
    EXPECT_EQ(asString(downloader.Buffer()), "second body");
    EXPECT_EQ(downloader.ExpectedLength(), 11u);
}

TEST_F(CHttpDownloaderTest, SlowTrickleCompletes) {
    const std::string body = patterned(20000);
    m_server.SetRoute("/slow", Route::Of(body).WithTrickle(700));
    CHttpDownloader downloader;

    EXPECT_EQ(downloader.DownloadToMemory(m_server.Url("/slow")), 0);
    EXPECT_TRUE(downloader.IsSucceeded());
    EXPECT_EQ(asString(downloader.Buffer()), body);
}

// A byte every few milliseconds keeps the transfer alive for minutes under a
// bytes-per-second floor of 1; the stall window ends it as a failure.
TEST_F(CHttpDownloaderTest, StalledTransferEndsAsFailure) {
    m_server.SetRoute("/stalled", Route::Of(patterned(100000)).WithTrickle(1));
    CHttpDownloader downloader(true, m_log.Recorder());
    downloader.SetStallWindow(100000, 1);

    ASSERT_EQ(downloader.DownloadToMemory(m_server.Url("/stalled")), 0);
    const bool hasFinished = m_log.WaitForFinish();
    downloader.Stop();
    EXPECT_TRUE(hasFinished);
    EXPECT_FALSE(downloader.IsSucceeded());
}

TEST_F(CHttpDownloaderTest, RedirectIsFollowed) {
    m_server.SetRoute("/moved", Route::Of("").RedirectTo(m_server.Url("/target")));
    m_server.SetRoute("/target", Route::Of("arrived"));
    CHttpDownloader downloader;

    EXPECT_EQ(downloader.DownloadToMemory(m_server.Url("/moved")), 0);
    EXPECT_EQ(asString(downloader.Buffer()), "arrived");
}

// Each peer's misbehaviour is a failure with one callback, never a success.
TEST_F(CHttpDownloaderTest, MisbehavingPeersFail) {
    m_server.SetRoute("/refused", Route::Of("").Refused());
    m_server.SetRoute("/missing", Route::Of("error page").WithStatus(404));
    m_server.SetRoute("/empty", Route::Of(""));
    std::string closedPort;
    {
        TestHttpServer gone;
        closedPort = gone.Url("/x");
    }
    const std::string urls[] = {m_server.Url("/refused"), m_server.Url("/missing"),
                                m_server.Url("/empty"),   closedPort,
                                "file:///etc/hostname",   "not a url"};
    for (const std::string& url : urls) {
        CallbackLog log;
        CHttpDownloader downloader(false, log.Recorder());
        EXPECT_EQ(downloader.DownloadToMemory(url), -1) << url;
        EXPECT_FALSE(downloader.IsSucceeded()) << url;
        EXPECT_TRUE(downloader.IsFinished()) << url;
        EXPECT_TRUE(downloader.Buffer().empty()) << url;
        EXPECT_EQ(log.Calls().size(), 1u) << url;
    }
}

// A download that fails before any data leaves an existing file alone; one
// that cannot write its file fails instead of reporting success.
TEST_F(CHttpDownloaderTest, FileModeFailuresKeepOrRefuseTheDestination) {
    m_server.SetRoute("/bare", Route::Of("new").WithLength(TestHttpServer::Length::Absent));
    m_server.SetRoute("/ok", Route::Of("content"));
    const std::string path = m_dir + "/precious.bin";
    std::ofstream(path) << "precious";
    CHttpDownloader downloader;

    EXPECT_EQ(downloader.DownloadToFile(m_server.Url("/bare"), path), -1);
    EXPECT_EQ(ReadTestFile(path), "precious");

    EXPECT_EQ(downloader.DownloadToFile(m_server.Url("/ok"), m_dir + "/no/such/dir"), -1);
    EXPECT_FALSE(downloader.IsSucceeded());
}

// Downloads of binary data with a bound: a declared length beyond it or
// beyond the folder's free space, two lengths, and text or markup sent with
// status 200 fail before a byte is kept; an image within the bound is taken.
TEST_F(CHttpDownloaderTest, EndlessDoublyLengthedAndTextBodiesAreRefusedBeforeData) {
    const std::string image = patterned(3 * kBlock);
    const std::string errorPage = "<html><body>502 Bad Gateway, try later</body></html>\n";
    m_server.SetRoute("/endless", Route::Of(image).WithDeclaredLength(1000000000000000));
    m_server.SetRoute("/twice", Route::Of(image).WithHeader("Content-Length: 5"));
    m_server.SetRoute("/error", Route::Of(errorPage).WithHeader("Content-Type: text/html"));
    m_server.SetRoute("/untyped", Route::Of("\r\n" + errorPage));
    m_server.SetRoute("/image",
                      Route::Of(image).WithHeader("Content-Type: application/octet-stream"));
    const std::string path = m_dir + "/install.img";
    for (const char* route : {"/endless", "/twice", "/error", "/untyped"}) {
        CHttpDownloader downloader;
        downloader.SetMaxLength(uint64_t{1} << 30);
        downloader.SetTextRefused(true);
        EXPECT_EQ(downloader.DownloadToFile(m_server.Url(route), path), -1) << route;
        EXPECT_EQ(downloader.BytesStored(), 0u) << route;
        EXPECT_FALSE(exists(path)) << route;
    }
    CHttpDownloader downloader;
    downloader.SetMaxLength(image.size());
    downloader.SetTextRefused(true);
    ASSERT_EQ(downloader.DownloadToFile(m_server.Url("/image"), path), 0);
    EXPECT_TRUE(downloader.IsSucceeded());
    EXPECT_EQ(ReadTestFile(path), image);

    struct statvfs folder {};
    ASSERT_EQ(statvfs(m_dir.c_str(), &folder), 0);
    const uint64_t free = static_cast<uint64_t>(folder.f_bavail) * folder.f_frsize;
    m_server.SetRoute("/huge", Route::Of(image).WithDeclaredLength(free + (uint64_t{1} << 30)));
    CHttpDownloader unbounded;
    EXPECT_EQ(unbounded.DownloadToFile(m_server.Url("/huge"), m_dir + "/huge.img"), -1);
    EXPECT_EQ(unbounded.BytesStored(), 0u);
}

// A redirect to an https server that takes the connection but never answers
// the TLS handshake ends as a failure within the connection time-out.
TEST_F(CHttpDownloaderTest, AHandshakeThatNeverEndsFails) {
    const LoopbackListener silent;
    m_server.SetRoute(
        "/fw.img",
        Route::Of("").RedirectTo("https://127.0.0.1:" + std::to_string(silent.port()) + "/fw.img"));
    CHttpDownloader downloader(true, m_log.Recorder());
    ASSERT_EQ(downloader.DownloadToFile(m_server.Url("/fw.img"), m_dir + "/fw.img"), 0);
    {
        std::unique_lock lock(m_log.mutex);
        EXPECT_TRUE(m_log.changed.wait_for(lock, std::chrono::seconds(60), [&] {
            return !m_log.calls.empty() && m_log.calls.back().isFinished;
        }));
    }
    downloader.Stop();
    EXPECT_FALSE(downloader.IsSucceeded());
}

} // namespace
