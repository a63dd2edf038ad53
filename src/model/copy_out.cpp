#include "model/copy_out.h"

#include <algorithm>
#include <cstring>

namespace mk {

int copyOut(std::string_view text, char* buffer, int size) {
    const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

}  // namespace mk
