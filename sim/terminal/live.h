#pragma once
// The live front-end: the app's screen and status in the terminal, keys to the app, commands on
// a ':' prompt.
//
// Frontend is the part without a terminal (keys in, lines out), so tests drive it with a
// headless session; run_live puts it in a real terminal and runs the loop on the session's
// thread: keys are read without waiting, time passes in short steps (paced to the wall clock
// by the session), and the terminal is brought up to date after each.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "keys.h"
#include "render.h"
#include "session/app_session.h"

namespace sim::terminal {

struct LiveOptions {
    std::string render = "auto"; ///< auto, braille or blocks
    std::filesystem::path screenshot_dir = "out/screenshots";
    bool colour = true;
};

class Frontend {
public:
    Frontend(AppSession& session, LiveOptions options, Size size);

    /// Acts on one key: a press of the app's (which lets the time it takes pass), an edit of
    /// the prompt, or a single-key command. A command line ended with Enter waits for
    /// run_pending(), so that the terminal can show it running first.
    void handle(const KeyEvent& event);
    /// Runs the command line Enter ended, if any; whether there was one.
    bool run_pending();
    /// The user asked to quit (Ctrl-C, :q).
    bool quit() const { return quit_; }

    void set_size(Size size);
    RenderMode mode() const { return mode_; }
    /// Everything the terminal shows: the framed screen (or a panel in its place), then the
    /// status lines, each fitted to the width, as many as the rows hold.
    std::vector<std::string> lines();
    /// The status line's message (the last command's answer).
    const std::string& message() const { return message_; }

private:
    void press(InputKey key, bool long_press);
    /// Types one key on the on-screen keyboard ('\b' backspace, '\r' save).
    void type(const std::string& key);
    void character(char c, bool long_press);
    void run(const std::string& line);
    std::string hint() const;

    AppSession& session_;
    LiveOptions options_;
    Console console_;
    Size size_;
    RenderMode mode_ = RenderMode::braille;
    std::optional<std::string> prompt_; ///< the command line being typed
    std::optional<std::string> pending_;
    std::vector<std::string> panel_;
    std::string message_;
    bool long_next_ = false;
    bool quit_ = false;

    // The last screen drawn and its picture, to render only when the pixels change.
    std::optional<host::Screen> drawn_;
    RenderMode drawn_mode_ = RenderMode::braille;
    std::vector<std::string> picture_;
};

/// Runs the session live on the terminal of `in_fd`/`out_fd` until the app ends or the user
/// quits; 0. TerminalError when there is no terminal.
int run_live(AppSession& session, const LiveOptions& options, int in_fd, int out_fd);

} // namespace sim::terminal
