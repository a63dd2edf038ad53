#include <climits>
#include <string>

#include "lsf/load_error.h"
#include "lsf/lsf_image.h"
#include "mklabel.h"
#include "platform/whole_file.h"

namespace mk {

bool loadLsfFile(const char* utf8Path, LabelDoc& doc) {
    if (utf8Path == nullptr) return failLoad(doc, MK_ERR_OPEN_FILE);
    std::string bytes;
    // An image's size is a signed 32-bit count.
    switch (platform::readWholeFile(utf8Path, INT_MAX, bytes)) {
        case platform::WholeFileStatus::Ok:
            break;
        case platform::WholeFileStatus::CannotOpen:
            return failLoad(doc, MK_ERR_OPEN_FILE, utf8Path);
        case platform::WholeFileStatus::CannotRead:
        case platform::WholeFileStatus::TooLarge:
            return failLoad(doc, MK_ERR_READ_FILE, utf8Path);
    }
    doc.errorText.clear();
    return parseLsfImage(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), doc);
}

}  // namespace mk
