// A loaded label all the way to its print job, as the print call builds it
// but without sending it: variables composed, objects rescaled to the
// printer, text, barcodes, shapes and pictures drawn, RFID and NFC commands
// built, the graphic packed. The job must read back: every line ends in CR LF
// and its graphic is a PCX picture of the label's size, the size the render
// call draws the label at too. Input: four bytes, then the object XML of at
// most a few objects:
//   0  label width, 1 + b % 40 mm        1  label height, 1 + b % 30 mm
//   2  bits 0-1 the label's resolution, bits 2-3 the printer's, bits 4-6 its speed
//   3  the label's speed b % 10; bits 3-7 the interface type (% 11); bit 6 also
//      renders through the render call; bit 7 gap media
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "lsf/flat_xml.h"
#include "mklabel.h"
#include "model/label_doc.h"
#include "model/printer.h"
#include "model/rescale.h"
#include "model/variables.h"
#include "print/print_job.h"
#include "print/rfid_commands.h"
#include "support/lsf_writer.h"
#include "support/print_job_reader.h"

namespace {

// Small labels and few objects keep each run to milliseconds.
constexpr int kMaxObjects = 4;
constexpr int kResolutions[] = {100, 150, 203, 300};

void require(bool condition) {
    if (!condition) std::abort();
}

int countObjects(std::string_view xml) {
    int count = 0;
    for (std::size_t at = mk::findText(xml, "<LabelObject>", 0); at != std::string_view::npos;
         at = mk::findText(xml, "<LabelObject>", at + 1)) {
        ++count;
    }
    return count;
}

// The number after the first command line that starts with prefix.
std::optional<long> commandValue(const mk::test::ReceivedJob& job, std::string_view prefix) {
    for (const std::string& line : job.lines) {
        if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return std::nullopt;
}

// The job's graphic, which must be a picture of the size its commands state.
mk::test::PcxPicture checkJob(const mk::PrintJob& job) {
    const std::optional<mk::test::ReceivedJob> received = mk::test::parsePrintJob(job);
    require(received.has_value());
    const std::optional<mk::test::PcxPicture> picture = mk::test::decodePcx(received->graphic);
    require(picture.has_value());
    require(commandValue(*received, "q") == picture->width);
    require(commandValue(*received, "Q") == picture->height);
    return *picture;
}

// The render call draws the label the job carries, at the same size.
void checkRender(LabelDoc* doc, const Printer& printer, const mk::test::PcxPicture& printed) {
    void* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    require(MkLabelDoc_Render(doc, &printer, 0, &pixels, &width, &height, &stride) == 0);
    require(width == printed.width && height == printed.height && stride == 4 * width);
    MkFree(pixels);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > 64 * 1024) return -1;
    const std::string_view objects(reinterpret_cast<const char*>(data + 4), size - 4);
    if (countObjects(objects) > kMaxObjects) return -1;

    const std::string params = mk::test::element("printerDPI", kResolutions[data[2] & 3]) +
                               mk::test::element("labelwidth", 1 + data[0] % 40) +
                               mk::test::element("labelheight", 1 + data[1] % 30) +
                               mk::test::element("printSpeed", data[3] % 10) +
                               mk::test::element("labelhavegap", (data[3] & 0x80) != 0);
    const std::string file = mk::test::buildLsf(params, objects);
    if (file.size() > INT_MAX) return -1;
    LabelDoc* doc = MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size()));
    require(doc != nullptr);

    Printer printer;
    mk::initPrinter(printer);
    mk::setPrinterDpi(printer, kResolutions[(data[2] >> 2) & 3]);
    mk::setPrinterSpeed(printer, (data[2] >> 4) % 8);
    mk::setPrinterInterface(printer, (data[3] >> 3) % 11);

    mk::rescaleForPrinter(*doc, printer.dpi);
    if (!mk::composeDocumentVariableTexts(*doc)) {
        MkLabelDoc_Destroy(doc);  // beyond the bound on composed text: nothing to print
        return 0;
    }
    const std::optional<std::string> rfid = mk::collectRfidCommands(*doc);
    mk::copyPrinterSettings(printer, *doc);
    const mk::PrintJob job = mk::buildLabelCommands(*doc, printer.dpi, printer.interfaceType, rfid.value_or(""));
    // A label of at least a millimetre at these resolutions renders unless
    // its objects ask for more than one call may draw; then the render call
    // refuses it too.
    if (job.empty()) {
        void* pixels = nullptr;
        int width = 0;
        int height = 0;
        int stride = 0;
        require(MkLabelDoc_Render(doc, &printer, 0, &pixels, &width, &height, &stride) == MK_RENDER_FAILED);
        mk::destroyPrinter(printer);
        MkLabelDoc_Destroy(doc);
        return 0;
    }
    const mk::test::PcxPicture printed = checkJob(job);
    if (data[3] & 0x40) checkRender(doc, printer, printed);

    mk::destroyPrinter(printer);
    MkLabelDoc_Destroy(doc);
    return 0;
}
