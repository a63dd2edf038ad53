#pragma once

#include <cstddef>
#include <vector>

#include "platform/tcp_socket.h"

namespace mk::platform {

// Tests only: makes every send take at most this many bytes, as a busy
// system may, so that the callers' send loops are exercised; 0 lifts it.
void setSendLimitForTesting(std::size_t bytes);

// Tests only: while it lives, the host's interfaces are these, in this order,
// instead of the system's own.
class ScopedInterfaceAddresses {
public:
    explicit ScopedInterfaceAddresses(std::vector<InterfaceAddress> addresses);
    ~ScopedInterfaceAddresses();
    ScopedInterfaceAddresses(const ScopedInterfaceAddresses&) = delete;
    ScopedInterfaceAddresses& operator=(const ScopedInterfaceAddresses&) = delete;

private:
    std::vector<InterfaceAddress> addresses_;
    const std::vector<InterfaceAddress>* previous_;
};

}  // namespace mk::platform
