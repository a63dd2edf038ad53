#pragma once

// Objects blocks made to be slow to read: each shape at about a given size,
// for the load benchmarks and, small, for the fuzz targets' seeds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mk::test {

enum class HostileShape {
    LessThanRun,      // one object holding nothing but '<'
    ManyFields,       // every keyed element but one, over and over
    NestedFields,     // every number and flag element opened inside the one before
    ManyVariables,    // one object with variable after variable
    ManyTinyObjects,  // empty object after empty object
    Entities,         // every text element inside the one before, around entities
    AmpersandNumbers,  // a run of '&' as a number (the parameters' too), beside short texts holding markup
    AmpersandText,     // a run of '&' in a text holding markup
};

struct HostileShapeName {
    HostileShape shape;
    const char* name;
};

inline constexpr std::array<HostileShapeName, 8> kHostileShapes = {{
    {HostileShape::LessThanRun, "less-than-run"},
    {HostileShape::ManyFields, "many-fields"},
    {HostileShape::NestedFields, "nested-fields"},
    {HostileShape::ManyVariables, "many-variables"},
    {HostileShape::ManyTinyObjects, "many-tiny-objects"},
    {HostileShape::Entities, "entities"},
    {HostileShape::AmpersandNumbers, "ampersand-numbers"},
    {HostileShape::AmpersandText, "ampersand-text"},
}};

std::string hostileObjectsXml(HostileShape shape, std::size_t size);
// Parameter elements to put before the usual ones: most shapes need none.
std::string hostileParamsXml(HostileShape shape, std::size_t size);

// Label files that load at once and are made to be costly to compose or
// draw; what they compose and draw grows with the scale (1, 4, 16 ...).
enum class HostileDrawShape {
    FixedLength,  // a variable padded to 256 KiB per scale
    RepeatedIds,  // a 16 KiB value listed 16 times per scale
    ManyIds,      // 2 500 ids per scale over five times as many variables, each far down the list
    LongBoxText,  // 256 KiB of box text per scale, wrapped and shrunk towards three lines
    OnePicture,   // one 100-megapixel picture in 4 image objects per scale
    ManyObjects,  // 3 500 small text objects per scale
    HugeEllipses,      // 256 dotted ellipses 2 km across per scale, their outlines all off the label
    QrVersion40,       // 1 000 QR Code symbols of version 40 per scale, each of other data
    RejectedBarcode,   // 1 MiB of control bytes per scale as one barcode's data
    FilledBoxes,       // 1 000 dotted filled rounded rectangles, each the whole label, per scale
    ShrinkToFit,      // "WW" in a 1.4 mm box on one line, from 262 143 pt per scale
    LineFeeds,        // 256 KiB of line feeds per scale as box text
    UnknownCodePoints,  // 256 KiB per scale of code points no font has, as box text
    WideShrink,         // 256 KiB of W per scale as 100 pt box text shrunk to 62 500 lines per scale, size after size
    HanShrink,          // 256 KiB per scale of 21 000 distinct Han characters in 200 pt box text, shrunk to fit
                        // 62 500 lines per scale: a character a line is too many, two fit
    TextChunks,   // an 8 x 1 PNG with 12 zTXt chunks per scale, each inflating to 7.9 MB
    JpegScans,    // a progressive 100-megapixel JPEG of 16 scans of end-of-block runs per scale
    FivePictures,  // five distinct 24-megapixel pictures, each in as many objects as the scale
    LargeDrawnSmall,  // one 100-megapixel picture drawn 10 mm across in as many objects as the scale
    FullBudget,       // four distinct 100-megapixel pictures, each in as many objects as the scale
};

struct HostileDrawShapeName {
    HostileDrawShape shape;
    const char* name;
};

inline constexpr std::array<HostileDrawShapeName, 20> kHostileDrawShapes = {{
    {HostileDrawShape::FixedLength, "fixed-length"},
    {HostileDrawShape::RepeatedIds, "repeated-ids"},
    {HostileDrawShape::ManyIds, "many-ids"},
    {HostileDrawShape::LongBoxText, "long-box-text"},
    {HostileDrawShape::OnePicture, "one-picture"},
    {HostileDrawShape::ManyObjects, "many-objects"},
    {HostileDrawShape::HugeEllipses, "huge-ellipses"},
    {HostileDrawShape::QrVersion40, "qr-version-40"},
    {HostileDrawShape::RejectedBarcode, "rejected-barcode"},
    {HostileDrawShape::FilledBoxes, "filled-boxes"},
    {HostileDrawShape::ShrinkToFit, "shrink-to-fit"},
    {HostileDrawShape::LineFeeds, "line-feeds"},
    {HostileDrawShape::UnknownCodePoints, "unknown-code-points"},
    {HostileDrawShape::WideShrink, "wide-shrink"},
    {HostileDrawShape::HanShrink, "han-shrink"},
    {HostileDrawShape::TextChunks, "png-text-chunks"},
    {HostileDrawShape::JpegScans, "jpeg-scans"},
    {HostileDrawShape::FivePictures, "five-pictures"},
    {HostileDrawShape::LargeDrawnSmall, "large-drawn-small"},
    {HostileDrawShape::FullBudget, "full-budget"},
}};

// The whole label file (LSF), 203 dpi.
std::string hostileDrawLsf(HostileDrawShape shape, int scale);

// A white (or black) 1-bit greyscale PNG; small however large. Each text
// chunk given is stored as a zTXt chunk after the header.
std::vector<uint8_t> blankPng(int width, int height, bool black = false, int textChunks = 0,
                              std::size_t textBytes = 0);

// A large 8-bit run-length bitmap file in a few kilobytes: transparent but
// for the rows and columns a drawing drawnSize x drawnSize dots large shows,
// which are of the given colour (0xRRGGBB).
std::vector<uint8_t> sparseRunLengthBitmap(int width, int height, uint32_t colour, int drawnSize);

// A progressive greyscale JPEG whose every scan is one end-of-block run
// over all of the picture's blocks: mid grey, and each scan a pass over
// every block.
std::vector<uint8_t> scansJpeg(int width, int height, int scans);

}  // namespace mk::test
