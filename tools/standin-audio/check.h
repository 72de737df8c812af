#pragma once
// The plug-in check: drives the real ov-pluginhost the way Orvia does (a scan, then racks over
// the real mapping and event) and reports, for every plug-in a file offers, whether it works
// in the host and, if not, why.
#include <cstdint>
#include <functional>
#include <string>

#include "ov/json.h"

namespace ovstandin {

struct CheckOptions {
    std::string host_program;
    std::string target;           // plug-in file or bundle, or internal:<name>
    std::string uid;              // when set, only the effect with this uid is checked
    double signal_seconds = 1.0;  // per test signal, paced at one block every 10 ms
    bool editor = true;           // open and close editors when a display is available
    std::uint32_t scan_timeout_ms = 60000;
    std::uint32_t load_timeout_ms = 30000;
    // Told before every step that can take a second or more.
    std::function<void(const std::string&)> progress;
};

// The report: {"target", "host", "scan": {"mark", "figure", "ms", "entries", "skipped"},
// "plugins": [{"name", "kind", "uid", "checks": [{"check", "mark", "figure", "details"}],
// "verdict", "reason"}], "verdict", "reason"}. Marks are "ok", "warn", "fail" and "skip";
// a plug-in's verdict is "works", "works with warnings" or "fails" (reason: the first
// failing check's figure).
ov::Json run_check(const CheckOptions& options);

// The readable form: one row per check, a mark and the figure.
std::string check_table(const ov::Json& report);

// True when every plug-in the report names works (warnings allowed).
bool check_passed(const ov::Json& report);

}  // namespace ovstandin
