#include "print/print_waits.h"

#include <atomic>

namespace mk {
namespace {

constinit const PrintWaits kShippedWaits{};
constinit std::atomic<const PrintWaits*> installedWaits{nullptr};

}  // namespace

const PrintWaits& printWaits() {
    const PrintWaits* waits = installedWaits.load();
    return waits != nullptr ? *waits : kShippedWaits;
}

ScopedPrintWaits::ScopedPrintWaits(const PrintWaits& waits)
    : waits_(waits), previous_(installedWaits.exchange(&waits_)) {}

ScopedPrintWaits::~ScopedPrintWaits() { installedWaits.store(previous_); }

}  // namespace mk
