#pragma once
// Scripted sessions with a rack-mode host: a JSON document of options and steps in, a JSON
// report of everything seen out. Used by the end-to-end tests (also under Wine) and by hand.
#include <string>

#include "ov/json.h"
#include "rig.h"

namespace ovstandin {

// Runs the script and returns the report. A script that cannot run at all gives a report
// with "error" and "ok" false.
ov::Json run_script(const ov::Json& script);

// Pieces of the report, shared with the demo.
ov::Json mapping_snapshot(const MappingView& view);
ov::Json block_run_report(const BlockRun& run);
// Fills `signal` from its JSON form ({"kind": "noise", "amplitude": 0.5, ...}); false and
// `error` on an unknown kind.
bool read_signal(const ov::Json& value, Signal& signal, std::string& error);

}  // namespace ovstandin
