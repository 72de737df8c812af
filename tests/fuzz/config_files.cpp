// Files ovctl reads: Orvia's settings file (port, token, whether the API is on) and the
// headphone profile of `hpcal import`, both read from a real file through the platform layer.
#include "fuzz_check.h"
#include "ov/text.h"
#include "platform/files.h"
#include "platform/process.h"
#include "settings.h"
#include "translator.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>

namespace {

using namespace ovctl;

const std::string& scratch_file() {
    static const std::string path =
        (std::filesystem::temp_directory_path() /
         ("ov-fuzz-config-" + std::to_string(ovplat::current_process_id()) + ".txt")).string();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(scratch_file(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const auto read = ovplat::read_utf8_file(scratch_file());
    const auto* text = std::get_if<std::string>(&read);
    if (text == nullptr) return 0;
    OV_FUZZ_CHECK(ov::text::is_valid_utf8(*text));

    const SettingsFile file = parse_settings_file(*text);
    const Settings settings = combine_settings(GlobalOptions{}, SettingsEnvironment{}, file);
    if (file.port) OV_FUZZ_CHECK(settings.port == *file.port);
    if (file.token) OV_FUZZ_CHECK(settings.token == file.token);

    const TranslatorResult imported = translate(GlobalOptions{}, Words{"hpcal", "import", scratch_file()});
    const auto* translation = std::get_if<Translation>(&imported);
    OV_FUZZ_CHECK(translation != nullptr);
    OV_FUZZ_CHECK(translation->args.value("text", std::string()) == *text);
    OV_FUZZ_CHECK(ov::text::is_valid_utf8(ov::to_compact_json(translation->args)));
    return 0;
}
