#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

// A user id that no account of the test machine needs: files given to it,
// and a process that switches to it, belong to another user. Tests that use
// it run as root.
inline constexpr uid_t kOtherUser = 4242;

// A process of kOtherUser that creates each path open to everyone (0666)
// and holds an exclusive flock() on it until this object goes, as another
// local user could in a shared folder.
class OtherUserHolding {
public:
    explicit OtherUserHolding(const std::vector<std::string>& paths) {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(ready[0]);
            ::umask(0);
            bool isHolding = ::setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
                             ::setresuid(kOtherUser, kOtherUser, kOtherUser) == 0;
            for (const std::string& path : paths) {
                const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
                isHolding = isHolding && fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
            }
            const char answer = isHolding ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char answer = 'n';
        m_isHolding = m_child > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~OtherUserHolding() {
        if (m_child <= 0)
            return;
        ::kill(m_child, SIGKILL);
        ::waitpid(m_child, nullptr, 0);
    }
    OtherUserHolding(const OtherUserHolding&) = delete;
    OtherUserHolding& operator=(const OtherUserHolding&) = delete;

    bool isHolding() const { return m_isHolding; }

private:
    pid_t m_child = -1;
    bool m_isHolding = false;
};
