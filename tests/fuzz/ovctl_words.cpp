// ovctl's command line end to end without the network: the arguments (separated by NUL
// bytes in the input) go through the option scan, the translator and the command families
// down to the request ovctl would send, and the answer kind prints an empty answer.
#include "entry.h"
#include "fuzz_check.h"
#include "http_client.h"
#include "ov/text.h"
#include "render.h"
#include "settings.h"
#include "translator.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace ovctl;

std::vector<std::string> split_arguments(std::string_view bytes) {
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        auto end = bytes.find('\0', start);
        if (end == std::string_view::npos) end = bytes.size();
        // The entry hands on every argument as UTF-8 (bad sequences replaced), as Windows does.
        arguments.push_back(ov::text::decode_utf8_lossy(bytes.substr(start, end - start)));
        start = end + 1;
    }
    return arguments;
}

// `hpcal import <path>` reads the file it names; device files such as /dev/zero never end,
// so the fuzzer keeps to files named without a folder.
bool reads_outside_files(const std::vector<std::string>& words) {
    bool imports = false;
    bool has_folder = false;
    for (const auto& word : words) {
        if (ov::text::ascii_lower(word) == "import") imports = true;
        if (word.find_first_of("/\\") != std::string::npos) has_folder = true;
    }
    return imports && has_folder;
}

void check_usage_error(const CliError& error) {
    OV_FUZZ_CHECK(error.code == 2);
    OV_FUZZ_CHECK(error.message.ends_with("\nRun `ovctl help` for the commands."));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto arguments = split_arguments(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto line = scan_command_line(arguments);
    if (!line) {
        check_usage_error(line.error());
        return 0;
    }
    const Settings settings = combine_settings(line->options, SettingsEnvironment{}, SettingsFile{});
    if (line->options.help || line->options.version || line->words.empty()) return 0;
    const std::string first = ov::text::ascii_lower(line->words.front());
    if (first == "help" || first == "version") return 0;
    if (reads_outside_files(line->words)) return 0;

    const TranslatorResult translated = translate(line->options, line->words);
    if (const auto* error = std::get_if<CliError>(&translated)) {
        check_usage_error(*error);
        return 0;
    }
    if (const auto* by_name = std::get_if<SoundByName>(&translated)) {
        OV_FUZZ_CHECK(!by_name->name.empty());
        return 0;
    }
    const auto& translation = std::get<Translation>(translated);
    // `call` sends any name (even an empty one) with any JSON; every other command has a name
    // of its own and an object of arguments.
    if (first != "call") OV_FUZZ_CHECK(!translation.command.empty() && translation.args.is_object());

    HttpRequest request;
    request.port = settings.port;
    request.method = "POST";
    request.path = "/v1/cmd/" + translation.command;
    request.token = settings.token.value_or("");
    request.body = ov::to_compact_json(translation.args);
    OV_FUZZ_CHECK(ov::text::is_valid_utf8(*request.body));
    // The body is one JSON document that reads back as itself.
    const auto body = ov::parse_json(*request.body);
    OV_FUZZ_CHECK(body.value.has_value());
    OV_FUZZ_CHECK(ov::to_compact_json(*body.value) == *request.body);
    const std::string sent = request_text(request);
    OV_FUZZ_CHECK(sent.ends_with("\r\n\r\n" + *request.body));

    // A 200 answer with an empty body prints as the null answer.
    OV_FUZZ_CHECK(ov::text::is_valid_utf8(render_answer(translation.kind, Json())));
    return 0;
}
