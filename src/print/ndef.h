#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mk {

// Bytes as uppercase hexadecimal digit pairs: tag data travels in the job as text.
std::string hexEncodeUpper(std::string_view bytes);

struct UriIdentifierCode {
    const char* prefix;
    const char* code;  // two hexadecimal digits
};

// The URI prefixes a record abbreviates, in the order they are tried.
inline constexpr UriIdentifierCode UriIdentifierCodes[] = {
    {"http://www.", "01"},
    {"https://www.", "02"},
    {"http://", "03"},
    {"https://", "04"},
};

struct NdefUriPayload {
    std::string code;  // identifier code, two hex digits
    std::string rest;  // hex of the URI after the abbreviated prefix
};

NdefUriPayload buildNdefUriPayload(std::string_view uri);

// The TLV stream of an NDEF message of URI records, one per "||||"-separated
// item. Empty when the message does not fit the one-byte lengths of its
// short records and TLV (more than 254 bytes).
std::optional<std::string> buildNdefUriTlv(std::string_view data, int tagType);

// The TLV stream of one NDEF Text record. Empty when the record's length
// fields cannot hold the text.
std::optional<std::string> buildNdefTextTlv(std::string_view text, int textEncoding, int tagType);

}  // namespace mk
