#pragma once
// The rack commands that arrive on standard input, their replies and their errors.
#include "ov/json.h"
#include "rack.h"

#include <cstdint>
#include <string_view>

namespace ovhost {

// A parameter record as the protocol shows it; non-finite values become null.
ov::Json param_info_json(const ParamInfo& info);

class RackProtocol {
public:
    RackProtocol(Rack& rack, LineWriter writer, std::uint32_t process_id);

    enum class LineResult { ignored, replied, quit };
    // Handles one input line: nothing for a line that is not a protocol line, "quit"
    // without a reply, else exactly one reply line.
    LineResult handle_line(std::string_view line);

    // The reply to one request; `request_text` is the request's own JSON text (the slot
    // list is read from it so that a repeated member is noticed).
    ov::Json reply_to(const ov::Json& request, std::string_view request_text);

private:
    using Result = Outcome<ov::Json>;
    Result run_command(std::string_view name, const ov::Json& request, std::string_view request_text);
    Result ping(const ov::Json& request, std::string_view text);
    Result hello(const ov::Json& request, std::string_view text);
    Result set_rack(const ov::Json& request, std::string_view text);
    Result params(const ov::Json& request, std::string_view text);
    Result set_param(const ov::Json& request, std::string_view text);
    Result get_state(const ov::Json& request, std::string_view text);
    Result get_states(const ov::Json& request, std::string_view text);
    Result editor(const ov::Json& request, std::string_view text);
    // The slot named by the request's "key"; a command checks all its other fields first.
    Outcome<RackSlot*> slot_for(const ov::Json& request);
    Outcome<RackSlot*> slot_with_key(std::uint32_t key);

    Rack& rack_;
    LineWriter writer_;
    std::uint32_t process_id_;
};

}  // namespace ovhost
