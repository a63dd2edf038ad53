#pragma once

#include <chrono>
#include <thread>

namespace mk {

// 1 and 4 are states a printer passes through on its own: both status
// queries ask again while the printer reports one of them.
inline bool isPassingStatus(int status) { return status == 1 || status == 4; }

// Runs askOnce up to `attempts` times while it reports a passing status,
// pausing after every such answer, the last included. A failure (a negative
// result) or any other status ends it at once.
template <class AskOnce>
int askWhilePassing(int attempts, std::chrono::milliseconds pause, AskOnce askOnce) {
    int status = askOnce();
    for (int attempt = 1; isPassingStatus(status); ++attempt) {
        std::this_thread::sleep_for(pause);
        if (attempt == attempts) break;
        status = askOnce();
    }
    return status;
}

}  // namespace mk
