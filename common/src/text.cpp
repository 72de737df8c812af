#include "ov/text.h"

namespace ov::text {

bool is_white_space(char32_t c) {
    switch (c) {
        case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
        case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the sequence a lead byte announces and the allowed range of the second byte,
// following the well-formed table of the Unicode standard.
struct Lead {
    int length;
    unsigned char second_min;
    unsigned char second_max;
};

Lead classify(unsigned char b) {
    if (b < 0x80) return {1, 0, 0};
    if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
    if (b == 0xE0) return {3, 0xA0, 0xBF};
    if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) return {3, 0x80, 0xBF};
    if (b == 0xED) return {3, 0x80, 0x9F};
    if (b == 0xF0) return {4, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
    if (b == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

}  // namespace

char32_t next_code_point(std::string_view text, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(text[pos]);
    const Lead lead = classify(b0);
    if (lead.length == 1) {
        ++pos;
        return b0;
    }
    if (lead.length == 0) {
        ++pos;
        return kReplacement;
    }
    char32_t cp = b0 & (0xFF >> (lead.length + 1));
    std::size_t i = pos + 1;
    for (int k = 1; k < lead.length; ++k, ++i) {
        if (i >= text.size()) {
            pos = i;
            return kReplacement;
        }
        const auto b = static_cast<unsigned char>(text[i]);
        const unsigned char lo = k == 1 ? lead.second_min : 0x80;
        const unsigned char hi = k == 1 ? lead.second_max : 0xBF;
        if (b < lo || b > hi) {
            pos = i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    pos = i;
    return cp;
}

bool is_valid_utf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t start = pos;
        if (next_code_point(bytes, pos) == kReplacement) {
            // U+FFFD itself is valid when it was spelled out as EF BF BD.
            if (pos - start != 3 || bytes.substr(start, 3) != "\xEF\xBF\xBD") return false;
        }
    }
    return true;
}

void append_utf8(std::string& out, char32_t c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string decode_utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t start = pos;
        const char32_t cp = next_code_point(bytes, pos);
        if (cp == kReplacement)
            append_utf8(out, kReplacement);
        else
            out.append(bytes.substr(start, pos - start));
    }
    return out;
}

std::string_view trim(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t next = begin;
        if (!is_white_space(next_code_point(text, next))) break;
        begin = next;
    }
    std::size_t end = begin;
    std::size_t pos = begin;
    while (pos < text.size()) {
        const char32_t cp = next_code_point(text, pos);
        if (!is_white_space(cp)) end = pos;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string_view> split_white_space(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t pos = 0;
    std::size_t piece_start = std::string_view::npos;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t cp = next_code_point(text, pos);
        if (is_white_space(cp)) {
            if (piece_start != std::string_view::npos) {
                pieces.push_back(text.substr(piece_start, start - piece_start));
                piece_start = std::string_view::npos;
            }
        } else if (piece_start == std::string_view::npos) {
            piece_start = start;
        }
    }
    if (piece_start != std::string_view::npos) pieces.push_back(text.substr(piece_start));
    return pieces;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace ov::text
