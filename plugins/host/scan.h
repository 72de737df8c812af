#pragma once
// Scan mode: load one plug-in file (or the internal test plug-ins), try every effect in it
// with one and with two channels, and describe them in one report.
#include "formats.h"
#include "ov/json.h"

#include <string>
#include <string_view>
#include <vector>

namespace ovhost {

enum class ScanFormat { internal, vst3, clap, unknown };

// Decided on the ASCII-lower-cased path: an "internal:" prefix, then a ".vst3" or ".clap"
// ending.
ScanFormat classify_scan_path(std::string_view path);

// The internal names a scan of `path` ("internal:" or "internal:NAME") asks for.
std::vector<std::string> internal_scan_names(std::string_view path);

// Probes each candidate in order: {"scan": [...], "skipped": [...]}. `kind` and `path` are
// copied into every entry.
ov::Json probe_candidates(std::string_view kind, const std::string& path, const std::vector<ScanCandidate>& candidates);

// The whole report for one `scan <path>`: the probe result or {"scanError": message}.
ov::Json scan_report(const std::string& path);

// Scan mode: COM, the report as one protocol line, exit code 0.
int run_scan(const std::string& path);

}  // namespace ovhost
