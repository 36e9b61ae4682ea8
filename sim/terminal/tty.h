#pragma once
// The terminal as the live front-end needs it, for as long as a TerminalGuard lives: raw mode
// (no echo, no line editing, no signals from keys: Ctrl-C arrives as a byte), the alternate
// screen, no cursor, no autowrap. All of it is undone when the guard goes, when SIGINT, SIGTERM
// or SIGHUP ask the loop to end (quit_requested()), and when the process crashes (SIGSEGV,
// SIGABRT, SIGBUS, SIGFPE, SIGILL: the handler puts the saved termios back and writes the reset
// sequence with async-signal-safe calls only, then the signal is raised again with its default
// action). While the guard lives, stderr (when it is the terminal) goes to a temporary file, so
// that log lines do not scribble over the live screen; they are shown once the terminal is back,
// with a crash's message if there was one.

#include <stdexcept>
#include <string>
#include <string_view>

#include "render.h"

namespace sim::terminal {

class TerminalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TerminalGuard {
public:
    /// Takes over the terminal on `in_fd`/`out_fd`; TerminalError when `in_fd` is no terminal or
    /// another guard is alive.
    TerminalGuard(int in_fd, int out_fd);
    ~TerminalGuard();
    TerminalGuard(const TerminalGuard&) = delete;
    TerminalGuard& operator=(const TerminalGuard&) = delete;

    /// SIGINT, SIGTERM or SIGHUP arrived.
    bool quit_requested() const;
    /// SIGWINCH arrived since the last call.
    bool take_resize();
    /// The terminal's size now (80x24 when it cannot be asked).
    Size size() const;

    /// Writes all of `bytes` to the terminal (retrying on EINTR and short writes).
    void write(std::string_view bytes) const;
    /// What the user typed so far, without waiting; empty when nothing.
    std::string read_available();
    /// The terminal hung up (its window closed): there is no one left to show anything to.
    bool closed() const { return closed_; }

private:
    int in_fd_;
    int out_fd_;
    bool closed_ = false;
};

} // namespace sim::terminal
