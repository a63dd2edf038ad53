#include "comm/net_timing.h"

#include <optional>

#include "comm/net_timing_testing.h"
#include "platform/tcp_socket.h"

namespace mk {
namespace {

NetTiming& currentTiming() {
    static NetTiming timing;
    return timing;
}

std::optional<std::vector<std::string>>& addressOverride() {
    static std::optional<std::vector<std::string>> addresses;
    return addresses;
}

}  // namespace

const NetTiming& netTiming() { return currentTiming(); }

std::vector<std::string> localIpv4Addresses() {
    if (addressOverride()) return *addressOverride();
    return platform::hostIpv4Addresses();
}

void setNetTimingForTesting(const NetTiming& timing) { currentTiming() = timing; }

void setLocalAddressesForTesting(std::optional<std::vector<std::string>> addresses) {
    addressOverride() = std::move(addresses);
}

}  // namespace mk
