#include "TiedChild.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

pid_t SpawnTiedChild(const std::vector<std::string>& args, int input, int output) {
    // Built before the fork: the child may only make async-signal-safe calls.
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        _exit(127);
    if (input >= 0)
        ::dup2(input, STDIN_FILENO);
    if (output >= 0)
        ::dup2(output, STDOUT_FILENO);
    ::execv(argv[0], argv.data());
    _exit(127);
}
