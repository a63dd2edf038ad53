// Tag reads for the host.
#include "comm/tag_read.h"
#include "mklabel.h"
#include "model/export_guard.h"

extern "C" {

MK_API int MkPrinter_ReadHFTag(Printer* printer, int hsParameter, int startBlock, int blockCount, int timeoutMs,
                               char* buffer, int size) {
    if (printer == nullptr) return -1;
    return mk::guarded(-1, [&] {
        return mk::readHFTag(*printer, hsParameter, startBlock, blockCount, timeoutMs, buffer, size);
    });
}

MK_API int MkPrinter_ReadUHFTag(Printer* printer, int bank, int length, int timeoutMs, char* buffer, int size) {
    if (printer == nullptr) return -1;
    return mk::guarded(-1, [&] { return mk::readUHFTag(*printer, bank, length, timeoutMs, buffer, size); });
}

}  // extern "C"
