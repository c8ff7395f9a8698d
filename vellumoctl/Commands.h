#pragma once

#include "DmpVellumoApi.h"

// Sub-commands of vellumoctl. Each gets the arguments after its own name and
// returns the process's exit code.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int RunPlay(int argc, char** argv);
int RunVersion(int argc, char** argv);
int RunDiscover(int argc, char** argv);
int RunFirewall(int argc, char** argv);
int RunDoctor(int argc, char** argv);

// The library's exports as the program links them, in the application's
// table: the play command drives a Box and a renderer through the same calls.
DmpVellumoApi LinkedDmpVellumoApi();
