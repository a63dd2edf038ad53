#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/label_object.h"

namespace mk {

// Appends one object per "<LabelObject>...</LabelObject>" element, in text
// order. Every keyed field of the object table is assigned whether its element
// is present or not (missing reads 0, 0.0, false or empty); the fields without a
// key keep a new object's defaults. Malformed text only means fewer objects:
// the result is always true.
bool parseLabelObjectsXml(std::string_view text, std::vector<LabelObject>& objects);

// Lenient Base64: bytes outside the alphabet ('=', white space, anything else)
// are skipped, leftover bits are dropped, and decoding never fails.
std::vector<uint8_t> base64Decode(std::string_view text);

}  // namespace mk
