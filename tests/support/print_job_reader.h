#pragma once

// Reads back what a printer receives: the command lines of a print job with
// its embedded PCX graphic, and the graphic's pixels. Used by the tests and
// the virtual printer of the demo.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mk::test {

struct ReceivedJob {
    // Every command line without its CR LF, in order; the graphic's raw bytes
    // are not a line: the "GM" line is followed directly by the next command.
    std::vector<std::string> lines;
    std::string graphic;  // the PCX bytes announced by the "GM" line
};

// Splits a job at CR LF, taking the PCX bytes after a "GM" line by the count
// that line announces. nullopt when a line is unterminated or the count runs
// past the end.
std::optional<ReceivedJob> parsePrintJob(std::string_view job);

struct PcxPicture {
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
    std::vector<uint8_t> bits;  // one bit per pixel, 1 = light, rows of bytesPerLine

    bool isLight(int x, int y) const {
        return bits[static_cast<size_t>(y) * static_cast<size_t>(bytesPerLine) + static_cast<size_t>(x / 8)] &
               (0x80 >> (x % 8));
    }
};

// Decodes a 1-bit run-length PCX file. nullopt when it is malformed.
std::optional<PcxPicture> decodePcx(std::string_view pcx);

// Writes the picture as a BMP file in the previews' own pixel format, so that
// it opens like a preview: dark pixels opaque black, light ones opaque white.
// False when the file cannot be written.
bool savePictureAsBmp(const PcxPicture& picture, const std::filesystem::path& path, int dpi);

}  // namespace mk::test
