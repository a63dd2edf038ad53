#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "portable/socket_use.h"
#include "platform/tcp_socket_testing.h"
#include "support/loopback.h"

namespace {

using mk::platform::TcpSocket;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The system's sockets work while its socket library is started, as the
// library's own exchanges start it.
class SocketLibraryStarted : public ::testing::Environment {
    std::unique_ptr<mk::platform::SocketUse> library_;
    void SetUp() override {
        library_ = std::make_unique<mk::platform::SocketUse>(mk::platform::SocketUse::Uncounted);
    }
    void TearDown() override { library_.reset(); }
};
::testing::Environment* const socketLibrary = ::testing::AddGlobalTestEnvironment(new SocketLibraryStarted);

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// A new socket bound (listening when asked) to the first of this process's
// ports on address that no other program holds; the port, or -1.
int ownPort(TcpSocket& socket, const std::string& address, bool listen) {
    const int base = mk::test::uniquePortBase();
    for (int port = base; port < base + 20; ++port) {
        socket = TcpSocket::open();
        if (listen ? socket.listenOn(address, port) : socket.bind(address, port)) return port;
    }
    return -1;
}

TEST(TcpSocket, OnlyDottedIpv4TextsNameAHost) {
    struct Case {
        const char* text;
        bool host;
        const char* canonical;
    };
    const Case cases[] = {
        {"192.168.1.20", true, "192.168.1.20"},
        {"127.0.0.1", true, "127.0.0.1"},
        {"255.255.255.255", true, "255.255.255.255"},
        {"0.0.0.0", false, "0.0.0.0"},  // the local host on some systems
        {"printer.local", false, "0.0.0.0"},  // no name is resolved
        {"bogus", false, "0.0.0.0"},
        {"300.1.1.1", false, "0.0.0.0"},
        {" 10.0.0.5", false, "0.0.0.0"},
        {"10.0.0.5 ", false, "0.0.0.0"},
        {"10.0.0.5.", false, "0.0.0.0"},
        {"10.0.5", false, "0.0.0.0"},
        {"fe80::1", false, "0.0.0.0"},
        {"", false, "0.0.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(mk::platform::isHostIpv4(c.text), c.host);
        EXPECT_EQ(mk::platform::canonicalIpv4(c.text), c.canonical);
    }
}

// An address that names no host is refused before a packet leaves: Linux
// would connect 0.0.0.0, and so a text that does not convert, to 127.0.0.1.
TEST(TcpSocket, ConnectRefusesTextsThatNameNoHost) {
    TcpSocket local;
    const int port = ownPort(local, "127.0.0.1", true);
    ASSERT_GT(port, 0);
    for (const char* text : {"0.0.0.0", "bogus", " 127.0.0.1", "127.0.0.1.", ""}) {
        SCOPED_TRACE(text);
        TcpSocket socket = TcpSocket::open();
        EXPECT_FALSE(socket.connect(text, port, milliseconds(1000)));
    }
    std::string peer;
    EXPECT_FALSE(local.acceptBefore(Clock::now() + milliseconds(100), peer).valid()) << peer;
}

TEST(TcpSocket, HostAddressesPutLoopbackAfterTheOthers) {
    {
        const mk::platform::ScopedInterfaceAddresses interfaces(
            {{"127.0.0.1", true}, {"192.0.2.2", false}, {"127.0.1.1", true}, {"198.51.100.7", false}});
        EXPECT_EQ(mk::platform::hostIpv4Addresses(),
                  (std::vector<std::string>{"192.0.2.2", "198.51.100.7", "127.0.0.1", "127.0.1.1"}));
    }
    // This host's own interfaces, as the system lists them.
    bool loopbackSeen = false;
    for (const std::string& address : mk::platform::hostIpv4Addresses()) {
        EXPECT_TRUE(mk::platform::isHostIpv4(address)) << address;
        const bool loopback = address.rfind("127.", 0) == 0;
        EXPECT_TRUE(loopback || !loopbackSeen) << address << " after a loopback address";
        loopbackSeen = loopbackSeen || loopback;
    }
}

// A port that a socket of the test holds without listening: the refusal comes
// back after the connect call has returned, and still fails it.
TEST(TcpSocket, RefusedConnectFails) {
    const std::string address = mk::test::uniqueLoopbackAddress();
    TcpSocket holder;
    const int port = ownPort(holder, address, false);
    ASSERT_GT(port, 0);
    TcpSocket socket = TcpSocket::open();
    EXPECT_FALSE(socket.connect(address, port, milliseconds(2000)));
}

TEST(TcpSocket, UnansweredConnectGivesUpAtItsBound) {
    mk::test::UnansweredEndpoint silent(9100);
    ASSERT_TRUE(silent.ready());
    TcpSocket socket = TcpSocket::open();
    const auto start = Clock::now();
    EXPECT_FALSE(socket.connect(silent.address(), 9100, milliseconds(400)));
    EXPECT_GE(millisecondsSince(start), 400);
    EXPECT_LT(millisecondsSince(start), 3000);
}

TEST(TcpSocket, AcceptWaitsItsTimeAndNamesThePeer) {
    const std::string listenAddress = mk::test::uniqueLoopbackAddress();
    const std::string peerAddress = mk::test::uniqueLoopbackAddress();
    TcpSocket listener;
    const int port = ownPort(listener, listenAddress, true);
    ASSERT_GT(port, 0);

    std::string peer = "stale";
    const auto start = Clock::now();
    EXPECT_FALSE(listener.acceptBefore(Clock::now() + milliseconds(250), peer).valid());
    EXPECT_GE(millisecondsSince(start), 250);
    EXPECT_EQ(peer, "");

    TcpSocket client = TcpSocket::open();
    ASSERT_TRUE(client.bind(peerAddress, 0));
    ASSERT_TRUE(client.connect(listenAddress, port, milliseconds(2000)));
    TcpSocket accepted = listener.acceptBefore(Clock::now() + milliseconds(2000), peer);
    ASSERT_TRUE(accepted.valid());
    EXPECT_EQ(peer, peerAddress);

    // A peer that has gone makes a send fail rather than raise a signal.
    client.close();
    const std::string block(1 << 20, 'x');
    long result = 0;
    for (int attempt = 0; attempt < 8 && result >= 0; ++attempt) {
        result = accepted.sendSome(block.data(), block.size(), Clock::now() + milliseconds(2000));
    }
    EXPECT_EQ(result, -1);
}

// The host hangs up first, so its end of each call-back lingers in TIME_WAIT
// on the listening port; the next listener must still get that port, but
// never one that another socket listens on.
TEST(TcpSocket, ListenerTakesAPortStillClosingButNotOneInUse) {
    const std::string address = mk::test::uniqueLoopbackAddress();
    int port = -1;
    {
        TcpSocket listener;
        port = ownPort(listener, address, true);
        ASSERT_GT(port, 0);
        TcpSocket second = TcpSocket::open();
        EXPECT_FALSE(second.listenOn(address, port));
        TcpSocket client = TcpSocket::open();
        ASSERT_TRUE(client.connect(address, port, milliseconds(2000)));
        std::string peer;
        TcpSocket accepted = listener.acceptBefore(Clock::now() + milliseconds(2000), peer);
        ASSERT_TRUE(accepted.valid());
        accepted.close();  // first, as the host does
        char byte = 0;
        EXPECT_EQ(client.receiveSome(&byte, 1), 0);
    }
    TcpSocket again = TcpSocket::open();
    EXPECT_TRUE(again.listenOn(address, port));
}

}  // namespace
