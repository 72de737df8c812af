#include "rack_protocol.h"

#include "protocol_lines.h"
#include "slots_reader.h"

#include <array>
#include <cmath>
#include <limits>

namespace ovhost {

namespace {

using Result = Outcome<ov::Json>;

const ov::Json* member(const ov::Json& request, const char* name) {
    if (!request.is_object()) return nullptr;
    const auto found = request.find(name);
    return found == request.end() ? nullptr : &*found;
}

// An integer field of value 0 or more (a number with a fraction or exponent does not count);
// its low 32 bits.
std::optional<std::uint32_t> id_field(const ov::Json& request, const char* name) {
    const ov::Json* value = member(request, name);
    if (!value) return std::nullopt;
    if (value->is_number_unsigned()) return static_cast<std::uint32_t>(value->get<std::uint64_t>());
    if (value->is_number_integer() && value->get<std::int64_t>() >= 0)
        return static_cast<std::uint32_t>(value->get<std::int64_t>());
    return std::nullopt;
}

// An integer field that fits a signed 64-bit value.
std::optional<std::int64_t> signed_field(const ov::Json& request, const char* name) {
    const ov::Json* value = member(request, name);
    if (!value) return std::nullopt;
    if (value->is_number_unsigned()) {
        const auto unsigned_value = value->get<std::uint64_t>();
        if (unsigned_value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(unsigned_value);
    }
    if (value->is_number_integer()) return value->get<std::int64_t>();
    return std::nullopt;
}

ov::Json finite_or_null(double value) { return std::isfinite(value) ? ov::Json(value) : ov::Json(nullptr); }

Result missing(const char* field) { return Result::failure(std::string("missing \"") + field + "\""); }

}  // namespace

ov::Json param_info_json(const ParamInfo& info) {
    return ov::Json{
        {"id", info.id},
        {"name", info.name},
        {"units", info.units},
        {"value", finite_or_null(info.value)},
        {"text", info.text},
        {"steps", info.steps},
        {"default", finite_or_null(info.default_value)},
        {"automatable", info.automatable},
        {"readOnly", info.read_only},
    };
}

RackProtocol::RackProtocol(Rack& rack, LineWriter writer, std::uint32_t process_id)
    : rack_(rack), writer_(std::move(writer)), process_id_(process_id) {}

RackProtocol::LineResult RackProtocol::handle_line(std::string_view line) {
    const auto payload = line_payload(line);
    if (!payload) return LineResult::ignored;
    auto parsed = ov::parse_json(*payload);
    if (!parsed.value) return LineResult::ignored;
    const ov::Json& request = *parsed.value;
    if (const ov::Json* cmd = member(request, "cmd"); cmd && cmd->is_string() && cmd->get_ref<const std::string&>() == "quit")
        return LineResult::quit;
    writer_(reply_to(request, *payload));
    return LineResult::replied;
}

ov::Json RackProtocol::reply_to(const ov::Json& request, std::string_view request_text) {
    const ov::Json* id = member(request, "id");
    const ov::Json* cmd = member(request, "cmd");
    const std::string name = cmd && cmd->is_string() ? cmd->get<std::string>() : std::string();
    auto result = run_command(name, request, request_text);
    ov::Json reply{{"id", id ? *id : ov::Json(nullptr)}, {"ok", result.ok()}};
    if (result) {
        reply["result"] = std::move(result.value());
    } else {
        reply["error"] = result.error();
    }
    return reply;
}

Result RackProtocol::run_command(std::string_view name, const ov::Json& request, std::string_view request_text) {
    using Handler = Result (RackProtocol::*)(const ov::Json&, std::string_view);
    struct Command {
        std::string_view name;
        Handler handler;
    };
    static constexpr std::array<Command, 8> kCommands{{
        {"ping", &RackProtocol::ping},
        {"hello", &RackProtocol::hello},
        {"setRack", &RackProtocol::set_rack},
        {"params", &RackProtocol::params},
        {"setParam", &RackProtocol::set_param},
        {"getState", &RackProtocol::get_state},
        {"getStates", &RackProtocol::get_states},
        {"editor", &RackProtocol::editor},
    }};
    for (const auto& command : kCommands) {
        if (command.name == name) return (this->*command.handler)(request, request_text);
    }
    return Result::failure("unknown command \"" + std::string(name) + "\"");
}

Outcome<RackSlot*> RackProtocol::slot_for(const ov::Json& request) {
    const auto key = id_field(request, "key");
    if (!key) return Outcome<RackSlot*>::failure("missing \"key\"");
    return slot_with_key(*key);
}

Outcome<RackSlot*> RackProtocol::slot_with_key(std::uint32_t key) {
    RackSlot* slot = rack_.find(key);
    if (!slot) return Outcome<RackSlot*>::failure("no plugin in slot " + decimal_text(key));
    return slot;
}

Result RackProtocol::ping(const ov::Json&, std::string_view) { return ov::Json{{"pong", true}}; }

Result RackProtocol::hello(const ov::Json&, std::string_view) {
    return ov::Json{{"pid", process_id_}, {"version", 1}};
}

Result RackProtocol::set_rack(const ov::Json&, std::string_view request_text) {
    auto wanted_slots = read_slot_specs(request_text);
    if (!wanted_slots) return Result::failure("bad slots: " + wanted_slots.error());
    auto results = rack_.set_rack(wanted_slots.value());
    if (!results) return Result::failure(results.error());
    ov::Json list = ov::Json::array();
    for (const auto& result : results.value()) list.push_back(slot_result_json(result));
    return list;
}

Result RackProtocol::params(const ov::Json& request, std::string_view) {
    auto slot = slot_for(request);
    if (!slot) return Result::failure(slot.error());
    RackSlot& found = *slot.value();
    const auto infos = rack_.call_slot(found.key, [&] { return found.instance->params(); });
    ov::Json list = ov::Json::array();
    for (const auto& info : infos) list.push_back(param_info_json(info));
    return list;
}

// Every field is checked, in the order key, param, value, before the slot is looked up.
Result RackProtocol::set_param(const ov::Json& request, std::string_view) {
    const auto key = id_field(request, "key");
    if (!key) return missing("key");
    const auto param = id_field(request, "param");
    if (!param) return missing("param");
    const ov::Json* value = member(request, "value");
    if (!value || !value->is_number()) return missing("value");
    auto slot = slot_with_key(*key);
    if (!slot) return Result::failure(slot.error());
    RackSlot& found = *slot.value();
    const double normalized = value->get<double>();
    auto info = rack_.call_slot(found.key, [&] { return found.instance->set_param(*param, normalized); });
    if (!info) return Result::failure(info.error());
    return param_info_json(info.value());
}

Result RackProtocol::get_state(const ov::Json& request, std::string_view) {
    auto slot = slot_for(request);
    if (!slot) return Result::failure(slot.error());
    RackSlot& found = *slot.value();
    auto state = rack_.call_slot(found.key, [&] { return found.instance->save_state(); });
    if (!state) return Result::failure(state.error());
    return ov::Json{{"state", encode_state_base64(state.value())}};
}

Result RackProtocol::get_states(const ov::Json&, std::string_view) {
    ov::Json states = ov::Json::object();
    for (auto& slot : rack_.slots()) {
        auto state = rack_.call_slot(slot.key, [&] { return slot.instance->save_state(); });
        const std::string key = decimal_text(slot.key);
        // With a key given twice the first slot's state stands, as for every other command.
        if (state && !states.contains(key)) states[key] = encode_state_base64(state.value());
    }
    return states;
}

Result RackProtocol::editor(const ov::Json& request, std::string_view) {
    auto slot = slot_for(request);
    if (!slot) return Result::failure(slot.error());
    RackSlot& found = *slot.value();
    const ov::Json* open = member(request, "open");
    if (open && open->is_boolean() && !open->get<bool>()) {
        rack_.close_editor(found);
        return ov::Json{{"open", false}};
    }
    WindowPlacement placement;
    placement.owner = signed_field(request, "owner");
    const auto x = signed_field(request, "x");
    const auto y = signed_field(request, "y");
    if (x && y) {
        placement.x = static_cast<std::int32_t>(static_cast<std::uint32_t>(*x));
        placement.y = static_cast<std::int32_t>(static_cast<std::uint32_t>(*y));
    }
    auto size = rack_.open_editor(found, placement);
    if (!size) return Result::failure(size.error());
    return ov::Json{{"open", true}, {"width", size->width}, {"height", size->height}};
}

}  // namespace ovhost
