// The fuzz targets' seed corpora and the example program's sample label are
// made by the LSF writer. These tests check that each file does what it is
// there for; run them with MKLABEL_WRITE_SEEDS=1 to rewrite the committed files
// in the source tree first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

#include "comm/callback.h"
#include "comm/tag_read.h"
#include "lsf/objects_xml.h"
#include "lsf/printer_params_xml.h"
#include "lsf/variables_xml.h"
#include "mklabel.h"
#include "portable/base64_strict.h"
#include "print/rfid_commands.h"
#include "render/barcode_kinds.h"
#include "render/data_mnemonics.h"
#include "support/handles.h"
#include "support/hostile_objects.h"
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
    std::string name;
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

    std::vector<LoadSeed> seeds = {
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
    // The shapes the load benchmark times, small: a few KB compressed.
    for (const auto& [shape, name] : mk::test::kHostileShapes) {
        seeds.push_back({std::string("hostile-") + name + ".lsf",
                         mk::test::buildLsf(mk::test::hostileParamsXml(shape, 256 << 10) + params,
                                            mk::test::hostileObjectsXml(shape, 256 << 10)),
                         0});
    }
    return seeds;
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

// The load benchmark's shapes, small, as the XML fuzzers' inputs (see below):
// each is read whole.
TEST(SeedFiles, HostileXmlSeedsAreReadWhole) {
    const std::string params = mk::test::paramsXmlOf(mk::test::sampleLabel());
    const fs::path xmlDir = kSourceRoot / "tests" / "fuzz" / "corpus" / "lsf_xml_fuzz";
    const fs::path flatDir = kSourceRoot / "tests" / "fuzz" / "corpus" / "flat_xml_fuzz";
    for (const auto& [shape, name] : mk::test::kHostileShapes) {
        const std::string xml = mk::test::hostileObjectsXml(shape, 4096);
        if (writeRequested()) {
            writeSeed(xmlDir, std::string("hostile-") + name,
                      std::string(1, '\0') + mk::test::hostileParamsXml(shape, 4096) + params + '\0' + xml);
            writeSeed(flatDir, std::string("hostile-") + name + ".txt", "ObjectName\n" + xml);
        }
        std::vector<LabelObject> objects;
        ASSERT_TRUE(mk::parseLabelObjectsXml(xml, objects));
        EXPECT_FALSE(objects.empty()) << name;
    }
}

// One object of a kind the label fuzzers must reach, as object XML.
struct LabelSeed {
    std::string name;
    std::string objectsXml;
    ObjectKind kind;
    int encoderType;  // RFID objects: the tag type whose commands the seed reaches; else -1
};

std::vector<LabelSeed> labelSeeds() {
    const LabelDoc sample = mk::test::sampleLabel();
    const auto& objects = sample.objects;
    auto seed = [](std::string name, const LabelObject& object) {
        const ObjectKind kind = mk::objectKindOf(object.ObjectName);
        return LabelSeed{std::move(name), mk::test::objectXmlOf(object), kind,
                         kind == ObjectKind::Rfid ? object.RFIDEncodertype : -1};
    };
    auto changed = [](LabelObject object, auto&& change) {
        change(object);
        return object;
    };
    const LabelObject& text = objects[0];
    const LabelObject& barcode = objects[2];
    const LabelObject& rectangle = objects[4];
    const LabelObject& rfid = objects[6];
    std::vector<LabelSeed> seeds = {
        seed("text", text),
        seed("text-variable", objects[1]),
        seed("text-box-centred", changed(text, [](LabelObject& o) { o.texttype = 1, o.texttextalign = 1, o.textwidth = 30; })),
        seed("text-vertical", changed(text, [](LabelObject& o) { o.isverticaltext = true; })),
        seed("barcode", barcode),
        seed("barcode-qr", changed(barcode, [](LabelObject& o) { o.barcodekind = "QR Code(2D)"; })),
        seed("barcode-pdf417", changed(barcode, [](LabelObject& o) { o.barcodekind = "PDF 417(2D)"; })),
        seed("barcode-ean13", changed(barcode, [](LabelObject& o) { o.barcodekind = "EAN-13", o.objectdata = "590123412345"; })),
        seed("barcode-ean8", changed(barcode, [](LabelObject& o) { o.barcodekind = "EAN-8", o.objectdata = "9638507"; })),
        seed("line", objects[3]),
        seed("rectangle", rectangle),
        seed("rectangle-rounded", changed(rectangle, [](LabelObject& o) { o.rectangleclass = 1, o.fillRectangle = true; })),
        seed("ellipse", changed(rectangle, [](LabelObject& o) { o.rectangleclass = 2; })),
        seed("image", objects[5]),
        seed("rfid-uhf", rfid),
        seed("rfid-hf-block", changed(rfid, [](LabelObject& o) { o.RFIDEncodertype = 1, o.RFIDDatatype = 0, o.objectdata = "Lot 0001"; })),
        seed("rfid-hf-directory", changed(rfid, [](LabelObject& o) {
                 o.RFIDEncodertype = 2, o.RFIDDatatype = 2, o.objectdata = "https://www.example.com||||http://x.org";
             })),
        seed("rfid-hf-block-alt", changed(rfid, [](LabelObject& o) {
                 o.RFIDEncodertype = 3, o.RFIDDatatype = 3, o.RFIDTextencoding = 1, o.objectdata = "hello";
             })),
    };
    // A few objects together, as a label has them.
    seeds.push_back({"label", mk::test::objectsXmlOf({text, barcode, rectangle, rfid}), ObjectKind::Text, -1});
    return seeds;
}

// The structure-aware fuzzers' inputs: lsf_xml_fuzz takes a byte of choices
// (bit 0 gzip parameters, bit 1 gzip objects, bits 2 on the file version),
// the parameter XML, a NUL and the object XML; label_print_fuzz takes four
// bytes of label size, resolutions and printer settings, then the object XML.
TEST(SeedFiles, LabelSeedsReachTheirObjectKind) {
    const LabelDoc sample = mk::test::sampleLabel();
    const std::string params = mk::test::paramsXmlOf(sample);
    const fs::path xmlDir = kSourceRoot / "tests" / "fuzz" / "corpus" / "lsf_xml_fuzz";
    const fs::path printDir = kSourceRoot / "tests" / "fuzz" / "corpus" / "label_print_fuzz";
    unsigned char choice = 0;
    for (const LabelSeed& seed : labelSeeds()) {
        if (writeRequested()) {
            writeSeed(xmlDir, seed.name, std::string(1, static_cast<char>(choice++)) + params + '\0' + seed.objectsXml);
            // 60 x 40 mm label and printer at 203 dpi, network interface, rendered too.
            writeSeed(printDir, seed.name, std::string("\x3b\x27\x0a\x6c", 4) + seed.objectsXml);
        }
        std::vector<LabelObject> objects;
        ASSERT_TRUE(mk::parseLabelObjectsXml(seed.objectsXml, objects));
        ASSERT_FALSE(objects.empty()) << seed.name;
        EXPECT_EQ(mk::objectKindOf(objects[0].ObjectName), seed.kind) << seed.name;
        if (seed.encoderType >= 0) {
            EXPECT_EQ(objects[0].RFIDEncodertype, seed.encoderType) << seed.name;
            const std::optional<std::string> commands = mk::buildRfidCommands(objects[0]);
            EXPECT_TRUE(commands && !commands->empty()) << seed.name;
        }
    }
    for (int encoder = 0; encoder < 4; ++encoder) {
        EXPECT_TRUE(std::ranges::any_of(labelSeeds(), [&](const LabelSeed& s) { return s.encoderType == encoder; }))
            << encoder;
    }
}

// The words of label XML for long fuzz runs (-dict=tests/fuzz/label_xml.dict):
// every element's tags, the barcode kinds, the data mnemonics and the entities.
std::vector<std::string> labelXmlWords() {
    std::vector<std::string> words = {"<LabelObject>", "</LabelObject>", "<Variables>", "</Variables>",
                                      "<Variable>",    "</Variable>",    "&amp;",       "&lt;",
                                      "&gt;",          "&quot;",         "&#xD;",       "&#xA;"};
    auto tags = [&](std::string_view key) {
        words.push_back("<" + std::string(key) + ">");
        words.push_back("</" + std::string(key) + ">");
    };
    for (const mk::ObjectField& field : mk::kObjectFields) tags(field.key);
    tags("objectClass");
    for (const mk::VariableField& field : mk::kVariableFields) tags(field.key);
    for (const mk::PrinterParamField& field : mk::kPrinterParamFields) tags(field.key);
    for (std::string_view kind : mk::drawableBarcodeKindNames()) words.emplace_back(kind);
    for (const mk::DataMnemonic& mnemonic : mk::dataMnemonics) words.emplace_back(mnemonic.text);
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

std::string dictEntry(std::string_view word) {
    std::string entry = "\"";
    for (const unsigned char c : word) {
        if (c == '"' || c == '\\') {
            entry += '\\';
            entry += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            entry += hex;
        } else {
            entry += static_cast<char>(c);
        }
    }
    return entry + "\"\n";
}

TEST(SeedFiles, LabelXmlDictionaryHoldsEveryWord) {
    const fs::path path = kSourceRoot / "tests" / "fuzz" / "label_xml.dict";
    std::string dict = "# Label XML words for the label fuzzers, written by the seed-file tests.\n";
    for (const std::string& word : labelXmlWords()) dict += dictEntry(word);
    if (writeRequested()) {
        ASSERT_TRUE(mk::test::writeFile(path, dict));
    }
    std::ifstream file(path, std::ios::binary);
    const std::string committed((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(committed, dict) << "rewrite it with MKLABEL_WRITE_SEEDS=1";
}

TEST(SeedFiles, Base64SeedsAreAcceptedOrRefusedAsNamed) {
    const fs::path dir = kSourceRoot / "tests" / "fuzz" / "corpus" / "base64_strict_fuzz";
    const std::pair<const char*, const char*> seeds[] = {
        {"good-three-bytes", "TWFu"},
        {"good-padded-one", "TQ=="},
        {"good-padded-two", "TWE="},
        {"good-line-breaks", "TW\r\nFu\tTW E=\n"},
        {"good-empty", ""},
        {"bad-data-after-padding", "QQ==QQ=="},
        {"bad-incomplete-group", "TWF"},
        {"bad-character", "TW*u"},
        {"bad-padding-first", "=QQQ"},
    };
    for (const auto& [name, text] : seeds) {
        if (writeRequested()) writeSeed(dir, name, text);
        EXPECT_EQ(mk::platform::decodeBase64Strict(text).has_value(), std::string_view(name).starts_with("good")) << name;
    }
}

TEST(SeedFiles, AnswerSeedsGiveTheAnswersTheyAreNamedFor) {
    const fs::path dir = kSourceRoot / "tests" / "fuzz" / "corpus" / "answer_fuzz";
    struct AnswerSeed {
        const char* name;
        std::string bytes;  // the tag reader's buffer size, then what the printer sent
        const char* tagText;
        bool pn;
        bool rp;
    };
    const AnswerSeed seeds[] = {
        {"status-digits", std::string("\x40") + "0148Y\xFF", "0148Y\xFF", false, false},
        {"tag-framed", std::string("\x40") + "\x02" + "E2003412\x03\r\n", "E2003412", false, false},
        {"tag-no-tag", std::string("\x40") + "X\r\n", "", false, false},
        {"tag-cut-by-buffer", std::string("\x04") + "0123456789ABCDEF", "012", false, false},
        {"pn", std::string("\x10") + "PN", "PN", true, false},
        {"rp-after-ok", std::string("\x10") + "OKRP\r\n", "OKRP", false, true},
    };
    for (const AnswerSeed& seed : seeds) {
        if (writeRequested()) writeSeed(dir, seed.name, seed.bytes);
        const std::string_view sent = std::string_view(seed.bytes).substr(1);
        char text[64];
        mk::deliverTagAnswer(mk::dropAnswerFraming(sent), text, seed.bytes[0]);
        EXPECT_STREQ(text, seed.tagText) << seed.name;
        EXPECT_EQ(mk::isPnAnswer(sent), seed.pn) << seed.name;
        EXPECT_EQ(mk::holdsRpAnswer(sent), seed.rp) << seed.name;
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
