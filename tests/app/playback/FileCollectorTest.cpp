// What a drop collects: local paths of the URI list, folders walked once,
// names a play list cannot hold left out.
#include "TempDir.h"
#include "TraceCapture.h"
#include "Unicode.h"
#include "playback/CFileCollector.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::vector<std::wstring> wide(const std::vector<std::string>& paths) {
    std::vector<std::wstring> result;
    for (const std::string& path : paths)
        result.push_back(kvu::FromUtf8(path));
    return result;
}

std::vector<std::wstring> collect(const std::vector<std::string>& dropped) {
    CFileCollector collector;
    for (const std::string& path : dropped)
        collector.CollectFiles(path);
    return collector.TakeFiles();
}

// Runs body on a thread without the capabilities that let root read any
// folder, so that permissions count as they do for a user.
void withoutFileCapabilities(const std::function<void()>& body) {
    std::thread worker([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            data[capability / 32].effective &= ~(1u << (capability % 32));
        ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
        body();
    });
    worker.join();
}

} // namespace

TEST(UriList, OnlyLocalFilesPercentDecoded) {
    const std::string list = "# dropped from a file manager\r\n"
                             "file:///home/u/My%20Music/a%2523.mp3\r\n"
                             "file://localhost/srv/b.jpg\r\n"
                             "FILE:///srv/c.jpg?query#fragment\r\n"
                             "file://otherhost/srv/d.jpg\r\n"
                             "http://example.invalid/e.jpg\r\n"
                             "smb://server/share/f.mp3\r\n"
                             "file:relative.jpg\r\n"
                             "\r\n"
                             "file:///srv/100%zz.jpg\n"
                             "file:///srv/%E6%97%A5.mp3";
    EXPECT_EQ(LocalPathsFromUriList(list),
              (std::vector<std::string>{"/home/u/My Music/a%23.mp3", "/srv/b.jpg", "/srv/c.jpg",
                                        "/srv/100%zz.jpg", "/srv/\xE6\x97\xA5.mp3"}));
    EXPECT_TRUE(LocalPathsFromUriList("").empty());
}

// URLs already parsed, as a drop or a hand-over holds them, read the same.
TEST(UriList, ParsedUrlsReadLikeTheirText) {
    const QList<QUrl> urls = {QUrl::fromLocalFile(QStringLiteral("/home/u/My Music/a%23 #1.mp3")),
                              QUrl(QStringLiteral("file://localhost/srv/b.jpg")),
                              QUrl(QStringLiteral("FILE:///srv/c.jpg?query#fragment")),
                              QUrl(QStringLiteral("file://otherhost/srv/d.jpg")),
                              QUrl(QStringLiteral("http://example.invalid/e.jpg")),
                              QUrl(QStringLiteral("file:relative.jpg")),
                              QUrl(),
                              QUrl(QStringLiteral("file:///srv/%E6%97%A5%FF.mp3"))};
    EXPECT_EQ(LocalPathsFromUrls(urls),
              (std::vector<std::string>{"/home/u/My Music/a%23 #1.mp3", "/srv/b.jpg", "/srv/c.jpg",
                                        "/srv/\xE6\x97\xA5\xFF.mp3"}));
    EXPECT_TRUE(LocalPathsFromUrls({}).empty());
}

// Folders depth first in name order (case ignored); a link back into the
// tree and a folder dropped twice are walked once.
TEST(FileCollector, WalksEachFolderOnceInNameOrder) {
    TempDir dir;
    const std::string root = dir.file("root");
    fs::create_directories(root + "/Album/sub");
    for (const char* name : {"b.mp3", "c.txt", "Album/x.jpg", "Album/sub/y.jpg", "Album/a.mp3"})
        WriteTestFile(root + "/" + name, "x");
    fs::create_directory_symlink(root, root + "/Album/sub/back");
    fs::create_symlink(root + "/b.mp3", root + "/link.mp3");
    EXPECT_EQ(collect({root, root + "/Album", root + "/missing.mp3"}),
              wide({root + "/Album/a.mp3", root + "/Album/sub/y.jpg", root + "/Album/x.jpg",
                    root + "/b.mp3", root + "/c.txt", root + "/link.mp3"}));
}

// Letters compare without case ("_" sorts before them, as before "a"),
// names equal but for case by their bytes, a name before its longer ones.
TEST(FileCollector, OrdersNamesIgnoringCase) {
    TempDir dir;
    const std::vector<std::string> ordered = {"_x.mp3", "A.mp3", "a.mp3", "a.mp3b",      "Ab.mp3",
                                              "B.mp3",  "b.mp3", "c",     "\xc3\xa9.mp3"};
    for (auto name = ordered.rbegin(); name != ordered.rend(); ++name)
        WriteTestFile(dir.file(*name), "x");
    std::vector<std::string> expected;
    for (const std::string& name : ordered)
        expected.push_back(dir.file(name));
    EXPECT_EQ(collect({dir.path()}), wide(expected));
}

TEST(FileCollector, SkipsWhatAPlayListCannotHoldWithATrace) {
    TempDir dir;
    TraceCapture trace;
    WriteTestFile(dir.file("line\nbreak.mp3"), "x");
    WriteTestFile(dir.file("not-utf8-\xff.mp3"), "x");
    ASSERT_EQ(mkfifo(dir.file("pipe.mp3").c_str(), 0600), 0);
    WriteTestFile(dir.file("ok.mp3"), "x");
    EXPECT_EQ(collect({dir.path()}), wide({dir.file("ok.mp3")}));
    // A dropped "file:///...ok.mp3%00.txt" names no file.
    const std::vector<std::string> cut = LocalPathsFromUriList(
        "file://" + dir.file("ok.mp3") + "%00.txt\nfile://" + dir.path() + "%00/ok.mp3");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_TRUE(collect(cut).empty());
    EXPECT_TRUE(trace.Contains("name with a NUL byte skipped"));
    EXPECT_TRUE(trace.Contains("name with a line break skipped"));
    EXPECT_TRUE(trace.Contains("not UTF-8 skipped"));
    EXPECT_TRUE(trace.Contains("not a regular file"));
}

TEST(FileCollector, SkipsUnreadableFoldersAndKeepsLongPathsWhole) {
    TempDir dir;
    TraceCapture trace;
    fs::create_directory(dir.file("locked"));
    WriteTestFile(dir.file("locked/hidden.mp3"), "x");
    ASSERT_EQ(chmod(dir.file("locked").c_str(), 0), 0);
    std::string deep = dir.path();
    for (int level = 0; level < 4; ++level) {
        deep += "/" + std::string(100, static_cast<char>('a' + level));
        fs::create_directory(deep);
    }
    WriteTestFile(deep + "/song.mp3", "x");
    ASSERT_GT(deep.size(), 400u);

    std::vector<std::wstring> files;
    withoutFileCapabilities([&] { files = collect({dir.path()}); });
    EXPECT_EQ(files, wide({deep + "/song.mp3"}));
    EXPECT_TRUE(trace.Contains("opendir(" + dir.file("locked") + ") failed"));
    chmod(dir.file("locked").c_str(), 0700);
}

// The walk stops at its bound, says it was cut, and tells another thread
// how far it got; a cancel ends it at the next entry.
TEST(FileCollector, StopsAtItsBoundOrWhenCancelled) {
    TempDir dir;
    const std::string root = dir.file("root");
    fs::create_directories(root + "/deep/deeper");
    for (const char* name : {"a.mp3", "b.mp3", "deep/c.mp3", "deep/deeper/d.mp3", "e.mp3"})
        WriteTestFile(root + "/" + name, "x");
    std::atomic<size_t> found{0};
    CFileCollector bounded({.maxFiles = 3, .foundCount = &found});
    bounded.CollectFiles(root);
    EXPECT_TRUE(bounded.IsCut());
    EXPECT_EQ(bounded.Files(), wide({root + "/a.mp3", root + "/b.mp3", root + "/deep/c.mp3"}));
    EXPECT_EQ(found.load(), 3u);

    CFileCollector whole({.maxFiles = 5});
    whole.CollectFiles(root);
    EXPECT_FALSE(whole.IsCut());
    EXPECT_EQ(whole.Files().size(), 5u);

    const std::atomic<bool> isCancelled{true};
    CFileCollector cancelled({.isCancelled = &isCancelled});
    cancelled.CollectFiles(root);
    EXPECT_TRUE(cancelled.IsCut());
    EXPECT_TRUE(cancelled.Files().empty());
}
