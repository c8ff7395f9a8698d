// The user's own folder and the files in it: what another user plants,
// links or opens up is refused, and nothing lives in a shared folder.
#include "update/OwnFiles.h"
#include "OtherUser.h"
#include "ScopedEnvironment.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Whether OpenOwnFile takes path (and the descriptor it gave is closed again).
bool opens(const std::string& path, int flags = O_RDONLY) {
    const int fd = OpenOwnFile(path, flags);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

} // namespace

// $XDG_RUNTIME_DIR when it is the user's own; without it, or when it is open
// to everyone, a folder of the cache made 0700; $TMPDIR is never used.
TEST(OwnFiles, TheRuntimeFolderElseAPrivateCacheFolderNeverTheTemporaryOne) {
    TempDir runtime, cache, shared;
    const ScopedEnvironment temporary("TMPDIR", shared.path().c_str());
    const ScopedEnvironment cacheHome("XDG_CACHE_HOME", cache.path().c_str());
    {
        const ScopedEnvironment runtimeDirectory("XDG_RUNTIME_DIR", runtime.path().c_str());
        EXPECT_EQ(OwnDirectory(), runtime.path());
    }
    const std::string folder = cache.file("vellumo");
    {
        const ScopedEnvironment runtimeDirectory("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(OwnDirectory(), folder);
        EXPECT_EQ(modeOf(folder), 0700u);
    }
    ASSERT_EQ(::chmod(shared.path().c_str(), 01777), 0);
    const ScopedEnvironment openRuntime("XDG_RUNTIME_DIR", shared.path().c_str());
    EXPECT_EQ(OwnDirectory(), folder);
}

// A cache folder that another user owns or that others may write to is
// refused and named.
TEST(OwnFiles, AFolderOfAnotherUserOrOpenToOthersIsRefused) {
    TempDir cache;
    const ScopedEnvironment runtimeDirectory("XDG_RUNTIME_DIR", nullptr);
    const ScopedEnvironment cacheHome("XDG_CACHE_HOME", cache.path().c_str());
    const std::string folder = cache.file("vellumo");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chown(folder.c_str(), kOtherUser, kOtherUser), 0);
    std::string refused;
    EXPECT_FALSE(OwnDirectory(&refused));
    EXPECT_EQ(refused, folder);

    ASSERT_EQ(::chown(folder.c_str(), ::geteuid(), ::getegid()), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    refused.clear();
    EXPECT_FALSE(OwnDirectory(&refused));
    EXPECT_EQ(refused, folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    EXPECT_EQ(OwnDirectory(), folder);
}

// Only a plain file with one name that the user owns and nobody else may
// write to is opened; a link to the user's own file is replaced, never
// written through, and a FIFO never blocks.
TEST(OwnFiles, PlantedLinkedAndOddFilesAreRefused) {
    TempDir dir;
    const std::string own = dir.write("own", "mine");
    EXPECT_TRUE(opens(own));
    EXPECT_FALSE(IsForeignFile(own));

    const std::string planted = dir.write("planted", "theirs");
    ASSERT_EQ(::chown(planted.c_str(), kOtherUser, kOtherUser), 0);
    const std::string open = dir.write("open", "anyone's");
    ASSERT_EQ(::chmod(open.c_str(), 0666), 0);
    const std::string twin = dir.file("twin");
    ASSERT_EQ(::link(own.c_str(), twin.c_str()), 0);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.file("folder");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    TempDir victim;
    const std::string secret = victim.write("secret", "<key>SWURL</key><string>http://a/</string>");
    const std::string linked = dir.file("linked");
    std::filesystem::create_symlink(secret, linked);

    for (const std::string& path : {planted, open, twin, fifo, folder, linked}) {
        EXPECT_FALSE(opens(path, O_RDWR | O_TRUNC)) << path;
        EXPECT_TRUE(IsForeignFile(path)) << path;
        EXPECT_FALSE(ReadOwnFile(path)) << path;
    }
    // Refused before the truncation: another's bytes and the shared twin stay.
    EXPECT_EQ(ReadTestFile(planted), "theirs");
    EXPECT_EQ(ReadTestFile(own), "mine");

    ASSERT_TRUE(ReplaceOwnFile(linked, "new", 3));
    EXPECT_EQ(ReadTestFile(secret), "<key>SWURL</key><string>http://a/</string>");
    EXPECT_EQ(ReadOwnFile(linked), "new");
    EXPECT_EQ(modeOf(linked), 0600u);
}
