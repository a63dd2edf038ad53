#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture.h"

namespace mk::platform {

// What an image file's headers declare, read without decoding anything, so
// that a picture too large to draw is refused before any memory is taken
// for its pixels. The same readers decide, for the decoders of this
// library, which image of a file is drawn and at what size.
struct PictureHeader {
    // The picture as drawn: a GIF's logical screen with its first frame on
    // it, an icon's image that is drawn, by that image's own header.
    PixelSize size;
    // The largest of every size the file declares (a GIF's screen and every
    // frame's extent with its offset, every image of an icon with the header
    // of the image itself), each axis on its own: what a loader that
    // decodes all of them may decode.
    PixelSize extent;
};

// One reader per format: nothing when the bytes are not of that format or
// the headers are cut short. JPEG markers are read as libjpeg reads them,
// bytes between segments skipped up to the next 0xFF.
std::optional<PictureHeader> pngHeader(std::span<const uint8_t> bytes);
std::optional<PictureHeader> jpegHeader(std::span<const uint8_t> bytes);
std::optional<PictureHeader> gifHeader(std::span<const uint8_t> bytes);
std::optional<PictureHeader> bitmapFileHeader(std::span<const uint8_t> bytes);
std::optional<PictureHeader> iconHeader(std::span<const uint8_t> bytes);
// Metafiles, sized at dpi pixels per inch as the system sizes them.
std::optional<PictureHeader> placeableMetafileHeader(std::span<const uint8_t> bytes, int dpi);
std::optional<PictureHeader> enhancedMetafileHeader(std::span<const uint8_t> bytes, int dpi);

// The first of the readers above that reads the bytes: PNG, JPEG, GIF,
// bitmap files (BMP), icons and cursors, placeable WMF and EMF.
std::optional<PictureHeader> readPictureHeader(std::span<const uint8_t> bytes, int metafileDpi);
// Its extent.
std::optional<PixelSize> declaredPixelSize(std::span<const uint8_t> bytes, int metafileDpi);

// An icon directory entry. A size byte of 0 stands for 256.
struct IconEntry {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    uint32_t size = 0;
    uint32_t offset = 0;
};

// The directory of an icon or cursor file, with at least one entry.
std::optional<std::vector<IconEntry>> readIconDirectory(std::span<const uint8_t> bytes);
// The entry that is drawn: the largest by the directory's sizes, then by
// colour depth; the first of equals.
const IconEntry& drawnIconEntry(const std::vector<IconEntry>& directory);
// An entry's image: a PNG file or an info header with twice the height
// (colour rows, then the mask); empty when it lies beyond the bytes.
std::span<const uint8_t> iconImage(std::span<const uint8_t> bytes, const IconEntry& entry);

}  // namespace mk::platform
