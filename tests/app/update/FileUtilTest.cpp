#include "update/FileUtil.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(FileUtil, FileExistsOnlyForNonDirectories) {
    TempDir dir;
    WriteTestFile(dir.file("a.xml"), "x");
    EXPECT_TRUE(FileExists(dir.file("a.xml")));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(dir.file("missing.xml")));
    EXPECT_FALSE(FileExists(""));
}

TEST(FileUtil, ReadWholeFileKeepsEveryByteAcrossChunksAndEndsWithNul) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 100003; ++i)
        bytes += static_cast<char>(i % 251);
    WriteTestFile(dir.file("big"), bytes);
    const auto read = ReadWholeFile(dir.file("big"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, bytes);
    EXPECT_EQ(read->c_str()[read->size()], '\0');

    WriteTestFile(dir.file("empty"), "");
    const auto empty = ReadWholeFile(dir.file("empty"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
}

TEST(FileUtil, ReadWholeFileFailsOnMissingFilesDirectoriesAndOversizedFiles) {
    TempDir dir;
    EXPECT_FALSE(ReadWholeFile(dir.file("missing")).has_value());
    EXPECT_FALSE(ReadWholeFile(dir.path()).has_value());
    // A sparse file beyond the 32-bit size is refused before any allocation.
    const std::string huge = dir.file("huge");
    const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kMaxWholeFileBytes) + 2), 0);
    ::close(fd);
    EXPECT_FALSE(ReadWholeFile(huge).has_value());
}

// sysfs attributes claim 4096 bytes and hold fewer: the read must end, failed.
TEST(FileUtil, ReadWholeFileEndsOnAFileShorterThanItsSize) {
    const std::string path = "/sys/devices/system/cpu/online";
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || info.st_size < 64)
        GTEST_SKIP() << path << " does not claim more than it holds here";
    EXPECT_FALSE(ReadWholeFile(path).has_value());
}

TEST(FileUtil, WriteWholeFileReplacesTheFileAndReportsEveryFailure) {
    TempDir dir;
    const std::string path = dir.file("out");
    WriteTestFile(path, "a much longer old content");
    ASSERT_TRUE(WriteWholeFile(path, "new", 3));
    EXPECT_EQ(ReadTestFile(path), "new");

    EXPECT_FALSE(WriteWholeFile("", "x", 1));
    EXPECT_FALSE(WriteWholeFile(path, nullptr, 1));
    EXPECT_FALSE(WriteWholeFile(path, "x", 0));
    EXPECT_FALSE(WriteWholeFile(dir.file("no/such/dir"), "x", 1));
    // A full device takes the open but not the bytes.
    EXPECT_FALSE(WriteWholeFile("/dev/full", "x", 1));
}
