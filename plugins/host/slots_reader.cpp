#include "slots_reader.h"

#include "ov/json.h"

#include <array>
#include <charconv>
#include <limits>

namespace ovhost {

namespace {

std::string integer_text(auto value) {
    std::array<char, 32> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
    return std::string(buffer.data(), end);
}

enum class Field { key, kind, path, uid, bypass, fold, state, count };

struct FieldName {
    Field field;
    std::string_view name;
};

// Declaration order: missing required fields are reported in this order.
constexpr std::array<FieldName, static_cast<std::size_t>(Field::count)> kFields{{
    {Field::key, "key"},
    {Field::kind, "kind"},
    {Field::path, "path"},
    {Field::uid, "uid"},
    {Field::bypass, "bypass"},
    {Field::fold, "fold"},
    {Field::state, "state"},
}};
constexpr std::array<Field, 4> kRequiredFields{Field::key, Field::kind, Field::path, Field::uid};

enum class Expected { u32, boolean, string, optional_string };

Expected expected_type(Field field) {
    switch (field) {
        case Field::key: return Expected::u32;
        case Field::bypass: return Expected::boolean;
        case Field::state: return Expected::optional_string;
        default: return Expected::string;
    }
}

std::string_view expected_words(Expected expected) {
    switch (expected) {
        case Expected::u32: return "u32";
        case Expected::boolean: return "a boolean";
        default: return "a string";
    }
}

// Walks the request's events: the top-level "slots" member's value is read into slot records
// until the first error, after which the rest of that value is skipped.
class SlotsReader {
public:
    using json = ov::Json;

    bool null() { return scalar("null", [&](Expected e) { return e == Expected::optional_string ? accept_null() : false; }); }
    bool boolean(bool value) {
        return scalar(value ? "boolean `true`" : "boolean `false`", [&](Expected e) {
            if (e != Expected::boolean) return false;
            current_.bypass = value;
            return true;
        });
    }
    bool number_integer(std::int64_t value) {
        return scalar_integer("integer `" + integer_text(value) + "`", value >= 0, static_cast<std::uint64_t>(value));
    }
    bool number_unsigned(std::uint64_t value) {
        return scalar_integer("integer `" + integer_text(value) + "`", true, value);
    }
    bool number_float(double value, const std::string&) {
        return scalar("floating point `" + describe_float_value(value) + "`", [](Expected) { return false; });
    }
    bool string(std::string& value) {
        return scalar(describe_string_value(value), [&](Expected e) {
            if (e != Expected::string && e != Expected::optional_string) return false;
            store_string(value);
            return true;
        });
    }
    bool binary(json::binary_t&) { return true; }

    bool start_object(std::size_t) { return open_container(true); }
    bool start_array(std::size_t) { return open_container(false); }
    bool end_object() { return close_container(true); }
    bool end_array() { return close_container(false); }

    bool key(std::string& name) {
        if (depth_ == 1 && top_is_object_) {
            pending_slots_ = name == "slots";
            return true;
        }
        if (state_ != State::in_element || depth_ != element_depth_) return true;
        pending_field_.reset();
        skip_value_ = true;
        for (const auto& entry : kFields) {
            if (entry.name != name) continue;
            auto& seen = seen_[static_cast<std::size_t>(entry.field)];
            if (seen) return fail("duplicate field `" + std::string(entry.name) + "`");
            seen = true;
            pending_field_ = entry.field;
            skip_value_ = false;
        }
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

    bool present() const { return found_; }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    std::vector<SlotSpec>& slots_read() { return slots_read_; }

private:
    enum class State { idle, expect_slots, in_array, in_element, skipping };

    template <class Accept>
    bool scalar(const std::string& unexpected, Accept&& accept) {
        if (begin_slots_value()) {
            state_ = State::idle;
            return fail("invalid type: " + unexpected + ", expected a sequence");
        }
        if (state_ == State::in_array && depth_ == array_depth_)
            return fail("invalid type: " + unexpected + ", expected struct SlotSpec");
        if (state_ != State::in_element || depth_ != element_depth_) return true;
        if (skip_value_ || !pending_field_) return true;
        const Expected expected = expected_type(*pending_field_);
        if (!accept(expected)) return fail("invalid type: " + unexpected + ", expected " + std::string(expected_words(expected)));
        pending_field_.reset();
        return true;
    }

    bool scalar_integer(const std::string& unexpected, bool non_negative, std::uint64_t value) {
        if (state_ == State::in_element && depth_ == element_depth_ && !skip_value_ && pending_field_ &&
            *pending_field_ == Field::key) {
            if (!non_negative || value > std::numeric_limits<std::uint32_t>::max())
                return fail("invalid value: " + unexpected + ", expected u32");
            current_.key = static_cast<std::uint32_t>(value);
            pending_field_.reset();
            return true;
        }
        return scalar(unexpected, [](Expected) { return false; });
    }

    bool accept_null() {
        current_.state.reset();
        return true;
    }

    void store_string(std::string& value) {
        switch (*pending_field_) {
            case Field::kind: current_.kind = std::move(value); break;
            case Field::path: current_.path = std::move(value); break;
            case Field::uid: current_.uid = std::move(value); break;
            case Field::fold: current_.fold = std::move(value); break;
            case Field::state: current_.state = std::move(value); break;
            default: break;
        }
    }

    // True when this value event is the value of a top-level "slots" member; starts a
    // fresh reading (a repeated member replaces the earlier one).
    bool begin_slots_value() {
        if (!(depth_ == 1 && top_is_object_ && pending_slots_)) return false;
        pending_slots_ = false;
        found_ = true;
        error_.clear();
        slots_read_.clear();
        state_ = State::expect_slots;
        return true;
    }

    bool open_container(bool is_object) {
        if (depth_ == 0) {
            top_is_object_ = is_object;
            ++depth_;
            return true;
        }
        const bool slots_value = begin_slots_value();
        ++depth_;
        if (slots_value) {
            if (is_object) {
                state_ = State::skipping;
                return fail("invalid type: map, expected a sequence");
            }
            state_ = State::in_array;
            array_depth_ = depth_;
            return true;
        }
        if (state_ == State::in_array && depth_ == array_depth_ + 1) {
            if (!is_object) {
                state_ = State::skipping;
                return fail("invalid type: sequence, expected struct SlotSpec");
            }
            state_ = State::in_element;
            element_depth_ = depth_;
            current_ = SlotSpec{};
            seen_.fill(false);
            pending_field_.reset();
            return true;
        }
        if (state_ == State::in_element && depth_ == element_depth_ + 1 && !skip_value_ && pending_field_) {
            const Expected expected = expected_type(*pending_field_);
            state_ = State::skipping;
            return fail(std::string("invalid type: ") + (is_object ? "map" : "sequence") + ", expected " +
                        std::string(expected_words(expected)));
        }
        return true;
    }

    bool close_container(bool) {
        if (state_ == State::in_element && depth_ == element_depth_) {
            for (const Field field : kRequiredFields) {
                if (!seen_[static_cast<std::size_t>(field)])
                    return fail("missing field `" + std::string(kFields[static_cast<std::size_t>(field)].name) + "`");
            }
            slots_read_.push_back(std::move(current_));
            state_ = State::in_array;
        } else if (state_ == State::in_array && depth_ == array_depth_) {
            state_ = State::idle;
        }
        --depth_;
        return true;
    }

    // The first error ends the walk: with last-member-wins a later "slots" could replace
    // it, so the walk goes on only to look for one.
    bool fail(std::string message) {
        if (error_.empty()) error_ = std::move(message);
        state_ = State::skipping;
        return true;
    }

    std::size_t depth_ = 0;
    bool top_is_object_ = false;
    bool pending_slots_ = false;
    bool found_ = false;
    State state_ = State::idle;
    std::size_t array_depth_ = 0;
    std::size_t element_depth_ = 0;
    SlotSpec current_;
    std::array<bool, static_cast<std::size_t>(Field::count)> seen_{};
    std::optional<Field> pending_field_;
    bool skip_value_ = false;
    std::string error_;
    std::vector<SlotSpec> slots_read_;
};

}  // namespace

std::string describe_string_value(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "string \"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\u{";
                    if (byte >= 0x10) out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                    out += '}';
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string describe_float_value(double value) {
    std::array<char, 400> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed).ptr;
    std::string text(buffer.data(), end);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

Outcome<std::vector<SlotSpec>> read_slot_specs(std::string_view request_text) {
    SlotsReader reader;
    const bool parsed = ov::Json::sax_parse(request_text.begin(), request_text.end(), &reader,
                                            ov::Json::input_format_t::json, true);
    if (!parsed && !reader.failed()) return Outcome<std::vector<SlotSpec>>::failure("the request is not valid JSON");
    if (reader.failed()) return Outcome<std::vector<SlotSpec>>::failure(reader.error());
    return std::move(reader.slots_read());
}

}  // namespace ovhost
