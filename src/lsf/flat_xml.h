#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lsf/load_budget.h"

// Label files hold flat XML that is never parsed as a tree: a value is the text
// between the first "<key>" in a chunk and the first "</key>" after it, with six
// entities decoded. A missing element reads as "", false, 0.0 or 0; nothing
// here fails.
namespace mk {

// The element names a reader looks up, each known by its place in the list.
// A name holds neither '<' nor '>' and does not begin with '/', so a tag that
// names it is found from its '<' up to the first '>'; names are distinct.
class XmlKeys {
public:
    explicit XmlKeys(const std::vector<std::string_view>& names);

    std::size_t size() const { return names_.size(); }
    std::size_t longest() const { return longest_; }
    // The name's place in the list, or npos.
    std::size_t placeOf(std::string_view name) const {
        // Most tags in a chunk are no key; their first byte and length usually say so.
        if ((lengths_[filterRow(name)] & lengthBit(name)) == 0) return npos;
        return lookUp(name);
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    static uint8_t filterRow(std::string_view name) { return name.empty() ? 0 : static_cast<uint8_t>(name[0]); }
    static uint64_t lengthBit(std::string_view name) { return uint64_t{1} << (name.size() < 63 ? name.size() : 63); }
    std::size_t lookUp(std::string_view name) const;

    std::vector<std::string_view> names_;
    // Open addressing, a power of two at least four times the names: each slot
    // holds a place plus one, 0 when empty.
    std::vector<std::size_t> slots_;
    std::size_t longest_ = 0;
    // Row b, bit n: a name that begins with byte b and has n bytes exists
    // (names over 63 bytes: bit 63; the empty name: row 0, bit 0).
    std::array<uint64_t, 256> lengths_{};
};

// The key of each row of a reader's field table, at the row's place.
template <typename FieldTable>
std::vector<std::string_view> keyNamesOf(const FieldTable& table) {
    std::vector<std::string_view> names;
    names.reserve(table.size());
    for (const auto& field : table) names.emplace_back(field.key);
    return names;
}

// Where every key's element stands in one chunk, found in one pass over it,
// so reading all the keys of a record costs time linear in the chunk however
// many keys there are and whatever the chunk holds. Each key's element is the
// one a search from the chunk's first byte finds: its first "<key>" and the
// first "</key>" after that.
class XmlIndex {
public:
    // Text decoded for values that hold markup is charged to the budget, when
    // one is given: it stays until the next scan.
    explicit XmlIndex(const XmlKeys& keys, LoadBudget* budget = nullptr) : keys_(keys), budget_(budget) {}

    // Indexes a new chunk, which must outlive the reads that follow.
    void scan(std::string_view chunk);
    // The places whose opening tag the chunk holds, in text order; every
    // other place reads as a missing element. A record that starts from what
    // missing elements read needs only these read.
    const std::vector<std::size_t>& opened() const { return opened_; }

    // The element's value with entities decoded; "" once the budget is exceeded.
    std::string text(std::size_t place) const;
    // The value where the chunk holds it as it reads (no markup, no entity),
    // so a large one need not be copied to be read; else nullopt.
    std::optional<std::string_view> plainText(std::size_t place) const;
    // True for "true" in any letter case or "1", exactly.
    bool flag(std::size_t place) const;
    // As atof reads the value, then rounded to the nearest float.
    float real(std::size_t place) const;
    // Decimal, saturating at the 32-bit limits; "12.7" reads 12, "0x10" reads 0.
    int integer(std::size_t place) const;

private:
    struct Element {
        std::size_t valueStart = std::string_view::npos;
        std::size_t closeTag = std::string_view::npos;
    };
    struct Piece {
        bool decoded = false;
        std::string text;
    };

    std::string_view rawValue(std::size_t place) const {
        const Element& element = elements_[place];
        if (element.closeTag == std::string_view::npos) return {};
        return chunk_.substr(element.valueStart, element.closeTag - element.valueStart);
    }
    std::string numberText(std::size_t place) const;
    void cutSharedText() const;
    std::size_t pieceAt(std::size_t cut) const;
    const std::string* decodedPiece(std::size_t piece) const;

    const XmlKeys& keys_;
    LoadBudget* budget_;
    std::string_view chunk_;
    std::vector<Element> elements_;
    std::vector<std::size_t> opened_;  // also the elements to clear before the next scan
    // Elements nested in one another share their text. Where values hold
    // markup and entities, the chunk is cut at every value's first '<' and
    // every closing tag (the positions, in order); a piece between two cuts
    // is decoded the first time a value that spans it is read, and each such
    // value is then put together from its own first piece and the decoded
    // pieces it spans. Pieces no such value spans are never decoded.
    mutable bool sharedCut_ = false;
    mutable std::vector<std::size_t> cuts_;
    mutable std::vector<Piece> pieces_;  // pieces_[i] runs from cuts_[i] to cuts_[i + 1]
};

// One lookup of one key; a reader of several keys indexes its chunk once instead.
std::string xmlGetText(std::string_view chunk, std::string_view key);
bool xmlGetBool(std::string_view chunk, std::string_view key);
float xmlGetFloat(std::string_view chunk, std::string_view key);
int xmlGetInt(std::string_view chunk, std::string_view key);

// Decodes &amp; &lt; &gt; &quot; &#xD; &#xA; in six passes in that order. Each
// pass replaces the first occurrence and searches again from the start, so text
// a replacement produces is decoded again ("&amp;amp;" gives "&", "&amp;lt;"
// gives "<"). Runs in time linear in the text.
std::string decodeXmlEntities(std::string_view raw);

// A text to search for, and how far a search moves on after a window that
// ends in the text's last byte but does not match: to where that byte stands
// earlier in the text, or past the whole window. Worked out when the text is
// made, so constant texts cost their searches nothing for it.
class SearchText {
public:
    constexpr SearchText(std::string_view text) : text_(text), shift_(shiftOf(text)) {}
    constexpr SearchText(const char* text) : SearchText(std::string_view(text)) {}

    constexpr std::string_view text() const { return text_; }
    constexpr std::size_t size() const { return text_.size(); }
    constexpr std::size_t shift() const { return shift_; }

private:
    static constexpr std::size_t shiftOf(std::string_view text) {
        if (text.empty()) return 1;
        const std::size_t earlier = text.substr(0, text.size() - 1).rfind(text.back());
        return earlier == std::string_view::npos ? text.size() : text.size() - 1 - earlier;
    }

    std::string_view text_;
    std::size_t shift_;
};

// Position of the first occurrence of pattern at or after from, or npos.
std::size_t findText(std::string_view text, const SearchText& pattern, std::size_t from);

// The records of a list, each an element written "<Name>...</Name>": from an
// opening tag through the first closing tag after it, the next one searched
// for after that closing tag. Text between records is ignored, a record's
// text may hold another opening tag, and an opening tag never closed ends
// the list.
class RecordWalk {
public:
    RecordWalk(std::string_view text, const SearchText& openTag, const SearchText& closeTag)
        : text_(text), open_(openTag), close_(closeTag) {}

    // The next record's text, tags included; false once there is none.
    bool next(std::string_view& record);
    // The texts of the records left, no more than most of them.
    std::vector<std::string_view> take(std::size_t most);

private:
    std::string_view text_;
    SearchText open_;
    SearchText close_;
    std::size_t pos_ = 0;
};

}  // namespace mk
