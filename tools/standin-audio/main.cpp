// ov-standin-audio: plays Orvia's part towards one rack-mode ov-pluginhost.
//   script <file|->   run a JSON script of steps and print the JSON report
//   demo ...          a tone or a WAV file through a rack of built-in plug-ins, into a WAV file
//   check ...         whether the plug-ins of a file work in the host, and if not, why
//   soak ...          a long run of one host under random rack changes
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "soak.h"
#include "ov/json.h"
#include "rig.h"
#include "script.h"
#include "wav.h"

namespace {

constexpr const char* kUsage =
    "usage: ov-standin-audio script <file|->\n"
    "       ov-standin-audio demo --host <ov-pluginhost> [--in <wav>] [--out <wav>] [--seconds <n>]\n"
    "                             [--channels 1|2] [--gain <0..1>] [--delay <samples>] [--fast]\n"
    "       ov-standin-audio check --host <ov-pluginhost> [--json] [--seconds <per signal>] [--no-editor] [--uid <uid>]\n"
    "                              [--scan-timeout <s>] [--load-timeout <s>] <plugin file or bundle | internal:name>\n"
    "       ov-standin-audio soak --host <ov-pluginhost> [--blocks <n>] [--paced] [--channels 1|2] [--seed <n>]\n"
    "                             [--plugin <file>]... [--no-editor] [--sample-every <blocks>] [--json]\n";

void print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int run_script_command(const std::string& path) {
    std::string text;
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "ov-standin-audio: cannot read %s\n", path.c_str());
            return 2;
        }
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    auto parsed = ov::parse_json(text);
    if (!parsed.value) {
        std::fprintf(stderr, "ov-standin-audio: the script is not JSON: %s\n", parsed.error.c_str());
        return 2;
    }
    ov::Json report = ovstandin::run_script(*parsed.value);
    print(ov::to_pretty_json(report) + "\n");
    return report.value("ok", false) ? 0 : 1;
}

struct DemoOptions {
    std::string host, in, out = "demo-out.wav";
    double seconds = 2.0, gain = 0.75;
    unsigned channels = 2;
    std::uint32_t delay = 2400;
    bool fast = false;
};

bool parse_number(const std::string& text, double& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

int run_demo(const std::vector<std::string>& args) {
    DemoOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        auto next = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        std::string value;
        double number = 0;
        bool good = true;
        if (word == "--host") good = next(options.host);
        else if (word == "--in") good = next(options.in);
        else if (word == "--out") good = next(options.out);
        else if (word == "--fast") options.fast = true;
        else if (word == "--seconds") good = next(value) && parse_number(value, options.seconds) && options.seconds > 0;
        else if (word == "--gain") good = next(value) && parse_number(value, options.gain);
        else if (word == "--channels") good = next(value) && parse_number(value, number) && (number == 1 || number == 2),
                                       options.channels = number == 1 ? 1 : 2;
        else if (word == "--delay") good = next(value) && parse_number(value, number) && number >= 0 && number <= 48000,
                                    options.delay = static_cast<std::uint32_t>(number);
        else good = false;
        if (!good) {
            std::fprintf(stderr, "ov-standin-audio: bad option %s\n%s", word.c_str(), kUsage);
            return 2;
        }
    }
    if (options.host.empty()) {
        std::fprintf(stderr, "ov-standin-audio: demo needs --host\n%s", kUsage);
        return 2;
    }

    ovstandin::WavAudio input;
    std::string error;
    if (!options.in.empty() && !ovstandin::read_wav(options.in, input, error)) {
        std::fprintf(stderr, "ov-standin-audio: %s\n", error.c_str());
        return 1;
    }

    ovstandin::RigOptions rig_options;
    rig_options.host_program = options.host;
    rig_options.channels_arg = options.channels == 2 ? "2" : "1";
    rig_options.mapping_channels = options.channels;
    rig_options.environment.set.emplace_back("OV_PLUGINHOST_INTERNAL", "1");
    auto rig = ovstandin::Rig::start(rig_options, error);
    if (!rig) {
        std::fprintf(stderr, "ov-standin-audio: %s\n", error.c_str());
        return 1;
    }
    ov::Json report = ov::Json::object();
    report["mapping"] = rig->mapping_name();
    auto ready = rig->wait_event("ready", 30000);
    if (!ready) {
        std::fprintf(stderr, "ov-standin-audio: the host did not report ready\n");
        return 1;
    }

    ov::Json replies = ov::Json::array();
    const std::string delay_name = "delay:" + std::to_string(options.delay);
    ov::Json set_rack = {{"cmd", "setRack"},
                         {"slots",
                          {{{"key", 1}, {"kind", "internal"}, {"path", ""}, {"uid", "gain"}},
                           {{"key", 2}, {"kind", "internal"}, {"path", ""}, {"uid", delay_name}}}}};
    for (const ov::Json& request :
         {ov::Json{{"cmd", "hello"}}, set_rack,
          ov::Json{{"cmd", "setParam"}, {"key", 1}, {"param", 0}, {"value", options.gain}},
          ov::Json{{"cmd", "params"}, {"key", 2}}}) {
        auto reply = rig->request(request);
        replies.push_back(reply ? *reply : ov::Json(nullptr));
    }
    report["replies"] = replies;

    const std::uint64_t frames = input.channels.empty()
                                     ? static_cast<std::uint64_t>(options.seconds * 48000.0)
                                     : input.channels[0].size();
    ovstandin::BlockPlan plan;
    plan.count = (frames + 479) / 480;
    plan.pace_us = options.fast ? 0 : 10000;
    plan.keep_output = true;
    plan.signal.kind = ovstandin::Signal::Kind::sine;
    plan.signal.frequency = 440.0;
    plan.signal.amplitude = 0.5;
    if (!input.channels.empty()) {
        plan.source = [&input](unsigned channel, std::uint64_t frame) {
            const auto& samples = input.channels[channel < input.channels.size() ? channel : 0];
            return frame < samples.size() ? samples[frame] : 0.0f;
        };
    }
    ovstandin::BlockRun run = rig->run_blocks(plan);
    report["run"] = ovstandin::block_run_report(run);
    report["counters"] = ovstandin::mapping_snapshot(rig->mapping());

    rig->send(ov::Json{{"cmd", "quit"}});
    auto code = rig->wait_exit(10000);
    report["exitCode"] = code ? ov::Json(*code) : ov::Json(nullptr);
    report["events"] = rig->events();

    ovstandin::WavAudio output;
    output.channels = std::move(run.output);
    for (auto& channel : output.channels) channel.resize(frames);
    if (!ovstandin::write_wav(options.out, output, error)) {
        std::fprintf(stderr, "ov-standin-audio: %s\n", error.c_str());
        return 1;
    }
    report["wrote"] = options.out;
    print(ov::to_pretty_json(report) + "\n");
    return 0;
}

int run_check_command(const std::vector<std::string>& args) {
    ovstandin::CheckOptions options;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        std::string value;
        double number = 0;
        auto next_number = [&](double& into, double low) {
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return parse_number(value, into) && into >= low;
        };
        bool good = true;
        if (word == "--host") good = i + 1 < args.size() && !(options.host_program = args[++i]).empty();
        else if (word == "--json") json = true;
        else if (word == "--no-editor") options.editor = false;
        else if (word == "--uid") good = i + 1 < args.size() && !(options.uid = args[++i]).empty();
        else if (word == "--seconds") good = next_number(options.signal_seconds, 0.01);
        else if (word == "--scan-timeout") good = next_number(number, 1), options.scan_timeout_ms = static_cast<std::uint32_t>(number * 1000);
        else if (word == "--load-timeout") good = next_number(number, 1), options.load_timeout_ms = static_cast<std::uint32_t>(number * 1000);
        else if (!word.starts_with("--") && options.target.empty()) options.target = word;
        else good = false;
        if (!good) {
            std::fprintf(stderr, "ov-standin-audio: bad option %s\n%s", word.c_str(), kUsage);
            return 2;
        }
    }
    if (options.host_program.empty() || options.target.empty()) {
        std::fprintf(stderr, "ov-standin-audio: check needs --host and a plug-in\n%s", kUsage);
        return 2;
    }
    options.progress = [](const std::string& step) {
        std::fprintf(stderr, "check: %s ...\n", step.c_str());
        std::fflush(stderr);
    };
    const ov::Json report = ovstandin::run_check(options);
    print(json ? ov::to_pretty_json(report) + "\n" : ovstandin::check_table(report));
    return ovstandin::check_passed(report) ? 0 : 1;
}

int run_soak_command(const std::vector<std::string>& args) {
    ovstandin::SoakOptions options;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        double number = 0;
        auto next_count = [&](double low) {
            if (i + 1 >= args.size()) return false;
            return parse_number(args[++i], number) && number >= low && number == std::floor(number);
        };
        bool good = true;
        if (word == "--host") good = i + 1 < args.size() && !(options.host_program = args[++i]).empty();
        else if (word == "--plugin") good = i + 1 < args.size(), options.plugin_files.push_back(good ? args[++i] : "");
        else if (word == "--json") json = true;
        else if (word == "--paced") options.paced = true;
        else if (word == "--no-editor") options.editors = false;
        else if (word == "--blocks") good = next_count(1), options.blocks = static_cast<std::uint64_t>(number);
        else if (word == "--sample-every") good = next_count(10), options.sample_every = static_cast<std::uint64_t>(number);
        else if (word == "--seed") good = next_count(0), options.seed = static_cast<std::uint32_t>(number);
        else if (word == "--channels") good = next_count(1) && number <= 2, options.channels = number == 1 ? 1 : 2;
        else good = false;
        if (!good) {
            std::fprintf(stderr, "ov-standin-audio: bad option %s\n%s", word.c_str(), kUsage);
            return 2;
        }
    }
    if (options.host_program.empty()) {
        std::fprintf(stderr, "ov-standin-audio: soak needs --host\n%s", kUsage);
        return 2;
    }
    options.progress = [](const std::string& step) {
        std::fprintf(stderr, "soak: %s\n", step.c_str());
        std::fflush(stderr);
    };
    const ov::Json report = ovstandin::run_soak(options);
    print(json ? ov::to_pretty_json(report) + "\n" : ovstandin::soak_summary(report));
    return report.value("ok", false) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "script") return run_script_command(args[1]);
    if (!args.empty() && args[0] == "demo") return run_demo(std::vector<std::string>(args.begin() + 1, args.end()));
    if (!args.empty() && args[0] == "soak") return run_soak_command(std::vector<std::string>(args.begin() + 1, args.end()));
    if (!args.empty() && args[0] == "check")
        return run_check_command(std::vector<std::string>(args.begin() + 1, args.end()));
    std::fputs(kUsage, stderr);
    return 2;
}
