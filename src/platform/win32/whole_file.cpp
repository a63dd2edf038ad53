#include "platform/whole_file.h"

#include <windows.h>

#include <algorithm>
#include <new>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_path.h"

namespace mk::platform {

WholeFileStatus readWholeFile(const char* path, std::size_t maxSize, std::string& bytes) {
    const std::wstring wide = widePath(path);
    if (wide.empty()) return WholeFileStatus::CannotOpen;
    HANDLE opened = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return WholeFileStatus::CannotOpen;
    UniqueHandle file(opened);
    // A pipe or a device would be read as a stream that may never end.
    if (GetFileType(opened) != FILE_TYPE_DISK) return WholeFileStatus::CannotOpen;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(opened, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return WholeFileStatus::CannotOpen;
    const unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > maxSize) return WholeFileStatus::TooLarge;

    const auto length = static_cast<std::size_t>(size);
    try {
        bytes.assign(length, '\0');
    } catch (const std::bad_alloc&) {
        return WholeFileStatus::CannotRead;
    }
    std::size_t done = 0;
    while (done < length) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(opened, bytes.data() + done, want, &got, nullptr) || got == 0) return WholeFileStatus::CannotRead;
        done += got;
    }
    return WholeFileStatus::Ok;
}

}  // namespace mk::platform
