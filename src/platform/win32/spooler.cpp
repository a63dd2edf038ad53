// The print spooler is not reached on Windows yet: no queue opens, so a
// spooler job fails at its first step as it does for a missing queue.
#include "platform/spooler.h"

namespace mk::platform {

struct SpoolerJob::State {};

SpoolerJob::SpoolerJob() = default;
SpoolerJob::~SpoolerJob() = default;

bool SpoolerJob::open(const std::string&) { return false; }
bool SpoolerJob::create(const std::string&) { return false; }
bool SpoolerJob::startDocument() { return false; }
bool SpoolerJob::write(const void*, std::size_t) { return false; }
bool SpoolerJob::finish() { return false; }

}  // namespace mk::platform
