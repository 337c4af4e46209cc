// zelmo-sim: the service simulator as a program, for the demo and for manual runs.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "BuildVersion.h"
#include "sim/Simulator.h"

namespace {

constexpr const char* USAGE =
    "usage: zelmo-sim --workdir DIR [--port N] [--scenario FILE] [--control-port N]\n"
    "                 [--era 2016|2018] [--login-hold-ms N] [--synccheck-hold-ms N]\n"
    "                 [--auto-scan-ms N] [--auto-confirm-ms N] [--location-href]\n"
    "                 [--send-interval-ms N] [--refuse-web-login] [--print-traffic]\n"
    "                 [--rename-at-login] [--rename-nicknames-percent N]\n"
    "                 [--end-session-after-login-ms N] [--version] [--help]\n";

bool ParseInt(const char* text, int& out) {
    try {
        std::size_t used = 0;
        out = std::stoi(text, &used);
        return used == std::strlen(text);
    } catch (...) {
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimulatorOptions options;
    options.control_port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        int* number = nullptr;
        if (arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("zelmo-sim %s\n", zelmo::BuildVersion().c_str());
            return 0;
        }
        if (arg == "--print-traffic") {
            options.traffic = [](const std::string& line) {
                std::printf("sim: %s\n", line.c_str());
                std::fflush(stdout);
            };
            continue;
        }
        if (arg == "--location-href") {
            options.redirect_via_location_href = true;
            continue;
        }
        if (arg == "--refuse-web-login") {
            options.refuse_web_login = true;
            continue;
        }
        if (arg == "--rename-at-login") {
            options.rename_at_login = true;
            continue;
        }
        if (!has_value) {
            std::fputs(USAGE, stderr);
            return 2;
        }
        const char* value = argv[++i];
        if (arg == "--workdir") {
            options.workdir = value;
        } else if (arg == "--scenario") {
            options.scenario_file = value;
        } else if (arg == "--era") {
            options.era = std::string(value) == "2018" ? sim::Era::Late2018 : sim::Era::Early2016;
        } else if (arg == "--port") {
            number = &options.port;
        } else if (arg == "--control-port") {
            number = &options.control_port;
        } else if (arg == "--login-hold-ms") {
            number = &options.login_poll_hold_ms;
        } else if (arg == "--synccheck-hold-ms") {
            number = &options.synccheck_hold_ms;
        } else if (arg == "--auto-scan-ms") {
            number = &options.auto_scan_ms;
        } else if (arg == "--auto-confirm-ms") {
            number = &options.auto_confirm_ms;
        } else if (arg == "--send-interval-ms") {
            number = &options.send_min_interval_ms;
        } else if (arg == "--end-session-after-login-ms") {
            number = &options.end_session_after_login_ms;
        } else if (arg == "--rename-nicknames-percent") {
            int percent = 0;
            if (!ParseInt(value, percent)) {
                std::fprintf(stderr, "zelmo-sim: %s needs a number\n", arg.c_str());
                return 2;
            }
            options.rename_nickname_share = percent / 100.0;
        } else {
            std::fputs(USAGE, stderr);
            return 2;
        }
        if (number != nullptr && !ParseInt(value, *number)) {
            std::fprintf(stderr, "zelmo-sim: %s needs a number\n", arg.c_str());
            return 2;
        }
    }
    if (options.workdir.empty()) {
        std::fputs(USAGE, stderr);
        return 2;
    }

    // Block the stop signals before any thread starts, then wait for one of them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    sim::Simulator simulator(options);
    if (!simulator.Start()) {
        std::fprintf(stderr, "zelmo-sim: could not start (scenario, workdir or port)\n");
        return 1;
    }
    std::printf("profile: %s\n", simulator.ProfilePath().c_str());
    std::printf("service: 127.0.0.1:%d\n", simulator.Port());
    std::printf("control: http://127.0.0.1:%d\n", simulator.ControlPort());
    std::printf("model: %s\n", simulator.ModelBaseUrl().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&stop_signals, &received);
    simulator.Stop();
    return 0;
}
