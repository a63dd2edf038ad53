// A loaded label all the way to its print job, as the print call builds it
// but without sending it: variables composed, objects rescaled to the
// printer, text, barcodes, shapes and pictures drawn, RFID and NFC commands
// built, the graphic packed. The job must read back: every line ends in CR LF
// and its graphic is a PCX picture of the label's size. Input: four bytes of
// label size, resolutions and printer settings, then the object XML of at most
// a few objects.
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

void checkJob(const mk::PrintJob& job) {
    const std::optional<mk::test::ReceivedJob> received = mk::test::parsePrintJob(job);
    require(received.has_value());
    const std::optional<mk::test::PcxPicture> picture = mk::test::decodePcx(received->graphic);
    require(picture.has_value());
    require(commandValue(*received, "q") == picture->width);
    require(commandValue(*received, "Q") == picture->height);
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
    mk::composeDocumentVariableTexts(*doc);
    const std::optional<std::string> rfid = mk::collectRfidCommands(*doc);
    mk::copyPrinterSettings(printer, *doc);
    const mk::PrintJob job = mk::buildLabelCommands(*doc, printer.dpi, printer.interfaceType, rfid.value_or(""));
    // A label of at least a millimetre at these resolutions always renders.
    require(!job.empty());
    checkJob(job);

    mk::destroyPrinter(printer);
    MkLabelDoc_Destroy(doc);
    return 0;
}
