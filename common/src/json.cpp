#include "ov/json.h"

namespace ov {

std::string to_compact_json(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string to_pretty_json(const Json& value) {
    return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

namespace {

// Serialising and destroying a tree recurse once per level, so a hostile document nested
// tens of thousands deep would exhaust the stack; deeper documents are refused when parsed.
constexpr std::size_t kMaxDepth = 512;

// Builds the tree like the library's own DOM parser but records the first error as text
// instead of throwing it, and refuses documents nested deeper than kMaxDepth.
class RecordingSax : public nlohmann::detail::json_sax_dom_parser<Json> {
    using Base = nlohmann::detail::json_sax_dom_parser<Json>;

public:
    explicit RecordingSax(Json& target) : Base(target, false) {}

    bool start_object(std::size_t size) { return enter() && Base::start_object(size); }
    bool end_object() { --depth_; return Base::end_object(); }
    bool start_array(std::size_t size) { return enter() && Base::start_array(size); }
    bool end_array() { --depth_; return Base::end_array(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) {
        error = ex.what();
        return false;
    }

    std::string error;

private:
    bool enter() {
        if (++depth_ <= kMaxDepth) return true;
        error = "the document is nested deeper than " + std::to_string(kMaxDepth) + " levels";
        return false;
    }

    std::size_t depth_ = 0;
};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The library itself skips a byte-order mark at the very start of its input.
JsonParse parse_with_library(std::string_view text) {
    Json result;
    RecordingSax sax(result);
    const bool ok = Json::sax_parse(text.begin(), text.end(), &sax, Json::input_format_t::json, true);
    if (ok && sax.error.empty()) return JsonParse{std::move(result), {}};
    return JsonParse{std::nullopt, sax.error.empty() ? std::string("invalid JSON") : sax.error};
}

}  // namespace

JsonParse parse_json(std::string_view text) {
    if (text.starts_with(kByteOrderMark))
        return JsonParse{std::nullopt, "parse error at line 1, column 1: a byte-order mark (U+FEFF) is not JSON white space"};
    return parse_with_library(text);
}

JsonParse parse_json_skipping_bom(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    return parse_json(text);
}

}  // namespace ov
