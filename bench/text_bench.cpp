// Box text: a paragraph of 200 characters wrapped into a 60 mm box at 203 dpi.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/device_context.h"
#include "platform/font.h"
#include "render/text_object.h"
#include "render/units.h"

namespace {

constexpr int kDpi = 203;

std::string paragraph(const std::string& sentence) {
    std::string text;
    while (text.size() < 200) text += sentence;
    return text.substr(0, 200);
}

LabelObject boxObject(std::string text, std::string face) {
    LabelObject object;
    object.ObjectName = "text1";
    object.objectdata = std::move(text);
    object.textfont = std::move(face);
    object.texttype = 1;
    object.textwidth = 60.0f;
    object.texttextalign = 1;
    object.Xposition = 52.0f;
    object.Yposition = 5.0f;
    object.fontsize = 9.0f;
    return object;
}

void drawParagraph(benchmark::State& state, const LabelObject& object) {
    auto dc = mk::platform::DeviceContext::create(mk::mmToDots(104.0f, kDpi), mk::mmToDots(75.0f, kDpi));
    // The first render resolves the face and its fallbacks; every later one
    // must find them in the cache.
    mk::DrawBudget first;
    mk::drawTextObject(*dc, object, kDpi, first);
    const uint64_t lookups = mk::platform::fontLookupCount();
    for (auto _ : state) {
        mk::DrawBudget budget;
        mk::drawTextObject(*dc, object, kDpi, budget);
        benchmark::DoNotOptimize(dc->pixels());
    }
    const uint64_t later = mk::platform::fontLookupCount() - lookups;
    state.counters["lookups_after_first"] = static_cast<double>(later);
    if (later != 0) state.SkipWithError("renders after the first made fontconfig lookups");
}

void BM_BoxTextLatin(benchmark::State& state) {
    drawParagraph(state, boxObject(paragraph("The quick brown fox jumps over the lazy dog. "), "Arial"));
}
BENCHMARK(BM_BoxTextLatin)->Unit(benchmark::kMicrosecond);

// Three bytes a character: 200 bytes of Chinese with a Latin tail, drawn
// in the black-body face.
void BM_BoxTextChinese(benchmark::State& state) {
    std::string text = paragraph("\xE6\xA0\x87\xE7\xAD\xBE\xE6\x89\x93\xE5\x8D\xB0\xE6\x9C\xBA ");
    drawParagraph(state, boxObject(text, "\xE9\xBB\x91\xE4\xBD\x93"));
}
BENCHMARK(BM_BoxTextChinese)->Unit(benchmark::kMicrosecond);

// Wrapping that must shrink the font until the text takes three lines.
void BM_BoxTextShrinkToThreeLines(benchmark::State& state) {
    LabelObject object = boxObject(paragraph("The quick brown fox jumps over the lazy dog. "), "Arial");
    object.textmaxline = 3;
    drawParagraph(state, object);
}
BENCHMARK(BM_BoxTextShrinkToThreeLines)->Unit(benchmark::kMicrosecond);

}  // namespace
