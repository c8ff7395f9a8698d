#pragma once

#include <string>

struct CommandOutput {
    std::string standardOutput;
    int exitCode = -1;
};

// Runs a shell command line on the calling thread (and so in its network
// namespace) and collects its standard output and exit code.
CommandOutput RunCommand(const std::string& commandLine);
