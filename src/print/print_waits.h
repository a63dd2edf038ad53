#pragma once

namespace mk {

// How long the print calls wait for a printer to confirm a label. Tests
// shorten them through ScopedPrintWaits; the library always runs with these
// values.
struct PrintWaits {
    int pnAnswerMs = 10000;  // network: the printer calls back with "PN"
    int rpAnswerMs = 5000;   // USB: the printer answers "RP"
};

const PrintWaits& printWaits();

class ScopedPrintWaits {
public:
    explicit ScopedPrintWaits(const PrintWaits& waits);
    ~ScopedPrintWaits();
    ScopedPrintWaits(const ScopedPrintWaits&) = delete;
    ScopedPrintWaits& operator=(const ScopedPrintWaits&) = delete;

private:
    PrintWaits waits_;
    const PrintWaits* previous_;
};

}  // namespace mk
