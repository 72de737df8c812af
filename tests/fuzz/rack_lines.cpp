// Rack mode's standard input end to end on a rack of built-in plug-ins: the bytes are split
// into lines as the reader thread splits them, and every line goes through the protocol and
// the command table to the rack, with the periodic work and one audio block after each. Every
// line gets exactly one reply, or none when it is no request or "quit"; the rack is emptied
// after each input.
#include "formats.h"
#include "fuzz_check.h"
#include "internal/internal.h"
#include "main_loop.h"
#include "protocol_lines.h"
#include "rack_rig.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace ovhost;

// Built-in plug-ins only: no plug-in file is loaded, and the test plug-ins that hang or end
// the process on purpose are left out.
Outcome<LoadedPlugin> load_for_fuzzing(const SlotSpec& wanted, std::uint32_t rack_channels) {
    if (wanted.kind != "internal") return Outcome<LoadedPlugin>::failure("only built-in plugins while fuzzing");
    const std::string_view kind = std::string_view(wanted.uid).substr(0, wanted.uid.find(':'));
    if (kind == "hang" || kind == "abort" || kind == "hangload" || kind == "abortload") {
        return Outcome<LoadedPlugin>::failure("left out while fuzzing");
    }
    return load_slot_plugin(wanted.kind, wanted.path, wanted.uid, rack_channels);
}

struct FuzzRack {
    explicit FuzzRack(std::uint32_t channels)
        : rig(channels, kTakeBackTimeoutMs, load_for_fuzzing),
          session(*rig.rack, *rig.protocol, [this](const ov::Json& line) { rig.lines.push_back(line); }) {}
    rig::RackRig rig;
    RackSession session;
    std::uint64_t block = 0;

    // Audio through the rack as it stands: blocks are published every few milliseconds, as
    // Orvia does, until the audio thread answers one (a block published while a new chain is
    // being installed counts as already seen, so it may go unanswered).
    void run_block() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        do {
            rig.view.set_input_seq(++block);
            rig.event.set();
            if (rig::eventually([this] { return rig.view.output_seq() >= block; }, 20)) return;
        } while (std::chrono::steady_clock::now() < deadline);
        OV_FUZZ_CHECK(!"the audio thread answered no block for 5 s");
    }
};

FuzzRack& rack_with(std::uint32_t channels) {
    // Kept for the whole run: a rack and its audio thread per input would cost more than the input.
    static FuzzRack* const mono = new FuzzRack(1);
    static FuzzRack* const stereo = new FuzzRack(2);
    return channels == 1 ? *mono : *stereo;
}

// The lines the reader thread would queue for these bytes, up to its end marker.
std::vector<std::string> input_lines(std::string_view bytes) {
    LineSplitter splitter([&bytes](char* buffer, std::size_t size) {
        const std::size_t n = std::min(size, bytes.size());
        std::copy_n(bytes.data(), n, buffer);
        bytes.remove_prefix(n);
        return n;
    });
    InputQueue queue;
    read_input_lines(splitter, queue, [] { return true; });
    std::vector<std::string> lines;
    while (auto item = queue.try_pop()) {
        if (item->end) break;
        lines.push_back(std::move(item->line));
    }
    return lines;
}

bool is_reply(const ov::Json& line) {
    if (!line.is_object() || !line.contains("id") || !line.contains("ok") || !line["ok"].is_boolean()) return false;
    if (line["ok"]) return line.contains("result") && !line.contains("error");
    return line.contains("error") && line["error"].is_string() && !line.contains("result");
}

bool is_event(const ov::Json& line) {
    return line.is_object() && line.contains("event") && line["event"].is_string() && !line.contains("ok");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv(kInternalSwitchVariable, "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    FuzzRack& fuzz = rack_with(data[0] % 2 == 0 ? 1 : 2);
    auto& written = fuzz.rig.lines;
    written.clear();

    for (const auto& line : input_lines(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1))) {
        const auto request = read_line(line);
        const std::size_t before = written.size();
        const auto result = fuzz.rig.protocol->handle_line(line);
        if (!request) {
            OV_FUZZ_CHECK(result == RackProtocol::LineResult::ignored && written.size() == before);
        } else if (request->is_object() && request->value("cmd", ov::Json()) == "quit") {
            OV_FUZZ_CHECK(result == RackProtocol::LineResult::quit && written.size() == before);
            break;  // the host shuts down: nothing after "quit" is read
        } else {
            OV_FUZZ_CHECK(result == RackProtocol::LineResult::replied && written.size() > before);
            OV_FUZZ_CHECK(is_reply(written.back()));
            const ov::Json id = request->is_object() ? request->value("id", ov::Json()) : ov::Json();
            OV_FUZZ_CHECK(written.back()["id"] == id);
            for (std::size_t i = before; i + 1 < written.size(); ++i) OV_FUZZ_CHECK(is_event(written[i]));
        }
        // Whatever was written prints as one protocol line.
        for (std::size_t i = before; i < written.size(); ++i) {
            OV_FUZZ_CHECK(format_line(written[i]).find('\n') == std::string::npos);
        }
        const std::size_t before_poll = written.size();
        fuzz.session.periodic_work();
        for (std::size_t i = before_poll; i < written.size(); ++i) OV_FUZZ_CHECK(is_event(written[i]));
        fuzz.run_block();
    }

    // The next input starts from an empty rack.
    const auto emptied = fuzz.rig.protocol->handle_line(R"(OVP {"cmd":"setRack"})");
    OV_FUZZ_CHECK(emptied == RackProtocol::LineResult::replied && written.back()["ok"] == true);
    OV_FUZZ_CHECK(fuzz.rig.rack->slots().empty());
    written.clear();
    fuzz.rig.windows.titles.clear();
    fuzz.rig.windows.placements.clear();
    fuzz.rig.windows.destroyed.clear();
    fuzz.rig.windows.fronted.clear();
    fuzz.rig.windows.sizes.clear();
    return 0;
}
