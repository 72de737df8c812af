#pragma once
// What a path names on disk, without opening it.
#include <string>

namespace ovplat {

enum class FileKind { missing, regular_file, directory, other };

// `follow_links` false looks at the entry itself: a symbolic link is then `other`.
FileKind file_kind(const std::string& path, bool follow_links);

}  // namespace ovplat
