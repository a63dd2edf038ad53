#pragma once
#include <string>
#include <string_view>
namespace mk {
enum class MnemonicVariant { General, Text };
std::string substituteMnemonics(std::string_view data, MnemonicVariant variant);
}
