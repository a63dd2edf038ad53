#pragma once

#include <chrono>

namespace mk {

// The waits and limits of printer communication, USB and network alike. The
// library always runs with the values below; tests shorten them through
// ScopedCommTiming.
struct CommTiming {
    using ms = std::chrono::milliseconds;

    // USB
    ms usbWriteStallLimit{30000};  // a printer that takes nothing this long fails the write
    ms usbStatusPause{500};        // between status attempts while busy
    ms usbTagReadPause{50};        // the printer reads the tag before it answers
    ms usbResponsePause{100};      // and settles after a print before "RP"

    // Network
    // A silent address would otherwise hold a connection attempt for the
    // minutes Linux allows; 20 s is what hosts of these printers expect.
    ms connectBound{20000};
    ms netReceiveTimeout{10000};  // the wait for a status reply
    ms netSendStallLimit{30000};  // a printer that takes nothing this long fails the send
    ms netStatusPause{500};       // between status attempts while busy
    ms tagWaitDefault{3000};      // call-back wait of a tag read given 0
    ms confirmWaitDefault{10000}; // call-back wait of a confirmed print given 0
    int firstCallbackPort = 9210; // the listening port search starts here

    // Print confirmations
    ms pnAnswerWait{10000};  // network: the printer calls back with "PN"
    ms rpAnswerWait{5000};   // USB: the printer answers "RP"
};

const CommTiming& commTiming();

// Tests only: puts other values beneath the library while it lives.
class ScopedCommTiming {
public:
    explicit ScopedCommTiming(const CommTiming& timing);
    ~ScopedCommTiming();
    ScopedCommTiming(const ScopedCommTiming&) = delete;
    ScopedCommTiming& operator=(const ScopedCommTiming&) = delete;

private:
    CommTiming timing_;
    const CommTiming* previous_;
};

}  // namespace mk
