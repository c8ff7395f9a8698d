// One running instance per user: a second start sees the lock held.
#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "update/CSingleInstanceLock.h"

#include <gtest/gtest.h>
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

TEST(SingleInstanceLock, LivesInTheRuntimeDirectoryElseInTheSharedTemporaryOne) {
    TempDir runtime;
    {
        ScopedEnvironment runtimeDirectory("XDG_RUNTIME_DIR", runtime.path().c_str());
        EXPECT_EQ(CSingleInstanceLock().Path(), runtime.path() + "/ZentharTavoli.lock");
    }
    ScopedEnvironment noRuntimeDirectory("XDG_RUNTIME_DIR", nullptr);
    ScopedEnvironment temporaryDirectory("TMPDIR", runtime.path().c_str());
    EXPECT_EQ(CSingleInstanceLock().Path(),
              runtime.path() + "/ZentharTavoli-" + std::to_string(getuid()) + ".lock");
}

TEST(SingleInstanceLock, AnUnusableDirectoryDoesNotKeepTheApplicationFromStarting) {
    CSingleInstanceLock lock(CSingleInstanceLock::kWindowClassName, "/nonexistent/dir");
    EXPECT_TRUE(lock.TryAcquire());
    EXPECT_FALSE(lock.IsHeld());
}
