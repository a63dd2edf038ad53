#include "print/ndef.h"

#include <vector>

namespace mk {
namespace {

constexpr std::string_view kUriSeparator = "||||";
constexpr size_t kMaxOneByteLength = 0xFE;  // 0xFF announces the three-byte TLV length form
constexpr size_t kMaxTwoByteLength = 0xFFFF;

std::string hexNumber(size_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

// TLVs in front of the NDEF Message TLV, chosen by the tag type.
std::string_view uriTlvPrefix(int tagType) {
    switch (tagType) {
        case 1:
        case 3:
            return "03";
        case 2:
            return "000003";
        default:
            return "0103A00C3403";  // lock control TLV first
    }
}

std::vector<std::string_view> splitUriItems(std::string_view data) {
    std::vector<std::string_view> items;
    size_t p = 0;
    while (data.size() - p >= kUriSeparator.size()) {
        const size_t found = data.find(kUriSeparator, p);
        if (found == std::string_view::npos) break;
        items.push_back(data.substr(p, found - p));
        p = found + kUriSeparator.size();
    }
    items.push_back(data.substr(p));
    return items;
}

std::string_view uriRecordHeader(size_t index, size_t count) {
    if (count == 1) return "D101";
    if (index == 0) return "9101";
    if (index == count - 1) return "5101";
    return "1101";
}

}  // namespace

std::string hexEncodeUpper(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) text += hexNumber(byte, 2);
    return text;
}

NdefUriPayload buildNdefUriPayload(std::string_view uri) {
    for (const UriIdentifierCode& entry : UriIdentifierCodes) {
        const std::string_view prefix = entry.prefix;
        if (uri.substr(0, prefix.size()) == prefix) return {entry.code, hexEncodeUpper(uri.substr(prefix.size()))};
    }
    return {"03", hexEncodeUpper(uri)};
}

std::optional<std::string> buildNdefUriTlv(std::string_view data, int tagType) {
    const std::vector<std::string_view> items = splitUriItems(data);
    std::string message;
    for (size_t i = 0; i < items.size(); ++i) {
        const NdefUriPayload payload = buildNdefUriPayload(items[i]);
        message += uriRecordHeader(i, items.size());
        message += hexNumber(1 + payload.rest.size() / 2, 2);  // checked with the whole message below
        message += "55";
        message += payload.code;
        message += payload.rest;
    }
    const size_t messageLength = message.size() / 2;
    if (messageLength > kMaxOneByteLength) return std::nullopt;
    return std::string(uriTlvPrefix(tagType)) + hexNumber(messageLength, 2) + message + "FE";
}

std::optional<std::string> buildNdefTextTlv(std::string_view text, int textEncoding, int tagType) {
    const std::string t = hexEncodeUpper(text);
    const size_t n = text.size();
    const std::string head = textEncoding == 2 ? "54027A68" : "5402656E";

    std::string result;
    if (n < 248) {
        result = "03" + hexNumber(n + 7, 2) + "D101" + hexNumber(n + 3, 2) + head + t + "FE";
    } else if (n == 248) {
        result = "03FF00FFD101" + hexNumber(n + 3, 2) + head + t + "FE";
    } else {
        // The TLV's three-byte form holds the length in two bytes.
        if (n + 10 > kMaxTwoByteLength) return std::nullopt;
        result = "03FF" + hexNumber(n + 10, 4) + "C1010000" + hexNumber(n + 3, 4) + head + t + "FE";
    }
    if (tagType == 2) result.insert(0, "0000");
    return result;
}

}  // namespace mk
