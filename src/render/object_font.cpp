#include "render/object_font.h"

#include <algorithm>

#include "portable/utf_convert.h"
#include "portable/int_convert.h"

namespace mk {

namespace {

// The height a font gets when the size asks for less than 5 pixels.
constexpr int kSmallFontHeight = -16;
constexpr int kMinFontPixels = 5;
constexpr size_t kMaxFaceNameUnits = 31;
constexpr int kWeightRegular = 400;
constexpr int kWeightBold = 700;

}  // namespace

platform::LogFont objectLogFont(const LabelObject& object, float size, int dpi) {
    platform::LogFont font;
    // Single precision in this order, as the sizes stored in labels were
    // computed: dpi × size ÷ 72 + 0.5, truncated.
    const int64_t h = platform::roundToInt(static_cast<float>(dpi) * size / 72.0f);
    font.height = -h > -kMinFontPixels ? kSmallFontHeight : static_cast<int>(-h);
    font.weight = object.fontstyle == 1 || object.fontstyle == 3 ? kWeightBold : kWeightRegular;
    font.italic = object.fontstyle == 2 || object.fontstyle == 3;
    font.faceName = object.textfont.empty() ? std::u16string(u"Arial") : platform::utf8ToUtf16(object.textfont);
    if (font.faceName.size() > kMaxFaceNameUnits) font.faceName.resize(kMaxFaceNameUnits);
    return font;
}

int objectFontEm(float size, int dpi) {
    const int64_t h = platform::roundToInt(static_cast<float>(dpi) * size / 72.0f);
    if (-h > -kMinFontPixels) return 0;
    return static_cast<int>(std::min<int64_t>(h, platform::kMaxEmPixels));
}

platform::FontHandle createObjectFont(const LabelObject& object, float size, int dpi) {
    return platform::createFont(objectLogFont(object, size, dpi));
}

}  // namespace mk
