#pragma once
// The event lists a CLAP processor hands to the plug-in each block: parameter values going
// in (pre-built, at most 128 per block) and the parameter values the plug-in reports going
// out (at most 128 per block). Neither allocates after construction; both must stay at
// their address while the plug-in may hold the list pointers.
#include <array>
#include <cstdint>

#include "clap/abi.h"

namespace ovhost {

inline constexpr std::uint32_t kClapEventsPerBlock = 128;

class ClapInputEvents {
public:
    ClapInputEvents();
    ClapInputEvents(const ClapInputEvents&) = delete;
    ClapInputEvents& operator=(const ClapInputEvents&) = delete;

    void clear() { fill_ = 0; }
    // False when the block already holds 128 events.
    bool add(std::uint32_t param_id, double value);
    std::uint32_t size() const { return fill_; }
    const clapabi::clap_input_events* list() const { return &list_; }

private:
    static std::uint32_t list_size(const clapabi::clap_input_events* list);
    static const clapabi::clap_event_header* list_get(const clapabi::clap_input_events* list, std::uint32_t index);

    clapabi::clap_input_events list_;
    std::array<clapabi::clap_event_param_value, kClapEventsPerBlock> events_;
    std::uint32_t fill_ = 0;
};

class ClapOutputCollector {
public:
    struct Pair {
        std::uint32_t param_id;
        double value;
    };

    ClapOutputCollector();
    ClapOutputCollector(const ClapOutputCollector&) = delete;
    ClapOutputCollector& operator=(const ClapOutputCollector&) = delete;

    void clear() { count_ = 0; }
    std::uint32_t size() const { return count_; }
    const Pair& at(std::uint32_t index) const { return pairs_[index]; }
    const clapabi::clap_output_events* list() const { return &list_; }

private:
    static bool try_push(const clapabi::clap_output_events* list, const clapabi::clap_event_header* event);

    clapabi::clap_output_events list_;
    std::array<Pair, kClapEventsPerBlock> pairs_{};
    std::uint32_t count_ = 0;
};

}  // namespace ovhost
