// RAW jobs through the Windows print spooler: one document of one page, one
// write that must take every byte.
#include "platform/spooler.h"

#include <windows.h>
#include <winspool.h>

#include <limits>

#include "platform/win32/wide_path.h"

namespace mk::platform {

struct SpoolerJob::State {
    HANDLE printer = nullptr;
    bool documentStarted = false;  // StartDocPrinter succeeded
    bool pageStarted = false;
    bool finished = false;
};

SpoolerJob::SpoolerJob() : state_(std::make_unique<State>()) {}

SpoolerJob::~SpoolerJob() {
    if (state_->printer == nullptr) return;
    // A job that did not finish is deleted rather than ended: ending it would
    // print whatever part of it the spooler holds.
    if (state_->documentStarted && !state_->finished) AbortPrinter(state_->printer);
    ClosePrinter(state_->printer);
}

bool SpoolerJob::open(const std::string& printerName) {
    // An empty name would open the print server, not a printer.
    const std::wstring name = widePath(printerName.c_str());
    if (name.empty()) return false;
    return OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &state_->printer, nullptr) != 0;
}

bool SpoolerJob::create(const std::string& title) {
    if (state_->printer == nullptr) return false;
    std::wstring wideTitle = widePath(title.c_str());
    wchar_t rawType[] = L"RAW";
    DOC_INFO_1W document{};
    document.pDocName = wideTitle.data();
    document.pOutputFile = nullptr;
    document.pDatatype = rawType;
    state_->documentStarted = StartDocPrinterW(state_->printer, 1, reinterpret_cast<BYTE*>(&document)) != 0;
    return state_->documentStarted;
}

bool SpoolerJob::startDocument() {
    if (!state_->documentStarted) return false;
    state_->pageStarted = StartPagePrinter(state_->printer) != 0;
    return state_->pageStarted;
}

bool SpoolerJob::write(const void* data, std::size_t length) {
    if (!state_->pageStarted || length > std::numeric_limits<DWORD>::max()) return false;
    // Windows reports the count the spooler took; Wine's spooler takes the
    // whole buffer into its spool file and leaves the count as it was.
    DWORD written = static_cast<DWORD>(length);
    const BOOL ok = WritePrinter(state_->printer, const_cast<void*>(data), static_cast<DWORD>(length), &written);
    return ok != 0 && written == length;
}

bool SpoolerJob::finish() {
    if (!state_->pageStarted) return false;
    EndPagePrinter(state_->printer);
    // The spooler may refuse the document only here (a queue that takes no
    // jobs): its verdict is the job's.
    state_->finished = EndDocPrinter(state_->printer) != 0;
    // Whether it was taken or refused, the job is over: nothing to delete.
    state_->documentStarted = false;
    return state_->finished;
}

}  // namespace mk::platform
