// The bytes a server sends back to ovctl, read as ovctl reads them: the status line and
// headers, a plain or chunked body, the ping and command outcomes, and every way an accepted
// answer is printed.
#include "api.h"
#include "fuzz_check.h"
#include "http_client.h"
#include "ov/text.h"
#include "render.h"
#include "status_report.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

using namespace ovctl;

// One of each render kind, with payloads that reach the members an answer may hold.
const RenderKind kKinds[] = {
    render::Status{},          render::Mute{},
    render::Confirm{"Done"},   render::List{},
    render::Sounds{},          render::Level{},
    render::ParamValue{"a.b.0.c"}, render::ParamValue{""},
    render::Meters{},          render::Meters{"micRaw"},
    render::AbState{},         render::SetupReport{},
    render::Json{},
};

void print_every_way(const Json& answer) {
    for (const auto& kind : kKinds) {
        const std::string text = render_answer(kind, answer);
        OV_FUZZ_CHECK(ov::text::is_valid_utf8(text));
    }
    OV_FUZZ_CHECK(ov::text::is_valid_utf8(status_report(answer)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // A chunked body never grows when decoded.
    OV_FUZZ_CHECK(decode_chunked(bytes).size() <= bytes.size());

    const auto answer = parse_answer(bytes);
    if (answer) OV_FUZZ_CHECK(ov::text::is_valid_utf8(answer->body));

    Settings settings;
    settings.token = "t";
    settings.api_enabled = ApiEnabled::On;
    const auto ping = ping_outcome(settings, answer);
    if (!ping) OV_FUZZ_CHECK(ping.error().code == 3 || ping.error().code == 5);
    const auto call = call_outcome(settings, answer);
    if (call) {
        print_every_way(*call);
    } else {
        OV_FUZZ_CHECK(call.error().code == 1 || call.error().code == 3 || call.error().code == 4);
        OV_FUZZ_CHECK(ov::text::is_valid_utf8(call.error().message));
    }
    return 0;
}
