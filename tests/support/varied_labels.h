#pragma once

// Labels as a print service gets them over months: 30 to 200 mm, texts in
// eight faces at hundreds of sizes, barcodes of five kinds, pictures in
// three formats (a third of them shared by many labels), lines and frames.

#include <string>

namespace mk::test {

// The index-th label file of the set (any index; each is made the same way
// every time), with a text composed from the variable "lot".
std::string variedLabelFile(int index);

// The resolution the n-th label is rendered at: 203, 300 and 600 dpi by turns
// of seven.
int variedLabelDpi(long n);

}  // namespace mk::test
