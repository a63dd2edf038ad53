#pragma once

#include <memory>

#include "mklabel.h"

namespace mk::test {

// Owning wrappers so every test path releases its handles.
struct LabelDeleter {
    void operator()(LabelDoc* doc) const { MkLabel_Destroy(doc); }
};
using LabelPtr = std::unique_ptr<LabelDoc, LabelDeleter>;

struct PrinterDeleter {
    void operator()(Printer* printer) const { MkPrinter_Destroy(printer); }
};
using PrinterPtr = std::unique_ptr<Printer, PrinterDeleter>;

}  // namespace mk::test
