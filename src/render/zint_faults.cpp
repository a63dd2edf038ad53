#include "render/zint_faults.h"

namespace mk {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// zint's PDF417 encoder weighs whether a run of 11 or 12 digits stays in
// numeric compaction by measuring its neighbours as text, even when a
// neighbour is a byte block: a byte of 127 or more then indexes past the end
// of its 127-entry character table. Which block borders the run depends on
// zint's merging of short blocks, so any such byte in the data counts.
bool pdf417DigitsBesideHighBytes(std::string_view data) {
    bool highByte = false;
    bool riskyRun = false;
    size_t run = 0;
    for (size_t i = 0; i <= data.size(); ++i) {
        if (i < data.size() && isDigit(data[i])) {
            ++run;
            continue;
        }
        if (run == 11 || run == 12) riskyRun = true;
        run = 0;
        if (i < data.size() && static_cast<unsigned char>(data[i]) >= 127) highByte = true;
    }
    return highByte && riskyRun;
}

}  // namespace

const char* pdf417ZintFault(std::string_view data) {
    if (pdf417DigitsBesideHighBytes(data))
        return "Refused: PDF417 data with a run of 11 or 12 digits and bytes above 126 makes this zint read out of "
               "bounds";
    return nullptr;
}

}  // namespace mk
