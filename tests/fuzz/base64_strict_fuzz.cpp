// Image text a host hands to MkLabel_AddImage: the strict decoder either
// refuses it or gives exactly the bytes the label file's tolerant decoder
// reads from the same text, and the call adds an object exactly when the
// decoder accepts. Any bytes, encoded (with or without line breaks), decode
// back to themselves.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lsf/objects_xml.h"
#include "mklabel.h"
#include "model/label_doc.h"
#include "portable/base64_strict.h"
#include "support/lsf_writer.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The decoder skips these between characters.
bool isBlank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

void checkAccepted(std::string_view text, const mk::platform::MappedBytes& bytes) {
    require(std::ranges::equal(bytes, mk::base64Decode(text)));
    std::size_t characters = 0;
    std::size_t padding = 0;
    for (char c : text) {
        if (isBlank(c)) continue;
        ++characters;
        if (c == '=') ++padding;
    }
    require(characters % 4 == 0);
    require(bytes.size() == characters / 4 * 3 - padding);
}

void checkAddImage(std::string_view text, const std::optional<mk::platform::MappedBytes>& decoded) {
    LabelDoc* doc = MkLabel_Create();
    const std::string terminated(text);
    const int index = MkLabel_AddImage(doc, "image1", 1.0f, 1.0f, 1.0f, terminated.c_str());
    require((index >= 0) == decoded.has_value());
    if (decoded) require(std::ranges::equal(mk::objectAt(doc, index)->imagedata, *decoded));
    MkLabel_Destroy(doc);
}

std::string withLineBreaks(const std::string& text, std::size_t every) {
    std::string broken;
    for (std::size_t i = 0; i < text.size(); i += every) broken += text.substr(i, every) + "\r\n";
    return broken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto decoded = mk::platform::decodeBase64Strict(text);
    if (decoded) checkAccepted(text, *decoded);
    // The call takes a C string: it sees the text up to its first NUL.
    const std::string_view cText = text.substr(0, text.find('\0'));
    checkAddImage(cText, cText.size() == text.size() ? decoded : mk::platform::decodeBase64Strict(cText));

    const std::vector<uint8_t> bytes(data, data + size);
    const std::string encoded = mk::test::base64Encode(bytes);
    require(std::ranges::equal(*mk::platform::decodeBase64Strict(encoded), bytes));
    require(std::ranges::equal(*mk::platform::decodeBase64Strict(withLineBreaks(encoded, 1 + size % 76)), bytes));
    return 0;
}
