#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/mapped_memory.h"

namespace mk::platform {

// Decodes standard Base64 and refuses anything else: only the standard
// alphabet, complete four-character groups, '=' padding only in the last
// group. CR, LF, space and tab are skipped. Used for image data a host hands
// in directly, where a bad text must be refused rather than half decoded
// (the label loader has its own tolerant decoder).
// The bytes are mapped from 128 KiB on, as an image object keeps them.
std::optional<MappedBytes> decodeBase64Strict(std::string_view text);

}  // namespace mk::platform
