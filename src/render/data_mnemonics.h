#pragma once

#include <array>
#include <string>
#include <string_view>

namespace mk {

// A control byte that object data may name in angle brackets.
struct DataMnemonic {
    std::string_view text;
    unsigned char byte;
};

// In the order they are tried.
extern const std::array<DataMnemonic, 35> dataMnemonics;

// General: barcodes. Text: "<CR>" breaks the line like "<LF>".
enum class MnemonicVariant { General, Text };

// Replaces every mnemonic in the data by its byte; anything else, a "<" that
// starts no mnemonic included, is kept.
std::string substituteMnemonics(std::string_view data, MnemonicVariant variant);

}  // namespace mk
