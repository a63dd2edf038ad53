// Loading label images from memory: a typical label of 20 objects, labels
// carrying one embedded image of growing size, and hostile objects blocks of
// growing size (load time should grow linearly in each).
#include <benchmark/benchmark.h>

#if __has_include("support/lsf_writer.h")

#include <cmath>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mklabel.h"
#include "model/label_object.h"
#include "support/lsf_writer.h"

namespace {

// A refused load counts as done when the file is meant to be refused.
void loadOnce(benchmark::State& state, const std::string& image, bool mayBeRefused = false) {
    for (auto _ : state) {
        LabelDoc* doc = MkLabelDoc_LoadFromMemory(image.data(), static_cast<int>(image.size()));
        if (doc == nullptr && mayBeRefused) {
            state.counters["refused"] = 1;
            continue;
        }
        if (doc == nullptr) {
            state.SkipWithError(MkGetLastErrorMessage());
            return;
        }
        benchmark::DoNotOptimize(doc);
        MkLabelDoc_Destroy(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
    state.counters["file_bytes"] = static_cast<double>(image.size());
}

void BM_LoadLabelOf20Objects(benchmark::State& state) {
    const LabelDoc sample = mk::test::sampleLabel();
    LabelDoc doc = sample;
    doc.objects.clear();
    for (int i = 0; doc.objects.size() < 20; ++i) {
        LabelObject object = sample.objects[static_cast<std::size_t>(i) % sample.objects.size()];
        object.ObjectName += "_" + std::to_string(i);
        doc.objects.push_back(object);
    }
    loadOnce(state, mk::test::lsfOf(doc));
}
BENCHMARK(BM_LoadLabelOf20Objects)->Unit(benchmark::kMicrosecond);

// The argument is the image file's size in KiB (a square 24-bit BMP).
void BM_LoadLabelWithImage(benchmark::State& state) {
    const int side = static_cast<int>(std::sqrt(static_cast<double>(state.range(0)) * 1024.0 / 3.0));
    LabelDoc doc = mk::test::sampleLabel();
    for (LabelObject& object : doc.objects) {
        if (object.ObjectName == "image1") object.imagedata = mk::test::bmpImage(side, side);
    }
    loadOnce(state, mk::test::lsfOf(doc));
}
BENCHMARK(BM_LoadLabelWithImage)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

std::string repeatedTo(std::string_view unit, std::size_t total) {
    std::string text;
    text.reserve(total);
    while (text.size() + unit.size() <= total) text.append(unit);
    return text;
}

// Every keyed field of an object once, each with a short value.
std::string everyFieldOnce() {
    std::string fields;
    for (const mk::ObjectField& field : mk::kObjectFields) fields += mk::test::rawElement(field.key, "1");
    return fields;
}

// Every number and flag field opened inside the one before: each value holds
// the rest, and none is a text that the load's memory bound would stop.
std::string nestedFields(std::string_view filler) {
    std::string open;
    std::string close;
    for (const mk::ObjectField& field : mk::kObjectFields) {
        if (std::holds_alternative<std::string LabelObject::*>(field.member) ||
            std::holds_alternative<std::vector<uint8_t> LabelObject::*>(field.member)) {
            continue;
        }
        open += std::string("<") + field.key + ">";
        close = std::string("</") + field.key + ">" + close;
    }
    return open + std::string(filler) + close;
}

enum class Shape { LessThanRun, ManyFields, NestedFields, ManyVariables, ManyTinyObjects, Entities };

// An objects block of about `size` bytes made to be slow to read.
std::string hostileObjectsXml(Shape shape, std::size_t size) {
    switch (shape) {
        case Shape::LessThanRun:
            return mk::test::labelObject(std::string(size, '<'));
        case Shape::ManyFields:
            return mk::test::labelObject(repeatedTo(everyFieldOnce(), size));
        case Shape::NestedFields:
            return mk::test::labelObject(nestedFields(repeatedTo("<9", size)));
        case Shape::ManyVariables:
            return mk::test::labelObject(
                "<Variables>" + repeatedTo(mk::test::variable(mk::test::rawElement("sharename", "v")), size) +
                "</Variables>");
        case Shape::ManyTinyObjects:
            return repeatedTo(mk::test::labelObject(""), size);
        case Shape::Entities:
            return mk::test::labelObject(mk::test::rawElement("objectdata", repeatedTo("&amp;lt;&#xA;&amp", size)) +
                                         mk::test::rawElement("Xposition", repeatedTo("&#xA;", size / 8) + "1"));
    }
    return {};
}

// The argument multiplies a unit of 3.5 MiB of objects text: at 16 the block
// nears the 64 MiB a block may inflate to, from a file of well under 1 MB.
void BM_LoadHostileFile(benchmark::State& state, Shape shape) {
    constexpr std::size_t kUnit = std::size_t{3584} << 10;
    const std::string xml = hostileObjectsXml(shape, kUnit * static_cast<std::size_t>(state.range(0)));
    loadOnce(state, mk::test::buildLsf(mk::test::element("printerDPI", 203), xml), true);
    state.counters["xml_bytes"] = static_cast<double>(xml.size());
}
BENCHMARK_CAPTURE(BM_LoadHostileFile, less_than_run, Shape::LessThanRun)
    ->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadHostileFile, many_fields, Shape::ManyFields)
    ->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadHostileFile, nested_fields, Shape::NestedFields)
    ->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadHostileFile, many_variables, Shape::ManyVariables)
    ->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadHostileFile, many_tiny_objects, Shape::ManyTinyObjects)
    ->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadHostileFile, entities, Shape::Entities)
    ->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

#endif
