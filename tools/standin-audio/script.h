#pragma once
// Scripted sessions with a rack-mode host: a JSON document of options and steps in, a JSON
// report of everything seen out. Used by the end-to-end tests (also under Wine) and by hand.
//
// Script members: "host" (program, required), "hostArgs" (instead of rack <mapping> <channels>),
// "mapping" (name; default a fresh one), "channels" (the command-line word, default "1"),
// "mappingChannels" (the mapping's field, default 1), "magic", "version", "createMapping",
// "createEvent" (default true), "mappingSize" (bytes of the created mapping), "env" (object of
// variables to set), "unsetEnv" (names), "steps".
//
// Steps, each an object with "do" and an optional "timeoutMs" (default 15000):
//   send         {"line": "OVP ..."} | {"request": {...}} | {"hex": "4f56..."} (raw bytes)
//   request      {"request": {...}}: send (an "id" is added when missing) and wait for the reply
//   reply        wait for the next reply
//   expectEvent  {"event": "ready"}: the first queued or arriving event of that name
//   blocks       {"count", "paceUs" (0 = flat out), "blockTimeoutMs", "waitActiveMs" (first wait
//                for the host to hold its chain, default 5000), "signal", "expect"}
//                signal: {"kind": noise|sine|impulse|dc|silence, "amplitude", "frequency", "at", "seed"}
//                expect: {"mix": [[...]], "delay": frames, "tolerance"}: out = mix x in, delayed
//   publish      {"signal"}: one block, without waiting for its output
//   waitMapping  {"field": "audioSlotKey", "equals": 7}
//   mapping      a snapshot of the mapping's fields
//   collect      {"ms"}: the lines written meanwhile
//   sleep        {"ms"}
//   closeStdin, waitExit, kill
// Each step's result carries "ok" and "ms"; the report adds "lines", "events", "exitCode",
// "stderr", the "final" mapping and "ok" (every step succeeded).
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
