#pragma once
// The values that travel through one run of ovctl: options, settings, errors and the
// translation of a command line into one API command.
#include "ov/json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace ovctl {

using ov::Json;

// Every failure of the client: the message printed after "ovctl: " and the exit code.
struct CliError {
    std::string message;
    std::uint8_t code = 2;
};

// A value or the CliError that stopped it. Failures are values, never exceptions.
template <class T>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(CliError error) : value_(std::move(error)) {}

    bool ok() const { return value_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(value_); }
    const T& value() const { return std::get<0>(value_); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const CliError& error() const { return std::get<1>(value_); }

private:
    std::variant<T, CliError> value_;
};

enum class Press { Unset, Press, Release };

// The options taken from the whole command line.
struct GlobalOptions {
    std::optional<std::string> token;
    std::optional<std::string> voice;
    std::optional<std::uint32_t> sound;
    std::optional<std::string> mode;  // "hold" or "toggle"
    std::optional<std::uint16_t> port;
    bool json = false;
    bool help = false;
    bool version = false;
    bool raw = false;
    Press press = Press::Unset;
};

// The non-option arguments in the order typed; word 0 is the command word.
using Words = std::vector<std::string>;

enum class ApiEnabled { Unstated, On, Off };

struct Settings {
    std::optional<std::string> token;
    std::uint16_t port = 47101;
    ApiEnabled api_enabled = ApiEnabled::Unstated;
};

// The ways an accepted answer is printed. The variant index is the kind's number.
namespace render {
struct Status {};
struct Mute {};
struct Confirm { std::string text; };
struct List {};
struct Sounds {};
struct Level {};
struct ParamValue { std::string path; };
struct Meters { std::optional<std::string> point; };
struct AbState {};
struct SetupReport {};
struct Json {};
}  // namespace render

using RenderKind = std::variant<render::Status, render::Mute, render::Confirm, render::List,
                                render::Sounds, render::Level, render::ParamValue, render::Meters,
                                render::AbState, render::SetupReport, render::Json>;

// What a command line becomes: how to print the answer, the API command and its body.
struct Translation {
    RenderKind kind;
    std::string command;
    Json args = Json::object();
};

// `sound play <name>` / `sound stop <name>`: resolved against Orvia's sound list at run time.
struct SoundByName {
    std::string name;
    bool play = true;
};

using TranslatorResult = std::variant<Translation, SoundByName, CliError>;

// A command family: the whole word list in, one translation or a usage error out.
using FamilyFn = Result<Translation> (*)(const Words& words);

}  // namespace ovctl
