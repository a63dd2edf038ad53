#include "model/printer.h"

#include <utility>

#include "model/label_doc.h"

namespace mk {

namespace {

// The text setters take NULL as the empty text.
void assignText(std::string& field, const char* text) {
    if (text == nullptr) {
        field.clear();
    } else {
        field.assign(text);
    }
}

void releaseText(std::string& field) { std::string().swap(field); }

}  // namespace

void initPrinter(Printer& printer) { printer = Printer{}; }

void destroyPrinter(Printer& printer) {
    releaseText(printer.usbDevicePath);
    printer.connected = false;
    releaseText(printer.usbSerial);
    releaseText(printer.netAddress);
    releaseText(printer.driverName);
}

void setPrinterDpi(Printer& printer, int dpi) { printer.dpi = dpi; }
void setPrinterSpeed(Printer& printer, int speed) { printer.speed = speed; }
void setPrinterDarkness(Printer& printer, int darkness) { printer.darkness = darkness; }
void setPrinterPageDirection(Printer& printer, int direction) { printer.pageDirection = direction; }
void setPrinterInterface(Printer& printer, int interfaceType) { printer.interfaceType = interfaceType; }
void setPrinterName(Printer& printer, const char* name) { assignText(printer.driverName, name); }
void setUsbSerial(Printer& printer, const char* serial) { assignText(printer.usbSerial, serial); }

void setNetAddress(Printer& printer, const char* address) {
    assignText(printer.netAddress, address);
    printer.netPort = 9100;
}

void copyPrinterSettings(const Printer& printer, LabelDoc& doc) {
    doc.printerDPI = printer.dpi;
    doc.printSpeed = printer.speed;
    doc.printDarkness = printer.darkness;
    doc.pageDirection = printer.pageDirection;
    doc.labelhavegap = printer.gapMedia;
}

}  // namespace mk
