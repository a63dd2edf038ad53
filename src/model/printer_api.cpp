// Printer handles and their settings.
#include <memory>

#include "mklabel.h"
#include "model/export_guard.h"
#include "model/printer.h"

namespace {

template <typename Value>
void applySetter(Printer* printer, void (*setter)(Printer&, Value), Value value) {
    if (printer != nullptr) mk::guardedVoid([&] { setter(*printer, value); });
}

}  // namespace

extern "C" {

MK_API Printer* MkPrinter_Create(void) {
    return mk::guarded<Printer*>(nullptr, [] {
        auto printer = std::make_unique<Printer>();
        mk::initPrinter(*printer);
        return printer.release();
    });
}

MK_API void MkPrinter_Destroy(Printer* printer) {
    if (printer == nullptr) return;
    std::unique_ptr<Printer> owned(printer);
    mk::destroyPrinter(*owned);
}

MK_API void MkPrinter_SetDpi(Printer* printer, int dpi) { applySetter(printer, mk::setPrinterDpi, dpi); }
MK_API void MkPrinter_SetSpeed(Printer* printer, int speed) { applySetter(printer, mk::setPrinterSpeed, speed); }
MK_API void MkPrinter_SetDarkness(Printer* printer, int darkness) {
    applySetter(printer, mk::setPrinterDarkness, darkness);
}
MK_API void MkPrinter_SetPageDirection(Printer* printer, int direction) {
    applySetter(printer, mk::setPrinterPageDirection, direction);
}
MK_API void MkPrinter_SetInterface(Printer* printer, int interfaceType) {
    applySetter(printer, mk::setPrinterInterface, interfaceType);
}
MK_API void MkPrinter_SetName(Printer* printer, const char* name) { applySetter(printer, mk::setPrinterName, name); }
MK_API void MkPrinter_SetNetAddress(Printer* printer, const char* address) {
    applySetter(printer, mk::setNetAddress, address);
}
MK_API void MkPrinter_SetUsbSerial(Printer* printer, const char* serial) {
    applySetter(printer, mk::setUsbSerial, serial);
}

}  // extern "C"
