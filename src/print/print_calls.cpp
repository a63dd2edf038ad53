// The print and blank-page calls: prepare the document, build the job,
// connect when needed and send it the way the printer's interface asks.
#include <climits>
#include <cstdint>
#include <optional>
#include <string>

#include "comm/connection.h"
#include "comm/transport.h"
#include "comm/write_data.h"
#include "mklabel.h"
#include "model/append_format.h"
#include "model/export_guard.h"
#include "model/label_doc.h"
#include "model/printer.h"
#include "model/rescale.h"
#include "model/variables.h"
#include "print/print_job.h"
#include "print/rfid_commands.h"
#include "portable/int_convert.h"

namespace {

bool ensureConnected(Printer& printer) { return mk::isConnected(printer) || mk::connectPrinter(printer); }

const std::uint8_t* bytesOf(std::string_view text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

// Builds the job for a document already prepared, connects and sends it.
int printPrepared(LabelDoc& doc, Printer& printer, const std::optional<std::string>& rfidCommands) {
    if (!rfidCommands) return MK_PRINT_JOB_FAILED;
    const mk::PrintJob job = mk::buildLabelCommands(doc, printer.dpi, printer.interfaceType, *rfidCommands);
    if (job.empty() || job.size() > static_cast<size_t>(INT_MAX)) return MK_PRINT_JOB_FAILED;
    if (!ensureConnected(printer)) return MK_PRINT_CONNECT_FAILED;

    const mk::Transport& transport = mk::transportFor(printer.interfaceType);
    if (!transport.sendLabel(printer, bytesOf(job), static_cast<int>(job.size()), doc.labelheight)) {
        return MK_PRINT_SEND_FAILED;
    }
    return transport.readAnswer(printer) ? MK_OK : MK_PRINT_NO_RESPONSE;
}

// A page of millimetres in dots: multiplied by the resolution before the
// division, in 32-bit floats, as the printers' hosts compute it.
int pageDots(float mm, int dpi) {
    const float scaled = mm * static_cast<float>(dpi);
    return mk::platform::truncToInt(scaled / 25.4f + 0.5f);
}

// The whole page the labels sit on: every column or row with the gaps
// between them (and, across, the page's edges).
float pageWidthMm(const LabelDoc& doc) {
    const float edges = doc.pagerightedges + doc.pageleftedges;
    const float labels = static_cast<float>(doc.labelcolumnnum) * doc.labelwidth;
    const float gaps = static_cast<float>(static_cast<int64_t>(doc.labelcolumnnum) - 1) * doc.labelcolumngap;
    return edges + labels + gaps;
}

float pageHeightMm(const LabelDoc& doc) {
    const float gaps = static_cast<float>(static_cast<int64_t>(doc.labelrownum) - 1) * doc.labelrowgap;
    const float labels = static_cast<float>(doc.labelrownum) * doc.labelheight;
    return gaps + labels;
}

// Tenths of inches per second; a speed of 0 or less would stop the printer.
long long blankPageSpeed(int speed) {
    const long long tenths = static_cast<long long>(speed) * 10;
    return tenths < 10 ? 40 : tenths;
}

constexpr int kTestTextMode = 1;

std::string buildBlankPage(const LabelDoc& doc, const Printer& printer, int mode) {
    std::string page = "I8,1,001\r\n";
    mk::appendFormat(page, "S%lld\r\nH%d\r\n", blankPageSpeed(printer.speed), printer.darkness);
    mk::appendFormat(page, "q%d\r\n", pageDots(pageWidthMm(doc), printer.dpi));
    mk::appendFormat(page, "Q%d,%d\r\n", pageDots(pageHeightMm(doc), printer.dpi), printer.gapMedia ? 16 : 0);
    if (mode == kTestTextMode) page += "T24,24,0,3,1,1,N,\"XXXXXXXX\"\r\n";
    page += "W1,1\r\n";
    return page;
}

int printBlankPage(LabelDoc* doc, Printer* printer, int mode) {
    if (doc == nullptr || printer == nullptr) return MK_BLANK_BAD_ARGS;
    return mk::guarded(MK_BLANK_SEND_FAILED, [&] {
        const std::string page = buildBlankPage(*doc, *printer, mode);
        if (!ensureConnected(*printer)) return MK_BLANK_CONNECT_FAILED;
        const bool sent = mk::writeData(*printer, bytesOf(page), static_cast<int>(page.size()));
        return sent ? MK_OK : MK_BLANK_SEND_FAILED;
    });
}

}  // namespace

extern "C" {

MK_API int MkLabelDoc_Print(LabelDoc* doc, Printer* printer) {
    if (doc == nullptr || printer == nullptr) return MK_PRINT_BAD_ARGS;
    return mk::guarded(MK_PRINT_JOB_FAILED, [&] {
        mk::rescaleForPrinter(*doc, printer->dpi);
        if (!mk::composeDocumentVariableTexts(*doc)) return MK_PRINT_JOB_FAILED;
        const std::optional<std::string> rfidCommands = mk::collectRfidCommands(*doc);
        mk::copyPrinterSettings(*printer, *doc);
        return printPrepared(*doc, *printer, rfidCommands);
    });
}

// Prints the label as it stands: no rescaling, no variable text.
MK_API int MkLabel_Print(LabelDoc* doc, Printer* printer) {
    if (doc == nullptr || printer == nullptr) return MK_PRINT_BAD_ARGS;
    return mk::guarded(MK_PRINT_JOB_FAILED, [&] {
        mk::copyPrinterSettings(*printer, *doc);
        return printPrepared(*doc, *printer, mk::collectRfidCommands(*doc));
    });
}

MK_API int MkLabelDoc_PrintBlankPage(LabelDoc* doc, Printer* printer, int mode) {
    return printBlankPage(doc, printer, mode);
}

MK_API int MkLabel_PrintBlankPage(LabelDoc* doc, Printer* printer, int mode) {
    return printBlankPage(doc, printer, mode);
}

}  // extern "C"
