#include "api.h"

#include "ov/text.h"
#include "words.h"

#include <charconv>
#include <optional>
#include <string>

namespace ovctl {
namespace {

constexpr std::uint8_t kExitRefused = 1;
constexpr std::uint8_t kExitUnreachable = 3;
constexpr std::uint8_t kExitBadToken = 4;
constexpr std::uint8_t kExitVersion = 5;

std::string decimal(std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
}

// The transport failed: what to do about it depends only on whether the user turned the
// API on in Orvia.
CliError connection_error(const Settings& settings) {
    if (settings.api_enabled == ApiEnabled::On) {
        return {"Orvia is not answering on 127.0.0.1:" + decimal(settings.port) +
                    ". Is it running? (The API is turned on in its settings.)",
                kExitUnreachable};
    }
    return {"The Orvia API is off. Turn it on in Orvia > Settings > Automation > Local API, then try again.",
            kExitUnreachable};
}

// A body that is not one JSON document counts as null. A leading byte-order mark is
// tolerated: it is not JSON, but some Windows servers write one.
Json parse_answer_body(std::string_view body) {
    auto parsed = ov::parse_json_skipping_bom(body);
    return parsed.value ? std::move(*parsed.value) : Json();
}

bool speaks_our_version(std::string_view version) {
    return version.substr(0, version.find('.')) == kApiMajorVersion;
}

// Why a token cannot go into the Authorization header, if it cannot: a line break would end
// the header early and start another one, and a NUL would cut the header short.
std::optional<std::string_view> unsendable_token_character(std::string_view token) {
    if (token.find_first_of("\r\n") != std::string_view::npos) return "a line break";
    if (token.find('\0') != std::string_view::npos) return "a NUL character";
    return std::nullopt;
}

// A request target cannot hold spaces or control characters: they would split or end the
// request line.
bool unfit_for_path(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) return true;
    }
    return false;
}

}  // namespace

Result<Json> ping_outcome(const Settings& settings, const Result<HttpResponse>& exchange) {
    if (!exchange) return connection_error(settings);
    if (exchange->status != 200) {
        return CliError{"Something else answers on 127.0.0.1:" + decimal(settings.port) + " (HTTP " +
                            decimal(exchange->status) + "). Change the API port in Orvia's settings.",
                        kExitUnreachable};
    }
    Json answer = parse_answer_body(exchange->body);
    std::string version_text;
    if (answer.is_object()) {
        const auto version = answer.find("apiVersion");
        if (version != answer.end() && version->is_string()) version_text = version->get<std::string>();
    }
    if (!speaks_our_version(version_text)) {
        return CliError{"This ovctl speaks API " + std::string(kApiMajorVersion) + ".x but Orvia speaks " +
                            version_text + ". Use the ovctl installed with Orvia.",
                        kExitVersion};
    }
    return answer;
}

Result<Json> call_outcome(const Settings& settings, const Result<HttpResponse>& exchange) {
    if (!exchange) return connection_error(settings);
    if (exchange->status == 200) return parse_answer_body(exchange->body);
    if (exchange->status == 401) {
        return CliError{"Orvia refused the API token. It changes when you press Regenerate in Settings > Automation; "
                        "ovctl rereads it from settings.json, so only a --token or ORVIA_API_TOKEN you set by hand "
                        "can be stale.",
                        kExitBadToken};
    }
    const Json answer = parse_answer_body(exchange->body);
    if (answer.is_object()) {
        const auto error = answer.find("error");
        if (error != answer.end() && error->is_string()) return CliError{error->get<std::string>(), kExitRefused};
    }
    return CliError{std::string(ov::text::trim(exchange->body)), kExitRefused};
}

Result<Json> ping(const Settings& settings) {
    HttpRequest request;
    request.port = settings.port;
    request.method = "GET";
    request.path = "/v1/ping";
    return ping_outcome(settings, http_request(request));
}

Result<Json> call(const Settings& settings, std::string_view command, const Json& args) {
    if (!settings.token) {
        return CliError{"No API token found. Turn the API on in Orvia > Settings > Automation (it writes the token "
                        "for ovctl), or pass --token.",
                        kExitBadToken};
    }
    if (const auto character = unsendable_token_character(*settings.token)) {
        return CliError{"The API token contains " + std::string(*character) +
                            ", so it cannot be sent. Check --token, ORVIA_API_TOKEN or Orvia's settings.json.",
                        kExitBadToken};
    }
    if (unfit_for_path(command)) {
        return usage_error("The command name cannot contain spaces or control characters");
    }
    HttpRequest request;
    request.port = settings.port;
    request.method = "POST";
    request.path = "/v1/cmd/" + std::string(command);
    request.token = settings.token;
    request.body = ov::to_compact_json(args);
    return call_outcome(settings, http_request(request));
}

}  // namespace ovctl
