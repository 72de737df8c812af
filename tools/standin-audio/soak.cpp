#include "soak.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "platform/child_process.h"
#include "platform/process_usage.h"
#include "rig.h"

namespace ovstandin {
namespace {

// Margin around a rack change within which a lost block counts as explained by it: the block
// in flight when the host took its chain back, and the first one after it installed the new one.
constexpr double kChangeMarginMs = 25.0;

// A plug-in the soak can put into a rack.
struct Candidate {
    ov::Json spec;            // kind, path, uid
    std::string model;        // "gain", "stereo", "delay": built-in plug-ins whose output is known
    std::uint32_t delay = 0;  // of "delay"
    bool has_editor = false;
};

// What the soak believes a slot holds.
struct SlotModel {
    std::uint32_t key = 0;
    const Candidate* plugin = nullptr;
    bool bypass = false;
    bool fold_left = false;
    double value = 0.5;  // the built-in plug-ins' gain parameter
};

using Matrix = std::array<std::array<double, 2>, 2>;

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix product{};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) product[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j];
    return product;
}

// The rack as one mix matrix and one delay, when every slot is a built-in plug-in.
std::optional<Expectation> expected_output(const std::vector<SlotModel>& rack, unsigned channels) {
    Matrix total{{{1, 0}, {0, 1}}};
    std::uint32_t delay = 0;
    for (const SlotModel& slot : rack) {
        if (slot.plugin->model.empty()) return std::nullopt;
        delay += slot.plugin->delay;
        if (slot.bypass) continue;
        const double g = static_cast<double>(static_cast<float>(2.0 * slot.value));
        Matrix step{};
        if (channels == 1)
            step[0][0] = slot.plugin->model == "stereo" ? (slot.fold_left ? g : 0.75 * g) : g;
        else if (slot.plugin->model == "stereo")
            step = Matrix{{{g, 0}, {0, 0.5 * g}}};
        else
            step = Matrix{{{0.5 * g, 0.5 * g}, {0.5 * g, 0.5 * g}}};
        total = multiply(step, total);
    }
    Expectation expect;
    expect.mix = channels == 1 ? std::vector<std::vector<double>>{{total[0][0]}}
                               : std::vector<std::vector<double>>{{total[0][0], total[0][1]}, {total[1][0], total[1][1]}};
    expect.delay = delay;
    expect.settle = delay;
    expect.tolerance = 1e-4;
    return expect;
}

std::string base64_of_double(double value) {
    unsigned char bytes[8];
    std::memcpy(bytes, &value, 8);  // little-endian on every platform we build for
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (int i = 0; i < 8; i += 3) {
        const unsigned n = (bytes[i] << 16) | ((i + 1 < 8 ? bytes[i + 1] : 0) << 8) | (i + 2 < 8 ? bytes[i + 2] : 0);
        text += alphabet[(n >> 18) & 63];
        text += alphabet[(n >> 12) & 63];
        text += i + 1 < 8 ? alphabet[(n >> 6) & 63] : '=';
        text += i + 2 < 8 ? alphabet[n & 63] : '=';
    }
    return text;
}

std::vector<Candidate> built_in_candidates() {
    std::vector<Candidate> pool;
    auto add = [&](const std::string& uid, const std::string& model, std::uint32_t delay) {
        pool.push_back({{{"kind", "internal"}, {"path", ""}, {"uid", uid}}, model, delay, false});
    };
    add("gain", "gain", 0);
    add("stereo", "stereo", 0);
    for (std::uint32_t delay : {0u, 64u, 480u, 1000u}) add("delay:" + std::to_string(delay), "delay", delay);
    return pool;
}

// The effects of a plug-in file, from a scan by the host.
std::vector<Candidate> scan_candidates(const std::string& host, const std::string& file, std::string& error) {
    std::vector<Candidate> found;
    auto child = ovplat::ChildProcess::start(host, {"scan", file}, {}, error);
    if (!child) return found;
    std::string line;
    while (child->read_line(line, 60000) == ovplat::ChildProcess::ReadResult::line) {
        if (line.rfind("OVP ", 0) != 0) continue;
        auto parsed = ov::parse_json(std::string_view(line).substr(4));
        if (!parsed.value || !parsed.value->contains("scan")) {
            error = "the scan of " + file + " gave " + line;
            break;
        }
        for (const auto& entry : (*parsed.value)["scan"])
            found.push_back({{{"kind", entry["kind"]}, {"path", entry["path"]}, {"uid", entry["uid"]}},
                             "",
                             0,
                             entry.value("hasEditor", false)});
        break;
    }
    child->wait(10000);
    if (found.empty() && error.empty()) error = "the scan of " + file + " found no effect";
    return found;
}

class Soak {
public:
    explicit Soak(const SoakOptions& options) : options_(options), random_(options.seed) {}

    ov::Json run() {
        report_ = {{"blocks", 0}, {"answered", 0}, {"supersededInBursts", 0}, {"unobservedByLateFeeder", 0}, {"missedInChanges", 0}, {"unexplainedMisses", 0},
                   {"exactChunks", 0}, {"mismatches", ov::Json::array()}, {"samples", ov::Json::array()},
                   {"problems", ov::Json::array()}, {"paced", options_.paced}, {"channels", options_.channels},
                   {"seed", options_.seed}};
        pool_ = built_in_candidates();
        for (const auto& file : options_.plugin_files) {
            std::string error;
            auto found = scan_candidates(options_.host_program, file, error);
            if (found.empty()) return fail("plug-in " + file + ": " + error);
            pool_.insert(pool_.end(), found.begin(), found.end());
        }
        if (!start_host()) return finish();
        report_["hostPid"] = pid_;

        const auto started = std::chrono::steady_clock::now();
        std::uint64_t next_sample = 0;
        while (published_ < options_.blocks && problems() < 20) {
            if (published_ >= next_sample) {
                if (!sample()) break;
                next_sample += options_.sample_every;
                if (!change_rack()) break;
            }
            const int changes = 1 + static_cast<int>(random_() % 3);
            bool alive = true;
            for (int i = 0; i < changes && alive; ++i) alive = random_change();
            if (!alive) break;
            const std::uint64_t length =
                std::min<std::uint64_t>(options_.blocks - published_, 20 + random_() % 281);
            if (!run_chunk(length, random_() % 5 == 0)) break;
            if (options_.progress && published_ / 10000 != (published_ - length) / 10000)
                options_.progress(std::to_string(published_) + " blocks");
        }
        if (published_ >= options_.blocks) sample();
        report_["seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        rig_->send(ov::Json{{"cmd", "quit"}});
        if (!rig_->wait_exit(10000)) {
            problem("the host did not quit within 10 s");
            rig_->kill_host();
        }
        return finish();
    }

private:
    bool start_host() {
        RigOptions rig_options;
        rig_options.host_program = options_.host_program;
        rig_options.channels_arg = std::to_string(options_.channels);
        rig_options.mapping_channels = options_.channels;
        rig_options.environment.set.emplace_back("OV_PLUGINHOST_INTERNAL", "1");
        std::string error;
        rig_ = Rig::start(rig_options, error);
        if (!rig_) {
            problem(error);
            return false;
        }
        auto ready = rig_->wait_event("ready", 60000);
        if (!ready) {
            problem("the host did not report ready");
            return false;
        }
        pid_ = static_cast<std::uint32_t>(ready->value("pid", std::uint64_t{0}));
        return true;
    }

    ov::Json fail(const std::string& text) {
        problem(text);
        return finish();
    }
    void problem(const std::string& text) { report_["problems"].push_back(text); }
    std::size_t problems() const { return report_["problems"].size(); }

    // A request whose failure ends the soak (the host is gone or stuck).
    std::optional<ov::Json> ask(ov::Json request) {
        const std::string name = request.value("cmd", "");
        std::string what = name;
        if (request.contains("key")) what += " of slot " + ov::to_compact_json(request["key"]);
        const double sent_ms = rig_->now_ms();
        auto reply = rig_->request(std::move(request), 30000);
        requests_.push_back({sent_ms, rig_->now_ms(), what});
        if (requests_.size() > 256) requests_.pop_front();
        if (!reply) {
            auto code = rig_->wait_exit(0);
            problem("no reply to " + name + " at block " + std::to_string(published_) +
                    (code ? ": the host ended with exit code " + std::to_string(*code) : ""));
        }
        return reply;
    }

    template <class T>
    const T& pick(const std::vector<T>& from) {
        return from[random_() % from.size()];
    }

    ov::Json spec_of(const SlotModel& slot, const std::optional<double>& state) const {
        ov::Json spec = slot.plugin->spec;
        spec["key"] = slot.key;
        spec["bypass"] = slot.bypass;
        spec["fold"] = slot.fold_left ? "left" : "sum";
        if (state) spec["state"] = base64_of_double(*state);
        return spec;
    }

    // A new rack: up to four slots with distinct keys, some reused from the current one.
    std::vector<SlotModel> draw_rack() {
        std::vector<SlotModel> next;
        const unsigned count = random_() % 5;
        std::vector<std::uint32_t> keys = {1, 2, 3, 4, 5, 6};
        std::shuffle(keys.begin(), keys.end(), random_);
        for (unsigned i = 0; i < count; ++i) {
            SlotModel slot;
            slot.key = keys[i];
            auto same_key = std::find_if(rack_.begin(), rack_.end(), [&](const SlotModel& s) { return s.key == slot.key; });
            if (same_key != rack_.end() && random_() % 2 == 0) {
                slot = *same_key;  // reused: the host keeps the plug-in and its gain
            } else {
                slot.plugin = &pick(pool_);
            }
            slot.bypass = random_() % 5 == 0;
            slot.fold_left = random_() % 2 == 0;
            next.push_back(slot);
        }
        return next;
    }

    // Sends "setRack" for `next` and takes it as the rack; false when the soak must end.
    bool set_rack(std::vector<SlotModel> next) {
        ov::Json slots = ov::Json::array();
        for (SlotModel& slot : next) {
            auto current = std::find_if(rack_.begin(), rack_.end(), [&](const SlotModel& s) {
                return s.key == slot.key && s.plugin->spec["path"] == slot.plugin->spec["path"] &&
                       s.plugin->spec["uid"] == slot.plugin->spec["uid"];
            });
            std::optional<double> state;
            if (current != rack_.end()) {
                slot.value = current->value;
            } else {
                slot.value = 0.5;
                if (!slot.plugin->model.empty() && random_() % 2 == 0) state = slot.value = 0.25 * (1 + random_() % 3);
            }
            slots.push_back(spec_of(slot, state));
        }
        const double sent = rig_->now_ms();
        auto reply = ask({{"cmd", "setRack"}, {"slots", slots}});
        windows_.emplace_back(sent, rig_->now_ms());
        ++changes_["setRack"];
        if (!reply) return false;
        if (!reply->value("ok", false)) {
            problem("setRack failed at block " + std::to_string(published_) + ": " + reply->value("error", ""));
            return false;
        }
        const ov::Json& results = (*reply)["result"];
        for (std::size_t i = 0; i < next.size(); ++i) {
            const ov::Json& result = results.is_array() && i < results.size() ? results[i] : ov::Json();
            if (!result.value("ok", false) || (result.contains("error") && !result["error"].is_null()))
                problem("slot " + std::to_string(next[i].key) + " (" + next[i].plugin->spec.value("uid", "") +
                        ") at block " + std::to_string(published_) + ": " + ov::to_compact_json(result));
        }
        rack_ = std::move(next);
        return true;
    }

    bool change_rack() { return set_rack(draw_rack()); }

    // One change between chunks.
    bool random_change() {
        const unsigned roll = random_() % 100;
        if (roll < 40) return change_rack();
        if (roll < 70) return set_param(false);
        if (roll < 85) return get_states();
        return toggle_editor();
    }

    // A built-in slot's gain set to a new value, or (`same` true) to the one it has.
    bool set_param(bool same) {
        std::vector<SlotModel*> built_in;
        for (auto& slot : rack_)
            if (!slot.plugin->model.empty()) built_in.push_back(&slot);
        if (built_in.empty()) return get_states();
        SlotModel& slot = *built_in[random_() % built_in.size()];
        const double value = same ? slot.value : 0.25 * (1 + random_() % 3);
        auto reply = ask({{"cmd", "setParam"}, {"key", slot.key}, {"param", 0}, {"value", value}});
        ++changes_["setParam"];
        if (!reply) return false;
        if (!reply->value("ok", false)) problem("setParam failed: " + reply->value("error", ""));
        slot.value = value;
        return true;
    }

    bool get_states() {
        auto reply = ask({{"cmd", "getStates"}});
        ++changes_["getStates"];
        if (!reply) return false;
        if (!reply->value("ok", false)) problem("getStates failed: " + reply->value("error", ""));
        return true;
    }

    bool toggle_editor() {
        if (!options_.editors || editors_off_ || !ovplat::display_available()) return get_states();
        std::vector<const SlotModel*> with_editor;
        for (const auto& slot : rack_)
            if (slot.plugin->has_editor) with_editor.push_back(&slot);
        if (with_editor.empty()) return get_states();
        const SlotModel& slot = *with_editor[random_() % with_editor.size()];
        const bool open = random_() % 2 == 0;
        const std::string uid = slot.plugin->spec.value("uid", "");
        auto reply = ask({{"cmd", "editor"}, {"key", slot.key}, {"open", open}});
        ++changes_[open ? "editorOpen" : "editorClose"];
        if (!reply) return false;
        if (!reply->value("ok", false)) {
            const std::string error = reply->value("error", "");
            // The host could not make its own window: no display here (Wine without X), not
            // a fault of the plug-in or the host. Editors stay out of the rest of the run.
            if (error.rfind("could not create the plugin window", 0) == 0) {
                editors_off_ = true;
                report_["editorsOff"] = error;
            } else if (editor_opened_.contains(uid)) {
                // It opened before in this run: now refusing is the host's doing, or a leak.
                problem("editor of " + uid + " failed after it had opened: " + error);
            } else {
                // Some plug-ins' editors never open (our faulty test plug-ins do that on
                // purpose): the host answering with the plug-in's reason is right.
                auto& refusals = report_["editorRefusals"][uid];
                refusals = refusals.is_number() ? refusals.get<std::uint64_t>() + 1 : 1;
            }
        } else if (open) {
            editor_opened_.insert(uid);
        }
        return true;
    }

    // Streams `length` blocks on a second thread while this one sends requests that leave
    // the output alone (or, for a live chunk, a new rack).
    bool run_chunk(std::uint64_t length, bool live) {
        BlockPlan plan;
        plan.count = length;
        plan.pace_us = options_.paced ? 10000 : 0;
        plan.block_timeout_ms = 1000;  // slower than that is lost, whatever the pace
        plan.keep_output = true;
        plan.signal.kind = Signal::Kind::noise;
        plan.signal.seed = static_cast<std::uint32_t>(random_());
        if (!live) {
            if (auto expect = expected_output(rack_, rig_->channels())) plan.expect = *expect;
        }
        std::atomic<bool> done{false};
        BlockRun run;
        std::thread audio([&] {
            run = rig_->run_blocks(plan);
            done = true;
        });
        bool alive = true;
        if (live) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.paced ? 100 : 5));
            alive = change_rack();
        }
        for (int i = 0; alive && !done && i < 4; ++i) {
            const unsigned roll = random_() % 3;
            alive = roll == 0 ? get_states() : roll == 1 ? set_param(true) : toggle_editor();
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.paced ? 50 : 2));
        }
        audio.join();
        published_ += run.published;
        report_["blocks"] = report_["blocks"].get<std::uint64_t>() + run.published;
        report_["answered"] = report_["answered"].get<std::uint64_t>() + run.received;
        report_["supersededInBursts"] = report_["supersededInBursts"].get<std::uint64_t>() + run.superseded;
        report_["unobservedByLateFeeder"] = report_["unobservedByLateFeeder"].get<std::uint64_t>() + run.unobserved;
        trips_.insert(trips_.end(), run.round_trip_us.begin(), run.round_trip_us.end());
        for (double at : run.missed_at_ms) {
            const bool explained = std::any_of(windows_.begin(), windows_.end(), [&](const auto& window) {
                return at >= window.first - kChangeMarginMs && at <= window.second + kChangeMarginMs;
            });
            auto& counter = report_[explained ? "missedInChanges" : "unexplainedMisses"];
            counter = counter.get<std::uint64_t>() + 1;
            if (!explained && report_["unexplainedMisses"].get<std::uint64_t>() <= 5)
                problem("block published at " + std::to_string(at) + " ms was not answered, outside any rack change" +
                        request_around(at));
        }
        for (const auto& channel : run.output)
            for (float x : channel)
                if (!std::isfinite(x)) {
                    problem("NaN or infinite output in the chunk ending at block " + std::to_string(published_));
                    break;
                }
        if (run.checked) {
            report_["exactChunks"] = report_["exactChunks"].get<std::uint64_t>() + 1;
            if (run.mismatch && report_["mismatches"].size() < 5)
                report_["mismatches"].push_back({{"block", published_},
                                                 {"frame", run.mismatch->frame},
                                                 {"channel", run.mismatch->channel},
                                                 {"got", run.mismatch->got},
                                                 {"want", run.mismatch->want},
                                                 {"rack", rack_description()}});
        }
        // Windows that ended well before now cannot explain later losses.
        const double now = rig_->now_ms();
        std::erase_if(windows_, [&](const auto& window) { return window.second + 10000 < now; });
        if (!alive) return false;
        if (auto code = rig_->wait_exit(0)) {
            problem("the host ended with exit code " + std::to_string(*code) + " at block " + std::to_string(published_));
            return false;
        }
        return true;
    }

    // The last request sent before `at_ms`, for the account of a lost block: what the host's
    // main thread was busy with when its audio thread fell behind.
    std::string request_around(double at_ms) const {
        for (auto it = requests_.rbegin(); it != requests_.rend(); ++it) {
            if (it->sent_ms > at_ms) continue;
            char text[160];
            std::snprintf(text, sizeof text, " (the last request before it, %s, was sent %.0f ms earlier and answered after %.0f ms)",
                          it->what.c_str(), at_ms - it->sent_ms, it->answered_ms - it->sent_ms);
            return text;
        }
        return "";
    }

    std::string rack_description() const {
        std::string text;
        for (const auto& slot : rack_) {
            if (!text.empty()) text += ", ";
            text += std::to_string(slot.key) + ":" + slot.plugin->spec.value("uid", "") + (slot.bypass ? " bypassed" : "") +
                    (slot.fold_left ? " left" : "");
        }
        return text;
    }

    // The host's resources with an empty rack, after a few blocks.
    bool sample() {
        if (!set_rack({})) return false;
        if (!run_chunk(10, false)) return false;
        auto usage = ovplat::process_usage(pid_);
        if (!usage) {
            problem("could not read the host's resources (pid " + std::to_string(pid_) + ")");
            return true;
        }
        report_["samples"].push_back({{"block", published_},
                                      {"memoryBytes", usage->memory_bytes},
                                      {"handles", usage->handles},
                                      {"threads", usage->threads}});
        return true;
    }

    ov::Json finish() {
        const ov::Json& samples = report_["samples"];
        ov::Json flat = {{"ok", true}};
        if (samples.size() >= 3) {
            // After the first fifth (modules loaded, caches warm), nothing may keep growing.
            const ov::Json& base = samples[samples.size() / 5 == 0 ? 1 : samples.size() / 5];
            const ov::Json& last = samples.back();
            const double memory_growth =
                last["memoryBytes"].get<double>() - base["memoryBytes"].get<double>();
            const std::int64_t handle_growth = last["handles"].get<std::int64_t>() - base["handles"].get<std::int64_t>();
            const std::int64_t thread_growth = last["threads"].get<std::int64_t>() - base["threads"].get<std::int64_t>();
            flat = {{"fromBlock", base["block"]},
                    {"memoryGrowthBytes", memory_growth},
                    {"handleGrowth", handle_growth},
                    {"threadGrowth", thread_growth}};
            const bool memory_ok = memory_growth <= 4.0 * 1024 * 1024 + 0.05 * base["memoryBytes"].get<double>();
            flat["ok"] = memory_ok && handle_growth <= 4 && thread_growth <= 1;
            if (!flat["ok"].get<bool>()) problem("the host's resources grew: " + ov::to_compact_json(flat));
        }
        report_["flat"] = flat;
        const auto trips = percentiles(trips_);
        report_["roundTripUs"] = {{"median", trips.median}, {"p99", trips.p99}, {"max", trips.max}};
        report_["changes"] = ov::Json(changes_);
        if (!report_["mismatches"].empty()) problem("a chain of built-in plug-ins gave output that is not exact");
        report_["ok"] = report_["problems"].empty() && report_["blocks"].get<std::uint64_t>() >= options_.blocks;
        return std::move(report_);
    }

    const SoakOptions& options_;
    std::mt19937 random_;
    std::vector<Candidate> pool_;
    std::vector<SlotModel> rack_;
    std::unique_ptr<Rig> rig_;
    std::uint32_t pid_ = 0;
    bool editors_off_ = false;
    struct Request {
        double sent_ms, answered_ms;
        std::string what;
    };
    std::deque<Request> requests_;  // the latest requests, oldest first
    std::set<std::string> editor_opened_;  // uids whose editor opened at least once
    std::uint64_t published_ = 0;
    std::vector<std::pair<double, double>> windows_;  // rack changes: sent, answered (Rig::now_ms)
    std::vector<double> trips_;
    std::map<std::string, std::uint64_t> changes_;  // requests sent, by kind
    ov::Json report_;
};

}  // namespace

ov::Json run_soak(const SoakOptions& options) { return Soak(options).run(); }

std::string soak_summary(const ov::Json& report) {
    auto number = [&](const char* key) { return report.contains(key) ? ov::to_compact_json(report[key]) : "-"; };
    std::string text;
    text += "soak: " + number("blocks") + " blocks " + (report.value("paced", false) ? "paced at 10 ms" : "flat out") +
            " in " + number("seconds") + " s, " + number("channels") + " channel(s), seed " + number("seed") + "\n";
    text += "  answered " + number("answered") + ", lost during rack changes " + number("missedInChanges") +
            ", passed over in bursts of a late feeder " + number("supersededInBursts") +
            ", not seen by a late feeder " + number("unobservedByLateFeeder") + ", lost otherwise " +
            number("unexplainedMisses") + "\n";
    text += "  exact chunks " + number("exactChunks") + ", mismatches " +
            std::to_string(report.contains("mismatches") ? report["mismatches"].size() : 0) + "\n";
    text += "  changes " + number("changes") + "\n";
    if (report.contains("editorRefusals")) text += "  editors that never opened " + number("editorRefusals") + "\n";
    if (report.contains("editorsOff")) text += "  editors left out: " + report["editorsOff"].get<std::string>() + "\n";
    text += "  round trip us " + number("roundTripUs") + "\n";
    if (report.contains("samples") && !report["samples"].empty()) {
        const auto& first = report["samples"].front();
        const auto& last = report["samples"].back();
        char line[256];
        std::snprintf(line, sizeof line,
                      "  host resources (empty rack): memory %.1f -> %.1f MiB, handles %lld -> %lld, threads %lld -> %lld\n",
                      first["memoryBytes"].get<double>() / 1048576.0, last["memoryBytes"].get<double>() / 1048576.0,
                      first["handles"].get<long long>(), last["handles"].get<long long>(),
                      first["threads"].get<long long>(), last["threads"].get<long long>());
        text += line;
    }
    text += "  flat " + number("flat") + "\n";
    for (const auto& problem : report.value("problems", ov::Json::array()))
        text += "  problem: " + problem.get<std::string>() + "\n";
    text += std::string("soak ") + (report.value("ok", false) ? "passed" : "FAILED") + "\n";
    return text;
}

}  // namespace ovstandin
