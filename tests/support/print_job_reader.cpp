#include "support/print_job_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>

#include "render/bmp_preview.h"

namespace mk::test {
namespace {

int readLittleEndian16(std::string_view data, size_t offset) {
    return static_cast<uint8_t>(data[offset]) | (static_cast<uint8_t>(data[offset + 1]) << 8);
}

// The byte count at the end of a GM"name"count line.
std::optional<size_t> graphicSize(std::string_view line) {
    const size_t close = line.find('"', 3);
    if (line.substr(0, 3) != "GM\"" || close == std::string_view::npos) return std::nullopt;
    size_t size = 0;
    const std::string_view digits = line.substr(close + 1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), size);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return size;
}

}  // namespace

std::optional<ReceivedJob> parsePrintJob(std::string_view job) {
    ReceivedJob received;
    size_t position = 0;
    while (position < job.size()) {
        const size_t end = job.find("\r\n", position);
        if (end == std::string_view::npos) return std::nullopt;
        std::string line(job.substr(position, end - position));
        position = end + 2;
        if (const std::optional<size_t> size = graphicSize(line)) {
            if (job.size() - position < *size + 2 || job.substr(position + *size, 2) != "\r\n") return std::nullopt;
            received.graphic = std::string(job.substr(position, *size));
            position += *size + 2;
        }
        received.lines.push_back(std::move(line));
    }
    return received;
}

std::optional<PcxPicture> decodePcx(std::string_view pcx) {
    if (pcx.size() < 128 || pcx[0] != 0x0A || pcx[2] != 0x01 || pcx[3] != 0x01) return std::nullopt;
    PcxPicture picture;
    picture.width = readLittleEndian16(pcx, 8) - readLittleEndian16(pcx, 4) + 1;
    picture.height = readLittleEndian16(pcx, 10) - readLittleEndian16(pcx, 6) + 1;
    picture.bytesPerLine = readLittleEndian16(pcx, 66);
    if (picture.width < 1 || picture.height < 1 || picture.bytesPerLine * 8 < picture.width) return std::nullopt;

    const size_t total = static_cast<size_t>(picture.bytesPerLine) * static_cast<size_t>(picture.height);
    size_t position = 128;
    for (int row = 0; row < picture.height; ++row) {
        // Runs never cross rows.
        size_t rowBytes = 0;
        while (rowBytes < static_cast<size_t>(picture.bytesPerLine)) {
            if (position >= pcx.size()) return std::nullopt;
            uint8_t value = static_cast<uint8_t>(pcx[position++]);
            size_t run = 1;
            if (value >= 0xC0) {
                run = value & 0x3F;
                if (position >= pcx.size()) return std::nullopt;
                value = static_cast<uint8_t>(pcx[position++]);
            }
            if (rowBytes + run > static_cast<size_t>(picture.bytesPerLine)) return std::nullopt;
            picture.bits.insert(picture.bits.end(), run, value);
            rowBytes += run;
        }
    }
    if (position != pcx.size() || picture.bits.size() != total) return std::nullopt;
    return picture;
}

bool savePictureAsBmp(const PcxPicture& picture, const std::filesystem::path& path, int dpi) {
    // Blue, green, red, then an alpha of 255 as in a rendered label: viewers
    // that honour the fourth byte show the picture.
    constexpr uint8_t kBlack[4] = {0x00, 0x00, 0x00, 0xFF};
    constexpr uint8_t kWhite[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const size_t stride = static_cast<size_t>(picture.width) * 4;
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            std::copy_n(picture.isLight(x, y) ? kWhite : kBlack, 4, &pixels[y * stride + 4 * static_cast<size_t>(x)]);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.string().c_str(), "wb"), std::fclose);
    if (file == nullptr) return false;
    const bool written = mk::writeBmpPreview(file.get(), pixels.data(), picture.width, picture.height,
                                             static_cast<int>(stride), dpi);
    return written && std::fclose(file.release()) == 0;
}

}  // namespace mk::test
