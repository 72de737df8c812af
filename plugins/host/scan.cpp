#include "scan.h"

#include "internal/internal.h"
#include "ov/text.h"
#include "platform/main_loop.h"
#include "protocol_lines.h"

namespace ovhost {

namespace {

constexpr std::string_view kInternalPrefix = "internal:";
constexpr std::string_view kInternalVersion = "1";
constexpr std::string_view kInternalCategory = "Fx|Test";

bool ends_with(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

ov::Json skipped_entry(const std::string& name, const std::string& error) {
    return ov::Json{{"name", name}, {"error", error}};
}

std::vector<ScanCandidate> internal_candidates(std::string_view path) {
    std::vector<ScanCandidate> candidates;
    for (auto& name : internal_scan_names(path)) {
        ScanCandidate candidate;
        candidate.name = name;
        candidate.uid = name;
        candidate.version = kInternalVersion;
        candidate.category = kInternalCategory;
        candidate.create = [name](std::uint32_t) { return create_internal_plugin(name); };
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

// What a scan takes from the one-channel instance, which is destroyed afterwards.
ov::Json describe_first_instance(LoadedPlugin plugin) {
    return ov::Json{
        {"name", plugin.name},
        {"vendor", plugin.vendor},
        {"monoOk", plugin.inputs == 1 && plugin.outputs == 1},
        {"latency", plugin.instance->latency()},
        {"hasEditor", plugin.instance->has_editor()},
        {"params", static_cast<std::uint32_t>(plugin.instance->params().size())},
    };
}

ov::Json scan_error(std::string message) { return ov::Json{{"scanError", std::move(message)}}; }

}  // namespace

ScanFormat classify_scan_path(std::string_view path) {
    const std::string lowered = ov::text::ascii_lower(path);
    if (lowered.size() >= kInternalPrefix.size() && lowered.starts_with(kInternalPrefix)) return ScanFormat::internal;
    if (ends_with(lowered, ".vst3")) return ScanFormat::vst3;
    if (ends_with(lowered, ".clap")) return ScanFormat::clap;
    return ScanFormat::unknown;
}

std::vector<std::string> internal_scan_names(std::string_view path) {
    const auto colon = path.find(':');
    const std::string_view requested = colon == std::string_view::npos ? std::string_view{} : path.substr(colon + 1);
    if (!requested.empty()) return {std::string(requested)};
    return {kInternalScanNames.begin(), kInternalScanNames.end()};
}

ov::Json probe_candidates(std::string_view kind, const std::string& path, const std::vector<ScanCandidate>& candidates) {
    ov::Json entries = ov::Json::array();
    ov::Json skipped = ov::Json::array();
    for (const auto& candidate : candidates) {
        auto first = candidate.create(1);
        if (!first) {
            skipped.push_back(skipped_entry(candidate.name, first.error()));
            continue;
        }
        ov::Json entry = describe_first_instance(std::move(first.value()));  // destroys it
        entry["kind"] = kind;
        entry["path"] = path;
        entry["uid"] = candidate.uid;
        entry["version"] = candidate.version;
        entry["category"] = candidate.category;
        auto second = candidate.create(2);
        if (!second) {
            skipped.push_back(skipped_entry(candidate.name, second.error()));
            continue;
        }
        entry["inputs"] = second->inputs;
        entry["outputs"] = second->outputs;
        entry["stereoOk"] = second->inputs == 2 && second->outputs == 2;
        entries.push_back(std::move(entry));
    }
    return ov::Json{{"scan", std::move(entries)}, {"skipped", std::move(skipped)}};
}

ov::Json scan_report(const std::string& path) {
    switch (classify_scan_path(path)) {
        case ScanFormat::internal: return probe_candidates("internal", path, internal_candidates(path));
        case ScanFormat::vst3: {
            auto candidates = vst3_scan_candidates(path);
            if (!candidates) return scan_error(candidates.error());
            return probe_candidates("vst3", path, candidates.value());
        }
        case ScanFormat::clap: {
            auto candidates = clap_scan_candidates(path);
            if (!candidates) return scan_error(candidates.error());
            return probe_candidates("clap", path, candidates.value());
        }
        case ScanFormat::unknown: break;
    }
    return scan_error("not a .vst3 or .clap file");
}

int run_scan(const std::string& path) {
    ovplat::initialize_com_apartment();
    write_line(scan_report(path));
    return 0;
}

}  // namespace ovhost
