// The host's own addresses, the same on every platform: only the interface
// listing beneath comes from the system.
#include <algorithm>
#include <atomic>

#include "platform/tcp_socket.h"
#include "platform/tcp_socket_testing.h"

namespace mk::platform {
namespace {

constinit std::atomic<const std::vector<InterfaceAddress>*> interfaceOverride{nullptr};

}  // namespace

std::vector<std::string> hostIpv4Addresses() {
    const std::vector<InterfaceAddress>* override = interfaceOverride.load();
    std::vector<InterfaceAddress> interfaces = override != nullptr ? *override : interfaceIpv4Addresses();
    std::stable_partition(interfaces.begin(), interfaces.end(), [](const InterfaceAddress& entry) { return !entry.loopback; });
    std::vector<std::string> addresses;
    addresses.reserve(interfaces.size());
    for (InterfaceAddress& entry : interfaces) addresses.push_back(std::move(entry.address));
    return addresses;
}

ScopedInterfaceAddresses::ScopedInterfaceAddresses(std::vector<InterfaceAddress> addresses)
    : addresses_(std::move(addresses)), previous_(interfaceOverride.exchange(&addresses_)) {}

ScopedInterfaceAddresses::~ScopedInterfaceAddresses() { interfaceOverride.store(previous_); }

}  // namespace mk::platform
