#pragma once

#include <string>

// How a printer is reached. 4, 6 and 8 are USB and 5, 7 and 9 network, each
// with a print confirmation; any other value is unsupported.
enum class InterfaceType : int {
    Spooler = 0,
    Usb = 1,
    Network = 2,
};

// The settings and connection state behind a printer handle. Nothing is held
// open between calls: "connected" only means the target was resolved.
struct Printer {
    int dpi = 203;
    int speed = 4;  // inches per second
    int darkness = 10;
    int pageDirection = 1;
    bool gapMedia = true;  // no setter: every job declares gap-separated labels
    int interfaceType = 1;
    std::string usbSerial;      // empty: the first printer found
    std::string usbDevicePath;  // filled by connecting
    std::string netAddress;     // IPv4 text
    int netPort = 9100;         // reset to 9100 whenever the address is set
    std::string driverName;     // spooler printer name (UTF-8)
    bool connected = false;
};
