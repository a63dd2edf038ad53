#pragma once

#include <cstdint>

#include "model/printer.h"

namespace mk {

// Sends a byte stream to the printer by its interface type: USB, raw TCP or a
// RAW spooler job. Checks data and length first (-525), then the field the
// route needs (-526, -527); unsupported types give -528.
bool writeData(const Printer& printer, const std::uint8_t* data, int length);

// One RAW spooler job titled "MK_Stampwell Job" on the queue named by
// driverName: -600 when the queue cannot be opened, -601 when the job cannot
// be created, -602 when its document cannot be started, -603 when the bytes
// are not all taken. A job that fails after it was created is cancelled.
bool sendToDriver(const Printer& printer, const std::uint8_t* data, int length);

}  // namespace mk
