#pragma once
// UTF-16 <-> UTF-8 conversion and system error texts for the Windows platform layer.
#include <windows.h>

#include "ov/text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovplat::win32 {

// Code points of UTF-16; unpaired surrogates yield nullopt (strict) or U+FFFD (lossy).
inline std::optional<std::string> utf16_to_utf8(std::wstring_view text, bool strict) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = static_cast<char16_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            const char32_t low = static_cast<char16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ov::text::append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            if (strict) return std::nullopt;
            unit = 0xFFFD;
        }
        ov::text::append_utf8(out, unit);
    }
    return out;
}

inline std::optional<std::string> utf16_to_utf8_strict(std::wstring_view text) {
    return utf16_to_utf8(text, true);
}

inline std::string utf16_to_utf8_lossy(std::wstring_view text) { return *utf16_to_utf8(text, false); }

// Nullopt when the bytes are not valid UTF-8.
inline std::optional<std::wstring> utf8_to_utf16(std::string_view text) {
    if (!ov::text::is_valid_utf8(text)) return std::nullopt;
    std::wstring out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = ov::text::next_code_point(text, pos);
        if (c >= 0x10000) {
            out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(c));
        }
    }
    return out;
}

// The system's message for a Win32 error code without trailing white space; empty when the
// system has none.
inline std::string system_message(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) text = utf16_to_utf8_lossy(std::wstring_view(buffer, length));
    if (buffer != nullptr) LocalFree(buffer);
    return std::string(ov::text::trim(text));
}

// The Win32 error as an HRESULT, "0x" and eight upper-case hexadecimal digits.
inline std::string hresult_text(DWORD code) {
    const std::uint32_t value = code == 0 || (code & 0xFFFF0000u) != 0 ? code : (0x80070000u | (code & 0xFFFFu));
    char digits[8];
    for (int i = 7; i >= 0; --i) {
        digits[i] = "0123456789ABCDEF"[value >> ((7 - i) * 4) & 0xF];
    }
    return "0x" + std::string(digits, 8);
}

// The system's message, or the HRESULT code when it has none.
inline std::string describe_error(DWORD code) {
    std::string text = system_message(code);
    return text.empty() ? hresult_text(code) : text;
}

// "{system text} (0x8007XXXX)", or the HRESULT alone when the system has no text.
inline std::string error_text_with_code(DWORD code) {
    const std::string message = system_message(code);
    const std::string code_text = hresult_text(code);
    return message.empty() ? code_text : message + " (" + code_text + ")";
}

}  // namespace ovplat::win32
