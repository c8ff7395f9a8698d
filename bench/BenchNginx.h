#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

// nginx as the benchmarks' reference HTTP server: one worker, sendfile on,
// serving root on 127.0.0.1:port, its files kept under base.

// A new folder under $TMPDIR (else /tmp) named after the benchmark, with a
// "root" folder inside, both readable by the user nginx may read as; empty
// when it cannot be made.
std::filesystem::path MakeNginxBase(const std::string& benchmarkName);

// A loopback port no socket holds now, for nginx to listen on.
std::uint16_t FreeLoopbackPort();

// A connected loopback client socket (TCP_NODELAY), or -1.
int ConnectLoopback(std::uint16_t port);

// Its pid once it listens, or -1 (after five seconds at most).
pid_t StartNginx(const std::filesystem::path& base, const std::filesystem::path& root,
                 std::uint16_t port);
void StopNginx(pid_t pid);
