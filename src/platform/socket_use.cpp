#include "platform/socket_use.h"

#include <atomic>

namespace mk::platform {
namespace {

std::atomic<int> users{0};

}  // namespace

SocketUse::SocketUse(Counting counting) : counted_(counting == Counted) {
    startSocketLibrary();
    if (counted_) users.fetch_add(1);
}

SocketUse::~SocketUse() {
    if (counted_) users.fetch_sub(1);
    stopSocketLibrary();
}

int SocketUse::count() { return users.load(); }

}  // namespace mk::platform
