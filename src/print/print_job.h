#pragma once

#include <string>
#include <string_view>

#include "model/label_doc.h"
#include "platform/mapped_memory.h"

namespace mk {

// The bytes sent to the printer: ASCII command lines ending in CR LF with the
// label's PCX graphic embedded raw. Empty means building failed.
using PrintJob = platform::MappedString;  // up to megabytes: mapped, back to the system once sent

// The job that prints one label of the document: page set-up, the label as a
// stored graphic, the RFID text, the print command for the interface type and
// the removal of the graphic.
PrintJob buildLabelCommands(const LabelDoc& doc, int dpi, int interfaceType, std::string_view rfidText);

// "KVP1000" to "KVP9999", drawn from the runtime generator after reseeding it
// with the time and its own previous draw. The name only has to differ from a
// graphic another host may have left on the printer; the job removes any
// stored graphic of that name first, so a repeated name does no harm.
std::string makeGraphicName();

}  // namespace mk
