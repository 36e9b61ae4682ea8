#include "tty.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sim::terminal {
namespace {

// Leaves the alternate screen with the cursor shown, autowrap on and attributes reset.
constexpr char kEnter[] = "\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[H\x1b[2J";
constexpr char kLeave[] = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";

// What a signal handler needs to put the terminal back. Signal handlers can reach nothing
// else, so this is the one piece of process-wide state; a guard fills it and clears it.
struct Saved {
    volatile sig_atomic_t active = 0;
    int in_fd = -1;
    int out_fd = -1;
    termios original{};
    int stderr_copy = -1; ///< the terminal's stderr while fd 2 goes to `stderr_file`
    int stderr_file = -1; ///< what was written to stderr meanwhile (an unlinked temporary file)
};
Saved saved;
volatile sig_atomic_t quit_flag = 0;
volatile sig_atomic_t resize_flag = 0;

constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCrashSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

struct sigaction previous_quit[std::size(kQuitSignals)];
struct sigaction previous_crash[std::size(kCrashSignals)];
struct sigaction previous_winch;

/// Writes all of `size` bytes, async-signal-safe.
void write_all(int fd, const char* data, std::size_t size) {
    while(size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if(n < 0 && errno == EINTR) continue;
        if(n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

/// Points fd 2 back at the terminal and shows what was written to it meanwhile (log lines, a
/// crash's message). Async-signal-safe.
void release_stderr() {
    if(saved.stderr_copy < 0) return;
    ::dup2(saved.stderr_copy, STDERR_FILENO);
    ::close(saved.stderr_copy);
    saved.stderr_copy = -1;
    if(::lseek(saved.stderr_file, 0, SEEK_SET) == 0) {
        char buffer[4096];
        ssize_t n = 0;
        while((n = ::read(saved.stderr_file, buffer, sizeof buffer)) > 0)
            write_all(STDERR_FILENO, buffer, static_cast<std::size_t>(n));
    }
    ::close(saved.stderr_file);
    saved.stderr_file = -1;
}

/// Sends fd 2 to a temporary file while the live screen is up, when it is the terminal.
void capture_stderr() {
    if(::isatty(STDERR_FILENO) == 0) return;
    char name[] = "/tmp/fsim-stderr-XXXXXX";
    const int file = ::mkstemp(name);
    if(file < 0) return;
    ::unlink(name);
    const int copy = ::dup(STDERR_FILENO);
    if(copy < 0 || ::dup2(file, STDERR_FILENO) < 0) {
        if(copy >= 0) ::close(copy);
        ::close(file);
        return;
    }
    saved.stderr_copy = copy;
    saved.stderr_file = file;
}

void restore_from_handler() {
    if(saved.active == 0) return;
    saved.active = 0;
    ::tcsetattr(saved.in_fd, TCSAFLUSH, &saved.original);
    write_all(saved.out_fd, kLeave, sizeof kLeave - 1);
    release_stderr();
}

void on_quit(int) {
    quit_flag = 1;
}

void on_resize(int) {
    resize_flag = 1;
}

void on_crash(int signal_number) {
    const int saved_errno = errno;
    restore_from_handler();
    errno = saved_errno;
    // SA_RESETHAND put the default action back: raised again, the crash ends the process as it
    // would have (core dump, exit status).
    ::raise(signal_number);
}

void install(int signal_number, void (*handler)(int), int flags, struct sigaction* previous) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    ::sigaction(signal_number, &action, previous);
}

} // namespace

TerminalGuard::TerminalGuard(int in_fd, int out_fd)
    : in_fd_(in_fd)
    , out_fd_(out_fd) {
    if(saved.active != 0) throw TerminalError("the terminal is in use by another front-end");
    termios original{};
    if(::isatty(in_fd) == 0 || ::tcgetattr(in_fd, &original) != 0)
        throw TerminalError("not a terminal: " + std::string(std::strerror(errno)));
    saved.in_fd = in_fd;
    saved.out_fd = out_fd;
    saved.original = original;
    quit_flag = 0;
    resize_flag = 0;

    for(std::size_t i = 0; i < std::size(kQuitSignals); ++i)
        install(kQuitSignals[i], on_quit, 0, &previous_quit[i]);
    for(std::size_t i = 0; i < std::size(kCrashSignals); ++i)
        install(kCrashSignals[i], on_crash, SA_RESETHAND | SA_NODEFER, &previous_crash[i]);
    install(SIGWINCH, on_resize, SA_RESTART, &previous_winch);

    termios raw = original;
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_cflag |= CS8;
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cc[VMIN] = 0; // read() returns what is there, at once
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(in_fd, TCSAFLUSH, &raw);
    std::fflush(stderr);
    capture_stderr();
    saved.active = 1;
    write(kEnter);
}

TerminalGuard::~TerminalGuard() {
    // Marked inactive first, so that a crash from here on does not put the terminal back twice.
    if(saved.active != 0) {
        saved.active = 0;
        write(kLeave);
        ::tcsetattr(in_fd_, TCSAFLUSH, &saved.original);
        std::fflush(stderr);
        release_stderr();
    }
    ::sigaction(SIGWINCH, &previous_winch, nullptr);
    for(std::size_t i = 0; i < std::size(kCrashSignals); ++i)
        ::sigaction(kCrashSignals[i], &previous_crash[i], nullptr);
    for(std::size_t i = 0; i < std::size(kQuitSignals); ++i)
        ::sigaction(kQuitSignals[i], &previous_quit[i], nullptr);
}

bool TerminalGuard::quit_requested() const {
    return quit_flag != 0;
}

bool TerminalGuard::take_resize() {
    if(resize_flag == 0) return false;
    resize_flag = 0;
    return true;
}

Size TerminalGuard::size() const {
    winsize ws{};
    if(::ioctl(out_fd_, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0)
        return {ws.ws_col, ws.ws_row};
    if(::ioctl(in_fd_, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0)
        return {ws.ws_col, ws.ws_row};
    return {};
}

void TerminalGuard::write(std::string_view bytes) const {
    while(!bytes.empty()) {
        const ssize_t n = ::write(out_fd_, bytes.data(), bytes.size());
        if(n < 0) {
            if(errno == EINTR) continue;
            if(errno == EAGAIN) {
                pollfd p{out_fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            return; // the terminal went away: nothing more to show
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string TerminalGuard::read_available() {
    std::string out;
    char buffer[256];
    for(;;) {
        pollfd p{in_fd_, POLLIN, 0};
        if(::poll(&p, 1, 0) <= 0) break;
        if((p.revents & POLLIN) == 0) {
            if((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) closed_ = true;
            break;
        }
        const ssize_t n = ::read(in_fd_, buffer, sizeof buffer);
        if(n == 0) closed_ = true; // readable yet nothing: the terminal hung up
        if(n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
        if(out.size() > 4096) break;
    }
    return out;
}

} // namespace sim::terminal
