#include "families.h"

#include "family_functions.h"

namespace ovctl {
namespace {

struct FamilyWord {
    std::string_view word;
    FamilyFn family;
};

// Every command word a family serves, aliases included.
constexpr FamilyWord kFamilyWords[] = {
    {"plugins", families::plugins},       {"plugin", families::plugins},       {"vst", families::plugins},

    {"tune", families::tune},             {"autotune", families::tune},
    {"harmony", families::harmony},       {"harmonizer", families::harmony},
    {"doubler", families::doubler},       {"double", families::doubler},
    {"echo", families::echo},             {"delay", families::echo},

    {"meters", families::meters},         {"meter", families::meters},
    {"loudness", families::meters},       {"lufs", families::meters},
    {"takes", families::takes},           {"take", families::takes},
    {"master", families::takes},          {"transcribe", families::takes},
    {"stems", families::takes},           {"dawproject", families::takes},

    {"music", families::music},           {"analyser", families::music},       {"analyzer", families::music},
    {"karaoke", families::karaoke},       {"sing", families::karaoke},
    {"song", families::song},             {"songs", families::song},

    {"setup", families::setup},           {"audio", families::setup},
    {"hpcal", families::hpcal},           {"headphones", families::hpcal},

    {"monitorfx", families::monitorfx},   {"monfx", families::monitorfx},      {"wet", families::monitorfx},
    {"unmask", families::unmask},
    {"modulators", families::modulators}, {"modulator", families::modulators},
    {"mod", families::modulators},        {"lfo", families::modulators},

    {"reference", families::reference},   {"ref", families::reference},        {"match", families::reference},
    {"assistant", families::assistant},   {"macro", families::assistant},      {"macros", families::assistant},
    {"ab", families::ab},                 {"compare", families::ab},

    {"chop", families::chop},
    {"dmca", families::dmca},             {"vodsafe", families::dmca},

    {"instrument", families::instrument}, {"inst", families::instrument},      {"guitar", families::instrument},
    {"looper", families::looper},         {"loop", families::looper},

    {"midi", families::midi},

    {"lights", families::lights},         {"light", families::lights},
    {"osc", families::osc},
    {"reactive", families::reactive},     {"feed", families::reactive},
};

}  // namespace

FamilyFn find_family(std::string_view command_word) {
    for (const auto& entry : kFamilyWords)
        if (entry.word == command_word) return entry.family;
    return nullptr;
}

}  // namespace ovctl
