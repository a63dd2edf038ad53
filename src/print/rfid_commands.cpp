#include "print/rfid_commands.h"

#include "print/ndef.h"

namespace mk {
namespace {

// NFC Forum Type 5 capability container: magic E1, version/access 40,
// 0E × 8 = 112 data bytes, feature byte 01.
constexpr std::string_view kCapabilityContainer = "E1400E01";

// Blocks 1 and 2 of sector 0 of a MIFARE Classic tag formatted for NDEF: the
// application directory (CRC 14, info 01) with fifteen NDEF application ids.
constexpr std::string_view kApplicationDirectory = "140103E103E103E103E103E103E103E103E103E103E103E103E103E103E103E1";

bool isNdefMessage(int dataType) {
    return dataType == static_cast<int>(RfidDataType::NdefUri) || dataType == static_cast<int>(RfidDataType::NdefText) ||
           dataType == static_cast<int>(RfidDataType::NdefRaw);
}

// Passwords equal to the factory default are not sent.
bool isPasswordSent(const std::string& password) { return !password.empty() && password != kDefaultTagPassword; }

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string hfVerifyLine(const LabelObject& object) { return object.HFReadverifylabel ? "HC1\r\n" : "HC0\r\n"; }

bool writesTag(int encoderType) {
    return encoderType >= static_cast<int>(RfidEncoderType::Uhf) &&
           encoderType <= static_cast<int>(RfidEncoderType::HfBlockAlt);
}

// Objects the print calls write a tag for; the others send nothing.
bool isWrittenTag(const LabelObject& object) {
    return nameStartsWith(object.ObjectName, "rfid") && object.enable && !object.ReadIDOnly &&
           !object.objectdata.empty() && writesTag(object.RFIDEncodertype);
}

std::optional<std::string> tagDataOf(const LabelObject& object) {
    switch (object.RFIDDatatype) {
        case static_cast<int>(RfidDataType::Text):
            return hexEncodeUpper(object.objectdata);
        case static_cast<int>(RfidDataType::NdefUri):
            return buildNdefUriTlv(object.objectdata, object.RFIDEncodertype);
        case static_cast<int>(RfidDataType::NdefText):
            return buildNdefTextTlv(object.objectdata, object.RFIDTextencoding, object.RFIDEncodertype);
        default:  // hexadecimal, a ready NDEF stream, or anything else: as given
            return object.objectdata;
    }
}

}  // namespace

std::optional<std::string> buildRfidCommands(const LabelObject& object) {
    // Tag data is built, and may be refused, only for a family that sends it.
    if (object.objectdata.empty() || !writesTag(object.RFIDEncodertype)) return std::string();
    const std::optional<std::string> tagData = tagDataOf(object);
    if (!tagData) return std::nullopt;
    // An odd digit left over (only possible with data passed through) counts as nothing.
    const int byteCount = static_cast<int>(tagData->size() / 2);

    switch (object.RFIDEncodertype) {
        case static_cast<int>(RfidEncoderType::Uhf):
            return buildUhfWriteCommands(object, *tagData, byteCount);
        case static_cast<int>(RfidEncoderType::HfBlock):
        case static_cast<int>(RfidEncoderType::HfBlockAlt):
            return buildHfBlockWriteCommands(object, *tagData);
        case static_cast<int>(RfidEncoderType::HfDirectory):
            return buildHfMadWriteCommands(object, *tagData);
        default:
            return std::string();
    }
}

uint64_t writtenRfidBytes(const LabelDoc& doc) {
    uint64_t bytes = 0;
    for (const LabelObject& object : doc.objects) {
        if (!isWrittenTag(object)) continue;
        bytes += object.objectdata.size();
        if (object.RFIDEncodertype != static_cast<int>(RfidEncoderType::Uhf)) continue;
        if (isPasswordSent(object.RFIDaccessoldpwd)) bytes += object.RFIDaccessoldpwd.size();
        if (isPasswordSent(object.RFIDaccessnewpwd)) bytes += object.RFIDaccessnewpwd.size();
    }
    return bytes;
}

std::optional<std::string> collectRfidCommands(const LabelDoc& doc) {
    if (writtenRfidBytes(doc) > kMaxLabelRfidBytes) return std::nullopt;
    std::string commands;
    for (const LabelObject& object : doc.objects) {
        if (!isWrittenTag(object)) continue;
        const std::optional<std::string> lines = buildRfidCommands(object);
        if (!lines) return std::nullopt;
        commands += *lines;
    }
    return commands;
}

std::string buildUhfWriteCommands(const LabelObject& object, std::string_view tagData, int byteCount) {
    std::string commands = "RS0,0,0," + std::to_string(object.RFIDerrortimes) + ",0\r\n";
    if (isPasswordSent(object.RFIDaccessoldpwd)) commands += "RZ0,2," + quoted(object.RFIDaccessoldpwd) + "\r\n";
    commands += "RF1,0,0," + std::to_string(byteCount) + "," + std::to_string(static_cast<long long>(object.RFIDDatablock) * 2 + 1) + "," +
                quoted(tagData) + "\r\n";
    if (isPasswordSent(object.RFIDaccessnewpwd)) commands += "RZ1,2," + quoted(object.RFIDaccessnewpwd) + "\r\n";
    return commands;
}

std::string buildHfBlockWriteCommands(const LabelObject& object, std::string_view tagData) {
    int startBlock = object.HFstartblock;
    bool padInFront = object.DataAlignment != 0;
    std::string data(tagData);
    if (isNdefMessage(object.RFIDDatatype)) {
        data.insert(0, kCapabilityContainer);
        startBlock = 0;
        padInFront = false;
    }
    // Whole 4-byte blocks: 8 hexadecimal digits each.
    const std::string padding((8 - data.size() % 8) % 8, '0');
    data = padInFront ? padding + data : data + padding;

    return "HS2,1," + std::to_string(object.RFIDerrortimes) + "," + std::to_string(object.HFModulepower) + "\r\n" +
           hfVerifyLine(object) + "HF2," + std::to_string(startBlock) + "," + std::to_string(data.size() / 2) + "," +
           quoted(data) + "\r\n";
}

std::string buildHfMadWriteCommands(const LabelObject& object, std::string_view tagData) {
    int startBlock = object.HFstartblock;
    std::string data(tagData);
    if (isNdefMessage(object.RFIDDatatype)) {
        data.insert(0, kApplicationDirectory);
        startBlock = 1;
    }
    return "HS2,2," + std::to_string(object.RFIDerrortimes) + "," + std::to_string(object.HFModulepower) + "\r\n" +
           hfVerifyLine(object) + "HA0,2," + std::to_string(startBlock) + ",1," + quoted(data) + "\r\n";
}

}  // namespace mk
