#pragma once
// The lifecycle test plug-ins of both formats (tests/plugins/*/lifecycle.cpp) as the real
// ov-pluginhost sees them, shared by the native runs and the runs under Wine: slots, the
// requests that drive them, and what the host must make of them.
#include <optional>
#include <string>
#include <vector>

#include "ov/json.h"

namespace ovtest::lifecycle {

// Read-only counters of the lifecycle plug-ins (their text is the count).
inline constexpr std::uint32_t kActivations = 2;
inline constexpr std::uint32_t kBlocks = 3;
inline constexpr std::uint32_t kViolations = 4;  // calls the host may not make in the plug-in's state
inline constexpr std::uint32_t kParked = 5;      // VST3: components that could not delete themselves
inline constexpr std::uint32_t kLive = 6;        // VST3: components alive

// Both plug-ins pass their input times 0.5; the refusing one reports a latency of 48.
inline constexpr double kPluginGain = 0.5;
inline constexpr std::uint32_t kRefusingLatency = 48;

struct Format {
    std::string name;
    std::string kind;
    std::string path;           // the module as the host sees it
    std::string latency_uid;    // reports its latency from inside every activation
    std::string refusing_uid;   // refuses its next activation when asked
    std::uint32_t latency_param;
    std::string refused;        // the host's message for the refused activation
    bool can_accept_again;      // whether a request makes it accept activation again

    ov::Json slot(std::uint32_t key, const std::string& uid) const {
        return {{"key", key}, {"kind", kind}, {"path", path}, {"uid", uid}};
    }
    // A latency of 200 samples, which the plug-in asks to be restarted for.
    ov::Json set_latency_200(std::uint32_t key) const {
        return {{"cmd", "setParam"}, {"key", key}, {"param", latency_param}, {"value", 0.2}};
    }
    // The refusing plug-in refuses its next activation and asks for a restart.
    ov::Json refuse(std::uint32_t key) const {
        if (kind == "clap") return {{"cmd", "setParam"}, {"key", key}, {"param", 9}, {"value", 1.0 / 20}};
        return {{"cmd", "setParam"}, {"key", key}, {"param", 1}, {"value", 1.0}};
    }
    // VST3 only: it accepts activation again and asks for a restart.
    ov::Json accept(std::uint32_t key) const { return {{"cmd", "setParam"}, {"key", key}, {"param", 1}, {"value", 0.0}}; }
};

// `clap_folder` and `vst3_folder` without a final separator.
inline std::vector<Format> formats(const std::string& clap_folder, const std::string& vst3_folder, char separator) {
    return {
        {"clap", "clap", clap_folder + separator + "ov-test-lifecycle.clap", "org.orvia.test.latency-in-activate",
         "org.orvia.test.refuses-reactivation", 1, "the plugin would not activate at 48 kHz", false},
        {"vst3", "vst3", vst3_folder + separator + "OvLifecycle.vst3", "4F564C43000000000000000000000021",
         "4F564C43000000000000000000000022", 0, "the plugin would not activate", true},
    };
}

inline ov::Json set_rack(const std::vector<ov::Json>& slots) { return {{"cmd", "setRack"}, {"slots", ov::Json(slots)}}; }

inline ov::Json restart_failed_event(std::uint32_t key, const Format& format) {
    return {{"event", "log"}, {"message", "slot " + std::to_string(key) + ": restart failed: " + format.refused}};
}

// The text of parameter `id` in a "params" result.
inline std::string param_text(const ov::Json& params, std::uint32_t id) {
    for (const auto& p : params)
        if (p.value("id", 0u) == id) return p.value("text", std::string());
    return "(no parameter " + std::to_string(id) + ")";
}

}  // namespace ovtest::lifecycle
