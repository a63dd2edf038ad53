#include "support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace mk::testing {
namespace {

std::atomic<unsigned> addressCounter{0};
std::atomic<unsigned> portCounter{0};

}  // namespace

std::string uniqueLoopbackAddress() {
    // The process id takes the two lower bytes, a per-process counter the
    // second byte: 127.1.x.y upward, so 127.0.0.1 stays the host's.
    const unsigned pid = static_cast<unsigned>(getpid());
    const unsigned counter = addressCounter.fetch_add(1);
    const unsigned high = 1 + ((counter + (pid >> 16) * 37) % 254);
    return "127." + std::to_string(high) + "." + std::to_string((pid >> 8) & 0xff) + "." +
           std::to_string(pid & 0xff);
}

int uniquePortBase() {
    constexpr int kFirst = 20000;
    constexpr int kSlots = 600;  // 600 slots of 20 ports end at 31999
    const unsigned pid = static_cast<unsigned>(getpid());
    const unsigned slot = (pid + portCounter.fetch_add(1) * 211) % kSlots;
    return kFirst + static_cast<int>(slot) * 20;
}

bool isLoopbackAddress(const std::string& address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
    return (ntohl(parsed.s_addr) >> 24) == 127;
}

}  // namespace mk::testing

namespace mk::testing {

UnansweredEndpoint::UnansweredEndpoint(int port) : address_(uniqueLoopbackAddress()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Backlog 0 queues a single connection, which the filler takes.
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        listen(listener_, 0) != 0) {
        return;
    }
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ready_ = filler_ >= 0 && connect(filler_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

UnansweredEndpoint::~UnansweredEndpoint() {
    if (filler_ >= 0) close(filler_);
    if (listener_ >= 0) close(listener_);
}

}  // namespace mk::testing
