#pragma once

// Shared by the print-call tests: a label loaded from a label file the way a
// host loads one, printers of each kind, and the check that what a printer
// received is a whole job carrying the label's own render.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "mklabel.h"
#include "model/label_doc.h"
#include "print/pcx_image.h"
#include "support/handles.h"
#include "support/lsf_writer.h"
#include "support/print_job_reader.h"
#include "support/reference_labels.h"

namespace mk::test {

using PrintCall = int (*)(LabelDoc*, Printer*);

struct NamedPrintCall {
    const char* name;
    PrintCall call;
};
inline constexpr NamedPrintCall kPrintCalls[] = {{"MkLabelDoc_Print", MkLabelDoc_Print},
                                                 {"MkLabel_Print", MkLabel_Print}};

// Written as a label file and loaded through the interface.
inline LabelPtr loadLabel(const LabelDoc& design) {
    const std::string image = lsfOf(design);
    LabelPtr doc(MkLabelDoc_LoadFromMemory(image.data(), static_cast<int>(image.size())));
    EXPECT_NE(doc, nullptr) << MkGetLastErrorMessage();
    return doc;
}

inline PrinterPtr printerOfType(int interfaceType, int dpi = 203) {
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), interfaceType);
    MkPrinter_SetDpi(printer.get(), dpi);
    // Fast, so that a confirmed print's wait for its label stays short.
    MkPrinter_SetSpeed(printer.get(), 8);
    MkPrinter_SetDarkness(printer.get(), 12);
    return printer;
}

inline PrinterPtr networkPrinter(int interfaceType, const std::string& address, int dpi = 203) {
    PrinterPtr printer = printerOfType(interfaceType, dpi);
    MkPrinter_SetNetAddress(printer.get(), address.c_str());
    return printer;
}

// The job a printer received prints the document's label as the label
// renders now (after the print call prepared it): page set-up from the
// printer's settings, the graphic pixel for pixel, then the print command.
inline void expectLabelJob(std::string_view bytes, LabelDoc* doc, Printer* printer, std::string_view printCommand) {
    const std::optional<ReceivedJob> job = parsePrintJob(bytes);
    ASSERT_TRUE(job.has_value()) << "not a whole job";
    ASSERT_GE(job->lines.size(), 11u);

    void* rendered = nullptr;
    int width = 0, height = 0, stride = 0;
    ASSERT_EQ(MkLabel_Render(doc, printer, 0, &rendered, &width, &height, &stride), MK_OK);
    const MonochromeBitmap expected = toMonochrome(static_cast<uint8_t*>(rendered), width, height, stride);
    MkFree(rendered);

    EXPECT_EQ(job->lines[0], "I8,1,001");
    EXPECT_EQ(job->lines[1], "S80");
    EXPECT_EQ(job->lines[2], "H12");
    EXPECT_EQ(job->lines[3], "q" + std::to_string(width));
    EXPECT_EQ(job->lines[4], "Q" + std::to_string(height) + ",16");
    EXPECT_EQ(job->lines[job->lines.size() - 2], printCommand);

    const std::optional<PcxPicture> picture = decodePcx(job->graphic);
    ASSERT_TRUE(picture.has_value()) << "the graphic is not a PCX file";
    ASSERT_EQ(picture->width, width);
    ASSERT_EQ(picture->height, height);
    EXPECT_TRUE(picture->bits == expected.bits) << "the graphic differs from the label's render";
    // Not a blank page: the filled box (2..12 × 7..13 mm) prints dark, and
    // not a dark one: the top right corner stays clear (the bottom one holds
    // the barcode's text, as wide as the system's font draws it).
    const int x = width * 7 / 30;
    const int y = height * 10 / 15;
    EXPECT_FALSE(picture->isLight(x, y));
    EXPECT_TRUE(picture->isLight(width - 1, 0));
}

}  // namespace mk::test
