#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Starts args[0] with args, its standard input and output replaced by the
// given descriptors where they are not -1. The child dies with the test
// process: an orphan would keep the test runner's output pipe open and hang
// the run. The child's pid, or -1.
pid_t SpawnTiedChild(const std::vector<std::string>& args, int input, int output);
