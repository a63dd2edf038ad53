// A label file of at most 1 MB cannot make a load take more memory than the
// README states: the objects block inflates to at most 64 MiB, the objects
// kept from it may hold at most 64 MiB, and a load needs at most 320 MiB in
// all beyond the file's own bytes. Each file here is one way a small file
// could ask for far more.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "mklabel.h"
#include "model/label_object.h"
#include "support/handles.h"
#include "support/hostile_objects.h"
#include "support/lsf_writer.h"
#include "support/peak_memory.h"

namespace {

using mk::test::element;
using mk::test::labelObject;

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kStatedLoadBound = 320 * kMiB;
constexpr std::size_t kLargestFile = 1000 * 1000;
// Just below the inflate limit, so that the block itself is accepted.
constexpr std::size_t kInflatedSize = 63 * kMiB;

std::string repeated(std::string_view unit, std::size_t total) {
    std::string text;
    text.reserve(total);
    while (text.size() + unit.size() <= total) text.append(unit);
    return text;
}

// Every text key of an object, each element opened inside the one before, so
// that each one's value holds all the rest.
std::string nestedTextObject(std::string_view filler) {
    std::string open;
    std::string close;
    for (const mk::ObjectField& field : mk::kObjectFields) {
        if (!std::holds_alternative<std::string LabelObject::*>(field.member)) continue;
        open += std::string("<") + field.key + ">";
        close = std::string("</") + field.key + ">" + close;
    }
    return "<LabelObject>" + open + std::string(filler) + close + "</LabelObject>";
}

struct HeavyFile {
    const char* name;
    std::string image;
    int code;  // the load's last error; 0: it loads
};

std::string lsfWithObjects(const std::string& objectsXml) {
    return mk::test::buildLsf(element("printerDPI", 203), objectsXml);
}

std::string hostileFile(mk::test::HostileShape shape) {
    return mk::test::buildLsf(mk::test::hostileParamsXml(shape, kInflatedSize) + element("printerDPI", 203),
                              mk::test::hostileObjectsXml(shape, kInflatedSize));
}

std::vector<HeavyFile> heavyFiles() {
    const std::string emptyObject = labelObject("");
    const std::string manyVariables =
        "<LabelObject><Variables>" + repeated("<Variable></Variable>", kInflatedSize - 64) + "</Variables></LabelObject>";
    // Long names: the texts, not the records, fill the budget.
    const std::string namedObject = labelObject(element("ObjectName", std::string(2000, 'n')));
    // Far more than any real label holds, and still well inside the bound.
    const LabelDoc sample = mk::test::sampleLabel();
    const std::string sampleObjects = mk::test::objectsXmlOf(sample.objects);
    return {
        {"a thousand sample labels", lsfWithObjects(repeated(sampleObjects, 1000 * sampleObjects.size())), 0},
        {"millions of empty objects", lsfWithObjects(repeated(emptyObject, kInflatedSize)), MK_ERR_OBJECTS_XML},
        {"millions of empty variables", lsfWithObjects(manyVariables), MK_ERR_OBJECTS_XML},
        {"objects with long names", lsfWithObjects(repeated(namedObject, kInflatedSize)), MK_ERR_OBJECTS_XML},
        {"texts nested in each other", lsfWithObjects(nestedTextObject(std::string(kInflatedSize - 4096, 'x'))),
         MK_ERR_OBJECTS_XML},
        {"nested texts of entities", lsfWithObjects(nestedTextObject(repeated("&amp;", kInflatedSize - 4096))),
         MK_ERR_OBJECTS_XML},
        // Both blocks full: the parameters' number too.
        {"runs of & read as numbers", hostileFile(mk::test::HostileShape::AmpersandNumbers), 0},
        {"a run of & in a text with markup", hostileFile(mk::test::HostileShape::AmpersandText), MK_ERR_OBJECTS_XML},
        {"one picture filling the block",
         lsfWithObjects(labelObject(element("ObjectName", "image1") +
                                    element("imagedata", repeated("QUFB", kInflatedSize - 4096)))),
         0},
    };
}

int loadCode(const std::string& image) {
    mk::test::LabelPtr doc(MkLabelDoc_LoadFromMemory(image.data(), static_cast<int>(image.size())));
    return doc != nullptr ? 0 : MkGetLastErrorCode();
}

TEST(LoadMemory, SmallFilesCannotMakeALoadExceedItsBound) {
    if (mk::test::sanitizedBuild()) GTEST_SKIP() << "a sanitizer's allocator keeps freed memory: peaks mean nothing";
    for (const HeavyFile& file : heavyFiles()) {
        ASSERT_LE(file.image.size(), kLargestFile) << file.name;
        const std::optional<mk::test::ChildRun> run =
            mk::test::runInChildMeasuringPeak([&] { return loadCode(file.image); });
        ASSERT_TRUE(run.has_value()) << "peak not measured: " << file.name;
        EXPECT_EQ(run->result, file.code) << file.name;
        EXPECT_LE(run->peakRiseBytes, kStatedLoadBound) << file.name;
        std::printf("%-32s file %7zu bytes, peak rise %4zu MiB\n", file.name, file.image.size(),
                    run->peakRiseBytes / kMiB);
    }
}

}  // namespace
