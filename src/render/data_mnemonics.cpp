#include "render/data_mnemonics.h"

namespace mk {

const std::array<DataMnemonic, 35> dataMnemonics{{
    {"<NUL>", 0},  {"<SOH>", 1},  {"<STX>", 2},  {"<ETX>", 3},  {"<EOT>", 4},    {"<ENQ>", 5},   {"<ACK>", 6},
    {"<BEL>", 7},  {"<BS>", 8},   {"<HT>", 9},   {"<LF>", 10},  {"<VT>", 11},    {"<FF>", 12},   {"<CR>", 13},
    {"<SO>", 14},  {"<SI>", 15},  {"<DLE>", 16}, {"<DC1>", 17}, {"<DC2>", 18},   {"<DC3>", 19},  {"<DC4>", 20},
    {"<NAK>", 21}, {"<SYN>", 22}, {"<ETB>", 23}, {"<CAN>", 24}, {"<EM>", 25},    {"<SUB>", 26},  {"<ESC>", 27},
    {"<FS>", 28},  {"<GS>", 29},  {"<RS>", 30},  {"<US>", 31},  {"<SPACE>", 32}, {"<DEL>", 127}, {"<GS1>", 200},
}};

namespace {

constexpr unsigned char kLineFeed = 10;
constexpr unsigned char kCarriageReturn = 13;

}  // namespace

std::string substituteMnemonics(std::string_view data, MnemonicVariant variant) {
    std::string out;
    out.reserve(data.size());
    size_t i = 0;
    while (i < data.size()) {
        if (data[i] != '<') {
            out.push_back(data[i++]);
            continue;
        }
        const DataMnemonic* match = nullptr;
        for (const DataMnemonic& m : dataMnemonics) {
            if (data.substr(i, m.text.size()) == m.text) {
                match = &m;
                break;
            }
        }
        if (match == nullptr) {
            out.push_back(data[i++]);
            continue;
        }
        unsigned char byte = match->byte;
        if (variant == MnemonicVariant::Text && byte == kCarriageReturn) byte = kLineFeed;
        out.push_back(static_cast<char>(byte));
        i += match->text.size();
    }
    return out;
}

}  // namespace mk
