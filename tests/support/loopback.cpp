#include "support/loopback.h"

#include <atomic>

#include "support/test_sockets.h"

namespace mk::test {
namespace {

std::atomic<unsigned> addressCounter{0};
std::atomic<unsigned> portCounter{0};

}  // namespace

std::string uniqueLoopbackAddress() {
    // The process id takes the two lower bytes, a per-process counter the
    // second byte: 127.1.x.y upward, so 127.0.0.1 stays the host's.
    const unsigned pid = testProcessNumber();
    const unsigned counter = addressCounter.fetch_add(1);
    const unsigned high = 1 + ((counter + (pid >> 16) * 37) % 254);
    return "127." + std::to_string(high) + "." + std::to_string((pid >> 8) & 0xff) + "." +
           std::to_string(pid & 0xff);
}

int uniquePortBase() {
    constexpr int kFirst = 20000;
    constexpr int kSlots = 600;  // 600 slots of 20 ports end at 31999
    const unsigned pid = testProcessNumber();
    const unsigned slot = (pid + portCounter.fetch_add(1) * 211) % kSlots;
    return kFirst + static_cast<int>(slot) * 20;
}

bool isLoopbackAddress(const std::string& address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
    return (ntohl(parsed.s_addr) >> 24) == 127;
}

bool reuseAddressAsListenersDo([[maybe_unused]] int socket) {
#ifdef _WIN32
    return true;
#else
    return setSocketOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
#endif
}

}  // namespace mk::test

namespace mk::test {

UnansweredEndpoint::UnansweredEndpoint(int port) : address_(uniqueLoopbackAddress()) {
    const sockaddr_in local = socketAddress(address_, port);
    listener_ = openSocket();
    // Backlog 0 queues a single connection, which the filler takes.
    if (listener_ < 0 || !reuseAddressAsListenersDo(listener_) ||
        bind(listener_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 || listen(listener_, 0) != 0) {
        return;
    }
    filler_ = openSocket();
    ready_ = filler_ >= 0 && connect(filler_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

UnansweredEndpoint::~UnansweredEndpoint() {
    if (filler_ >= 0) closeSocket(filler_);
    if (listener_ >= 0) closeSocket(listener_);
}

}  // namespace mk::test
