#include "clap.h"

namespace ovhost {

namespace {
// Until the CLAP loader exists, the format answers with a clear refusal.
constexpr const char* kClapUnsupported = "this host cannot load CLAP plugins yet";
}  // namespace

Outcome<std::vector<ScanCandidate>> clap_scan_candidates(const std::string&) {
    return Outcome<std::vector<ScanCandidate>>::failure(kClapUnsupported);
}

Outcome<LoadedPlugin> load_clap_slot_plugin(const std::string&, const std::string&) {
    return Outcome<LoadedPlugin>::failure(kClapUnsupported);
}

}  // namespace ovhost
