// The fuzz targets' seed corpora and the example program's sample label are
// made by the LSF writer. These tests check that each file does what it is
// there for; run them with MKLABEL_WRITE_SEEDS=1 to rewrite the committed files
// in the source tree first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "lsf/objects_xml.h"
#include "mklabel.h"
#include "support/handles.h"
#include "support/lsf_writer.h"
#include "support/utf8_path.h"

namespace {

namespace fs = std::filesystem;
using mk::test::element;
using mk::test::labelObject;

const fs::path kSourceRoot = fs::path(__FILE__).parent_path().parent_path().parent_path();
const fs::path kSamplePath = kSourceRoot / "examples" / "sample.lsf";

bool writeRequested() {
    const char* flag = std::getenv("MKLABEL_WRITE_SEEDS");
    return flag != nullptr && std::string(flag) == "1";
}

void writeSeed(const fs::path& dir, const std::string& name, const std::string& bytes) {
    fs::create_directories(dir);
    ASSERT_TRUE(mk::test::writeFile(dir / name, bytes)) << dir / name;
}

struct LoadSeed {
    const char* name;
    std::string image;
    int code;  // 0: loads
};

std::vector<LoadSeed> loadSeeds() {
    const LabelDoc sample = mk::test::sampleLabel();
    const std::string params = mk::test::paramsXmlOf(sample);
    const std::string objects = mk::test::objectsXmlOf(sample.objects);

    mk::test::LsfImage gzip;
    gzip.paramsXml = params;
    gzip.objectsXml = objects;
    gzip.paramsFormat = gzip.objectsFormat = mk::test::BlockFormat::Gzip;
    gzip.afterParams = "tail";

    mk::test::LsfImage old;
    old.version = "2.0";
    old.paramsXml = params;
    old.objectsXml = labelObject(element("ObjectName", "text1") + element("texttype", 1) +
                                 element("texttextalign", 1) + element("textwidth", 20) + element("Xposition", 10)) +
                     labelObject(element("objectClass", 3) + "<LabelObject>");

    mk::test::LsfImage paramsOnly;
    paramsOnly.paramsXml = params;

    mk::test::LsfImage emptyParams;
    emptyParams.paramsXml = "";
    emptyParams.objectsXml = objects;

    std::string truncated = mk::test::lsfOf(sample);
    truncated.resize(truncated.size() - 10);

    return {
        {"sample.lsf", mk::test::lsfOf(sample), 0},
        {"gzip.lsf", gzip.build(), 0},
        {"old-version.lsf", old.build(), 0},
        {"params-only.lsf", paramsOnly.build(), 0},
        {"empty-params.lsf", emptyParams.build(), MK_ERR_PARAM_XML},
        {"truncated.lsf", truncated, MK_ERR_OBJECTS_BLOCK_INFLATE},
        {"bad-size.lsf", std::string("LSF|7.0|x|7FFFFFFF\0", 19) + "x", MK_ERR_PARAM_BLOCK_SIZE},
        {"three-fields.lsf", std::string("LSF|7.0|x|\0", 11), MK_ERR_BAD_HEADER},
        {"zero-size.lsf", std::string("LSF|7.0|x|0\0", 12), MK_ERR_PARAM_BLOCK_INFLATE},
    };
}

struct XmlSeed {
    const char* name;
    std::string key;
    std::string chunk;
    std::size_t objects;  // objects the chunk holds
};

std::vector<XmlSeed> xmlSeeds() {
    const LabelDoc sample = mk::test::sampleLabel();
    return {
        {"objects.txt", "ObjectName", mk::test::objectsXmlOf(sample.objects), sample.objects.size()},
        {"params.txt", "printerDPI", mk::test::paramsXmlOf(sample), 0},
        {"entities.txt", "k", "<k>&amp;amp;lt; &amp;#xA;&#xD;&quot;&gt;</k>", 0},
        {"numbers.txt", "n", "<n> -2147483649.5e3xyz</n><n>1</n>", 0},
        {"variables.txt", "id",
         labelObject(mk::test::variables({mk::test::variable(element("id", 3) + element("data", "v")),
                                           "<Variable><id>4</id>"})),
         1},
        {"base64.txt", "imagedata", labelObject("<imagedata>QQ==QQ==\r\n*</imagedata>"), 1},
    };
}

TEST(SeedFiles, LoadSeedsLoadOrFailAsIntended) {
    const fs::path dir = kSourceRoot / "tests" / "fuzz" / "corpus" / "lsf_load_fuzz";
    for (const LoadSeed& seed : loadSeeds()) {
        if (writeRequested()) writeSeed(dir, seed.name, seed.image);
        mk::test::LabelPtr doc(MkLabelDoc_LoadFromMemory(seed.image.data(), static_cast<int>(seed.image.size())));
        EXPECT_EQ(doc != nullptr, seed.code == 0) << seed.name;
        if (seed.code != 0) {
            EXPECT_EQ(MkGetLastErrorCode(), seed.code) << seed.name;
        }
    }
}

TEST(SeedFiles, XmlSeedsHoldTheirObjects) {
    const fs::path dir = kSourceRoot / "tests" / "fuzz" / "corpus" / "flat_xml_fuzz";
    for (const XmlSeed& seed : xmlSeeds()) {
        // The fuzz target reads the key from the first line, the chunk from the rest.
        if (writeRequested()) writeSeed(dir, seed.name, seed.key + "\n" + seed.chunk);
        std::vector<LabelObject> objects;
        ASSERT_TRUE(mk::parseLabelObjectsXml(seed.chunk, objects));
        EXPECT_EQ(objects.size(), seed.objects) << seed.name;
    }
}

TEST(SeedFiles, SampleLabelFileHoldsTheSampleLabel) {
    const LabelDoc written = mk::test::sampleLabel();
    if (writeRequested()) {
        ASSERT_TRUE(mk::test::writeFile(kSamplePath, mk::test::lsfOf(written)));
    }

    mk::test::LabelPtr read(MkLabelDoc_Load(mk::test::utf8Of(kSamplePath).c_str()));
    ASSERT_NE(read, nullptr) << MkGetLastErrorMessage();
    EXPECT_EQ(read->labelwidth, written.labelwidth);
    EXPECT_EQ(read->labelheight, written.labelheight);
    EXPECT_EQ(read->printerDPI, written.printerDPI);
    ASSERT_EQ(read->objects.size(), written.objects.size());
    for (std::size_t i = 0; i < written.objects.size(); ++i) {
        for (const mk::ObjectField& field : mk::kObjectFields) {
            std::visit(
                [&](auto member) {
                    EXPECT_EQ(read->objects[i].*member, written.objects[i].*member) << i << ' ' << field.key;
                },
                field.member);
        }
        EXPECT_EQ(read->objects[i].Variables.size(), written.objects[i].Variables.size()) << i;
    }
}

}  // namespace
