// The parts of the CLAP format that need no plug-in: value conversions, the event lists of
// one block, and the host record's callbacks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "clap/events.h"
#include "clap/host.h"
#include "clap/values.h"
#include "platform/main_loop.h"

namespace ovhost {
namespace {

using namespace clapabi;

TEST(ClapValues, NormalizedFromPlain) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double plain, min, max, want;
    };
    const Case cases[] = {
        {0.0, -24.0, 24.0, 0.5},   {12.0, -24.0, 24.0, 0.75}, {-30.0, -24.0, 24.0, 0.0}, {30.0, -24.0, 24.0, 1.0},
        {6.0, 0.0, 12.0, 0.5},     {2.0, 0.0, 3.0, 2.0 / 3.0},
        // min = max: the range counts as 1e-12, so anything above min is the top.
        {0.0, 0.0, 0.0, 0.0},      {1e-9, 0.0, 0.0, 1.0},     {-1.0, 0.0, 0.0, 0.0},
        // A reversed range clamps through the tiny divisor as well.
        {5.0, 10.0, 0.0, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(clap_values::normalized_from_plain(c.plain, c.min, c.max), c.want)
            << c.plain << " in " << c.min << ".." << c.max;
    EXPECT_TRUE(std::isnan(clap_values::normalized_from_plain(nan, 0.0, 1.0)));
}

TEST(ClapValues, PlainFromNormalized) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double normalized, min, max;
        bool stepped;
        double want;
    };
    const Case cases[] = {
        {0.75, -24.0, 24.0, false, 12.0}, {0.5, -24.0, 24.0, false, 0.0}, {-1.0, -24.0, 24.0, false, -24.0},
        {2.0, -24.0, 24.0, false, 24.0},  {nan, -24.0, 24.0, false, -24.0},
        // Stepped: nearest integer, halves away from zero.
        {0.5, 0.0, 3.0, true, 2.0},       {0.49, 0.0, 3.0, true, 1.0},    {0.25, -1.0, 1.0, true, -1.0},
        {0.75, -2.0, 1.0, true, 0.0},     {0.5, -4.0, 1.0, true, -2.0},
        {0.3, 5.0, 5.0, false, 5.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(clap_values::plain_from_normalized(c.normalized, c.min, c.max, c.stepped), c.want)
            << c.normalized << " in " << c.min << ".." << c.max << (c.stepped ? " stepped" : "");
}

TEST(ClapValues, StepCounts) {
    struct Case {
        double min, max;
        std::int32_t want;
    };
    const Case cases[] = {
        {0.0, 3.0, 3},   {-1.0, 1.0, 2},           {0.0, 2.5, 3},          {0.0, 2.4, 2},
        {0.0, 0.0, 0},   {0.0, -2.5, -3},          {0.0, 1e12, INT32_MAX}, {0.0, -1e12, INT32_MIN},
        {0.0, std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(clap_values::step_count(c.min, c.max), c.want) << c.min << ".." << c.max;
}

TEST(ClapEvents, InputListHoldsPrebuiltParameterValuesUpTo128) {
    ClapInputEvents events;
    const clap_input_events* list = events.list();
    EXPECT_EQ(list->size(list), 0u);
    EXPECT_EQ(list->get(list, 0), nullptr);

    for (std::uint32_t i = 0; i < kClapEventsPerBlock; ++i) EXPECT_TRUE(events.add(1000 + i, i * 0.5));
    EXPECT_FALSE(events.add(7, 1.0)) << "the 129th value waits for the next block";
    EXPECT_EQ(list->size(list), 128u);
    EXPECT_EQ(list->get(list, 128), nullptr);

    const auto* header = list->get(list, 127);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->size, 56u);
    EXPECT_EQ(header->time, 0u);
    EXPECT_EQ(header->space_id, 0);
    EXPECT_EQ(header->type, kEventParamValue);
    EXPECT_EQ(header->flags, 0u);
    const auto* value = reinterpret_cast<const clap_event_param_value*>(header);
    EXPECT_EQ(value->param_id, 1127u);
    EXPECT_EQ(value->cookie, nullptr);
    EXPECT_EQ(value->note_id, -1);
    EXPECT_EQ(value->port_index, -1);
    EXPECT_EQ(value->channel, -1);
    EXPECT_EQ(value->key, -1);
    EXPECT_EQ(value->value, 63.5);

    events.clear();
    EXPECT_EQ(list->size(list), 0u);
    EXPECT_EQ(list->get(list, 0), nullptr) << "cleared events are not offered again";
    EXPECT_TRUE(events.add(3, 0.25));
    EXPECT_EQ(reinterpret_cast<const clap_event_param_value*>(list->get(list, 0))->param_id, 3u);
}

clap_event_param_value param_event(clap_id id, double value, std::uint16_t space = kCoreEventSpaceId,
                                   std::uint16_t type = kEventParamValue) {
    clap_event_param_value event{};
    event.header = {sizeof event, 0, space, type, 0};
    event.param_id = id;
    event.value = value;
    return event;
}

TEST(ClapEvents, OutputCollectorKeepsCoreParameterValuesAndAlwaysAccepts) {
    ClapOutputCollector collector;
    const clap_output_events* list = collector.list();
    struct Case {
        const char* what;
        clap_event_param_value event;
        bool kept;
    };
    const Case cases[] = {
        {"a parameter value", param_event(4, 6.0), true},
        {"another event space", param_event(5, 1.0, 1), false},
        {"a note", param_event(6, 1.0, kCoreEventSpaceId, kEventNoteOn), false},
        {"a modulation", param_event(7, 1.0, kCoreEventSpaceId, kEventParamMod), false},
        {"a gesture", param_event(8, 1.0, kCoreEventSpaceId, kEventParamGestureBegin), false},
    };
    for (const auto& c : cases) {
        const std::uint32_t before = collector.size();
        EXPECT_TRUE(list->try_push(list, &c.event.header)) << c.what;
        EXPECT_EQ(collector.size(), before + (c.kept ? 1 : 0)) << c.what;
    }
    ASSERT_EQ(collector.size(), 1u);
    EXPECT_EQ(collector.at(0).param_id, 4u);
    EXPECT_EQ(collector.at(0).value, 6.0);

    collector.clear();
    for (std::uint32_t i = 0; i < 130; ++i) {
        const auto event = param_event(i, i);
        EXPECT_TRUE(list->try_push(list, &event.header));
    }
    EXPECT_EQ(collector.size(), 128u) << "pairs past 128 in one block are dropped";
    EXPECT_EQ(collector.at(127).param_id, 127u);
}

TEST(ClapHostRecord, IdentifiesTheHost) {
    ClapHost record;
    const clap_host* host = record.host();
    EXPECT_EQ(host->clap_version.major, 1u);
    EXPECT_EQ(host->clap_version.minor, 2u);
    EXPECT_EQ(host->clap_version.revision, 2u);
    EXPECT_EQ(host->host_data, &record);
    EXPECT_STREQ(host->name, "Orvia");
    EXPECT_STREQ(host->vendor, "Keswen");
    EXPECT_STREQ(host->url, "https://orvia.app");
    EXPECT_STREQ(host->version, "0.6");
}

TEST(ClapHostRecord, OffersExactlyItsExtensions) {
    ClapHost record;
    const clap_host* host = record.host();
    for (const char* id : {"clap.gui", "clap.log", "clap.params", "clap.state", "clap.latency", "clap.thread-check"})
        EXPECT_NE(host->get_extension(host, id), nullptr) << id;
    for (const char* id : {"clap.gui ", "CLAP.GUI", "clap.audio-ports", "clap.note-ports", "", "clap"})
        EXPECT_EQ(host->get_extension(host, id), nullptr) << '"' << id << '"';
    // Timers and descriptor watches only where plug-in guis run on the host's loop.
    for (const char* id : {"clap.timer-support", "clap.posix-fd-support"})
        EXPECT_EQ(host->get_extension(host, id) != nullptr, ovplat::kLoopServesPluginViews) << id;
    EXPECT_EQ(host->get_extension(host, nullptr), nullptr);
    EXPECT_NE(host->get_extension(host, "clap.gui"), host->get_extension(host, "clap.log"));
}

TEST(ClapHostRecord, RequestsOnlyRecordFlagsUntilTaken) {
    ClapHost record;
    const clap_host* host = record.host();
    const auto* gui = static_cast<const clap_host_gui*>(host->get_extension(host, "clap.gui"));
    const auto* params = static_cast<const clap_host_params*>(host->get_extension(host, "clap.params"));
    const auto* state = static_cast<const clap_host_state*>(host->get_extension(host, "clap.state"));
    const auto* latency = static_cast<const clap_host_latency*>(host->get_extension(host, "clap.latency"));
    const auto* log = static_cast<const clap_host_log*>(host->get_extension(host, "clap.log"));

    host->request_process(host);
    gui->resize_hints_changed(host);
    log->log(host, 2, "ignored");
    params->clear(host, 1, 0);
    params->request_flush(host);
    EXPECT_FALSE(record.take_restart_requested());
    EXPECT_FALSE(record.take_callback_requested());
    EXPECT_FALSE(record.take_latency_changed());
    EXPECT_FALSE(record.take_state_dirty());
    EXPECT_FALSE(record.take_window_closed());
    EXPECT_FALSE(record.params_rescan_requested());

    host->request_restart(host);
    host->request_callback(host);
    latency->changed(host);
    state->mark_dirty(host);
    gui->closed(host, false);
    params->rescan(host, 1);
    EXPECT_TRUE(gui->request_show(host));
    EXPECT_TRUE(gui->request_hide(host));
    EXPECT_TRUE(record.take_restart_requested());
    EXPECT_TRUE(record.take_callback_requested());
    EXPECT_TRUE(record.take_latency_changed());
    EXPECT_TRUE(record.take_state_dirty());
    EXPECT_TRUE(record.take_window_closed());
    EXPECT_TRUE(record.params_rescan_requested());
    EXPECT_FALSE(record.take_restart_requested()) << "taking a request clears it";
    EXPECT_FALSE(record.take_window_closed());
    gui->closed(host, true);
    EXPECT_TRUE(record.take_window_closed()) << "closed counts whatever was_destroyed says";

    EXPECT_TRUE(gui->request_resize(host, 500, 300));
    EXPECT_TRUE(gui->request_resize(host, 420, 260));
    const auto size = record.take_requested_size();
    EXPECT_EQ(size.width, 420u) << "the later request wins";
    EXPECT_EQ(size.height, 260u);
    const auto none = record.take_requested_size();
    EXPECT_EQ(none.width, 0u);
    EXPECT_EQ(none.height, 0u);
}

TEST(ClapHostRecord, MainThreadIsTheCreatingThread) {
    ClapHost record;
    const clap_host* host = record.host();
    const auto* check = static_cast<const clap_host_thread_check*>(host->get_extension(host, "clap.thread-check"));
    EXPECT_TRUE(check->is_main_thread(host));
    EXPECT_FALSE(check->is_audio_thread(host));
    bool other_main = true;
    bool other_audio = false;
    std::thread other([&] {
        other_main = check->is_main_thread(host);
        other_audio = check->is_audio_thread(host);
    });
    other.join();
    EXPECT_FALSE(other_main);
    EXPECT_TRUE(other_audio);
}

}  // namespace
}  // namespace ovhost
