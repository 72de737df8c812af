#include "script.h"

#include <array>
#include <chrono>
#include <thread>

namespace ovstandin {
namespace {

enum class FieldType { u32, i32, u64 };
struct FieldInfo {
    const char* name;
    std::size_t offset;
    FieldType type;
};
// The scalar fields of the mapping, by the names a script uses.
constexpr std::array kFields{
    FieldInfo{"magic", field::magic, FieldType::u32},
    FieldInfo{"version", field::version, FieldType::u32},
    FieldInfo{"channels", field::channels, FieldType::u32},
    FieldInfo{"inputSeq", field::inputSeq, FieldType::u64},
    FieldInfo{"outputSeq", field::outputSeq, FieldType::u64},
    FieldInfo{"heartbeatMs", field::heartbeatMs, FieldType::u64},
    FieldInfo{"hostPid", field::hostPid, FieldType::u32},
    FieldInfo{"totalLatency", field::totalLatency, FieldType::u32},
    FieldInfo{"active", field::active, FieldType::u32},
    FieldInfo{"audioSlotKey", field::audioSlotKey, FieldType::i32},
    FieldInfo{"callSlotKey", field::callSlotKey, FieldType::i32},
    FieldInfo{"blockTimeUs", field::blockTimeUs, FieldType::u32},
    FieldInfo{"blocksProcessed", field::blocksProcessed, FieldType::u64},
    FieldInfo{"blocksSkipped", field::blocksSkipped, FieldType::u64},
};

ov::Json field_value(const MappingView& view, const FieldInfo& info) {
    switch (info.type) {
        case FieldType::u32: return view.u32(info.offset);
        case FieldType::i32: return view.i32(info.offset);
        case FieldType::u64: return view.u64(info.offset);
    }
    return nullptr;
}

const FieldInfo* find_field(const std::string& name) {
    for (const auto& info : kFields)
        if (name == info.name) return &info;
    return nullptr;
}

std::uint64_t u64_or(const ov::Json& object, const char* key, std::uint64_t fallback) {
    auto it = object.find(key);
    return it != object.end() && it->is_number_unsigned() ? it->get<std::uint64_t>() : fallback;
}

std::string string_or(const ov::Json& object, const char* key, const std::string& fallback) {
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number()) return ov::to_compact_json(*it);
    return fallback;
}

double number_or(const ov::Json& object, const char* key, double fallback) {
    auto it = object.find(key);
    return it != object.end() && it->is_number() ? it->get<double>() : fallback;
}

bool read_expectation(const ov::Json& value, Expectation& expect, std::string& error) {
    if (!value.is_object()) {
        error = "\"expect\" must be an object";
        return false;
    }
    auto mix = value.find("mix");
    if (mix == value.end() || !mix->is_array()) {
        error = "\"expect\" needs a \"mix\" matrix";
        return false;
    }
    for (const auto& row : *mix) {
        if (!row.is_array()) {
            error = "each row of \"mix\" must be an array of numbers";
            return false;
        }
        std::vector<double> numbers;
        for (const auto& x : row) numbers.push_back(x.is_number() ? x.get<double>() : 0.0);
        expect.mix.push_back(std::move(numbers));
    }
    expect.delay = static_cast<std::uint32_t>(u64_or(value, "delay", 0));
    expect.tolerance = number_or(value, "tolerance", expect.tolerance);
    return true;
}

bool decode_hex(const std::string& hex, std::string& bytes) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int high = nibble(hex[i]), low = nibble(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

}  // namespace

bool read_signal(const ov::Json& value, Signal& signal, std::string& error) {
    if (value.is_null()) return true;
    if (!value.is_object()) {
        error = "\"signal\" must be an object";
        return false;
    }
    static const std::array<std::pair<const char*, Signal::Kind>, 5> kinds{{
        {"silence", Signal::Kind::silence},
        {"noise", Signal::Kind::noise},
        {"sine", Signal::Kind::sine},
        {"impulse", Signal::Kind::impulse},
        {"dc", Signal::Kind::dc},
    }};
    const std::string kind = string_or(value, "kind", "noise");
    bool known = false;
    for (const auto& [name, k] : kinds)
        if (kind == name) signal.kind = k, known = true;
    if (!known) {
        error = "unknown signal kind \"" + kind + "\"";
        return false;
    }
    signal.amplitude = number_or(value, "amplitude", signal.amplitude);
    signal.frequency = number_or(value, "frequency", signal.frequency);
    signal.at = u64_or(value, "at", signal.at);
    signal.seed = static_cast<std::uint32_t>(u64_or(value, "seed", signal.seed));
    return true;
}

ov::Json mapping_snapshot(const MappingView& view) {
    if (!view.base()) return nullptr;
    ov::Json snapshot = ov::Json::object();
    for (const auto& info : kFields) snapshot[info.name] = field_value(view, info);
    ov::Json slot_times = ov::Json::array();
    for (std::size_t i = 0; i < 8; ++i) slot_times.push_back(view.slot_time_us(i));
    snapshot["slotTimeUs"] = slot_times;
    ov::Json ring = ov::Json::array();
    for (std::uint64_t i = 0; i < field::kRingBlocks; ++i) ring.push_back(view.ring_seq(i));
    snapshot["ringSeq"] = ring;
    return snapshot;
}

ov::Json block_run_report(const BlockRun& run) {
    ov::Json report = ov::Json::object();
    report["published"] = run.published;
    report["received"] = run.received;
    report["missed"] = run.missed;
    report["skippedByHost"] = run.skipped_by_host;
    report["processedByHost"] = run.processed_by_host;
    const Percentiles trip = percentiles(run.round_trip_us);
    report["roundTripUs"] = {{"median", trip.median}, {"p99", trip.p99}, {"max", trip.max}};
    std::vector<double> block_times(run.block_time_us.begin(), run.block_time_us.end());
    const Percentiles block = percentiles(block_times);
    report["blockTimeUs"] = {{"last", run.last_block_time_us}, {"median", block.median}, {"p99", block.p99}};
    report["checked"] = run.checked;
    report["maxError"] = run.max_error;
    if (run.mismatch)
        report["mismatch"] = {{"frame", run.mismatch->frame},
                              {"channel", run.mismatch->channel},
                              {"got", run.mismatch->got},
                              {"want", run.mismatch->want}};
    else
        report["mismatch"] = nullptr;
    report["ok"] = run.missed == 0 && run.received == run.published && !run.mismatch;
    return report;
}

ov::Json run_script(const ov::Json& script) {
    ov::Json report = ov::Json::object();
    report["ok"] = false;
    if (!script.is_object()) {
        report["error"] = "the script must be a JSON object";
        return report;
    }

    RigOptions options;
    options.host_program = string_or(script, "host", "");
    if (options.host_program.empty()) {
        report["error"] = "the script names no \"host\" program";
        return report;
    }
    if (auto args = script.find("hostArgs"); args != script.end() && args->is_array())
        for (const auto& arg : *args) options.host_args.push_back(arg.is_string() ? arg.get<std::string>() : "");
    options.mapping_name = string_or(script, "mapping", "");
    options.channels_arg = string_or(script, "channels", "1");
    options.mapping_channels = static_cast<std::uint32_t>(u64_or(script, "mappingChannels", 1));
    options.magic = static_cast<std::uint32_t>(u64_or(script, "magic", field::kMagicValue));
    options.version = static_cast<std::uint32_t>(u64_or(script, "version", field::kLayoutVersion));
    options.create_mapping = script.value("createMapping", true);
    options.mapping_size = static_cast<std::size_t>(u64_or(script, "mappingSize", field::kMappingSize));
    options.create_event = script.value("createEvent", true);
    if (auto env = script.find("env"); env != script.end() && env->is_object())
        for (const auto& [name, value] : env->items())
            options.environment.set.emplace_back(name, value.is_string() ? value.get<std::string>() : "");
    if (auto unset = script.find("unsetEnv"); unset != script.end() && unset->is_array())
        for (const auto& name : *unset)
            if (name.is_string()) options.environment.unset.push_back(name.get<std::string>());

    std::string error;
    auto rig = Rig::start(options, error);
    if (!rig) {
        report["error"] = error;
        return report;
    }
    report["mapping"] = rig->mapping_name();

    bool all_ok = true;
    bool exited = false;
    ov::Json results = ov::Json::array();
    const ov::Json no_steps = ov::Json::array();
    auto steps_it = script.find("steps");
    const ov::Json& steps = steps_it != script.end() && steps_it->is_array() ? *steps_it : no_steps;
    for (const auto& step : steps) {
        ov::Json result = ov::Json::object();
        const std::string action = step.is_object() ? string_or(step, "do", "") : "";
        result["do"] = action;
        const auto timeout = static_cast<std::uint32_t>(u64_or(step, "timeoutMs", 15000));
        const double started = rig->now_ms();
        bool ok = true;

        if (action == "send") {
            if (step.contains("hex")) {
                // Raw bytes, for lines that JSON text cannot carry (invalid UTF-8).
                std::string bytes;
                ok = decode_hex(string_or(step, "hex", ""), bytes) && rig->send_bytes(bytes);
            } else if (step.contains("line"))
                ok = rig->send_line(string_or(step, "line", ""));
            else
                ok = rig->send(step.value("request", ov::Json::object()));
        } else if (action == "request") {
            auto reply = rig->request(step.value("request", ov::Json::object()), timeout);
            ok = reply.has_value();
            result["reply"] = reply ? *reply : ov::Json(nullptr);
        } else if (action == "reply") {
            auto reply = rig->next_reply(timeout);
            ok = reply.has_value();
            result["reply"] = reply ? *reply : ov::Json(nullptr);
        } else if (action == "expectEvent") {
            auto event = rig->wait_event(string_or(step, "event", ""), timeout);
            ok = event.has_value();
            result["event"] = event ? *event : ov::Json(nullptr);
        } else if (action == "blocks" || action == "publish") {
            BlockPlan plan;
            plan.count = action == "publish" ? 1 : u64_or(step, "count", plan.count);
            plan.pace_us = static_cast<std::uint32_t>(u64_or(step, "paceUs", 0));
            plan.block_timeout_ms = static_cast<std::uint32_t>(u64_or(step, "blockTimeoutMs", plan.block_timeout_ms));
            plan.wait_active_ms = static_cast<std::uint32_t>(u64_or(step, "waitActiveMs", plan.wait_active_ms));
            std::string problem;
            if (!read_signal(step.value("signal", ov::Json()), plan.signal, problem)) {
                result["error"] = problem;
                ok = false;
            } else if (step.contains("expect")) {
                Expectation expect;
                if (!read_expectation(step["expect"], expect, problem)) {
                    result["error"] = problem;
                    ok = false;
                } else {
                    plan.expect = expect;
                }
            }
            if (ok && action == "publish") {
                result["block"] = rig->publish_block(plan.signal);
            } else if (ok) {
                BlockRun run = rig->run_blocks(plan);
                result["run"] = block_run_report(run);
                ok = result["run"]["ok"].get<bool>();
            }
        } else if (action == "waitMapping") {
            const FieldInfo* info = find_field(string_or(step, "field", ""));
            if (!info || !rig->mapping().base()) {
                result["error"] = "unknown mapping field";
                ok = false;
            } else {
                const ov::Json want = step.value("equals", ov::Json());
                ok = rig->wait_mapping([&](const MappingView& view) { return field_value(view, *info) == want; },
                                       timeout);
                result["value"] = field_value(rig->mapping(), *info);
            }
        } else if (action == "mapping") {
            result["mapping"] = mapping_snapshot(rig->mapping());
        } else if (action == "collect") {
            ov::Json lines = ov::Json::array();
            for (const auto& line : rig->collect(static_cast<std::uint32_t>(u64_or(step, "ms", 200))))
                lines.push_back(line.text);
            result["lines"] = lines;
        } else if (action == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(u64_or(step, "ms", 0)));
        } else if (action == "closeStdin") {
            rig->close_stdin();
        } else if (action == "waitExit") {
            auto code = rig->wait_exit(timeout);
            ok = code.has_value();
            exited = exited || ok;
            result["exitCode"] = code ? ov::Json(*code) : ov::Json(nullptr);
        } else if (action == "kill") {
            rig->kill_host();
        } else {
            result["error"] = "unknown step";
            ok = false;
        }
        result["ok"] = ok;
        result["ms"] = rig->now_ms() - started;
        all_ok = all_ok && ok;
        results.push_back(std::move(result));
    }

    // Whatever the script left running ends here: end of input, then a generous wait.
    rig->close_stdin();
    auto code = rig->wait_exit(15000);
    if (!code) {
        rig->kill_host();
        code = rig->wait_exit(5000);
    }
    report["exitCode"] = code ? ov::Json(*code) : ov::Json(nullptr);
    report["stderr"] = rig->error_output(2000);
    rig->collect(2000);
    ov::Json lines = ov::Json::array();
    for (const auto& line : rig->lines()) lines.push_back(line.text);
    report["lines"] = lines;
    report["events"] = rig->events();
    report["steps"] = results;
    report["final"] = mapping_snapshot(rig->mapping());
    report["ok"] = all_ok;
    (void)exited;
    return report;
}

}  // namespace ovstandin
