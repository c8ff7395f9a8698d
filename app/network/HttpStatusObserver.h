#pragma once

#include <cstdint>
#include <string>

// Progress of the files HttpServer sends, reported on the server's worker
// thread. Every call receives the full local path of the file.
class HttpStatusObserver {
public:
    virtual ~HttpStatusObserver() = default;
    virtual void TransferStarted(const std::string& path) = 0;
    // After each block: bytes sent so far and the file's length.
    virtual void TransferProgress(const std::string& path, std::uint32_t sentBytes,
                                  std::uint32_t totalBytes) = 0;
    // Once a transfer of an opened file has ended, complete or not.
    virtual void TransferFinished(const std::string& path) = 0;
};
