#include "CommandRunner.h"

#include <sys/wait.h>

#include <cstdio>

CommandOutput RunCommand(const std::string& commandLine) {
    CommandOutput output;
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.standardOutput.append(buffer, count);
    }
    const int status = pclose(pipe);
    output.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}
