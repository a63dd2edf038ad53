#include "lsf/flat_xml.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

#include "lsf/number_text.h"

namespace mk {
namespace {

template <typename Word>
Word loadWord(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Whether the size bytes at a and at b are the same: a word at a time, the
// last word overlapping the ones before, and no call.
bool sameBytes(const char* a, const char* b, std::size_t size) {
    if (size < 8) {
        for (std::size_t at = 0; at < size; ++at) {
            if (a[at] != b[at]) return false;
        }
        return true;
    }
    for (std::size_t at = 0; at + 8 < size; at += 8) {
        if (loadWord<uint64_t>(a + at) != loadWord<uint64_t>(b + at)) return false;
    }
    return loadWord<uint64_t>(a + size - 8) == loadWord<uint64_t>(b + size - 8);
}

struct Entity {
    std::string_view text;
    char byte;
};

// Decoded in this order; the order matters ("&amp;lt;" becomes "<").
constexpr Entity kEntities[] = {
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#xD;", '\r'}, {"&#xA;", '\n'},
};

// The first pass, "&amp;", by the restart-from-the-beginning rule without
// restarting. After a replacement no match can begin before it: none did, and
// no entity holds its replacement byte anywhere but possibly its first byte. A
// match can begin at the replacement itself only when that byte is the
// entity's first ('&' for "&amp;") and the rest of the entity follows, which
// is swallowed in place. False, with out untouched, when raw holds no match.
bool decodeFirstPass(std::string_view raw, std::string& out) {
    const Entity& entity = kEntities[0];
    constexpr SearchText kSearched(kEntities[0].text);
    std::size_t hit = findText(raw, kSearched, 0);
    if (hit == std::string_view::npos) return false;  // most values hold no entity: no copy
    const std::string_view tail = entity.text.substr(1);
    out.reserve(raw.size());
    std::size_t pos = 0;
    while (hit != std::string_view::npos) {
        out.append(raw, pos, hit - pos);
        pos = hit + entity.text.size();
        while (raw.substr(pos).starts_with(tail)) pos += tail.size();
        out += entity.byte;
        hit = findText(raw, kSearched, pos);
    }
    out.append(raw, pos);
    return true;
}

// The entity of the five later passes that begins at raw[at] (a '&'), or null.
const Entity* laterEntityAt(std::string_view raw, std::size_t at) {
    // Their second bytes: most '&' begin none of them, and a byte says so.
    if (at + 1 >= raw.size()) return nullptr;
    const char second = raw[at + 1];
    if (second != 'l' && second != 'g' && second != 'q' && second != '#') return nullptr;
    const std::string_view rest = raw.substr(at);
    const auto entity = std::find_if(std::begin(kEntities) + 1, std::end(kEntities),
                                     [&](const Entity& e) { return rest.starts_with(e.text); });
    return entity == std::end(kEntities) ? nullptr : entity;
}

// The five passes after the first at once. Their entities run from a '&' to
// the next ';' with no '&' between, so no two occurrences overlap, and none
// holds a byte that any of them decodes to: no replacement makes or breaks
// another occurrence, and their order does not matter. False, with out
// untouched, when raw holds none of them.
bool decodeLaterPasses(std::string_view raw, std::string& out) {
    std::size_t pos = 0;
    bool found = false;
    for (std::size_t amp = raw.find('&'); amp != std::string_view::npos;) {
        const Entity* entity = laterEntityAt(raw, amp);
        if (entity == nullptr) {
            // The next byte is looked at before searching: a run of '&' costs
            // no search for each.
            ++amp;
            if (amp >= raw.size()) break;
            if (raw[amp] != '&') amp = raw.find('&', amp);
            continue;
        }
        if (!found) out.reserve(raw.size());  // most values hold no entity: no copy
        found = true;
        out.append(raw, pos, amp - pos);
        out += entity->byte;
        pos = amp + entity->text.size();
        amp = raw.find('&', pos);
    }
    if (found) out.append(raw, pos);
    return found;
}

// The byte the decoding of raw gives where a decoded byte begins at raw[at]
// (at 0, and after each step), and where the next one begins: pass by pass as
// above, for a value read a byte at a time.
std::size_t decodeStep(std::string_view raw, std::size_t at, char& byte) {
    byte = raw[at];
    if (byte != '&') return at + 1;
    // The first pass: "&amp;" and every "amp;" after it give one '&'.
    const std::string_view ampTail = kEntities[0].text.substr(1);
    std::size_t next = at + 1;
    while (raw.substr(next).starts_with(ampTail)) next += ampTail.size();
    // The later passes see that '&' followed by the raw bytes after it.
    for (const Entity& entity : std::span(kEntities).subspan(1)) {
        if (raw.substr(next).starts_with(entity.text.substr(1))) {
            byte = entity.byte;
            return next + entity.text.size() - 1;
        }
    }
    return next;
}

}  // namespace

std::size_t findText(std::string_view text, const SearchText& pattern, std::size_t from) {
    const std::size_t length = pattern.size();
    if (length == 0) return from <= text.size() ? from : std::string_view::npos;
    if (from >= text.size() || text.size() - from < length) return std::string_view::npos;
    // Only a window that ends in the pattern's last byte can match, and memchr
    // finds the next one far faster than a byte-by-byte walk. After a window
    // that does not match, the pattern moves on by its shift: past the whole
    // window for a tag or an entity, whose last byte ('>' or ';') occurs
    // nowhere else in it. So text made of the pattern's first byte (a run of
    // '<') costs no more than any other.
    const char* const wanted = pattern.text().data();
    const char last = wanted[length - 1];
    const char* const bytes = text.data();
    const std::size_t lastStart = text.size() - length;
    for (std::size_t at = from; at <= lastStart;) {
        const auto* end = static_cast<const char*>(std::memchr(bytes + at + length - 1, last, lastStart - at + 1));
        if (end == nullptr) break;
        at = static_cast<std::size_t>(end - bytes) - (length - 1);
        // Most candidates differ in their first byte.
        if (bytes[at] == wanted[0] && sameBytes(bytes + at + 1, wanted + 1, length - 1)) return at;
        at += pattern.shift();
    }
    return std::string_view::npos;
}

bool RecordWalk::next(std::string_view& record) {
    const std::size_t open = findText(text_, open_, pos_);
    if (open == std::string_view::npos) return false;
    const std::size_t close = findText(text_, close_, open);
    if (close == std::string_view::npos) return false;
    pos_ = close + close_.size();
    record = text_.substr(open, pos_ - open);
    return true;
}

std::vector<std::string_view> RecordWalk::take(std::size_t most) {
    std::vector<std::string_view> records;
    for (std::string_view record; records.size() < most && next(record);) records.push_back(record);
    return records;
}

namespace {

// A decoded text is kept by the document; one made of entities is a fraction
// of the raw text reserved for it (4 MiB of "&#xA;" reserves 24), and should
// not hold the rest for the document's life.
std::string tight(std::string&& text) {
    if (text.capacity() - text.size() > text.size() / 4 + 4096) text.shrink_to_fit();
    return std::move(text);
}

}  // namespace

std::string decodeXmlEntities(std::string_view raw) {
    if (raw.find('&') == std::string_view::npos) return std::string(raw);
    std::string first;
    const bool ampersands = decodeFirstPass(raw, first);
    std::string later;
    if (decodeLaterPasses(ampersands ? std::string_view(first) : raw, later)) return tight(std::move(later));
    if (ampersands) return tight(std::move(first));  // moved, not copied
    return std::string(raw);
}

namespace {

// Eight bytes at a time, the last eight overlapping the ones before: keys are
// short, and every tag that may name one is hashed.
std::size_t nameHash(std::string_view name) {
    const std::size_t size = name.size();
    const char* const bytes = name.data();
    uint64_t hash = size;
    const auto mix = [&](uint64_t word) {
        hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 29;
    };
    if (size >= 8) {
        for (std::size_t at = 0; at + 8 < size; at += 8) mix(loadWord<uint64_t>(bytes + at));
        mix(loadWord<uint64_t>(bytes + size - 8));
    } else if (size >= 4) {
        mix(loadWord<uint32_t>(bytes) | uint64_t{loadWord<uint32_t>(bytes + size - 4)} << 32);
    } else if (size > 0) {
        mix(static_cast<uint8_t>(bytes[0]) | static_cast<uint8_t>(bytes[size / 2]) << 8 |
            static_cast<uint8_t>(bytes[size - 1]) << 16);
    }
    return static_cast<std::size_t>(hash);
}

// '<' (0x3C) and '>' (0x3E) differ only in bit 1: with it set, both are '>'.
bool isAngleBracket(char c) { return (c | 0x02) == '>'; }

// The first '<' or '>' in [from, limit), or limit; eight bytes at a time
// after the first two, which end a run of '<' or of short names at once.
const char* firstAngleBracket(const char* from, const char* limit) {
    for (int i = 0; i < 2; ++i, ++from) {
        if (from == limit || isAngleBracket(*from)) return from;
    }
    constexpr uint64_t kBytes = 0x0101010101010101ull;
    constexpr uint64_t kLow7 = kBytes * 0x7F;
    while (limit - from >= 8) {
        // A byte that is '<' or '>' becomes zero.
        const uint64_t x = (loadWord<uint64_t>(from) | kBytes * 0x02) ^ (kBytes * '>');
        // The high bit of each byte of x that is zero, and of no other.
        const uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
        if (zero != 0) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(zero) : std::countl_zero(zero);
            return from + bit / 8;
        }
        from += 8;
    }
    while (from < limit && !isAngleBracket(*from)) ++from;
    return from;
}

}  // namespace

XmlKeys::XmlKeys(const std::vector<std::string_view>& names) : names_(names) {
    std::size_t slots = 16;
    while (slots < names.size() * 4) slots *= 2;
    slots_.assign(slots, 0);
    for (std::size_t place = 0; place < names.size(); ++place) {
        std::size_t slot = nameHash(names[place]) & (slots - 1);
        while (slots_[slot] != 0) slot = (slot + 1) & (slots - 1);
        slots_[slot] = place + 1;
        longest_ = std::max(longest_, names[place].size());
        lengths_[filterRow(names[place])] |= lengthBit(names[place]);
    }
}

std::size_t XmlKeys::lookUp(std::string_view name) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = nameHash(name) & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
        if (names_[slots_[slot] - 1] == name) return slots_[slot] - 1;
    }
    return npos;
}

void XmlIndex::scan(std::string_view chunk) {
    chunk_ = chunk;
    // A record's chunk holds few of the keys: clearing only those its scan set
    // keeps a scan's cost that of the chunk, not of the key list.
    if (elements_.size() != keys_.size()) {
        elements_.assign(keys_.size(), Element{});
        opened_.reserve(keys_.size());
    }
    for (std::size_t place : opened_) elements_[place] = Element{};
    opened_.clear();
    sharedCut_ = false;
    if (chunk.empty()) return;
    std::size_t incomplete = keys_.size();
    const char* const begin = chunk.data();
    const char* const end = begin + chunk.size();
    const std::size_t nameRoom = keys_.longest() + 1;
    const char* lt = static_cast<const char*>(std::memchr(begin, '<', chunk.size()));
    while (lt != nullptr && incomplete > 0) {
        while (lt + 1 < end && lt[1] == '<') ++lt;  // a '<' followed by another begins no tag
        const char* name = lt + 1;
        const bool closing = name < end && *name == '/';
        if (closing) ++name;
        // A key holds no '<' and no '>': only a tag whose name ends at the
        // first '>', with no '<' before it, can name one. Looking no further
        // than the longest key keeps a run of '<', or of anything, cheap.
        const char* const limit = static_cast<std::size_t>(end - name) > nameRoom ? name + nameRoom : end;
        const char* const nameEnd = firstAngleBracket(name, limit);
        if (nameEnd == limit) {
            lt = static_cast<const char*>(std::memchr(nameEnd, '<', static_cast<std::size_t>(end - nameEnd)));
            continue;
        }
        if (*nameEnd == '<') {  // the next '<' ended the name
            lt = nameEnd;
            continue;
        }
        const std::size_t place = keys_.placeOf(std::string_view(name, static_cast<std::size_t>(nameEnd - name)));
        if (place != XmlKeys::npos) {
            Element& element = elements_[place];
            if (!closing && element.valueStart == std::string_view::npos) {
                element.valueStart = static_cast<std::size_t>(nameEnd + 1 - begin);
                opened_.push_back(place);
            } else if (closing && element.valueStart != std::string_view::npos &&
                       element.closeTag == std::string_view::npos) {
                element.closeTag = static_cast<std::size_t>(lt - begin);
                --incomplete;
            }
        }
        // Where tags stand side by side the next '<' follows at once: no call then.
        const char* const after = nameEnd + 1;
        lt = after < end && *after == '<'
                 ? after
                 : static_cast<const char*>(std::memchr(after, '<', static_cast<std::size_t>(end - after)));
    }
}

namespace {

// White space as strtod and strtol skip it in the "C" locale.
bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Every byte any number's text can hold (digits, signs, the point, exponent,
// hexadecimal, "infinity" and "nan(...)" forms): the first other byte ends
// whatever number the C library reads.
bool mayBeInNumber(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' || c == '-' ||
           c == '.' || c == '(' || c == ')' || c == '_';
}

}  // namespace

// What the C library reads a number from: the decoded value from its first
// byte that is not white space up to the first byte no number holds. Every
// entity decodes to a byte that is white space or ends a number, so past the
// white space the text is the raw bytes themselves, and the value is decoded
// only as far as its leading white space: a number costs what it holds, not
// what its value holds.
std::string XmlIndex::numberText(std::size_t place) const {
    const std::string_view raw = rawValue(place);
    std::size_t at = 0;
    while (at < raw.size()) {
        char byte = 0;
        const std::size_t next = decodeStep(raw, at, byte);
        if (!isCSpace(byte)) break;
        at = next;
    }
    std::size_t end = at;
    while (end < raw.size() && mayBeInNumber(raw[end])) ++end;
    return std::string(raw.substr(at, end - at));
}

// Cut at a '<' written as such, which belongs to no entity, the chunk decodes
// piece by piece exactly as it does whole. Every value's first piece (up to
// its first '<') is its own, so finding the cuts reads the chunk once.
void XmlIndex::cutSharedText() const {
    sharedCut_ = true;
    cuts_.clear();
    for (std::size_t place : opened_) {
        const Element& element = elements_[place];
        if (element.closeTag == std::string_view::npos) continue;
        cuts_.push_back(chunk_.find('<', element.valueStart));  // at worst the closing tag itself
        cuts_.push_back(element.closeTag);
    }
    std::sort(cuts_.begin(), cuts_.end());
    cuts_.erase(std::unique(cuts_.begin(), cuts_.end()), cuts_.end());
    pieces_.clear();
    pieces_.resize(cuts_.size());
}

std::size_t XmlIndex::pieceAt(std::size_t cut) const {
    return static_cast<std::size_t>(std::lower_bound(cuts_.begin(), cuts_.end(), cut) - cuts_.begin());
}

// Null when the decoded piece does not fit the budget.
const std::string* XmlIndex::decodedPiece(std::size_t piece) const {
    Piece& shared = pieces_[piece];
    if (!shared.decoded) {
        const std::size_t from = cuts_[piece];
        std::string text = decodeXmlEntities(chunk_.substr(from, cuts_[piece + 1] - from));
        if (budget_ != nullptr && !budget_->takeText(text)) return nullptr;
        shared.text = std::move(text);
        shared.decoded = true;
    }
    return &shared.text;
}

std::optional<std::string_view> XmlIndex::plainText(std::size_t place) const {
    const std::string_view raw = rawValue(place);
    if (raw.find_first_of("<&") != std::string_view::npos) return std::nullopt;
    return raw;
}

std::string XmlIndex::text(std::size_t place) const {
    const std::string_view raw = rawValue(place);
    const std::size_t firstLt = raw.find('<');
    // A value without markup, or without an entity after its markup, costs
    // what it holds.
    if (firstLt == std::string_view::npos || raw.find('&', firstLt) == std::string_view::npos) {
        return decodeXmlEntities(raw);
    }
    if (!sharedCut_) cutSharedText();
    const Element& element = elements_[place];
    const std::size_t first = pieceAt(element.valueStart + firstLt);
    const std::size_t last = pieceAt(element.closeTag);
    std::size_t size = 0;
    for (std::size_t piece = first; piece < last; ++piece) {
        const std::string* decoded = decodedPiece(piece);
        if (decoded == nullptr) return {};
        size += decoded->size();
    }
    std::string text = decodeXmlEntities(raw.substr(0, firstLt));
    text.reserve(text.size() + size);
    for (std::size_t piece = first; piece < last; ++piece) text += pieces_[piece].text;
    return text;
}

bool XmlIndex::flag(std::size_t place) const {
    const std::string_view raw = rawValue(place);
    // Every entity decodes to a byte that is neither a letter nor '1', so
    // only a value written as it reads can read "true" or "1".
    if (raw.size() != 4 && raw.size() != 1) return false;
    std::string text = decodeXmlEntities(raw);
    if (text.size() != 4) return text == "1";
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text == "true";
}

float XmlIndex::real(std::size_t place) const {
    const std::string text = numberText(place);
    return text.empty() ? 0.0f : textToFloat(text);
}

int XmlIndex::integer(std::size_t place) const {
    const std::string text = numberText(place);
    return text.empty() ? 0 : textToInt32(text, 10);
}

namespace {

template <typename Read>
auto readOneKey(std::string_view chunk, std::string_view key, Read read) {
    const XmlKeys keys({key});
    XmlIndex index(keys);
    index.scan(chunk);
    return read(index);
}

}  // namespace

std::string xmlGetText(std::string_view chunk, std::string_view key) {
    return readOneKey(chunk, key, [](const XmlIndex& index) { return index.text(0); });
}

bool xmlGetBool(std::string_view chunk, std::string_view key) {
    return readOneKey(chunk, key, [](const XmlIndex& index) { return index.flag(0); });
}

float xmlGetFloat(std::string_view chunk, std::string_view key) {
    return readOneKey(chunk, key, [](const XmlIndex& index) { return index.real(0); });
}

int xmlGetInt(std::string_view chunk, std::string_view key) {
    return readOneKey(chunk, key, [](const XmlIndex& index) { return index.integer(0); });
}

}  // namespace mk
