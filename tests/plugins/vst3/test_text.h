#pragma once
// Text into the fixed-size fields of the VST3 structures, as the test plug-ins fill them.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace ovtestvst3 {

// ASCII into a UTF-16 field of `units` code units, cut to fit and always terminated.
inline void copy_text(char16_t* out, std::size_t units, const std::string& text) {
    std::size_t i = 0;
    for (; i + 1 < units && i < text.size(); ++i) out[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

// Into a char field of `bytes` bytes, zero-filled after the text.
inline void copy_text(char* out, std::size_t bytes, const char* text) {
    std::memset(out, 0, bytes);
    std::memcpy(out, text, std::min(bytes, std::strlen(text)));
}

}  // namespace ovtestvst3
