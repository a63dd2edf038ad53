#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace mk::platform {

// What a picture loader that decodes a file whole takes beyond the size the
// headers declare, read without decoding anything. Both walks take time
// linear in the file's bytes and count a record as soon as its header is
// read, since a loader allocates for it before reading its data.

// Every frame of a GIF, each counted with its offset (left + width by
// top + height), summed; 0 when the bytes are not a GIF. The walk ends where
// the file does or at a block no decoder reads past.
int64_t gifFramePixels(std::span<const uint8_t> bytes);

// Every bitmap a metafile's records carry (a placeable WMF or an EMF),
// width by height as each bitmap's own header declares, summed; 0 when the
// bytes are neither. Nothing when a record that carries a bitmap has its
// bitmap header outside the record or the bytes, since then the playback
// would read a size from elsewhere.
std::optional<int64_t> metafileBitmapPixels(std::span<const uint8_t> bytes);

}  // namespace mk::platform
