#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "lsf/load_budget.h"
#include "model/label_object.h"

namespace mk {

// Appends one object per "<LabelObject>...</LabelObject>" element, in text
// order. Every keyed field of the object table is assigned whether its element
// is present or not (missing reads 0, 0.0, false or empty); the fields without a
// key keep a new object's defaults. Malformed text only means fewer objects.
// False only when the objects read would hold more than limit bytes (records,
// texts, variables and images counted); the list then holds those read so far.
bool parseLabelObjectsXml(std::string_view text, std::vector<LabelObject>& objects,
                          std::size_t limit = kMaxLoadedObjectsBytes);

// Lenient Base64: bytes outside the alphabet ('=', white space, anything else)
// are skipped, leftover bits are dropped, and decoding never fails.
decltype(LabelObject::imagedata) base64Decode(std::string_view text);

}  // namespace mk
