// ov-standin-api: the stand-in Orvia local API as a program, for scripts and demos.
#include "standin_api.h"

#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace ov::standin;

const char* const help_text =
    "ov-standin-api: a stand-in for Orvia's local automation API (tests and demos)\n"
    "\n"
    "usage: ov-standin-api [options]\n"
    "\n"
    "Serves HTTP/1.1 on 127.0.0.1 only: GET /v1/ping and POST /v1/cmd/<name>, answered from a\n"
    "canned Orvia state. Prints the port it listens on as the first line of standard output,\n"
    "then serves until it gets SIGINT or SIGTERM (or --max-requests are served).\n"
    "\n"
    "  --port N               listen on port N (default 0: pick a free port)\n"
    "  --token T              the bearer token commands must carry (default standin-token)\n"
    "  --any-token            accept every token, or none\n"
    "  --api-version V        the apiVersion the ping reports (default 1.4)\n"
    "  --record FILE          append one JSON line per request (method, path, version,\n"
    "                         headers, body) to FILE\n"
    "  --misbehave MODE       every request that MODE applies to misbehaves (see below)\n"
    "  --once-misbehave MODE  only the next request that MODE applies to misbehaves;\n"
    "                         may be given several times, the last one given is used first\n"
    "  --ping-status N        the status of the ping-status mode (default 404)\n"
    "  --other-api-version V  the apiVersion of the api-version mode (default 2.0)\n"
    "  --refusal TEXT         the error text of the refuse mode\n"
    "  --delay-ms N           the delay of the slow mode (default 1500)\n"
    "  --huge-entries N       the number of texts in the huge-body answer (default 200000)\n"
    "  --max-requests N       exit after answering N requests\n"
    "  -h, --help             this text\n"
    "\n"
    "Modes:\n";

struct Parsed {
    ServerOptions options;
    std::vector<std::pair<Misbehaviour, int>> instructions;
    std::size_t max_requests = 0;
};

template <class T>
bool read_number(const char* text, T& out) {
    const char* end = text + std::strlen(text);
    auto result = std::from_chars(text, end, out);
    return result.ec == std::errc() && result.ptr == end && end != text;
}

void print(std::FILE* stream, const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); }

std::string full_help() {
    std::string text = help_text;
    for (Misbehaviour mode : all_misbehaviours()) {
        std::string name(misbehaviour_name(mode));
        text += "  " + name + std::string(name.size() < 18 ? 18 - name.size() : 1, ' ');
        text += std::string(misbehaviour_description(mode)) + "\n";
    }
    return text;
}

int usage(const std::string& message) {
    print(stderr, "ov-standin-api: " + message + "\nRun ov-standin-api --help for the options.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Parsed parsed;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            print(stdout, full_help());
            return 0;
        }
        if (option == "--any-token") {
            parsed.options.token.reset();
            continue;
        }
        if (option.rfind("--", 0) != 0) return usage("unknown argument " + option);
        if (i + 1 >= argc) return usage(option + " needs a value");
        const char* value = argv[++i];
        bool ok = true;
        if (option == "--port") {
            ok = read_number(value, parsed.options.port);
        } else if (option == "--token") {
            parsed.options.token = value;
        } else if (option == "--api-version") {
            parsed.options.api_version = value;
        } else if (option == "--record") {
            parsed.options.record_file = value;
        } else if (option == "--misbehave" || option == "--once-misbehave") {
            auto mode = misbehaviour_from_name(value);
            if (!mode) return usage(std::string("unknown mode ") + value);
            parsed.instructions.emplace_back(*mode, option == "--misbehave" ? -1 : 1);
        } else if (option == "--ping-status") {
            ok = read_number(value, parsed.options.misbehaviour.ping_status);
        } else if (option == "--other-api-version") {
            parsed.options.misbehaviour.api_version = value;
        } else if (option == "--refusal") {
            parsed.options.misbehaviour.refusal = value;
        } else if (option == "--delay-ms") {
            long long ms = 0;
            ok = read_number(value, ms);
            parsed.options.misbehaviour.slow_delay = std::chrono::milliseconds(ms);
        } else if (option == "--huge-entries") {
            ok = read_number(value, parsed.options.misbehaviour.huge_entries);
        } else if (option == "--max-requests") {
            ok = read_number(value, parsed.max_requests);
        } else {
            return usage("unknown option " + option);
        }
        if (!ok) return usage(option + ": \"" + value + "\" is not a number");
    }

    // The signals are taken by sigtimedwait below, never by a handler.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    StandinApi server(parsed.options);
    for (const auto& [mode, times] : parsed.instructions) server.misbehave(mode, times);
    if (std::string error = server.start(); !error.empty()) {
        print(stderr, "ov-standin-api: " + error + "\n");
        return 1;
    }
    char digits[8];
    auto end = std::to_chars(digits, digits + sizeof digits, server.port()).ptr;
    print(stdout, std::string(digits, end) + "\n");
    std::fflush(stdout);

    const timespec step{0, 100 * 1000 * 1000};
    while (true) {
        if (sigtimedwait(&stop_signals, nullptr, &step) > 0) break;
        if (parsed.max_requests > 0 && server.answered() >= parsed.max_requests) break;
    }
    server.stop();
    return 0;
}
