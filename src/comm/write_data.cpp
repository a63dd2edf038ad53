#include "comm/write_data.h"

#include "comm/comm_errors.h"
#include "comm/transport.h"
#include "platform/spooler.h"

namespace mk {
namespace {

constexpr const char* kSpoolerJobTitle = "MK_Stampwell Job";

}  // namespace

bool writeData(const Printer& printer, const std::uint8_t* data, int length) {
    if (data == nullptr || length < 1) {
        setCommError(CommError::WriteArgs);
        return false;
    }
    return transportFor(printer.interfaceType).write(printer, data, length);
}

bool sendToDriver(const Printer& printer, const std::uint8_t* data, int length) {
    if (data == nullptr || length < 1) return false;
    platform::SpoolerJob job;
    if (!job.open(printer.driverName)) {
        setCommError(CommError::SpoolOpenFailed);
        return false;
    }
    if (!job.create(kSpoolerJobTitle)) {
        setCommError(CommError::SpoolStartDocFailed);
        return false;
    }
    if (!job.startDocument()) {
        setCommError(CommError::SpoolStartPageFailed);
        return false;
    }
    // The scheduler gives its verdict on the bytes only when the document
    // ends, so a refused document is a failed write, not a success.
    if (!job.write(data, static_cast<std::size_t>(length)) || !job.finish()) {
        setCommError(CommError::SpoolWriteFailed);
        return false;
    }
    return true;
}

}  // namespace mk
