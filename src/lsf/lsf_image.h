#pragma once

#include <cstdint>

#include "model/label_doc.h"

// An LSF image: header text, one NUL, the parameter block (P bytes), then the
// objects block (the rest). Header fields are separated by '|': field 1 is the
// file version, field 3 is P in hexadecimal.
namespace mk {

struct LsfHeader {
    int length = 0;        // header text plus its NUL: the parameter block's offset
    float version = 0.0f;  // field 1, as atof reads it
    int32_t paramSize = 0; // field 3, as strtol reads hexadecimal; may be 0 or negative
};

// False when size < 1, the first byte is NUL, there is no NUL within size
// bytes, or the header has fewer than 4 fields.
bool parseLsfHeader(const unsigned char* data, int size, LsfHeader& header);

// Fills the document from an image. On failure the thread's last error and the
// document's error text say why (codes -102 to -108).
bool parseLsfImage(const unsigned char* data, int size, LabelDoc& doc);

// Reads the whole file and parses it as an image (adds -100 and -101). A file
// of 2^31 bytes or more is beyond the format's size and refused with -101.
bool loadLsfFile(const char* utf8Path, LabelDoc& doc);

// Box texts of older file versions that are centred or right-aligned sit half
// or a whole box width further left than newer files place them; moves them.
void fixOldTextPositions(LabelDoc& doc);

}  // namespace mk
