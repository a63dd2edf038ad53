#include "comm/printer_status.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "mklabel.h"
#include "model/copy_out.h"
#include "model/export_guard.h"

namespace mk {
namespace {

struct StatusEntry {
    int code;
    std::string_view text;
};

constexpr std::array kStatusTexts = {
    StatusEntry{0, "Ready."},
    StatusEntry{1, "Syntax error."},
    StatusEntry{81, "Mainboard hardware fault."},
    StatusEntry{82, "Ribbon detection error."},
    StatusEntry{83, "Label detection error."},
    StatusEntry{86, "Cutter detection error."},
    StatusEntry{88, "Printer is paused."},
    StatusEntry{89, "Label run out."},
    StatusEntry{90, "RFID writing error."},
    StatusEntry{91, "RFID signal calibration failed."},
    StatusEntry{92, "RFID signal calibration failed."},
    StatusEntry{96, "Peeler waiting."},
    StatusEntry{99, "Printer upgrade completed."},
    StatusEntry{120, "Printer upgrade completed."},
    StatusEntry{112, "No tag detected."},
    StatusEntry{113, "Too many tags detected."},
    StatusEntry{116, "Duplicate tag detected."},
};

}  // namespace

std::string statusText(int code) {
    for (const StatusEntry& entry : kStatusTexts) {
        if (entry.code == code) return std::string(entry.text);
    }
    char text[64];
    std::snprintf(text, sizeof text, "Printer error: %d", code);
    return text;
}

}  // namespace mk

extern "C" MK_API int MkPrinter_GetStatusInfo(int code, char* buffer, int size) {
    if (!mk::isValidOutBuffer(buffer, size)) return 0;
    return mk::guarded(0, [&] { return mk::copyOut(mk::statusText(code), buffer, size); });
}
