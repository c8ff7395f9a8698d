#include "CDmpFileSource.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "Unicode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Route = TestHttpServer::Route;

std::string patterned(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 977) % 256);
    return bytes;
}

std::wstring wide(const std::string& text) {
    return kvu::FromUtf8(text);
}

// Reads until the source gives nothing, noting each read's size.
std::string drain(CDmpFileSource& source, std::vector<int32_t>* sizes = nullptr) {
    std::string all;
    std::vector<uint8_t> chunk(kChunkBytes);
    for (;;) {
        const int32_t count = source.Read(chunk.data(), kChunkBytes);
        if (sizes != nullptr)
            sizes->push_back(count);
        if (count <= 0)
            return all;
        all.append(chunk.begin(), chunk.begin() + count);
    }
}

class CDmpFileSourceTest : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) {
        return m_folder.write(name, bytes);
    }

    TestHttpServer m_server;
    TempDir m_folder;
    const std::string m_dir = m_folder.path();
};

// Two full chunks and a short third, then the end; a seek moves the next read.
TEST_F(CDmpFileSourceTest, LocalFileReadsInChunksAndSeeks) {
    const std::string bytes = patterned(2 * kChunkBytes + 5);
    const std::wstring path = wide(write("clip é.avi", bytes));
    CDmpFileSource source;

    ASSERT_TRUE(source.Open(path));
    EXPECT_EQ(source.GetKind(), CDmpFileSource::Kind::LocalFile);
    EXPECT_EQ(source.Path(), path);
    EXPECT_EQ(source.Size(), static_cast<int64_t>(bytes.size()));
    std::vector<int32_t> sizes;
    EXPECT_EQ(drain(source, &sizes), bytes);
    EXPECT_EQ(sizes, (std::vector<int32_t>{kChunkBytes, kChunkBytes, 5, 0}));

    ASSERT_TRUE(source.Seek(500));
    EXPECT_EQ(source.Size(), static_cast<int64_t>(bytes.size())); // does not move the position
    EXPECT_EQ(drain(source), bytes.substr(500));
    EXPECT_FALSE(source.Seek(-1));

    source.Close();
    EXPECT_EQ(source.GetKind(), CDmpFileSource::Kind::None);
    EXPECT_EQ(source.Size(), -1);
    EXPECT_TRUE(source.Path().empty());
}

TEST_F(CDmpFileSourceTest, ZeroLengthFileOpensAndReadsNothing) {
    CDmpFileSource source;
    ASSERT_TRUE(source.Open(wide(write("empty.mp3", ""))));
    EXPECT_EQ(source.Size(), 0);
    uint8_t byte = 0;
    EXPECT_EQ(source.Read(&byte, 1), 0);
}

// Missing files, folders, FIFOs (which must not block the open), empty
// paths, embedded NULs and the bare "http://" are refused.
TEST_F(CDmpFileSourceTest, UnusableLocalPathsAreRefused) {
    const std::string fifo = m_dir + "/pipe.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::wstring paths[] = {wide(m_dir + "/missing.mp3"),
                                  wide(m_dir),
                                  wide(fifo),
                                  L"",
                                  wide(write("real.mp3", "x")) + std::wstring(1, L'\0') + L"x",
                                  L"http://"};
    for (const std::wstring& path : paths) {
        CDmpFileSource source;
        EXPECT_FALSE(source.Open(path)) << kvu::ToUtf8(path);
        EXPECT_EQ(source.GetKind(), CDmpFileSource::Kind::None);
        EXPECT_EQ(source.Size(), -1);
        uint8_t byte = 0;
        EXPECT_EQ(source.Read(&byte, 1), 0);
    }
}

// Any case of the scheme; the body is handed out in chunks; no seeking.
TEST_F(CDmpFileSourceTest, WebAddressIsDownloadedIntoMemory) {
    const std::string body = patterned(kChunkBytes + 1000);
    m_server.SetRoute("/media.mp3", Route::Of(body));
    std::string url = m_server.Url("/media.mp3");
    url.replace(0, 4, "HtTp");
    CDmpFileSource source;

    ASSERT_TRUE(source.Open(wide(url)));
    EXPECT_EQ(source.GetKind(), CDmpFileSource::Kind::Http);
    EXPECT_EQ(source.Size(), static_cast<int64_t>(body.size()));
    EXPECT_FALSE(source.Seek(10));
    std::vector<int32_t> sizes;
    EXPECT_EQ(drain(source, &sizes), body);
    EXPECT_EQ(sizes, (std::vector<int32_t>{kChunkBytes, 1000, 0}));
}

// The open succeeds whatever the download gave: here nothing.
TEST_F(CDmpFileSourceTest, FailedDownloadsOpenEmpty) {
    m_server.SetRoute("/bare.mp3", Route::Of("body").WithLength(TestHttpServer::Length::Absent));
    std::string closedPort;
    {
        TestHttpServer gone;
        closedPort = gone.Url("/x.mp3");
    }
    CDmpFileSource source;
    ASSERT_TRUE(source.Open(wide(m_server.Url("/bare.mp3"))));
    EXPECT_EQ(source.Size(), 0);
    EXPECT_EQ(drain(source), "");

    ASSERT_TRUE(source.Open(L"HTTPS" + wide(closedPort.substr(4))));
    EXPECT_EQ(source.GetKind(), CDmpFileSource::Kind::Https);
    EXPECT_EQ(source.Size(), 0);
}

} // namespace
