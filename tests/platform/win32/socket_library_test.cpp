// Winsock counts its starts for the whole process: a start of ours left
// behind keeps it running for the host, a clean-up too many ends it under
// the host's own sockets. Runs in a program of its own, which starts Winsock
// nowhere else, so that what is left at the end is the library's doing.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "comm/net_transport.h"
#include "portable/socket_use.h"

namespace {

using mk::platform::ScopedSocketLibraryCalls;
using mk::platform::SocketUse;

// A loopback address nothing listens on: every exchange is refused at once,
// after the library has started Winsock and opened a socket.
const std::string kNobody = "127.77.41.9";
const std::string kJob = "^XA^XZ";

bool sendJob() {
    return mk::sendTcp(kNobody, 9100, reinterpret_cast<const uint8_t*>(kJob.data()), static_cast<int>(kJob.size()));
}

std::atomic<int> starts{0};
std::atomic<int> stops{0};
std::atomic<bool> startFails{false};

bool countedStart() {
    ++starts;
    return !startFails && mk::platform::startSocketLibrary();
}
void countedStop() {
    ++stops;
    mk::platform::stopSocketLibrary();
}

// True when Winsock is not running in this process.
bool winsockStopped() {
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe != INVALID_SOCKET) {
        closesocket(probe);
        return false;
    }
    return WSAGetLastError() == WSANOTINITIALISED;
}

TEST(SocketLibrary, FailedStartFailsTheExchangeAndIsTriedAgainByTheNext) {
    starts = 0;
    stops = 0;
    const ScopedSocketLibraryCalls calls({countedStart, countedStop});
    startFails = true;
    EXPECT_FALSE(sendJob());
    EXPECT_EQ(mk::queryNetStatusOnce(kNobody), -504);
    EXPECT_EQ(SocketUse::count(), 0);
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(stops, 0) << "a start that failed is not cleaned up";
    EXPECT_TRUE(winsockStopped());

    startFails = false;
    EXPECT_FALSE(sendJob());  // refused, with Winsock started for it
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(SocketUse::count(), 0);
    EXPECT_TRUE(winsockStopped());
}

TEST(SocketLibrary, HostsOwnStartAndCleanUpEndWinsockAfterTheLibrarysThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 25; ++i) {
                sendJob();
                mk::queryNetStatusOnce(kNobody);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(SocketUse::count(), 0);

    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_FALSE(winsockStopped());
    WSACleanup();
    EXPECT_TRUE(winsockStopped()) << "a start of the library's is still held";
}

}  // namespace
