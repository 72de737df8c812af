#include "rig.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

namespace ovstandin {
namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t steady_ns() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

std::string unique_mapping_name() {
    std::random_device entropy;
    std::uint64_t bits = (static_cast<std::uint64_t>(entropy()) << 32) ^ entropy() ^ steady_ns();
    static const char digits[] = "0123456789abcdef";
    std::string name = "ov-standin-";
    for (int i = 0; i < 16; ++i) name += digits[(bits >> (4 * i)) & 0xF];
    return name;
}

// A well-mixed 64-bit hash, so that noise samples are reproducible from their coordinates.
std::uint64_t mix_bits(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace

float Signal::sample(unsigned channel, std::uint64_t frame, std::uint64_t run_frame) const {
    switch (kind) {
        case Kind::silence:
            return 0.0f;
        case Kind::dc:
            return static_cast<float>(amplitude);
        case Kind::impulse:
            return run_frame == at ? static_cast<float>(amplitude) : 0.0f;
        case Kind::sine:
            return static_cast<float>(amplitude *
                                      std::sin(2.0 * 3.14159265358979323846 * frequency * static_cast<double>(frame) /
                                               48000.0));
        case Kind::noise: {
            std::uint64_t bits = mix_bits(mix_bits(seed) ^ mix_bits(frame * 2 + channel));
            double unit = static_cast<double>(bits >> 11) / 9007199254740992.0;  // [0, 1)
            return static_cast<float>(amplitude * (2.0 * unit - 1.0));
        }
    }
    return 0.0f;
}

Percentiles percentiles(std::vector<double> values) {
    Percentiles result;
    if (values.empty()) return result;
    std::sort(values.begin(), values.end());
    result.median = values[values.size() / 2];
    std::size_t p99_index = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(values.size())));
    result.p99 = values[std::min(values.size() - 1, p99_index == 0 ? 0 : p99_index - 1)];
    result.max = values.back();
    return result;
}

std::unique_ptr<Rig> Rig::start(const RigOptions& options, std::string& error) {
    std::unique_ptr<Rig> rig(new Rig());
    rig->started_ns_ = steady_ns();
    rig->mapping_name_ = options.mapping_name.empty() ? unique_mapping_name() : options.mapping_name;
    rig->channels_ = options.mapping_channels >= 2 ? 2 : 1;

    if (options.create_mapping) {
        rig->memory_ = ovplat::SharedMemory::create(rig->mapping_name_, options.mapping_size, error);
        if (!rig->memory_) {
            error = "could not create the mapping: " + error;
            return nullptr;
        }
        MappingView header(rig->memory_->data());
        if (options.mapping_size >= 12) {
            header.store<std::uint32_t>(field::magic, options.magic);
            header.store<std::uint32_t>(field::version, options.version);
            header.store<std::uint32_t>(field::channels, options.mapping_channels);
        }
        if (options.mapping_size >= field::kMappingSize) {
            rig->view_ = header;
        } else {
            // Blocks and snapshots then go to private memory, never past the mapping's end.
            rig->detached_view_ = std::make_unique<std::uint8_t[]>(field::kMappingSize + 8);
            rig->view_ = MappingView(rig->detached_view_.get());
        }
    }
    if (options.create_event) {
        rig->event_ = ovplat::NamedEvent::create(rig->mapping_name_ + "-req", error);
        if (!rig->event_) {
            error = "could not create the event: " + error;
            return nullptr;
        }
    }

    std::vector<std::string> args = options.host_args;
    if (args.empty()) args = {"rack", rig->mapping_name_, options.channels_arg};
    rig->host_ = ovplat::ChildProcess::start(options.host_program, args, options.environment, error);
    if (!rig->host_) {
        error = "could not start " + options.host_program + ": " + error;
        return nullptr;
    }
    return rig;
}

Rig::~Rig() {
    // The host goes first: it must not outlive the mapping it works in.
    host_.reset();
}

double Rig::now_ms() const { return static_cast<double>(steady_ns() - started_ns_) / 1e6; }

bool Rig::send_line(const std::string& raw_line) { return host_->write_line(raw_line); }

bool Rig::send_bytes(const std::string& bytes) { return host_->write(bytes); }

bool Rig::send(const ov::Json& request) { return send_line("OVP " + ov::to_compact_json(request)); }

std::optional<ov::Json> Rig::request(ov::Json request, std::uint32_t timeout_ms) {
    if (request.is_object() && !request.contains("id")) request["id"] = next_id_++;
    if (!send(request)) return std::nullopt;
    return next_reply(timeout_ms);
}

bool Rig::read_one(std::uint32_t timeout_ms) {
    if (output_closed_) return false;
    std::string text;
    auto got = host_->read_line(text, timeout_ms);
    if (got == ovplat::ChildProcess::ReadResult::closed) {
        output_closed_ = true;
        return false;
    }
    if (got == ovplat::ChildProcess::ReadResult::timeout) return false;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    HostLine line{text, std::nullopt, now_ms()};
    if (text.rfind("OVP ", 0) == 0) {
        auto parsed = ov::parse_json(std::string_view(text).substr(4));
        line.value = std::move(parsed.value);
    }
    if (line.value && line.value->is_object()) {
        if (line.value->contains("event")) {
            events_.push_back(*line.value);
            pending_events_.push_back(*line.value);
        } else if (line.value->contains("ok")) {
            pending_replies_.push_back(*line.value);
        }
    }
    lines_.push_back(std::move(line));
    return true;
}

std::optional<ov::Json> Rig::next_reply(std::uint32_t timeout_ms) {
    const double deadline = now_ms() + timeout_ms;
    while (pending_replies_.empty()) {
        double left = deadline - now_ms();
        if (left <= 0 || (!read_one(static_cast<std::uint32_t>(left) + 1) && output_closed_)) break;
    }
    if (pending_replies_.empty()) return std::nullopt;
    ov::Json reply = std::move(pending_replies_.front());
    pending_replies_.pop_front();
    return reply;
}

std::optional<ov::Json> Rig::wait_event(const std::string& name, std::uint32_t timeout_ms) {
    const double deadline = now_ms() + timeout_ms;
    for (;;) {
        for (auto it = pending_events_.begin(); it != pending_events_.end(); ++it) {
            const auto* event = it->find("event") != it->end() ? &(*it)["event"] : nullptr;
            if (event && event->is_string() && event->get_ref<const std::string&>() == name) {
                ov::Json found = std::move(*it);
                pending_events_.erase(it);
                return found;
            }
        }
        double left = deadline - now_ms();
        if (left <= 0) return std::nullopt;
        if (!read_one(static_cast<std::uint32_t>(left) + 1) && output_closed_) return std::nullopt;
    }
}

std::vector<HostLine> Rig::collect(std::uint32_t ms) {
    const std::size_t first = lines_.size();
    const double deadline = now_ms() + ms;
    for (double left; (left = deadline - now_ms()) > 0;)
        if (!read_one(static_cast<std::uint32_t>(left) + 1) && output_closed_) break;
    return std::vector<HostLine>(lines_.begin() + static_cast<std::ptrdiff_t>(first), lines_.end());
}

bool Rig::wait_mapping(const std::function<bool(const MappingView&)>& condition, std::uint32_t timeout_ms) {
    const double deadline = now_ms() + timeout_ms;
    while (!condition(view_)) {
        if (now_ms() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

void Rig::write_input(std::uint64_t block, const std::function<float(unsigned, std::uint64_t)>& sample) {
    for (unsigned channel = 0; channel < channels_; ++channel) {
        float* samples = view_.input_channel(block, channel);
        for (std::size_t i = 0; i < field::kBlockFrames; ++i) samples[i] = sample(channel, i);
    }
    // The samples must be in place before the sequence number tells the host about them.
    view_.store<std::uint64_t>(field::inputSeq, block);
    if (event_) event_->set();
}

std::uint64_t Rig::publish_block(const Signal& signal) {
    const std::uint64_t block = next_block_++;
    const std::uint64_t first = frames_sent_;
    write_input(block, [&](unsigned channel, std::uint64_t i) { return signal.sample(channel, first + i, i); });
    frames_sent_ += field::kBlockFrames;
    return block;
}

BlockRun Rig::run_blocks(const BlockPlan& plan) {
    BlockRun run;
    if (!view_.base()) return run;
    if (plan.wait_active_ms > 0)
        wait_mapping([](const MappingView& view) { return view.u32(field::active) == 1; }, plan.wait_active_ms);
    const std::uint64_t processed_before = view_.u64(field::blocksProcessed);
    const std::uint64_t skipped_before = view_.u64(field::blocksSkipped);
    const bool keep_inputs = plan.expect.has_value();
    const bool keep_outputs = plan.keep_output || plan.expect.has_value();
    const std::size_t frames = field::kBlockFrames;

    struct Published {
        std::uint64_t block;
        std::uint64_t at_ns;
        std::vector<float> input;   // channels_ x 480, when kept
        std::vector<float> output;  // channels_ x 480, once received
        bool done = false, received = false;
    };
    std::deque<Published> sent;  // in publish order
    std::size_t first_open = 0;  // sent[first_open..] are still waiting

    const std::uint64_t run_first_frame = frames_sent_;
    auto publish = [&](std::uint64_t index) {
        Published entry{next_block_++, 0, {}, {}};
        const std::uint64_t stream_first = frames_sent_;
        const std::uint64_t run_first = frames_sent_ - run_first_frame;
        if (keep_inputs) entry.input.resize(channels_ * frames);
        auto sample = [&](unsigned channel, std::uint64_t i) {
            float x = plan.source ? plan.source(channel, run_first + i)
                                  : plan.signal.sample(channel, stream_first + i, run_first + i);
            if (keep_inputs) entry.input[channel * frames + i] = x;
            return x;
        };
        (void)index;
        frames_sent_ += frames;
        entry.at_ns = steady_ns();
        write_input(entry.block, sample);
        ++run.published;
        sent.push_back(std::move(entry));
    };
    auto note_missed = [&](std::uint64_t published_ns) {
        ++run.missed;
        run.missed_at_ms.push_back(static_cast<double>(published_ns - started_ns_) / 1e6);
    };
    // Looks at every block still waiting; true when none is.
    std::uint64_t last_poll_ns = steady_ns();
    auto poll = [&] {
        // A feeder that was itself kept from running for more than three block periods may
        // find its ring blocks rewritten before it could read them: not the host's loss.
        const std::uint64_t poll_ns = steady_ns();
        const bool feeder_was_late =
            plan.pace_us > 0 && poll_ns - last_poll_ns > 3ull * std::uint64_t(plan.pace_us) * 1000ull;
        last_poll_ns = poll_ns;
        const std::uint64_t output_seq = view_.u64(field::outputSeq);
        for (std::size_t i = first_open; i < sent.size(); ++i) {
            Published& entry = sent[i];
            if (entry.done) continue;
            if (view_.ring_seq(entry.block) == entry.block) {
                const std::uint64_t now = steady_ns();
                if (keep_outputs) {
                    entry.output.resize(channels_ * frames);
                    for (unsigned channel = 0; channel < channels_; ++channel) {
                        const float* samples = view_.output_channel(entry.block, channel);
                        std::copy(samples, samples + frames, entry.output.begin() + channel * frames);
                    }
                }
                // A ring block rewritten while it was copied would show a newer number now.
                if (view_.ring_seq(entry.block) != entry.block) {
                    entry.done = true;
                    note_missed(entry.at_ns);
                    continue;
                }
                entry.done = entry.received = true;
                ++run.received;
                run.round_trip_us.push_back(static_cast<double>(now - entry.at_ns) / 1000.0);
                run.last_block_time_us = view_.u32(field::blockTimeUs);
                run.block_time_us.push_back(run.last_block_time_us);
            } else if (output_seq > entry.block) {
                entry.done = true;  // passed over by the host, or its ring block overwritten
                const bool burst = plan.pace_us > 0 && i + 1 < sent.size() &&
                                   sent[i + 1].at_ns - entry.at_ns < std::uint64_t(plan.pace_us) * 500ull;
                if (burst) {
                    ++run.missed;
                    ++run.superseded;
                } else if (feeder_was_late) {
                    ++run.missed;
                    ++run.unobserved;
                } else {
                    note_missed(entry.at_ns);
                }
            }
        }
        while (first_open < sent.size() && sent[first_open].done) ++first_open;
        return first_open == sent.size();
    };
    auto expire = [&] {
        for (std::size_t i = first_open; i < sent.size(); ++i)
            if (!sent[i].done) {
                sent[i].done = true;
                note_missed(sent[i].at_ns);
            }
        first_open = sent.size();
    };

    auto stopped = [&] { return plan.stop && plan.stop->load(std::memory_order_acquire); };
    if (plan.pace_us == 0) {
        for (std::uint64_t i = 0; i < plan.count && !stopped(); ++i) {
            publish(i);
            const std::uint64_t deadline = steady_ns() + std::uint64_t(plan.block_timeout_ms) * 1000000ull;
            while (!poll()) {
                if (steady_ns() > deadline) {
                    expire();
                    break;
                }
                std::this_thread::yield();
            }
        }
    } else {
        const std::uint64_t start = steady_ns();
        for (std::uint64_t i = 0; i < plan.count && !stopped(); ++i) {
            const std::uint64_t due = start + i * std::uint64_t(plan.pace_us) * 1000ull;
            // Watch the blocks in flight closely until the next one is due, then publish it.
            while (steady_ns() < due) {
                if (poll()) {
                    std::uint64_t now = steady_ns();
                    if (now < due) std::this_thread::sleep_for(std::chrono::nanoseconds(due - now));
                    break;
                }
                std::this_thread::yield();
            }
            publish(i);
        }
        const std::uint64_t deadline = steady_ns() + std::uint64_t(plan.block_timeout_ms) * 1000000ull;
        while (!poll()) {
            if (steady_ns() > deadline) {
                expire();
                break;
            }
            std::this_thread::yield();
        }
    }

    run.processed_by_host = view_.u64(field::blocksProcessed) - processed_before;
    run.skipped_by_host = view_.u64(field::blocksSkipped) - skipped_before;

    if (plan.keep_output) {
        run.output.assign(channels_, {});
        for (const auto& entry : sent)
            for (unsigned channel = 0; channel < channels_; ++channel) {
                if (entry.received)
                    run.output[channel].insert(run.output[channel].end(), entry.output.begin() + channel * frames,
                                               entry.output.begin() + (channel + 1) * frames);
                else
                    run.output[channel].insert(run.output[channel].end(), frames, 0.0f);
            }
    }

    if (plan.expect && run.processed_by_host == run.received) {
        // The host's plug-ins see only the blocks it processed, in order: check against those.
        const Expectation& expect = *plan.expect;
        std::vector<const Published*> processed;
        for (const auto& entry : sent)
            if (entry.received) processed.push_back(&entry);
        auto input_at = [&](unsigned channel, std::int64_t t) -> double {
            if (t < 0) return 0.0;
            const auto& entry = *processed[static_cast<std::size_t>(t) / frames];
            return entry.input[channel * frames + static_cast<std::size_t>(t) % frames];
        };
        run.checked = true;
        for (std::size_t b = 0; b < processed.size() && !run.mismatch; ++b)
            for (std::size_t i = 0; i < frames && !run.mismatch; ++i)
                for (unsigned c = 0; c < channels_; ++c) {
                    const std::int64_t t = static_cast<std::int64_t>(b * frames + i);
                    if (static_cast<std::uint64_t>(t) < expect.settle) continue;
                    double want = 0;
                    if (c < expect.mix.size())
                        for (unsigned k = 0; k < channels_ && k < expect.mix[c].size(); ++k)
                            want += expect.mix[c][k] * input_at(k, t - expect.delay);
                    const double got = processed[b]->output[c * frames + i];
                    const double error = std::fabs(got - want);
                    run.max_error = std::max(run.max_error, error);
                    if (!(error <= expect.tolerance)) {
                        run.mismatch = Mismatch{static_cast<std::uint64_t>(t), c, got, want};
                        break;
                    }
                }
    }
    return run;
}

void Rig::close_stdin() { host_->close_stdin(); }

std::optional<int> Rig::wait_exit(std::uint32_t timeout_ms) { return host_->wait(timeout_ms); }

std::string Rig::error_output(std::uint32_t timeout_ms) { return host_->error_output(timeout_ms); }

void Rig::kill_host() { host_->kill(); }

}  // namespace ovstandin
