// File kinds through stat and lstat.
#include "platform/file_kind.h"

#include <sys/stat.h>

namespace ovplat {

FileKind file_kind(const std::string& path, bool follow_links) {
    struct stat info {};
    const int result = follow_links ? stat(path.c_str(), &info) : lstat(path.c_str(), &info);
    if (result != 0) return FileKind::missing;
    if (S_ISREG(info.st_mode)) return FileKind::regular_file;
    if (S_ISDIR(info.st_mode)) return FileKind::directory;
    return FileKind::other;
}

}  // namespace ovplat
