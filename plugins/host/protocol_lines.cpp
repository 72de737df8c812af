#include "protocol_lines.h"

#include "platform/stdio.h"

#include <array>
#include <charconv>

namespace ovhost {

std::string decimal_text(std::uint64_t value) {
    std::array<char, 24> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
    return std::string(buffer.data(), end);
}

std::string format_line(const ov::Json& value) {
    std::string line(kLinePrefix);
    line += ov::to_compact_json(value);
    return line;
}

void write_line(const ov::Json& value) { ovplat::write_stdout_line(format_line(value)); }

std::optional<std::string_view> line_payload(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.size() < kLinePrefix.size() || line.substr(0, kLinePrefix.size()) != kLinePrefix) return std::nullopt;
    return line.substr(kLinePrefix.size());
}

std::optional<ov::Json> read_line(std::string_view line) {
    const auto payload = line_payload(line);
    if (!payload) return std::nullopt;
    auto parsed = ov::parse_json(*payload);
    return std::move(parsed.value);
}

}  // namespace ovhost
