#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Label files hold flat XML that is never parsed as a tree: a value is the text
// between the first "<key>" in a chunk and the first "</key>" after it, with six
// entities decoded. The getters keep no state and never fail; a missing element
// reads as "", false, 0.0 or 0.
namespace mk {

std::string xmlGetText(std::string_view chunk, std::string_view key);
// True for "true" in any letter case or "1", exactly.
bool xmlGetBool(std::string_view chunk, std::string_view key);
float xmlGetFloat(std::string_view chunk, std::string_view key);
// Decimal, saturating at the 32-bit limits; "12.7" reads 12, "0x10" reads 0.
int xmlGetInt(std::string_view chunk, std::string_view key);

// Decodes &amp; &lt; &gt; &quot; &#xD; &#xA; in six passes in that order. Each
// pass replaces the first occurrence and searches again from the start, so text
// a replacement produces is decoded again ("&amp;amp;" gives "&", "&amp;lt;"
// gives "<"). Runs in time linear in the text.
std::string decodeXmlEntities(std::string_view raw);

// Position of the first occurrence of pattern at or after from, or npos.
std::size_t findText(std::string_view text, std::string_view pattern, std::size_t from);

}  // namespace mk
