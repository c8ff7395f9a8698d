#pragma once

#include "tools/CommandProcessor.h"

#include <cstdint>
#include <memory>
#include <netinet/in.h>

namespace kvu::net {

class CServerObserver;

// A TCP listener on IPv4 that accepts connections one at a time on the worker
// thread of its own command queue and hands each to its observer. Start, Stop
// and destruction run on the owner's thread, never on the worker.
class CSocketServer : public kvu::tools::CommandProcessor<int> {
public:
    static constexpr std::uint16_t kDefaultPort = 7272;

    // Port 0 lets the system choose one; BoundPort tells which.
    explicit CSocketServer(std::uint16_t port = kDefaultPort, in_addr_t address = INADDR_ANY);
    ~CSocketServer() override;
    CSocketServer(const CSocketServer&) = delete;
    CSocketServer& operator=(const CSocketServer&) = delete;

    // Set before Start; cleared before Stop by an owner that is going away.
    void SetObserver(CServerObserver* observer);

    bool Start();
    // Returns once the worker has finished the connection it serves.
    bool Stop();

    // The port listened on, or 0 when not listening.
    std::uint16_t BoundPort() const;

    bool Execute(int command) override;

private:
    bool Bind();
    bool Accept();

    struct Private;
    std::unique_ptr<Private> m_private;
};

} // namespace kvu::net
