#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/loopback.h"

namespace {

using mk::platform::TcpSocket;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

TEST(TcpSocket, AddressTextsCompareByTheAddressTheyName) {
    struct Case {
        const char* text;
        const char* canonical;
    };
    const Case cases[] = {
        {"192.168.1.20", "192.168.1.20"},
        {"127.0.0.1", "127.0.0.1"},
        {"printer.local", "0.0.0.0"},  // no name is resolved
        {"300.1.1.1", "0.0.0.0"},
        {"", "0.0.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(mk::platform::canonicalIpv4(c.text), c.canonical);
    }
}

TEST(TcpSocket, HostAddressesAreDottedIpv4) {
    for (const std::string& address : mk::platform::hostIpv4Addresses()) {
        EXPECT_EQ(mk::platform::canonicalIpv4(address), address);
        EXPECT_NE(address, "0.0.0.0");
    }
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
    const int port = mk::test::uniquePortBase();
    TcpSocket listener = TcpSocket::open();
    ASSERT_TRUE(listener.bind(listenAddress, port));
    ASSERT_TRUE(listener.listen(1));

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
    for (int attempt = 0; attempt < 8 && result >= 0; ++attempt) result = accepted.sendSome(block.data(), block.size());
    EXPECT_EQ(result, -1);
}

}  // namespace
