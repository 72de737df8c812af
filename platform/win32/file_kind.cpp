// File kinds through GetFileAttributesW; a reparse point (a symbolic link or junction) is
// `other` unless links are followed.
#include "platform/file_kind.h"

#include <windows.h>

#include "wide_text.h"

namespace ovplat {

FileKind file_kind(const std::string& path, bool follow_links) {
    const auto wide_path = win32::utf8_to_utf16(path);
    if (!wide_path) return FileKind::missing;
    const DWORD attributes = GetFileAttributesW(wide_path->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::missing;
    if (!follow_links && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FileKind::other;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return FileKind::other;
    return FileKind::regular_file;
}

}  // namespace ovplat
