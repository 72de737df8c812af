// Every command word of the help text reaches a handler, and every family word (aliases
// included) is served by its family through the translator.
#include "families_cases.h"

#include "entry.h"
#include "translator.h"

#include <sstream>

namespace ovctl::family_tests {
namespace {

// The first word of each command line of the help text ("  tune [state] | on ...").
std::vector<std::string> help_command_words() {
    std::vector<std::string> words;
    std::istringstream lines{std::string(help_text())};
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 3 || line.compare(0, 2, "  ") != 0 || line[2] < 'a' || line[2] > 'z') continue;
        const auto end = line.find_first_of(" ", 2);
        words.push_back(line.substr(2, end == std::string::npos ? std::string::npos : end - 2));
    }
    return words;
}

bool is_unknown_command(const TranslatorResult& result) {
    const auto* error = std::get_if<CliError>(&result);
    return error != nullptr && error->message.rfind("Unknown command", 0) == 0;
}

TEST(FamiliesRegistry, EveryHelpCommandWordReachesAHandler) {
    const auto words = help_command_words();
    ASSERT_GT(words.size(), 40u);  // the help text was found and read
    for (const auto& word : words) {
        if (word == "help") continue;  // answered before any translation
        SCOPED_TRACE(word);
        EXPECT_FALSE(is_unknown_command(translate(GlobalOptions{}, {word})));
    }
}

// The help line "stems <take|file> ... dawproject <recording> ..." names a second command.
TEST(FamiliesRegistry, EveryFamilyWordReachesItsFamily) {
    const std::vector<std::vector<std::string>> families = {
        {"plugins", "plugin", "vst"},
        {"tune", "autotune"},
        {"harmony", "harmonizer"},
        {"doubler", "double"},
        {"echo", "delay"},
        {"meters", "meter", "loudness", "lufs"},
        {"takes", "take", "master", "transcribe", "stems", "dawproject"},
        {"music", "analyser", "analyzer"},
        {"karaoke", "sing"},
        {"song", "songs"},
        {"setup", "audio"},
        {"hpcal", "headphones"},
        {"monitorfx", "monfx", "wet"},
        {"unmask"},
        {"modulators", "modulator", "mod", "lfo"},
        {"reference", "ref", "match"},
        {"assistant", "macro", "macros"},
        {"ab", "compare"},
        {"chop"},
        {"dmca", "vodsafe"},
        {"instrument", "inst", "guitar"},
        {"looper", "loop"},
        {"midi"},
        {"lights", "light"},
        {"osc"},
        {"reactive", "feed"},
    };
    for (const auto& aliases : families) {
        const FamilyFn family = find_family(aliases.front());
        ASSERT_NE(family, nullptr) << aliases.front();
        for (const auto& word : aliases) {
            SCOPED_TRACE(word);
            EXPECT_EQ(find_family(word), family);
            EXPECT_FALSE(is_unknown_command(translate(GlobalOptions{}, {word})));
            // Typed in any case, the word reaches the same family.
            std::string upper = word;
            for (auto& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            EXPECT_FALSE(is_unknown_command(translate(GlobalOptions{}, {upper, "state"})));
        }
    }
    EXPECT_EQ(find_family("status"), nullptr);
    EXPECT_EQ(find_family("bogus"), nullptr);
    EXPECT_EQ(find_family("PLUGINS"), nullptr);  // the registry is given lower-cased words
}

}  // namespace
}  // namespace ovctl::family_tests
