// fsim corvane: the UHF RFID app with a virtual YRM100 (or a real one on a serial port), live in
// the terminal or headless from a scenario file.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "bridge/serial_bridge.h"
#include "cli_common.h"
#include "commands.h"
#include "frontend_links.h"
#include "host/printable.h"
#include "module_options.h"
#include "session/corvane_session.h"

namespace fsim {
namespace {

constexpr const char* kCorvaneAbout =
    R"(Runs corvane, the UHF RFID reader app, on the host runtime with a virtual YRM100 module on
USART1 and a folder of this PC as the SD card. On a terminal it runs live (arrows, Enter = OK,
Backspace/Esc = Back; ':help' lists the commands); --web serves it on a page in the browser
instead; with --scenario it runs a scenario file headless, in virtual time. --uart drives a
real module on a serial port instead of the virtual one.
)";

constexpr const char* kSampleName = "Sample.uhf";

/// The example tag as corvane saves it after reading it: its PC (User memory set) and its
/// StoredCRC, its whole EPC, TID and USER banks.
std::string sample_tag_file() {
    const sim::yrm100::VirtualTag tag(example_tag());
    const auto hex = [](const sim::yrm100::Bytes& bytes) { return sim::yrm100::to_hex(bytes); };
    const auto word = [&](std::uint16_t value) {
        return hex({static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
    };
    const sim::yrm100::Bytes epc = tag.epc();
    const sim::yrm100::Bytes tid = tag.bytes(sim::yrm100::Bank::Tid);
    const sim::yrm100::Bytes user = tag.bytes(sim::yrm100::Bank::User);
    return "Filetype: Flipper UHF RFID device\nVersion: 1\nPC: " + word(tag.pc()) +
           "\nCRC: " + word(tag.stored_crc()) + "\nEPC_LENGTH: " + std::to_string(epc.size()) +
           "\nEPC: " + hex(epc) + "\nTID_LENGTH: " + std::to_string(tid.size()) +
           "\nTID: " + hex(tid) + "\nUSER_LENGTH: " + std::to_string(user.size()) +
           "\nUSER: " + hex(user) + "\n";
}

struct CorvaneSettings {
    std::optional<sim::AppApi> api; // --api; with --fap, the package's is the default
    std::string sd;
    ModuleSettings module;
    std::optional<std::string> scenario;
    bool show_screens = false;
    std::optional<std::string> uart;
    double speed = 1.0;
    bool log = false;
    std::optional<std::string> fap;
    TerminalSettings terminal;
    WebSettings web;
};

/// The SD card folder of a user who gave none: under the user's data directory.
std::filesystem::path default_sd() {
    if(const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0')
        return std::filesystem::path(data) / "fsim" / "sd";
    if(const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::filesystem::path(home) / ".local" / "share" / "fsim" / "sd";
    return std::filesystem::current_path() / "fsim-sd";
}

/// Makes the card folder on first use, with a saved sample tag in corvane's data folder so that
/// "Saved" has something to show. A folder that exists is used as it is.
void prepare_sd(const std::filesystem::path& sd, bool announce) {
    std::error_code error;
    const auto status = std::filesystem::status(sd, error);
    if(std::filesystem::exists(status)) {
        if(!std::filesystem::is_directory(status))
            throw UsageError("--sd " + sd.string() + ": not a folder");
        return;
    }
    const auto data = sd / "apps_data" / "corvane";
    std::filesystem::create_directories(data, error);
    if(error)
        throw UsageError("--sd " + sd.string() + ": cannot be created (" + error.message() + ")");
    std::ofstream(data / kSampleName, std::ios::binary) << sample_tag_file();
    if(announce)
        std::fprintf(
            stderr, "fsim corvane: new SD card folder %s, with a sample tag\n", sd.c_str());
}

} // namespace

int run_corvane(std::span<const std::string_view> args) {
    CLI::App app(kCorvaneAbout, "fsim corvane");
    CorvaneSettings s;
    app.add_option(
           "--sd",
           s.sd,
           "the folder that plays the SD card (default: ~/.local/share/fsim/sd, made on first run with a sample tag)")
        ->check(parent_exists)
        ->type_name("DIR");
    add_module_options(app, s.module, true);
    app.add_option(
           "--scenario",
           s.scenario,
           "run this scenario file headless (exit 0: every check held, 1: one failed, 2: bad file)")
        ->check(readable_file)
        ->type_name("FILE");
    app.add_flag("--show", s.show_screens, "with --scenario: print every screen as text");
    app.add_option(
           "--uart",
           s.uart,
           "drive a real YRM100 on this serial port (115200 8N1) instead of the virtual one")
        ->type_name("DEVICE");
    app.add_option(
           "--speed", s.speed, "virtual seconds per wall second when live, 0.01 to 1000 (default 1)")
        ->check(number_in(0.01, 1000.0))
        ->type_name("N");
    app.add_flag("--log", s.log, "echo the app's log lines to stderr");
    app.add_option(
           "--fap",
           s.fap,
           "run this package (dist/<API>/corvane.fap) on the emulated Cortex-M4 instead of the host "
           "build, on the firmware of the package's API (36.0 or 86.0)")
        ->check(readable_file)
        ->type_name("FILE");
    add_terminal_options(app, s.terminal);
    add_api_option(app, s.api);
    add_web_option(app, s.web);

    return run_command(app, args, [&] {
        if(s.uart && s.speed != 1.0)
            throw UsageError("--uart runs at the wall clock's pace; leave out --speed");
        if(s.uart && (!s.module.tags.empty() || !s.module.files.empty() || s.module.absent))
            throw UsageError(
                "--uart talks to a real module: --tag, --tags and --no-module do not apply");
        const bool web = s.web.address.has_value();
        if(web && s.scenario) throw UsageError("--scenario runs headless; leave out --web");
        const bool live = !s.scenario && !web;
        if(live && (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0))
            throw UsageError("not a terminal: run it in a terminal, or give --scenario FILE");
        const auto tags = s.uart ? std::vector<sim::yrm100::TagSpec>{} : field_tags(s.module);

        sim::CorvaneSessionOptions options;
        options.module = s.module.config;
        options.module_absent = s.module.absent;
        options.echo_log = s.log;
        options.realtime = live || web || s.uart.has_value();
        options.speed = s.speed;
        if(!s.sd.empty() || live || web) {
            options.sd_root = s.sd.empty() ? default_sd() : std::filesystem::path(s.sd);
            prepare_sd(options.sd_root, true);
        }
        if(s.uart) {
            const std::string device = *s.uart;
            options.uart_peer = [device](host::Runtime& rt) -> std::unique_ptr<host::UartPeer> {
                return std::make_unique<sim::SerialBridge>(rt, device);
            };
        }
        if(s.fap) options.fap = *s.fap;
        std::optional<sim::CorvaneSession> session;
        try {
            options.api = sim::AppProgram::api_for(s.api, options.fap);
            session.emplace(options);
        } catch(const sim::BridgeError& e) {
            throw UsageError(e.what());
        } catch(const sim::PackageError& e) {
            throw UsageError(e.what());
        }
        for(const auto& tag : tags) session->add_tag(tag);
        const auto started = std::chrono::system_clock::now();
        session->start();
        const auto shots = app.count("--screenshots") > 0 ? s.terminal.screenshot_dir :
                                                            std::filesystem::path();
        int code = 0;
        if(s.scenario) {
            code = run_scenario_file(*session, *s.scenario, s.show_screens, shots);
        } else if(web) {
            std::optional<sim::web::RealModule> real;
            if(auto* bridge = dynamic_cast<const sim::SerialBridge*>(session->uart_peer()))
                real = sim::web::RealModule{*s.uart, [bridge] { return bridge->failure(); }};
            const std::string identity =
                replay_arguments(args, {"--hardware", "--software", "--manufacturer", "--api", "--fap"});
            const std::string replay = "--no-tags" + (identity.empty() ? "" : " " + identity);
            code = run_web_page(*session, s.web, replay, real);
        } else {
            code = run_terminal(*session, s.terminal);
        }
        session->quit();
        // A real module's line that failed is a failed run, whatever the app did after it.
        if(const auto* bridge = dynamic_cast<const sim::SerialBridge*>(session->uart_peer());
           bridge != nullptr && bridge->failed_at()) {
            const std::chrono::duration<double> into = *bridge->failed_at() - started;
            std::fprintf(
                stderr,
                "fsim corvane: the module's line failed: %s, %.1f s into the run\n",
                host::printable(bridge->failure()).c_str(),
                into.count());
            return code == 0 ? 1 : code;
        }
        return code;
    });
}

} // namespace fsim
