#include "live.h"

#include <algorithm>
#include <chrono>

#include "devices/yrm100.h"
#include "host/keyboard.h"
#include "painter.h"
#include "status.h"
#include "tty.h"

namespace sim::terminal {
namespace {

constexpr std::size_t kMaxCommandLine = 240;
// A lone ESC is the Esc key once no byte followed it for this long.
constexpr auto kEscTimeout = std::chrono::milliseconds(30);

struct Line {
    int priority; ///< lower goes first when the rows run short
    std::string text;
};

} // namespace

Frontend::Frontend(AppSession& session, LiveOptions options, Size size)
    : session_(session)
    , options_(std::move(options))
    , console_(session, options_.screenshot_dir) {
    set_size(size);
}

void Frontend::set_size(Size size) {
    size_ = size;
    mode_ = choose_render(options_.render, size).value_or(RenderMode::braille);
}

void Frontend::handle(const KeyEvent& event) {
    if(event.key == Key::interrupt) {
        quit_ = true;
        return;
    }
    if(!panel_.empty()) { // any key closes a panel
        panel_.clear();
        return;
    }
    if(prompt_) {
        switch(event.key) {
        case Key::character:
            if(prompt_->size() < kMaxCommandLine) *prompt_ += event.ch;
            break;
        case Key::backspace:
            if(prompt_->empty()) {
                prompt_.reset();
            } else {
                prompt_->pop_back();
            }
            break;
        case Key::escape:
            prompt_.reset();
            message_.clear();
            break;
        case Key::enter:
            pending_ = *prompt_;
            prompt_.reset();
            message_ = "running :" + *pending_;
            break;
        default:
            break; // arrows do not edit the line
        }
        return;
    }

    const bool long_press = long_next_ || event.shift;
    if(long_next_) {
        long_next_ = false;
        message_.clear();
    }
    // On the name screen, the terminal's own letters, digits and '_' type on the on-screen
    // keyboard, Backspace deletes and Enter saves; the single-key commands that are letters wait
    // until the keyboard closes.
    if(!long_press && shows_keyboard(session_.screen())) {
        std::string key;
        if(event.key == Key::character && host::keyboard::types(event.ch)) key = event.ch;
        if(event.key == Key::backspace) key = host::keyboard::kBackspace;
        if(event.key == Key::enter) key = host::keyboard::kSave;
        if(!key.empty()) return type(key);
    }
    switch(event.key) {
    case Key::up:
        return press(InputKeyUp, long_press);
    case Key::down:
        return press(InputKeyDown, long_press);
    case Key::left:
        return press(InputKeyLeft, long_press);
    case Key::right:
        return press(InputKeyRight, long_press);
    case Key::enter:
        return press(InputKeyOk, long_press);
    case Key::backspace:
    case Key::escape:
        return press(InputKeyBack, long_press);
    case Key::character:
        return character(event.ch, long_press);
    case Key::interrupt:
        return;
    }
}

void Frontend::type(const std::string& key) {
    const Typed typed = session_.type(key);
    if(!typed.reached) {
        message_ = "could not reach that key on the keyboard";
    } else if(!typed.dropped.empty()) {
        message_ = "the name is full: '" + typed.dropped + "' was not typed";
    } else {
        message_.clear();
    }
}

void Frontend::press(InputKey key, bool long_press) {
    if(long_press) {
        session_.long_press(key);
    } else {
        session_.press(key);
    }
}

void Frontend::character(char c, bool long_press) {
    switch(c) {
    case 'w':
        return press(InputKeyUp, long_press);
    case 'a':
        return press(InputKeyLeft, long_press);
    case 's':
        return press(InputKeyDown, long_press);
    case 'd':
        return press(InputKeyRight, long_press);
    case ' ':
        return press(InputKeyOk, long_press);
    case 'W':
        return press(InputKeyUp, true);
    case 'A':
        return press(InputKeyLeft, true);
    case 'S':
        return press(InputKeyDown, true);
    case 'D':
        return press(InputKeyRight, true);
    default:
        break;
    }
    if(long_press) {
        message_ =
            "long press cancelled: L takes an arrow, w a s d, Enter, Space, Backspace or Esc";
        return;
    }
    switch(c) {
    case 'L':
        long_next_ = true;
        message_ = "long press: now the key (arrow, Enter, Backspace...)";
        return;
    case ':':
        prompt_ = std::string();
        return;
    case 't':
        return run("tag toggle 1");
    case 'u': {
        const Yrm100* module = session_.virtual_module();
        return run(module != nullptr && module->unplugged() ? "plug" : "unplug");
    }
    case 'p':
        return run("shot");
    case '?':
    case 'h':
        return run("help");
    default:
        message_ = std::string("'") + c + "' is no key of the device's (:help lists the keys)";
        return;
    }
}

bool Frontend::run_pending() {
    if(!pending_) return false;
    const std::string line = std::move(*pending_);
    pending_.reset();
    run(line);
    return true;
}

void Frontend::run(const std::string& line) {
    Outcome outcome = console_.run(line);
    message_ = std::move(outcome.message);
    panel_ = std::move(outcome.panel);
    if(outcome.quit) quit_ = true;
}

std::string Frontend::hint() const {
    if(shows_keyboard(session_.screen()))
        return "type a name: letters digits _  Backspace=delete  Enter=Save  Esc=Back  ^C=quit";
    std::string text = "arrows/wasd Enter=OK Esc=Back L=long";
    if(session_.virtual_module() != nullptr) text += " t=tag u=plug";
    if(session_.virtual_sensor() != nullptr) text += " :walk";
    return text + " p=shot :=command ?=help ^C=quit";
}

std::vector<std::string> Frontend::lines() {
    const int columns = size_.columns;
    const Size picture = picture_size(mode_);
    const host::Screen screen = session_.screen();
    std::string bottom = prompt_ ? ":" + *prompt_ + "\u2588" : message_;

    if(columns < picture.columns || size_.rows < picture.rows + 1) {
        return {
            fit("terminal " + std::to_string(size_.columns) + "x" + std::to_string(size_.rows) +
                    ": too small, the screen needs " + std::to_string(picture.columns) + "x" +
                    std::to_string(picture.rows + 1),
                columns),
            fit(bottom, columns)};
    }

    if(!drawn_ || drawn_mode_ != mode_ || !drawn_->same_pixels(screen)) {
        picture_ = render_framed(screen, mode_, options_.colour, session_.app());
        drawn_ = screen;
        drawn_mode_ = mode_;
    }
    std::vector<std::string> out;
    if(panel_.empty()) {
        out = picture_;
    } else {
        for(const auto& line : panel_) {
            if(static_cast<int>(out.size()) == picture.rows) break;
            out.push_back(fit(line, columns));
        }
        out.resize(static_cast<std::size_t>(picture.rows));
    }

    // Under the picture, by priority: what the screen says and the prompt first, the key hint
    // last.
    std::vector<Line> status;
    for(auto& text : screen_text_lines(screen_strings(screen), columns, 2))
        status.push_back({4, std::move(text)});
    status.push_back(
        {3, outputs_text(session_.led(), session_.otg_on(), session_.runtime().now())});
    if(auto text = hardware_text(session_); !text.empty()) status.push_back({2, std::move(text)});
    status.push_back({5, std::move(bottom)});
    status.push_back({1, hint()});
    const auto room = static_cast<std::size_t>(size_.rows - picture.rows);
    for(int priority = 1; status.size() > room && priority <= 4; ++priority) {
        status.erase(
            std::remove_if(
                status.begin(),
                status.end(),
                [&](const Line& l) { return l.priority == priority; }),
            status.end());
    }
    for(const auto& line : status) {
        if(out.size() == static_cast<std::size_t>(size_.rows)) break;
        out.push_back(fit(line.text, columns));
    }
    return out;
}

int run_live(AppSession& session, const LiveOptions& options, int in_fd, int out_fd) {
    TerminalGuard guard(in_fd, out_fd);
    Frontend frontend(session, options, guard.size());
    KeyDecoder decoder;
    Painter painter;
    const auto& runtime_options = session.runtime().options();
    const double speed = runtime_options.realtime ? runtime_options.realtime_speed : 1.0;
    // About 16 ms of wall time a step, however fast virtual time runs.
    const auto step = static_cast<std::uint32_t>(std::clamp(16.0 * speed, 16.0, 500.0));
    auto last_input = std::chrono::steady_clock::now();

    const auto show = [&] { guard.write(painter.paint(frontend.lines())); };
    show();
    while(!frontend.quit() && !guard.quit_requested() && !guard.closed() && session.running()) {
        if(guard.take_resize()) {
            frontend.set_size(guard.size());
            painter.invalidate();
        }
        std::vector<KeyEvent> events;
        const std::string bytes = guard.read_available();
        const auto now = std::chrono::steady_clock::now();
        if(!bytes.empty()) {
            events = decoder.feed(bytes);
            last_input = now;
        } else if(decoder.pending() && now - last_input >= kEscTimeout) {
            events = decoder.flush();
        }
        for(const auto& event : events) {
            frontend.handle(event);
            if(frontend.quit() || !session.running()) break;
            show();
            if(frontend.run_pending()) show();
        }
        if(events.empty()) session.wait(step);
        show();
    }
    return 0;
}

} // namespace sim::terminal
