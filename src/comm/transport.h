#pragma once

#include <cstdint>
#include <string>

#include "comm/interface_type.h"
#include "comm/tag_read.h"
#include "model/printer.h"

namespace mk {

// What one interface family does with a printer, with or without the print
// confirmation: the one place where an interface type chooses its route.
struct Transport {
    InterfaceFamily family;
    // The field naming the printer's target (device path, address or queue);
    // null when the family has none.
    std::string Printer::*target;
    bool (*connect)(Printer& printer);
    // The route of writeData, after its own argument check.
    bool (*write)(const Printer& printer, const std::uint8_t* data, int length);
    int (*status)(const Printer& printer);
    // The route of a tag read, after its buffer check.
    int (*readTag)(const Printer& printer, const TagRead& read, int timeoutMs, char* buffer, int size);
    // The job's print line that asks the printer to confirm the label; null
    // for the plain "W" line.
    const char* confirmCommand;
    // Sends a label's job; with the network's confirmation it also waits
    // for the printer's "PN".
    bool (*sendLabel)(Printer& printer, const std::uint8_t* data, int length, float labelLengthMm);
    // The printer's answer after a label was sent; true when none is asked.
    bool (*readAnswer)(const Printer& printer);
};

// The transport of an interface type; unsupported values share one that
// refuses everything.
const Transport& transportFor(int interfaceType);

}  // namespace mk
