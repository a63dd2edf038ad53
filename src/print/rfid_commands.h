#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/label_doc.h"
#include "model/label_object.h"

namespace mk {

// How an RFID object's data becomes tag data.
enum class RfidDataType : int { Text = 0, Hex = 1, NdefUri = 2, NdefText = 3, NdefRaw = 4 };

// Which command family writes the tag.
enum class RfidEncoderType : int { Uhf = 0, HfBlock = 1, HfDirectory = 2, HfBlockAlt = 3 };

// The printer command lines that write one RFID object's tag; empty when the
// object yields no commands. nullopt when the data cannot be encoded in the
// tag's format: a label whose tag would hold garbage must not print.
std::optional<std::string> buildRfidCommands(const LabelObject& object);

// The most bytes of data and passwords the tag-writing RFID objects of one
// label hold together, measured before any command is built. Tag memories
// run to a few KiB (8 KiB on the larger UHF and HF chips), and data given as
// hexadecimal takes two bytes a tag byte, so a label that writes real tags
// stays far below it, even writing several; yet text data
// doubles as hexadecimal and is copied into the commands and the job, so
// without a bound a 64 MiB file would make jobs of hundreds of MiB. At this
// bound a label's tag commands hold at most twice its bytes and some 200
// bytes of command text per object.
inline constexpr uint64_t kMaxLabelRfidBytes = uint64_t{64} << 10;

// The data and password bytes that the label's tag commands would carry.
uint64_t writtenRfidBytes(const LabelDoc& doc);

// The tag commands of every enabled RFID object that is not only read. None
// when an object's data cannot be written in its tag's format (printing the
// label anyway would leave a tag that holds nothing or garbage), or when the
// label holds more than kMaxLabelRfidBytes of it.
std::optional<std::string> collectRfidCommands(const LabelDoc& doc);

std::string buildUhfWriteCommands(const LabelObject& object, std::string_view tagData, int byteCount);
std::string buildHfBlockWriteCommands(const LabelObject& object, std::string_view tagData);
std::string buildHfMadWriteCommands(const LabelObject& object, std::string_view tagData);

}  // namespace mk
