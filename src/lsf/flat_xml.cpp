#include "lsf/flat_xml.h"

#include <cstring>

#include "lsf/number_text.h"

namespace mk {
namespace {

struct Entity {
    std::string_view text;
    char byte;
};

// Decoded in this order; the order matters ("&amp;lt;" becomes "<").
constexpr Entity kEntities[] = {
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#xD;", '\r'}, {"&#xA;", '\n'},
};

// One pass of the restart-from-the-beginning rule without restarting. After a
// replacement no match can begin before it: none did, and no entity holds its
// replacement byte anywhere but possibly its first byte. A match can begin at
// the replacement itself only when that byte is the entity's first ('&' for
// "&amp;") and the rest of the entity follows, which is swallowed in place.
void decodePass(std::string& value, const Entity& entity) {
    std::size_t hit = findText(value, entity.text, 0);
    if (hit == std::string_view::npos) return;  // most values hold no entity: no copy
    const std::string_view tail = entity.text.substr(1);
    std::string decoded;
    decoded.reserve(value.size());
    std::size_t pos = 0;
    while (hit != std::string_view::npos) {
        decoded.append(value, pos, hit - pos);
        pos = hit + entity.text.size();
        if (entity.byte == entity.text.front()) {
            while (std::string_view(value).substr(pos).starts_with(tail)) pos += tail.size();
        }
        decoded += entity.byte;
        hit = findText(value, entity.text, pos);
    }
    decoded.append(value, pos);
    value = std::move(decoded);
}

}  // namespace

std::size_t findText(std::string_view text, std::string_view pattern, std::size_t from) {
    if (pattern.empty()) return from <= text.size() ? from : std::string_view::npos;
    if (from >= text.size() || text.size() - from < pattern.size()) return std::string_view::npos;
    // memchr on the first byte skips long runs (Base64 image text holds no '<')
    // far faster than a byte-by-byte compare.
    const char* const begin = text.data();
    const char* const last = begin + (text.size() - pattern.size());
    const char* at = begin + from;
    while (at <= last) {
        const auto* found = static_cast<const char*>(std::memchr(at, pattern.front(), static_cast<std::size_t>(last - at) + 1));
        if (found == nullptr) break;
        if (std::memcmp(found + 1, pattern.data() + 1, pattern.size() - 1) == 0) {
            return static_cast<std::size_t>(found - begin);
        }
        at = found + 1;
    }
    return std::string_view::npos;
}

std::string decodeXmlEntities(std::string_view raw) {
    if (raw.find('&') == std::string_view::npos) return std::string(raw);
    std::string value(raw);
    for (const Entity& entity : kEntities) decodePass(value, entity);
    return value;
}

std::string xmlGetText(std::string_view chunk, std::string_view key) {
    std::string openTag;
    openTag.reserve(key.size() + 2);
    openTag.append("<").append(key).append(">");
    std::string closeTag;
    closeTag.reserve(key.size() + 3);
    closeTag.append("</").append(key).append(">");

    const std::size_t open = findText(chunk, openTag, 0);
    if (open == std::string_view::npos) return {};
    const std::size_t start = open + openTag.size();
    const std::size_t close = findText(chunk, closeTag, start);
    if (close == std::string_view::npos) return {};
    return decodeXmlEntities(chunk.substr(start, close - start));
}

bool xmlGetBool(std::string_view chunk, std::string_view key) {
    std::string text = xmlGetText(chunk, key);
    if (text.size() != 4) return text == "1";
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text == "true";
}

float xmlGetFloat(std::string_view chunk, std::string_view key) {
    const std::string text = xmlGetText(chunk, key);
    return text.empty() ? 0.0f : textToFloat(text);
}

int xmlGetInt(std::string_view chunk, std::string_view key) {
    const std::string text = xmlGetText(chunk, key);
    return text.empty() ? 0 : textToInt32(text, 10);
}

}  // namespace mk
