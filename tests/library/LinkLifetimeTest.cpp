// Opening and closing box links, including the ways a Box can leave a link
// blocked: a connect nobody answers, a Box that stopped reading.
#include "CDmpVellumo.h"
#include "LinkTestSupport.h"
#include "LoopbackListener.h"
#include "RawBoxPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port where connects hang: a listener with a full accept queue drops
// further handshakes instead of refusing them.
class SilentListener {
public:
    SilentListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(m_listener.port());
        // Fills the queue.
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::connect(m_filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~SilentListener() { ::close(m_filler); }
    int Port() const { return m_listener.port(); }

private:
    LoopbackListener m_listener{0};
    int m_filler;
};

int unusedPort() {
    return LoopbackListener().port();
}

TEST(LinkLifetime, FailedSynchronousOpenReportsConnectErrorThenClosedAndDropsObservers) {
    RecordingObserver observer;
    CDmpVellumo link;
    link.AddObserver(&observer);
    EXPECT_FALSE(link.OpenConnection("127.0.0.1", unusedPort(), false));
    EXPECT_EQ(observer.Events(), (std::vector<std::string>{"error -4", "closed"}));
    EXPECT_FALSE(link.Pause());
    EXPECT_EQ(observer.Events().size(), 2u);
}

TEST(LinkLifetime, HostThatIsNotADottedAddressFailsToConnect) {
    RecordingObserver observer;
    CDmpVellumo link;
    link.AddObserver(&observer);
    EXPECT_FALSE(link.OpenConnection("localhost", unusedPort(), false));
    EXPECT_EQ(observer.Count("error -4"), 1u);
}

TEST(LinkLifetime, AsynchronousOpenReportsConnectedOnTheWorker) {
    RawBoxPeer peer;
    RecordingObserver observer;
    CDmpVellumo link;
    link.AddObserver(&observer);
    ASSERT_TRUE(link.OpenConnection("127.0.0.1", peer.Port(), true));
    peer.AcceptPair();
    ASSERT_TRUE(observer.WaitFor("connected"));
    EXPECT_TRUE(link.AreConnectionsOpen());
}

TEST(LinkLifetime, FailedAsynchronousOpenReportsConnectErrorOnly) {
    RecordingObserver observer;
    CDmpVellumo link;
    link.AddObserver(&observer);
    ASSERT_TRUE(link.OpenConnection("127.0.0.1", unusedPort(), true));
    ASSERT_TRUE(observer.WaitFor("error -4"));
    EXPECT_EQ(observer.Count("closed"), 0u);
}

TEST(LinkLifetime, DestroyingALinkWhoseConnectHangsFinishes) {
    SilentListener silent;
    RecordingObserver observer;
    {
        CDmpVellumo link;
        link.AddObserver(&observer);
        ASSERT_TRUE(link.OpenConnection("127.0.0.1", silent.Port(), true));
    }
    EXPECT_EQ(observer.Count("connected"), 0u);
}

TEST(LinkLifetime, CloseWithoutCommandConnectionSendsNothingAndStopsWorkers) {
    CDmpVellumo link;
    link.CloseConnection();
    EXPECT_FALSE(link.AreConnectionsOpen());
    EXPECT_EQ(link.CurrentIndex(), -1);
}

TEST(LinkLifetime, CloseEndsAWriterBlockedOnABoxThatStoppedReading) {
    TempDir dir;
    RawBoxPeer peer;
    RecordingObserver observer;
    CDmpVellumo link;
    link.AddObserver(&observer);
    ASSERT_TRUE(link.OpenConnection("127.0.0.1", peer.Port(), false));
    peer.AcceptPair();
    peer.ShrinkDataReceiveBuffer();
    ASSERT_TRUE(link.AddFiles({MakePatternFile(dir, "huge", 32 << 20).wstring()}, -1));
    ASSERT_TRUE(link.Play(kMediaTypeVideo));
    peer.WriteStatus("stat", 1, "play", 0);
    peer.ReadData(13);
    // The reader now waits for the worker, which waits for the Box.
    peer.WriteStatus("stat", 2, "stop", 0);
    link.CloseConnection();
    EXPECT_EQ(observer.Events().back(), "closed");
    EXPECT_FALSE(link.AreConnectionsOpen());
}

} // namespace
