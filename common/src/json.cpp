#include "ov/json.h"

namespace ov {

std::string to_compact_json(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string to_pretty_json(const Json& value) {
    return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

namespace {

// Builds the tree like the library's own DOM parser but records the first error as text
// instead of throwing it.
class RecordingSax : public nlohmann::detail::json_sax_dom_parser<Json> {
public:
    explicit RecordingSax(Json& target) : json_sax_dom_parser(target, false) {}

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) {
        error = ex.what();
        return false;
    }

    std::string error;
};

}  // namespace

JsonParse parse_json(std::string_view text) {
    Json result;
    RecordingSax sax(result);
    const bool ok = Json::sax_parse(text.begin(), text.end(), &sax, Json::input_format_t::json, true);
    if (ok && sax.error.empty()) return JsonParse{std::move(result), {}};
    return JsonParse{std::nullopt, sax.error.empty() ? std::string("invalid JSON") : sax.error};
}

}  // namespace ov
