#include "render/data_mnemonics.h"
#include <array>
namespace mk {
namespace {
struct M { std::string_view text; unsigned char byte; };
constexpr M kM[] = {{"<NUL>",0},{"<SOH>",1},{"<STX>",2},{"<ETX>",3},{"<EOT>",4},{"<ENQ>",5},{"<ACK>",6},{"<BEL>",7},{"<BS>",8},{"<HT>",9},{"<LF>",10},{"<VT>",11},{"<FF>",12},{"<CR>",13},{"<SO>",14},{"<SI>",15},{"<DLE>",16},{"<DC1>",17},{"<DC2>",18},{"<DC3>",19},{"<DC4>",20},{"<NAK>",21},{"<SYN>",22},{"<ETB>",23},{"<CAN>",24},{"<EM>",25},{"<SUB>",26},{"<ESC>",27},{"<FS>",28},{"<GS>",29},{"<RS>",30},{"<US>",31},{"<SPACE>",32},{"<DEL>",127},{"<GS1>",200}};
}
std::string substituteMnemonics(std::string_view data, MnemonicVariant variant) {
  std::string out; size_t i=0;
  while(i<data.size()){ if(data[i]=='<'){ bool hit=false; for(auto&m:kM){ if(data.substr(i,m.text.size())==m.text){ out+= (char)((variant==MnemonicVariant::Text&&m.byte==13)?10:m.byte); i+=m.text.size(); hit=true; break;} } if(hit) continue;} out+=data[i++]; }
  return out;
}
}
