// One running instance per user: a second start sees the lock held.
#include "OtherUser.h"
#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "update/CSingleInstanceLock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// Whether a fresh process can take the lock.
bool otherProcessAcquires(const std::string& directory) {
    const pid_t child = fork();
    if (child == 0) {
        CSingleInstanceLock lock(CSingleInstanceLock::kWindowClassName, directory);
        _exit(lock.TryAcquire() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(SingleInstanceLock, HeldByOneInstanceUntilItEnds) {
    TempDir dir;
    {
        CSingleInstanceLock running(CSingleInstanceLock::kWindowClassName, dir.path());
        ASSERT_TRUE(running.TryAcquire());
        EXPECT_TRUE(running.IsHeld());
        EXPECT_FALSE(otherProcessAcquires(dir.path()));
        // Another holder in the same process counts as another instance too.
        CSingleInstanceLock second(CSingleInstanceLock::kWindowClassName, dir.path());
        EXPECT_FALSE(second.TryAcquire());
        EXPECT_FALSE(second.IsHeld());
    }
    // The file stays; the lock went with its holder.
    EXPECT_TRUE(otherProcessAcquires(dir.path()));
}

TEST(SingleInstanceLock, LivesInTheUsersOwnFolder) {
    TempDir runtime;
    const ScopedEnvironment runtimeDirectory("XDG_RUNTIME_DIR", runtime.path().c_str());
    EXPECT_EQ(CSingleInstanceLock().Path(), runtime.path() + "/ZentharTavoli.lock");
}

// Without $XDG_RUNTIME_DIR another user of a shared temporary folder creates
// and holds the files that the locks of the start and of the download used
// to take there: neither start nor download is blocked.
TEST(SingleInstanceLock, AnotherUsersLocksInTheSharedTemporaryFolderBlockNothing) {
    TempDir shared, cache;
    ASSERT_EQ(::chmod(shared.path().c_str(), 01777), 0);
    const ScopedEnvironment noRuntimeDirectory("XDG_RUNTIME_DIR", nullptr);
    const ScopedEnvironment temporaryDirectory("TMPDIR", shared.path().c_str());
    const ScopedEnvironment cacheHome("XDG_CACHE_HOME", cache.path().c_str());
    const std::string uid = std::to_string(::getuid());
    const OtherUserHolding other({shared.file("ZentharTavoli-" + uid + ".lock"),
                                  shared.file("ZentharTavoliGlobalMutex-" + uid + ".lock")});
    ASSERT_TRUE(other.isHolding());

    CSingleInstanceLock start;
    EXPECT_TRUE(start.TryAcquire());
    EXPECT_TRUE(start.IsHeld());
    EXPECT_EQ(start.Path(), cache.file("vellumo/ZentharTavoli.lock"));
    CSingleInstanceLock download("ZentharTavoliGlobalMutex");
    EXPECT_TRUE(download.TryAcquire());
    EXPECT_TRUE(download.IsHeld());
}

// A lock file that is a link, a FIFO, a folder or another user's is not
// taken, and keeps nothing from starting.
TEST(SingleInstanceLock, ARefusedLockFileIsNotTaken) {
    TempDir dir;
    ASSERT_EQ(::symlink("/etc/passwd", dir.file("link.lock").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo.lock").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.file("folder.lock").c_str(), 0700), 0);
    dir.write("planted.lock", "");
    ASSERT_EQ(::chown(dir.file("planted.lock").c_str(), kOtherUser, kOtherUser), 0);
    for (const char* name : {"link", "fifo", "folder", "planted"}) {
        CSingleInstanceLock lock(name, dir.path());
        EXPECT_TRUE(lock.TryAcquire()) << name;
        EXPECT_FALSE(lock.IsHeld()) << name;
    }
}

TEST(SingleInstanceLock, AnUnusableDirectoryDoesNotKeepTheApplicationFromStarting) {
    CSingleInstanceLock lock(CSingleInstanceLock::kWindowClassName, "/nonexistent/dir");
    EXPECT_TRUE(lock.TryAcquire());
    EXPECT_FALSE(lock.IsHeld());
}
