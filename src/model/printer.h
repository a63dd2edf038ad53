#pragma once

#include <string>

struct LabelDoc;

// The settings and connection state behind a printer handle. Nothing is held
// open between calls: "connected" only means the target was resolved.
struct Printer {
    int dpi = 203;
    int speed = 4;  // inches per second
    int darkness = 10;
    int pageDirection = 1;
    bool gapMedia = true;  // no setter: every job declares gap-separated labels
    int interfaceType = 1;  // 0 spooler, 1 USB, 2 network; see comm/interface_type.h
    std::string usbSerial;      // empty: the first printer found
    std::string usbDevicePath;  // filled by connecting
    std::string netAddress;     // IPv4 text
    int netPort = 9100;         // reset to 9100 whenever the address is set
    std::string driverName;     // spooler printer name (UTF-8)
    bool connected = false;
};

namespace mk {

void initPrinter(Printer& printer);
// Forgets the connection (as disconnecting does) and releases the strings.
void destroyPrinter(Printer& printer);

void setPrinterDpi(Printer& printer, int dpi);
void setPrinterSpeed(Printer& printer, int speed);
void setPrinterDarkness(Printer& printer, int darkness);
void setPrinterPageDirection(Printer& printer, int direction);
void setPrinterInterface(Printer& printer, int interfaceType);
void setPrinterName(Printer& printer, const char* name);
void setUsbSerial(Printer& printer, const char* serial);
void setNetAddress(Printer& printer, const char* address);

// What a label prints with: the printer's resolution, speed, darkness, page
// direction and gap flag replace the document's printer parameters.
void copyPrinterSettings(const Printer& printer, LabelDoc& doc);

}  // namespace mk
