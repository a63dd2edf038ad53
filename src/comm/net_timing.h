#pragma once

#include <string>
#include <vector>

namespace mk {

// The waits and limits of the network exchanges. The values below are the
// ones the library ships with; only tests change them (net_timing_testing.h).
struct NetTiming {
    // A silent address would otherwise hold a connection attempt for the
    // minutes Linux allows; 20 s is what hosts of these printers expect.
    int connectBoundMs = 20000;
    int statusPauseMs = 500;          // between status attempts while busy
    int tagWaitDefaultMs = 3000;      // call-back wait of a tag read given 0
    int confirmWaitDefaultMs = 10000; // call-back wait of a confirmed print given 0
    int firstCallbackPort = 9210;     // the listening port search starts here
};

const NetTiming& netTiming();

// The host's IPv4 addresses the call-back address is chosen from.
std::vector<std::string> localIpv4Addresses();

}  // namespace mk
