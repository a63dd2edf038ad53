#pragma once

#include <chrono>
#include <string>

#include "comm/comm_timing.h"
#include "platform/tcp_socket_testing.h"
#include "support/loopback.h"

namespace mk::test {

// Keeps a test's call-backs to itself: the host is told to be a loopback
// address of the test's own, listeners search a port range of the test's own,
// and the default waits are short. Restores the shipped values when it goes.
class CallbackTestSetup {
public:
    explicit CallbackTestSetup(int tagWaitDefaultMs = 400, int confirmWaitDefaultMs = 600)
        : hostAddress_(uniqueLoopbackAddress()),
          firstPort_(uniquePortBase()),
          hostAddresses_({{hostAddress_, true}}),
          timing_(CommTiming{.tagWaitDefault = std::chrono::milliseconds(tagWaitDefaultMs),
                             .confirmWaitDefault = std::chrono::milliseconds(confirmWaitDefaultMs),
                             .firstCallbackPort = firstPort_}) {}

    const std::string& hostAddress() const { return hostAddress_; }
    int firstPort() const { return firstPort_; }
    // The call-back command the printer is expected to receive.
    std::string callbackCommand(int port) const {
        return "NB" + std::to_string(port) + "," + hostAddress_ + ",1\r\n";
    }

private:
    std::string hostAddress_;
    int firstPort_;
    platform::ScopedInterfaceAddresses hostAddresses_;
    ScopedCommTiming timing_;
};

}  // namespace mk::test
