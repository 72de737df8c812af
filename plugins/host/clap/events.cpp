#include "clap/events.h"

#include <cstring>

namespace ovhost {

ClapInputEvents::ClapInputEvents() {
    list_.ctx = this;
    list_.size = &ClapInputEvents::list_size;
    list_.get = &ClapInputEvents::list_get;
    for (auto& event : events_) {
        std::memset(&event, 0, sizeof event);
        event.header.size = sizeof(clapabi::clap_event_param_value);
        event.header.time = 0;
        event.header.space_id = clapabi::kCoreEventSpaceId;
        event.header.type = clapabi::kEventParamValue;
        event.header.flags = 0;
        event.cookie = nullptr;
        event.note_id = -1;
        event.port_index = -1;
        event.channel = -1;
        event.key = -1;
    }
}

bool ClapInputEvents::add(std::uint32_t param_id, double value) {
    if (fill_ >= kClapEventsPerBlock) return false;
    auto& event = events_[fill_++];
    event.param_id = param_id;
    event.value = value;
    return true;
}

std::uint32_t ClapInputEvents::list_size(const clapabi::clap_input_events* list) {
    return static_cast<const ClapInputEvents*>(list->ctx)->fill_;
}

const clapabi::clap_event_header* ClapInputEvents::list_get(const clapabi::clap_input_events* list,
                                                            std::uint32_t index) {
    const auto* self = static_cast<const ClapInputEvents*>(list->ctx);
    if (index >= self->fill_) return nullptr;
    return &self->events_[index].header;
}

ClapOutputCollector::ClapOutputCollector() {
    list_.ctx = this;
    list_.try_push = &ClapOutputCollector::try_push;
}

bool ClapOutputCollector::try_push(const clapabi::clap_output_events* list, const clapabi::clap_event_header* event) {
    auto* self = static_cast<ClapOutputCollector*>(list->ctx);
    // Other events, and values past the block's 128, are accepted and dropped.
    if (event == nullptr || event->space_id != clapabi::kCoreEventSpaceId || event->type != clapabi::kEventParamValue)
        return true;
    if (self->count_ >= kClapEventsPerBlock) return true;
    const auto* value = reinterpret_cast<const clapabi::clap_event_param_value*>(event);
    self->pairs_[self->count_++] = Pair{value->param_id, value->value};
    return true;
}

}  // namespace ovhost
