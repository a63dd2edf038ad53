#pragma once

#include <string>

#include "comm/net_timing_testing.h"
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
          timing_(NetTiming{.tagWaitDefaultMs = tagWaitDefaultMs,
                            .confirmWaitDefaultMs = confirmWaitDefaultMs,
                            .firstCallbackPort = firstPort_}) {
        setLocalAddressesForTesting(std::vector<std::string>{hostAddress_});
    }

    const std::string& hostAddress() const { return hostAddress_; }
    int firstPort() const { return firstPort_; }
    // The call-back command the printer is expected to receive.
    std::string callbackCommand(int port) const {
        return "NB" + std::to_string(port) + "," + hostAddress_ + ",1\r\n";
    }

private:
    std::string hostAddress_;
    int firstPort_;
    NetTimingOverride timing_;
};

}  // namespace mk::test
