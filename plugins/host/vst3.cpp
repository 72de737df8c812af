#include "vst3.h"

namespace ovhost {

namespace {
// Until the VST3 loader exists, the format answers with a clear refusal.
constexpr const char* kVst3Unsupported = "this host cannot load VST3 plugins yet";
}  // namespace

Outcome<std::vector<ScanCandidate>> vst3_scan_candidates(const std::string&) {
    return Outcome<std::vector<ScanCandidate>>::failure(kVst3Unsupported);
}

Outcome<LoadedPlugin> load_vst3_slot_plugin(const std::string&, const std::string&, std::uint32_t) {
    return Outcome<LoadedPlugin>::failure(kVst3Unsupported);
}

}  // namespace ovhost
