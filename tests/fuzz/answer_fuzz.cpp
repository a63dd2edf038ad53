// What printers send back: the status port's reply byte, a tag read's answer
// (over USB or through the call-back), and the "PN" and "RP" confirmations.
// Input: one byte that sets the size of the caller's buffer for a tag read,
// then the bytes the printer sent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "comm/callback.h"
#include "comm/net_transport.h"
#include "comm/printer_status.h"
#include "comm/tag_read.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool isFraming(char c) { return c == '\0' || c == '\x02' || c == '\x03' || c == '\r' || c == '\n'; }

void checkStatusReplies(std::string_view bytes) {
    for (const char byte : bytes) {
        const unsigned char value = static_cast<unsigned char>(byte);
        const int status = mk::statusFromReplyByte(value);
        require(status >= 0 && status <= 255);
        require(status == (value >= '0' && value <= '9' ? value - '0' : value));
        require(!mk::statusText(status).empty());
    }
}

// The answer as the tag reads hand it to the caller, in a buffer of the size
// the caller gave, with guard bytes behind it that must stay untouched.
void checkTagAnswer(std::string_view bytes, int size) {
    const std::string answer = mk::dropAnswerFraming(bytes);
    require(answer.size() <= bytes.size());
    std::size_t kept = 0;
    for (const char c : bytes) {
        if (isFraming(c)) continue;
        require(kept < answer.size() && answer[kept] == c);
        ++kept;
    }
    require(kept == answer.size());

    constexpr int kGuard = 16;
    std::vector<char> buffer(static_cast<std::size_t>(size + kGuard), '\x55');
    const int length = mk::deliverTagAnswer(answer, buffer.data(), size);
    const std::size_t fits = std::min(answer.size(), static_cast<std::size_t>(size - 1));
    if (fits > 0 && answer[0] == 'X') {
        require(length == 0 && buffer[0] == '\0');
    } else {
        require(length == static_cast<int>(fits));
        require(std::memcmp(buffer.data(), answer.data(), fits) == 0 && buffer[fits] == '\0');
    }
    for (int i = size; i < size + kGuard; ++i) require(buffer[static_cast<std::size_t>(i)] == '\x55');
}

void checkConfirmations(std::string_view bytes) {
    require(mk::isPnAnswer(bytes) == (bytes.size() == 2 && bytes[0] == 'P' && bytes[1] == 'N'));
    bool rp = false;
    for (std::size_t i = 1; i < bytes.size(); ++i) rp = rp || (bytes[i - 1] == 'R' && bytes[i] == 'P');
    require(mk::holdsRpAnswer(bytes) == rp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    checkStatusReplies(bytes);
    checkTagAnswer(bytes, 1 + data[0] % 600);
    checkConfirmations(bytes);
    return 0;
}
