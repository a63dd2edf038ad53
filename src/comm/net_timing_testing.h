#pragma once

#include <optional>
#include <string>
#include <vector>

#include "comm/net_timing.h"

namespace mk {

// Tests only: shorter waits, a private port range, and a fixed list of host
// addresses so that call-backs stay on the test's own loopback addresses.
// Not for use while another thread runs a network exchange.
void setNetTimingForTesting(const NetTiming& timing);
void setLocalAddressesForTesting(std::optional<std::vector<std::string>> addresses);

// Restores the shipped values when it goes.
class NetTimingOverride {
public:
    explicit NetTimingOverride(const NetTiming& timing) { setNetTimingForTesting(timing); }
    ~NetTimingOverride() {
        setNetTimingForTesting(NetTiming{});
        setLocalAddressesForTesting(std::nullopt);
    }
    NetTimingOverride(const NetTimingOverride&) = delete;
    NetTimingOverride& operator=(const NetTimingOverride&) = delete;
};

}  // namespace mk
