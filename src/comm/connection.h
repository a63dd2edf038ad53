#pragma once

#include "model/printer.h"

namespace mk {

// Resolves the printer's target and marks it connected; nothing is held
// open. USB finds the printer by serial and keeps its device path; network
// and spooler printers only need an address or a queue name. Always starts
// from the disconnected state; a failure leaves the reason in the last error.
bool connectPrinter(Printer& printer);
void disconnectPrinter(Printer& printer);
// Connected, and the target its interface family needs is still set.
bool isConnected(const Printer& printer);

// The printer's status code (0 to 255), asked over USB or the network; -1
// when it cannot be asked (-529, -530 or -520 in the last error, nothing for
// spooler and unsupported types); -103 from a refused USB request and the
// network query's own failures, both without a last error.
int getStatusCode(const Printer& printer);

}  // namespace mk
