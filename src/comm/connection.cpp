// Connecting a printer and asking its status.
#include "comm/connection.h"

#include "comm/transport.h"
#include "mklabel.h"
#include "model/export_guard.h"

namespace mk {

bool connectPrinter(Printer& printer) {
    disconnectPrinter(printer);
    return transportFor(printer.interfaceType).connect(printer);
}

void disconnectPrinter(Printer& printer) {
    printer.usbDevicePath.clear();
    printer.connected = false;
}

bool isConnected(const Printer& printer) {
    if (!printer.connected) return false;
    const auto target = transportFor(printer.interfaceType).target;
    return target != nullptr && !(printer.*target).empty();
}

int getStatusCode(const Printer& printer) { return transportFor(printer.interfaceType).status(printer); }

}  // namespace mk

extern "C" {

MK_API int MkPrinter_Connect(Printer* printer) {
    if (printer == nullptr) return MK_FAIL;
    return mk::guarded(MK_CONNECT_FAILED, [&] { return mk::connectPrinter(*printer) ? MK_OK : MK_CONNECT_FAILED; });
}

MK_API void MkPrinter_Disconnect(Printer* printer) {
    if (printer != nullptr) mk::disconnectPrinter(*printer);
}

MK_API int MkPrinter_GetStatusCode(Printer* printer) {
    if (printer == nullptr) return MK_FAIL;
    return mk::guarded(MK_FAIL, [&] { return mk::getStatusCode(*printer); });
}

}  // extern "C"
