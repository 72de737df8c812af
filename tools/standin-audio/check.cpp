#include "check.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "ov/version.h"
#include "platform/child_process.h"
#include "platform/process_usage.h"
#include "rig.h"

namespace ovstandin {
namespace {

constexpr double kBlockUs = 10000.0;  // one block of 480 frames at 48 kHz
constexpr std::uint32_t kKey = 1;
constexpr std::uint64_t kImpulseFrame = 4800;  // ten blocks in, after the plug-in settled

double elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

std::string text_of(const ov::Json& value, const char* key) {
    auto it = value.find(key);
    return it != value.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::uint64_t count_of(const ov::Json& value, const char* key) {
    auto it = value.find(key);
    return it != value.end() && it->is_number_unsigned() ? it->get<std::uint64_t>() : 0;
}

bool starts_with_ignoring_case(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// One plug-in's rows, and whether a fault already ends its check.
class PluginChecks {
public:
    PluginChecks(std::string name, std::string kind, std::string uid)
        : report_{{"name", std::move(name)}, {"kind", std::move(kind)}, {"uid", std::move(uid)},
                  {"checks", ov::Json::array()}} {}

    void add(const std::string& check, const std::string& mark, const std::string& figure,
             ov::Json details = ov::Json::object()) {
        report_["checks"].push_back({{"check", check}, {"mark", mark}, {"figure", figure}, {"details", details}});
        if (mark == "fail" && reason_.empty()) reason_ = check + ": " + figure;
        if (mark == "warn") warned_ = true;
    }
    bool failed() const { return !reason_.empty(); }

    ov::Json finish() {
        report_["verdict"] = failed() ? "fails" : warned_ ? "works with warnings" : "works";
        report_["reason"] = failed() ? ov::Json(reason_) : ov::Json(nullptr);
        return std::move(report_);
    }

private:
    ov::Json report_;
    std::string reason_;
    bool warned_ = false;
};

// A scan of the target in a host process of its own.
struct ScanResult {
    std::optional<ov::Json> report;  // the scan line's value
    std::string failure;             // set when there is no usable report
    double ms = 0;
};

ScanResult run_scan(const CheckOptions& options, const ovplat::ChildEnvironment& environment) {
    ScanResult result;
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    auto child = ovplat::ChildProcess::start(options.host_program, {"scan", options.target}, environment, error);
    if (!child) {
        result.failure = "could not start " + options.host_program + ": " + error;
        return result;
    }
    const double deadline = static_cast<double>(options.scan_timeout_ms);
    for (std::string line;;) {
        const double left = deadline - elapsed_ms(started);
        if (left <= 0) break;
        auto got = child->read_line(line, static_cast<std::uint32_t>(left) + 1);
        if (got != ovplat::ChildProcess::ReadResult::line) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("OVP ", 0) != 0) continue;
        auto parsed = ov::parse_json(std::string_view(line).substr(4));
        if (parsed.value && parsed.value->is_object()) {
            result.report = std::move(parsed.value);
            break;
        }
    }
    result.ms = elapsed_ms(started);
    const double left = deadline - elapsed_ms(started);
    const auto code = child->wait(left > 0 ? static_cast<std::uint32_t>(left) + 1 : 0);
    if (!code) {
        child->kill();
        result.report.reset();
        result.failure = format("the scan did not finish within %.0f s (the plug-in hangs while loading?)",
                                options.scan_timeout_ms / 1000.0);
    } else if (!result.report) {
        result.failure = "the host ended with exit code " + std::to_string(*code) +
                         " without a report (the plug-in crashed the scan)";
    } else if (*code != 0) {
        result.failure = "the host reported, then ended with exit code " + std::to_string(*code);
        result.report.reset();
    }
    return result;
}

// One rack-mode host with the plug-in in slot kKey.
class RackSession {
public:
    RackSession(const CheckOptions& options, const ovplat::ChildEnvironment& environment, unsigned channels)
        : options_(options), environment_(environment), channels_(channels) {}

    // Starts the host and waits for "ready"; the failure text otherwise.
    std::string start() {
        RigOptions rig_options;
        rig_options.host_program = options_.host_program;
        rig_options.channels_arg = std::to_string(channels_);
        rig_options.mapping_channels = channels_;
        rig_options.environment = environment_;
        std::string error;
        rig_ = Rig::start(rig_options, error);
        if (!rig_) return error;
        if (!rig_->wait_event("ready", options_.load_timeout_ms)) return "the host did not report ready" + ended();
        return {};
    }

    // Sends a request and gives the reply, or nothing with `failure` set.
    std::optional<ov::Json> ask(ov::Json request, std::string& failure, std::uint32_t timeout_ms = 15000) {
        auto reply = rig_->request(std::move(request), timeout_ms);
        if (!reply) {
            failure = format("no reply within %.0f s", timeout_ms / 1000.0) + ended();
            const std::int32_t calling = rig_->mapping().i32(field::callSlotKey);
            if (calling >= 0) failure += " (the host is still inside a call into slot " + std::to_string(calling) + ")";
        }
        return reply;
    }

    // ", the host ended with exit code N" once it is gone; empty while it runs.
    std::string ended() {
        if (exit_code_) return ", the host ended with exit code " + std::to_string(*exit_code_);
        if (auto code = rig_->wait_exit(0)) {
            exit_code_ = code;
            return ended();
        }
        return {};
    }
    bool alive() { return ended().empty(); }

    // Quits the host; a host that does not go within 5 s is killed and that is the failure.
    std::string quit() {
        if (!alive()) return {};
        rig_->send(ov::Json{{"cmd", "quit"}});
        if (rig_->wait_exit(5000)) return {};
        rig_->kill_host();
        return "the host did not quit within 5 s and was killed";
    }

    Rig& rig() { return *rig_; }
    unsigned channels() const { return channels_; }

private:
    const CheckOptions& options_;
    const ovplat::ChildEnvironment& environment_;
    unsigned channels_;
    std::unique_ptr<Rig> rig_;
    std::optional<int> exit_code_;
};

ov::Json slot_spec(const ov::Json& entry, const ov::Json& state = nullptr) {
    ov::Json slot = {{"key", kKey}, {"kind", entry["kind"]}, {"path", entry["path"]}, {"uid", entry["uid"]}};
    if (!state.is_null()) slot["state"] = state;
    return slot;
}

// The first slot result of a "setRack" reply; null when there is none.
ov::Json first_slot(const ov::Json& reply) {
    auto result = reply.find("result");
    if (!reply.value("ok", false) || result == reply.end() || !result->is_array() || result->empty()) return nullptr;
    return (*result)[0];
}

// A member of an object, or null.
const ov::Json& member(const ov::Json& object, const char* key) {
    static const ov::Json none;
    if (!object.is_object()) return none;
    auto it = object.find(key);
    return it != object.end() ? *it : none;
}

ov::Json set_rack(const ov::Json& slot) { return {{"cmd", "setRack"}, {"slots", ov::Json::array({slot})}}; }

// Loads the plug-in into the session's rack; the slot result, or nothing with the row written.
std::optional<ov::Json> load(RackSession& session, const ov::Json& entry, PluginChecks& checks, const std::string& row,
                             const CheckOptions& options) {
    if (std::string failure = session.start(); !failure.empty()) {
        checks.add(row, "fail", "the rack host did not start: " + failure);
        return std::nullopt;
    }
    std::string failure;
    auto reply = session.ask(set_rack(slot_spec(entry)), failure, options.load_timeout_ms);
    if (!reply) {
        checks.add(row, "fail", "loading: " + failure);
        return std::nullopt;
    }
    if (!reply->value("ok", false)) {
        checks.add(row, "fail", "setRack failed: " + text_of(*reply, "error"));
        return std::nullopt;
    }
    const ov::Json slot = first_slot(*reply);
    if (!slot.is_object()) {
        checks.add(row, "fail", "setRack gave no slot result");
        return std::nullopt;
    }
    if (!slot.value("ok", false)) {
        checks.add(row, "fail", text_of(slot, "error"), slot);
        return std::nullopt;
    }
    const std::string adapt = text_of(slot, "adapt");
    checks.add(row, "ok",
               std::to_string(count_of(slot, "inputs")) + " in / " + std::to_string(count_of(slot, "outputs")) +
                   " out, adapt \"" + adapt + "\", latency " + std::to_string(count_of(slot, "latency")) + ", " +
                   std::to_string(count_of(slot, "params")) + " parameters" +
                   (slot.value("hasEditor", false) ? ", editor" : ""),
               slot);
    return slot;
}

struct SignalOutcome {
    bool answered = false;  // at least one block came back
    bool all_missed = false;
};

// Streams one test signal through the rack and writes its row.
SignalOutcome check_signal(RackSession& session, const std::string& name, Signal signal, std::uint64_t blocks,
                           std::uint32_t reported_latency, PluginChecks& checks) {
    BlockPlan plan;
    plan.count = blocks;
    plan.pace_us = 10000;
    plan.block_timeout_ms = 1000;
    plan.keep_output = true;
    plan.signal = signal;
    const BlockRun run = session.rig().run_blocks(plan);
    const SignalOutcome outcome{run.received > 0, run.received == 0};

    std::uint64_t late = 0, non_finite = 0;
    for (double trip : run.round_trip_us)
        if (trip > kBlockUs) ++late;
    double peak = 0;
    std::size_t peak_at = 0;
    for (const auto& channel : run.output)
        for (std::size_t i = 0; i < channel.size(); ++i) {
            if (!std::isfinite(channel[i])) {
                ++non_finite;
                continue;
            }
            if (std::fabs(channel[i]) > peak && &channel == &run.output.front()) {
                peak = std::fabs(channel[i]);
                peak_at = i;
            }
        }
    const auto trips = percentiles(run.round_trip_us);
    std::vector<double> block_times(run.block_time_us.begin(), run.block_time_us.end());
    const auto block = percentiles(block_times);
    const std::uint32_t slot_us = session.rig().mapping().slot_time_us(0);
    ov::Json details = {{"blocks", run.published},       {"answered", run.received},
                        {"missed", run.missed},          {"late", late},
                        {"nonFinite", non_finite},       {"roundTripUs", {{"median", trips.median}, {"p99", trips.p99}, {"max", trips.max}}},
                        {"blockTimeUs", {{"median", block.median}, {"max", block.max}}},
                        {"slotTimeUs", slot_us},         {"share", slot_us / kBlockUs},
                        {"peak", peak}};

    // A host that stopped answering (dead, or stuck inside the plug-in a second after the last
    // block) fails; one that skipped a few blocks but kept answering only fell behind.
    const std::int32_t busy = session.rig().mapping().i32(field::audioSlotKey);
    const std::string ended = session.ended();
    std::string mark = "ok";
    std::string figure;
    if (run.received > 0 && block.median > kBlockUs) {
        mark = "fail";
        figure = format("too slow for real time: %.0f us per block (%.0f %% of the 10 ms block)", block.median,
                        100.0 * block.median / kBlockUs);
    } else if (run.missed > 0 && (run.received == 0 || busy >= 0 || !ended.empty())) {
        mark = "fail";
        figure = std::to_string(run.missed) + " of " + std::to_string(run.published) + " blocks not answered";
        if (!ended.empty())
            figure += ended;
        else if (busy >= 0)
            figure += " (the audio thread is stuck in slot " + std::to_string(busy) + ")";
    } else if (non_finite > 0) {
        mark = "fail";
        figure = std::to_string(non_finite) + " output samples are NaN or infinite";
    } else {
        figure = std::to_string(run.received) + " blocks answered, finite; " +
                 format("slot %.0f us = %.1f %% of 10 ms", slot_us, 100.0 * slot_us / kBlockUs);
        if (late > 0 || run.missed > 0) {
            mark = "warn";
            if (late > 0)
                figure += "; " + std::to_string(late) + " answered late" + format(" (slowest %.1f ms)", trips.max / 1000.0);
            if (run.missed > 0) figure += "; " + std::to_string(run.missed) + " skipped (the host fell behind)";
        }
    }
    if (mark != "fail" && signal.kind == Signal::Kind::impulse) {
        if (peak < 1e-6) {
            mark = "warn";
            figure += "; no impulse came out";
        } else {
            const std::int64_t delay = static_cast<std::int64_t>(peak_at) - static_cast<std::int64_t>(signal.at);
            details["impulseDelay"] = delay;
            details["reportedLatency"] = reported_latency;
            figure += "; impulse delay " + std::to_string(delay);
            if (delay == static_cast<std::int64_t>(reported_latency)) {
                figure += " = reported latency";
            } else {
                mark = "warn";
                figure += " but reported latency " + std::to_string(reported_latency);
            }
        }
    }
    checks.add(name, mark, figure, details);
    return outcome;
}

// Whether a stepped parameter's value reads back as the step nearest to what was set.
bool reads_back(double set, double got, std::int64_t steps) {
    double want = set;
    if (steps > 0) want = std::round(set * static_cast<double>(steps)) / static_cast<double>(steps);
    return std::fabs(got - want) <= 1e-4 || (steps > 0 && std::fabs(got - set) <= 0.5 / static_cast<double>(steps));
}

// Every automatable, writable parameter set to 0, 0.5 and 1 and back while audio runs.
void check_parameters(RackSession& session, PluginChecks& checks) {
    std::string failure;
    auto listed = session.ask({{"cmd", "params"}, {"key", kKey}}, failure);
    if (!listed || !listed->value("ok", false) || !member(*listed, "result").is_array()) {
        checks.add("parameters", "fail", listed ? "params failed: " + text_of(*listed, "error") : failure);
        return;
    }
    std::atomic<bool> stop{false};
    BlockPlan plan;
    plan.count = 1000000;
    plan.pace_us = 10000;
    plan.block_timeout_ms = 1000;
    plan.keep_output = true;
    plan.stop = &stop;
    plan.signal.kind = Signal::Kind::noise;
    BlockRun run;
    const double run_started_ms = session.rig().now_ms();
    std::thread audio([&] { run = session.rig().run_blocks(plan); });

    std::uint64_t tried = 0, set_count = 0;
    ov::Json differences = ov::Json::array();
    std::string error;
    for (const ov::Json& param : (*listed)["result"]) {
        if (!param.value("automatable", false) || param.value("readOnly", false)) continue;
        ++tried;
        const auto id = param.value("id", std::uint64_t{0});
        const std::int64_t steps = param.value("steps", std::int64_t{0});
        const ov::Json& original = member(param, "value");
        std::vector<double> values = {0.0, 0.5, 1.0};
        if (original.is_number()) values.push_back(original.get<double>());
        for (double value : values) {
            auto reply = session.ask({{"cmd", "setParam"}, {"key", kKey}, {"param", id}, {"value", value}}, failure);
            if (!reply) {
                error = "setParam " + std::to_string(id) + ": " + failure;
                break;
            }
            if (!reply->value("ok", false)) {
                error = "setParam " + std::to_string(id) + " to " + format("%g", value) + ": " + text_of(*reply, "error");
                break;
            }
            ++set_count;
            // A few milliseconds apart, so that the values reach the plug-in in different blocks.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const ov::Json& got = member(member(*reply, "result"), "value");
            if (!got.is_number() || !reads_back(value, got.get<double>(), steps))
                differences.push_back({{"id", id}, {"name", text_of(param, "name")}, {"set", value}, {"got", got}});
        }
        if (!error.empty()) break;
    }
    // The values as the plug-in lists them afterwards: each back where it was.
    std::uint64_t not_restored = 0;
    if (error.empty()) {
        auto after = session.ask({{"cmd", "params"}, {"key", kKey}}, failure);
        if (after && after->value("ok", false))
            for (const ov::Json& param : (*after)["result"])
                for (const ov::Json& before : (*listed)["result"]) {
                    const ov::Json& was = member(before, "value");
                    const ov::Json& now = member(param, "value");
                    if (member(before, "id") == member(param, "id") && before.value("automatable", false) &&
                        !before.value("readOnly", false) && was.is_number() &&
                        (!now.is_number() ||
                         !reads_back(was.get<double>(), now.get<double>(), before.value("steps", std::int64_t{0}))))
                        ++not_restored;
                }
    }
    // At least a fifth of a second of audio around the changes.
    while (run_started_ms + 200 > session.rig().now_ms()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    audio.join();

    std::uint64_t non_finite = 0;
    for (const auto& channel : run.output)
        for (float x : channel)
            if (!std::isfinite(x)) ++non_finite;
    ov::Json details = {{"automatable", tried},        {"valuesSet", set_count},  {"differences", differences},
                        {"notRestored", not_restored}, {"blocks", run.published}, {"missed", run.missed},
                        {"nonFinite", non_finite}};
    if (!error.empty()) {
        checks.add("parameters", "fail", error + session.ended(), details);
    } else if ((run.missed > 0 && (run.received == 0 || !session.alive())) || non_finite > 0) {
        checks.add("parameters", "fail",
                   std::to_string(run.missed) + " blocks not answered and " + std::to_string(non_finite) +
                       " samples NaN or infinite while parameters changed" + session.ended(),
                   details);
    } else if (tried == 0) {
        checks.add("parameters", "skip", "no automatable parameter", details);
    } else {
        std::string figure = std::to_string(tried) + " automatable, " + std::to_string(set_count) + " values set while " +
                             std::to_string(run.received) + " blocks ran";
        if (run.missed > 0) figure += ", " + std::to_string(run.missed) + " blocks skipped (the host fell behind)";
        if (differences.empty() && not_restored == 0 && run.missed == 0) {
            checks.add("parameters", "ok", figure + ", all read back", details);
        } else {
            if (!differences.empty() || not_restored > 0)
                figure += "; " + std::to_string(differences.size()) + " read back differently";
            if (!differences.empty()) {
                const ov::Json& first = differences[0];
                figure += " (\"" + text_of(first, "name") + "\" set " + format("%g", first["set"].get<double>()) +
                          ", read " + ov::to_compact_json(first["got"]) + ")";
            }
            if (not_restored > 0) figure += ", " + std::to_string(not_restored) + " not back at their value";
            checks.add("parameters", "warn", figure, details);
        }
    }
}

// A note of the first difference between two base64 state texts.
std::string state_difference(const std::string& first, const std::string& second) {
    std::size_t at = 0;
    while (at < first.size() && at < second.size() && first[at] == second[at]) ++at;
    return "the state differs after a reload: " + std::to_string(first.size()) + " then " +
           std::to_string(second.size()) + " base64 characters, first difference at character " + std::to_string(at);
}

// Save, load into a new rack, save again.
void check_state(RackSession& session, const ov::Json& entry, const CheckOptions& options,
                 const ovplat::ChildEnvironment& environment, PluginChecks& checks) {
    std::string failure;
    auto saved = session.ask({{"cmd", "getState"}, {"key", kKey}}, failure);
    if (!saved) {
        checks.add("state", "fail", "getState: " + failure);
        return;
    }
    if (!saved->value("ok", false)) {
        const std::string error = text_of(*saved, "error");
        // A plug-in without state of its own has nothing to lose; one whose saving fails does.
        if (error == "this plugin saves no state")
            checks.add("state", "skip", "the plug-in keeps no state (" + error + ")");
        else
            checks.add("state", "fail", "could not save its state: " + error);
        return;
    }
    const std::string first = text_of(member(*saved, "result"), "state");

    RackSession second(options, environment, session.channels());
    if (std::string failed = second.start(); !failed.empty()) {
        checks.add("state", "fail", "a second rack host did not start: " + failed);
        return;
    }
    auto loaded = second.ask(set_rack(slot_spec(entry, first)), failure, options.load_timeout_ms);
    const ov::Json slot = loaded ? first_slot(*loaded) : ov::Json(nullptr);
    if (!loaded || !slot.value("ok", false) || !member(slot, "error").is_null()) {
        checks.add("state", "fail",
                   "loading with the saved state: " +
                       (!loaded ? failure : slot.is_object() ? text_of(slot, "error") : text_of(*loaded, "error")));
        second.quit();
        return;
    }
    auto again = second.ask({{"cmd", "getState"}, {"key", kKey}}, failure);
    second.quit();
    if (!again || !again->value("ok", false)) {
        checks.add("state", "fail", "saving after the reload: " + (again ? text_of(*again, "error") : failure));
        return;
    }
    const std::string second_state = text_of(member(*again, "result"), "state");
    const std::size_t bytes = first.size() / 4 * 3 - (first.ends_with("==") ? 2 : first.ends_with("=") ? 1 : 0);
    ov::Json details = {{"first", first.size()}, {"second", second_state.size()}};
    if (first == second_state)
        checks.add("state", "ok", "saved, loaded into a new rack, saved again: equal bytes (" + std::to_string(bytes) + " bytes)",
                   details);
    else
        checks.add("state", "warn", state_difference(first, second_state), details);
}

// The rack is taken back and installed again (what every rack change does), then audio flows.
void check_reactivation(RackSession& session, const ov::Json& entry, std::uint32_t latency, PluginChecks& checks) {
    std::string failure;
    auto reply = session.ask(set_rack(slot_spec(entry)), failure);
    if (!reply || !reply->value("ok", false)) {
        checks.add("reactivation", "fail", reply ? text_of(*reply, "error") : failure);
        return;
    }
    Signal noise;
    check_signal(session, "reactivation", noise, 30, latency, checks);
}

void check_editor(RackSession& session, const ov::Json& slot, const CheckOptions& options, PluginChecks& checks) {
    if (!slot.value("hasEditor", false)) {
        checks.add("editor", "skip", "no window of its own");
        return;
    }
    if (!options.editor) {
        checks.add("editor", "skip", "not asked for");
        return;
    }
    if (!ovplat::display_available()) {
        checks.add("editor", "skip", "no display");
        return;
    }
    std::string failure;
    auto opened = session.ask({{"cmd", "editor"}, {"key", kKey}}, failure);
    if (!opened || !opened->value("ok", false)) {
        const std::string error = opened ? text_of(*opened, "error") : failure;
        // The host's own window failed before the plug-in was asked: no display here.
        if (error.rfind("could not create the plugin window", 0) == 0)
            checks.add("editor", "skip", "no display: " + error);
        else
            checks.add("editor", "fail", "opening: " + error);
        return;
    }
    const ov::Json size = member(*opened, "result");
    session.rig().collect(500);
    auto closed = session.ask({{"cmd", "editor"}, {"key", kKey}, {"open", false}}, failure);
    if (!closed || !closed->value("ok", false)) {
        checks.add("editor", "fail", "closing: " + (closed ? text_of(*closed, "error") : failure));
        return;
    }
    checks.add("editor", "ok",
               "opened at " + std::to_string(count_of(size, "width")) + " x " + std::to_string(count_of(size, "height")) +
                   ", closed",
               size);
}

ov::Json check_plugin(const ov::Json& entry, const CheckOptions& options, const ovplat::ChildEnvironment& environment) {
    PluginChecks checks(text_of(entry, "name"), text_of(entry, "kind"), text_of(entry, "uid"));
    const std::string label = "\"" + text_of(entry, "name") + "\"";
    auto progress = [&](const std::string& what) {
        if (options.progress) options.progress(label + ": " + what);
    };
    const std::uint64_t blocks = std::max<std::uint64_t>(20, static_cast<std::uint64_t>(options.signal_seconds * 100.0));

    // The mono rack: loading and a short stretch of noise.
    progress("mono rack");
    RackSession mono(options, environment, 1);
    std::optional<ov::Json> mono_slot = load(mono, entry, checks, "load mono", options);
    if (mono_slot) {
        Signal noise;
        check_signal(mono, "mono noise", noise, 20, static_cast<std::uint32_t>(count_of(*mono_slot, "latency")), checks);
    }
    if (std::string failed = mono.quit(); !failed.empty()) checks.add("mono quit", "fail", failed);

    // The stereo rack: everything else.
    progress("stereo rack");
    auto stereo = std::make_unique<RackSession>(options, environment, 2);
    std::optional<ov::Json> slot = load(*stereo, entry, checks, "load stereo", options);
    RackSession* session = stereo.get();
    std::unique_ptr<RackSession> fallback;
    if (!slot && mono_slot) {
        stereo->quit();
        fallback = std::make_unique<RackSession>(options, environment, 1);
        slot = load(*fallback, entry, checks, "load mono again", options);
        session = fallback.get();
    }
    if (!slot) return checks.finish();

    const auto latency = static_cast<std::uint32_t>(count_of(*slot, "latency"));
    struct Step {
        const char* name;
        Signal::Kind kind;
    };
    for (const Step& step : {Step{"silence", Signal::Kind::silence}, Step{"impulse", Signal::Kind::impulse},
                             Step{"noise", Signal::Kind::noise}, Step{"sine", Signal::Kind::sine}}) {
        progress(step.name);
        Signal signal;
        signal.kind = step.kind;
        signal.at = kImpulseFrame;
        signal.frequency = 1000.0;
        const SignalOutcome outcome = check_signal(*session, step.name, signal, blocks, latency, checks);
        if (outcome.all_missed || !session->alive()) {
            checks.add("remaining checks", "skip", "after the failure above");
            session->quit();
            return checks.finish();
        }
    }
    progress("parameters");
    check_parameters(*session, checks);
    progress("state");
    if (session->alive()) check_state(*session, entry, options, environment, checks);
    progress("reactivation");
    if (session->alive()) check_reactivation(*session, entry, latency, checks);
    if (session->alive()) check_editor(*session, *slot, options, checks);
    if (!session->alive()) {
        checks.add("host", "fail", "the host ended during the checks" + session->ended());
        return checks.finish();
    }
    if (std::string failed = session->quit(); !failed.empty())
        checks.add("quit", "fail", failed);
    else
        checks.add("quit", "ok", "the host quit");
    return checks.finish();
}

}  // namespace

ov::Json run_check(const CheckOptions& options) {
    ov::Json report = {{"target", options.target}, {"host", options.host_program}, {"version", OV_VERSION_TEXT},
                       {"plugins", ov::Json::array()}};
    ovplat::ChildEnvironment environment;
    // The built-in test plug-ins exist only when the host is told so.
    if (starts_with_ignoring_case(options.target, "internal:"))
        environment.set.emplace_back("OV_PLUGINHOST_INTERNAL", "1");

    if (options.progress) options.progress("scan of " + options.target);
    const ScanResult scan = run_scan(options, environment);
    ov::Json scan_row = {{"ms", scan.ms}};
    std::vector<ov::Json> entries;
    if (!scan.report) {
        scan_row["mark"] = "fail";
        scan_row["figure"] = scan.failure;
    } else if (scan.report->contains("scanError")) {
        scan_row["mark"] = "fail";
        scan_row["figure"] = "the file cannot be loaded: " + text_of(*scan.report, "scanError");
    } else {
        const ov::Json& found = member(*scan.report, "scan");
        const ov::Json& skipped = member(*scan.report, "skipped");
        scan_row["entries"] = found;
        scan_row["skipped"] = skipped;
        if (found.is_array())
            for (const auto& entry : found)
                if (options.uid.empty() || text_of(entry, "uid") == options.uid) entries.push_back(entry);
        const std::size_t skipped_count = skipped.is_array() ? skipped.size() : 0;
        scan_row["mark"] = entries.empty() ? "fail" : skipped_count ? "warn" : "ok";
        if (entries.empty() && !options.uid.empty() && found.is_array() && !found.empty())
            scan_row["figure"] = "the file has no effect with the uid " + options.uid;
        if (!scan_row.contains("figure"))
            scan_row["figure"] = std::to_string(entries.size()) + " effect(s), " + std::to_string(skipped_count) +
                                 " skipped, " + format("%.0f ms", scan.ms);
        if (skipped.is_array() && options.uid.empty())
            for (const auto& entry : skipped) {
                PluginChecks checks(text_of(entry, "name"), "", "");
                checks.add("scan", "fail", text_of(entry, "error"));
                report["plugins"].push_back(checks.finish());
            }
    }
    report["scan"] = scan_row;
    for (const auto& entry : entries) report["plugins"].push_back(check_plugin(entry, options, environment));

    std::size_t failing = 0;
    std::string first_reason;
    for (const auto& plugin : report["plugins"])
        if (plugin["verdict"] == "fails") {
            ++failing;
            if (first_reason.empty()) first_reason = text_of(plugin, "name") + ": " + text_of(plugin, "reason");
        }
    if (scan_row["mark"] == "fail" && report["plugins"].empty()) {
        report["verdict"] = "fails";
        report["reason"] = scan_row["figure"];
    } else if (failing) {
        report["verdict"] = "fails";
        report["reason"] = std::to_string(failing) + " of " + std::to_string(report["plugins"].size()) +
                           " plug-ins fail; first: " + first_reason;
    } else {
        report["verdict"] = "works";
        report["reason"] = nullptr;
    }
    return report;
}

std::string check_table(const ov::Json& report) {
    std::string text;
    auto row = [&](const std::string& check, const std::string& mark, const std::string& figure) {
        char head[64];
        std::snprintf(head, sizeof head, "  %-18s %-5s ", check.c_str(), mark.c_str());
        text += head;
        text += figure;
        text += '\n';
    };
    text += "plug-in check " + text_of(report, "version") + " of " + text_of(report, "target") + "\n";
    const ov::Json& scan = report["scan"];
    row("scan", text_of(scan, "mark"), text_of(scan, "figure"));
    for (const auto& plugin : report["plugins"]) {
        text += "\n" + text_of(plugin, "name");
        if (!text_of(plugin, "kind").empty()) text += " (" + text_of(plugin, "kind") + " " + text_of(plugin, "uid") + ")";
        text += "\n";
        for (const auto& check : plugin["checks"])
            row(text_of(check, "check"), text_of(check, "mark"), text_of(check, "figure"));
        const std::string reason = plugin["reason"].is_string() ? ": " + text_of(plugin, "reason") : "";
        row("verdict", "", text_of(plugin, "verdict") + reason);
    }
    text += "\nverdict: " + text_of(report, "verdict");
    if (report["reason"].is_string()) text += ": " + text_of(report, "reason");
    text += "\n";
    return text;
}

bool check_passed(const ov::Json& report) { return report.value("verdict", "") == "works"; }

}  // namespace ovstandin
