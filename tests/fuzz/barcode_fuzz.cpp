// Drives the barcode adapter with every drawable kind name, the numeric
// options a label file can carry and arbitrary data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/barcode_adapter.h"
#include "render/barcode_kinds.h"

namespace {

// Reads the option bytes at the front of the input; missing bytes read as 0.
class OptionReader {
public:
    OptionReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int signedByte() { return static_cast<int8_t>(byte()); }
    std::string rest() const {
        return pos_ < size_ ? std::string(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_) : std::string();
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OptionReader in(data, size);
    mk::BarcodeRequest request;
    const std::vector<std::string_view>& kinds = mk::drawableBarcodeKindNames();
    request.kind = kinds[in.byte() % kinds.size()];
    static constexpr int kDpis[] = {203, 300, 600, 0};
    request.dpi = kDpis[in.byte() % 4];
    request.moduleWidth = 0.25f * static_cast<float>(in.byte() % 16);  // 0 to 3.75 dots
    request.barHeightMm = 0.5f * static_cast<float>(in.signedByte());  // -64 to 63.5 mm
    request.version = in.signedByte();
    request.errorCorrection = in.signedByte();
    request.code39Ratio = in.signedByte();
    request.checkFlag = (in.byte() & 1) != 0;
    request.eciChoice = in.byte() & 1;
    request.pdf417Rows = in.signedByte();
    request.pdf417Columns = in.signedByte();
    request.data = in.rest();

    mk::BarcodeBitmap bitmap;
    mk::generateBarcode(bitmap, request);
    if (bitmap.pixels.size() != static_cast<size_t>(bitmap.stride) * static_cast<size_t>(bitmap.height))
        __builtin_trap();
    return 0;
}
