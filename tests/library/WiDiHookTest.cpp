// The WiDi window hook's decision: the WiDi application's windows are refused
// unless another party holds the lock.
#include "CWiDiHook.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TEST(WiDiHook, RefusesWiDiWindowsUnlessTheLockIsHeld) {
    TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    const std::string widi = "/opt/Intel/WiDi/WiDiApp.exe";

    // No lock file at all.
    EXPECT_TRUE(CWiDiHook::ShouldRefuseWindow(widi));
    EXPECT_FALSE(CWiDiHook::ShouldRefuseWindow("/usr/bin/vellumo"));
    // Matching is case-sensitive, as the original check was.
    EXPECT_FALSE(CWiDiHook::ShouldRefuseWindow("/opt/widiapp.exe"));

    // A lock file nobody holds does not count.
    const int fd = ::open(CWiDiHook::LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(CWiDiHook::ShouldRefuseWindow(widi));

    ASSERT_EQ(::flock(fd, LOCK_SH), 0);
    EXPECT_FALSE(CWiDiHook::ShouldRefuseWindow(widi));
    ::close(fd);
    EXPECT_TRUE(CWiDiHook::ShouldRefuseWindow(widi));
    unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
