// fsim module --pty: the virtual YRM100 on a pseudo-terminal, for another program (another fsim,
// a serial terminal, a test) to open as if it were the module's serial port.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bridge/fd_pump.h"
#include "host/printable.h"
#include "bridge/pty_module.h"
#include "cli_common.h"
#include "commands.h"
#include "module_options.h"
#include "session/wording.h"
#include "terminal/module_console.h"

namespace fsim {
namespace {

constexpr const char* kModuleAbout =
    R"(Serves the virtual YRM100 module on a pseudo-terminal, paced to the wall clock, so that
another program can talk to it as to a module on a serial port (115200 8N1). The terminal's path
is the first line on stdout ("/dev/pts/7"); --link also makes a symbolic link to it. It runs until
its input ends (Ctrl-D), 'quit', Ctrl-C or SIGTERM, then removes the link. The module answers
whether or not 5 V is on (there is no app here to switch it).

Lines typed on its input act on the module, as the live mode's ':' commands do, and are answered
on stdout: 'tag add EPC[:TID[:USER]]', 'tag list', 'tag remove N', 'tag toggle N', 'unplug',
'plug', 'fault silence|corrupt|cut|noise|delay', 'refuse-write [N]'; 'help' lists them.
)";

constexpr const char* kExample = R"(Examples:
  fsim module --pty --link /tmp/yrm100                 # in one terminal
  fsim corvane --uart /tmp/yrm100                      # in another: the app on that "module"
  picocom -b 115200 /tmp/yrm100                        # or any serial terminal program
  sleep infinity | fsim module --pty --link /tmp/yrm100 &   # in the background: keep its input open
  (then, in the first terminal)  tag add E2801160:0011 / tag list / fault noise / help
)";

struct ServeSettings {
    bool pty = false;
    std::optional<std::string> link;
    ModuleSettings module;
    bool log = false;
};

/// The symbolic link of --link: made to the slave side, removed at the end if it still points
/// there.
class LinkGuard {
public:
    LinkGuard(std::filesystem::path link, const std::string& target)
        : link_(std::move(link))
        , target_(target) {
        std::error_code error;
        std::filesystem::create_symlink(target_, link_, error);
        if(error)
            throw UsageError(
                "--link " + link_.string() + ": cannot be made (" + error.message() + ")");
    }
    ~LinkGuard() {
        std::error_code error;
        if(std::filesystem::read_symlink(link_, error) == target_ && !error)
            std::filesystem::remove(link_, error);
    }
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;

private:
    std::filesystem::path link_;
    std::filesystem::path target_;
};

/// A link path that can be (re)made: nothing there, or a symbolic link (replaced).
void clear_link(const std::filesystem::path& link) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(link, error);
    if(!std::filesystem::exists(status)) return;
    if(!std::filesystem::is_symlink(status))
        throw UsageError("--link " + link.string() + ": exists and is not a symbolic link");
    std::filesystem::remove(link, error);
    if(error)
        throw UsageError(
            "--link " + link.string() + ": cannot be replaced (" + error.message() + ")");
}

/// SIGINT and SIGTERM as a descriptor to poll, restored when done.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &previous_); // before any thread starts: they inherit it
        fd_.reset(::signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC));
    }
    ~StopSignals() {
        fd_.reset();
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    int fd() const { return fd_.get(); }

private:
    sigset_t set_{};
    sigset_t previous_{};
    sim::UniqueFd fd_;
};

/// The commands typed on standard input, a line at a time, answered on stdout.
class CommandInput {
public:
    CommandInput(sim::Yrm100& module, host::Runtime& runtime)
        : console_(module, runtime) {}

    /// Runs the lines stdin has completed, without waiting; false once it should stop (the
    /// input ended, 'quit', or a signal came).
    bool poll_and_run(const StopSignals& signals) {
        std::array<pollfd, 2> fds{{{STDIN_FILENO, POLLIN, 0}, {signals.fd(), POLLIN, 0}}};
        if(::poll(fds.data(), fds.size(), 0) <= 0) return true;
        if(fds[1].revents != 0) return false;
        if((fds[0].revents & POLLIN) != 0) {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if(n <= 0) return false;
            pending_.append(buffer, static_cast<std::size_t>(n));
            for(auto end = pending_.find('\n'); end != std::string::npos;
                end = pending_.find('\n')) {
                const std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                if(!run(line)) return false;
            }
            // A line longer than any command is dropped rather than kept growing.
            if(pending_.size() > kMaxLine) pending_.clear();
            return true;
        }
        return (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
    }

private:
    static constexpr std::size_t kMaxLine = 4096;

    /// One line; false for 'quit'.
    bool run(const std::string& line) {
        const auto words = sim::terminal::split_words(line);
        if(words.empty()) return true;
        const std::string& command = words[0];
        if(command == "quit" || command == "q" || command == "exit") return false;
        std::vector<std::string> out;
        if(command == "help" || command == "?") {
            out = sim::terminal::ModuleConsole::help();
            out.push_back("help                       this list");
            out.push_back("quit                       stop serving (as when the input ends)");
        } else if(sim::terminal::ModuleConsole::handles(command)) {
            const sim::terminal::Outcome outcome = console_.run(words);
            out.push_back(outcome.message);
            out.insert(out.end(), outcome.panel.begin(), outcome.panel.end());
        } else {
            out.push_back(
                "unknown command '" + host::printable(command, 40) + "' (help lists them)");
        }
        for(const auto& text : out) std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        return true;
    }

    sim::terminal::ModuleConsole console_;
    std::string pending_;
};

int serve(const ServeSettings& s) {
    if(!s.pty)
        throw UsageError(
            "give --pty: the module is served on a pseudo-terminal (--help shows how)");
    const auto tags = field_tags(s.module);
    if(s.link) clear_link(*s.link);

    const StopSignals signals;
    sim::PseudoTerminal pty;
    std::optional<LinkGuard> link;
    if(s.link) link.emplace(*s.link, pty.slave_path());

    host::RuntimeOptions options;
    options.realtime = true;
    options.virtual_time_limit = 0;
    options.log_to_stderr = s.log;
    host::Runtime runtime(options);
    sim::Yrm100Config config = s.module.config;
    config.require_power = false;
    sim::Yrm100 module(runtime, config);
    for(const auto& tag : tags) module.add_tag(tag);
    sim::PtyModule serving(runtime, module, pty.take_master());

    std::printf("%s\n", pty.slave_path().c_str());
    std::fflush(stdout);
    std::fprintf(
        stderr,
        "fsim module: YRM100 \"%s\" with %s on %s%s%s\n",
        host::printable(config.hardware_version).c_str(),
        sim::count_of(tags.size(), "tag").c_str(),
        pty.slave_path().c_str(),
        s.link ? " linked at " : "",
        s.link ? s.link->c_str() : "");
    for(const auto& tag : tags) std::fprintf(stderr, "  tag EPC %s\n", describe_tag(tag).c_str());

    CommandInput input(module, runtime);
    while(input.poll_and_run(signals) && serving.healthy()) runtime.run_for(host::ms(20));
    if(!serving.healthy()) throw RunError(serving.problem());
    return 0;
}

} // namespace

int run_module(std::span<const std::string_view> args) {
    CLI::App app(kModuleAbout, "fsim module");
    app.footer(kExample);
    ServeSettings s;
    app.add_flag("--pty", s.pty, "serve the module on a new pseudo-terminal (prints its path)");
    app.add_option(
           "--link",
           s.link,
           "also make a symbolic link to the terminal here (replaces a link, never a file)")
        ->type_name("PATH");
    add_module_options(app, s.module, false);
    app.add_flag("--log", s.log, "echo the runtime's log lines to stderr");
    return run_command(app, args, [&] { return serve(s); });
}

} // namespace fsim
