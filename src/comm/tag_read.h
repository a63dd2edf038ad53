#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "comm/comm_errors.h"

#include "model/printer.h"

namespace mk {

// Tag reads answer with the tag's data as text; the answer "X" means no tag
// and gives 0 with an empty text. Each returns the number of bytes put in the
// buffer before its NUL, or -1.

struct UsbCommand {
    std::string text;
    CommError unsent;  // replaces the code the failed send set
};

// One tag read: its failure codes, its command over the network, and its
// commands over USB, sent in order before the answer is read.
struct TagRead {
    CommError invalidBuffer;
    CommError unsupportedInterface;
    std::string netCommand;
    std::vector<UsbCommand> usbCommands;
};

// Sends the command through the call-back protocol to the printer's port 9100:
// -560 without a network address, -563 when no answer comes back.
int readTagViaNet(const Printer& printer, const std::string& command, int timeoutMs, char* buffer, int size);

// The USB route of a tag read: sends the read's commands with writeData,
// then reads the answer from the device; -1 when a command cannot be sent
// (with its own code) or nothing comes back.
int readTagOverUsb(const Printer& printer, const TagRead& read, int timeoutMs, char* buffer, int size);

// -550 for a bad buffer, -551 for a printer that is neither USB nor network,
// -552 / -553 when the USB commands cannot be sent.
int readHFTag(const Printer& printer, int hsParameter, int startBlock, int blockCount, int timeoutMs,
              char* buffer, int size);

// -531 for a bad buffer, -535 for a printer that is neither USB nor network,
// -532 when the USB command cannot be sent.
int readUHFTag(const Printer& printer, int bank, int length, int timeoutMs, char* buffer, int size);

// Copies a tag answer out as the tag reads return it: at most size - 1 bytes
// and a NUL; the answer "X" (no tag) gives 0 and an empty text. buffer must
// hold size >= 1 bytes.
int deliverTagAnswer(std::string_view answer, char* buffer, int size);

// A confirmed USB print is good when the answer holds "RP" anywhere.
bool holdsRpAnswer(std::string_view received);

// After a confirmed USB print: true when the printer answered "RP". -540 for
// a printer that is not USB, -541 for no answer, -542 for another answer.
bool readPrintResponse(const Printer& printer, int timeoutMs);

}  // namespace mk
