#include "status.h"

#include <cinttypes>
#include <cstdio>

#include "devices/gait.h"
#include "devices/mx2125.h"
#include "devices/yrm100.h"
#include "field.h"
#include "session/colours.h"
#include "session/wording.h"
#include "host/printable.h"

namespace sim::terminal {

std::string led_text(const host::NotificationState& state) {
    if(!state.blinking) return "LED " + colour_name(state.led);
    std::string text = "LED " + colour_name(state.blink_color) + " blinking";
    if(!state.led.off()) text += " over " + colour_name(state.led);
    return text;
}

std::string outputs_text(const host::NotificationState& state, bool otg_on, host::Nanos now) {
    std::string text = led_text(state);
    text += state.vibro ? " \u00b7 vibro ON" : " \u00b7 vibro off";
    if(state.speaker_hz > 0) {
        char speaker[40];
        std::snprintf(speaker, sizeof speaker, " \u00b7 speaker %.0f Hz", state.speaker_hz);
        text += speaker;
    } else {
        text += " \u00b7 speaker off";
    }
    text += otg_on ? " \u00b7 5V on" : " \u00b7 5V off";
    char time[40];
    std::snprintf(
        time, sizeof time, " \u00b7 %.1f s", static_cast<double>(now / host::ms(100)) / 10.0);
    return text + time;
}

namespace {

/// Dark pixels in a row of the screen.
int dark_in_row(const host::Screen& screen, int y) {
    int dark = 0;
    for(int x = 0; x < host::Screen::kWidth; ++x) dark += screen.pixel(x, y) ? 1 : 0;
    return dark;
}

/// The string sits on a selection bar: the rows just above its letters and just below its
/// baseline are dark across most of the screen, as under a menu's or the file browser's
/// selected row (and not under a bottom button, which is narrow).
bool selected(const host::Screen& screen, const host::DrawnText& text) {
    constexpr int kBar = 100;
    return dark_in_row(screen, text.box.y - 1) >= kBar &&
           dark_in_row(screen, text.baseline + 1) >= kBar;
}

} // namespace

std::vector<std::string> screen_strings(const host::Screen& screen) {
    std::vector<std::string> out;
    for(const auto& text : screen.texts()) {
        // Blank, or the text input's cursor: nothing the screen says.
        if(text.text.find_first_not_of(" \t|") == std::string::npos) continue;
        out.push_back((selected(screen, text) ? "> " : "") + host::printable(text.text));
    }
    return out;
}

std::vector<std::string>
    screen_text_lines(const std::vector<std::string>& strings, int columns, int max_lines) {
    std::vector<std::string> lines;
    std::string line = "screen:";
    bool first = true;
    for(const auto& s : strings) {
        if(s.find_first_not_of(" \t") == std::string::npos) continue;
        const std::string piece = (first ? " " : " | ") + s;
        first = false;
        if(line.size() + piece.size() > static_cast<std::size_t>(columns) && line.size() > 8 &&
           static_cast<int>(lines.size()) + 1 < max_lines) {
            lines.push_back(line);
            line = "       " + s;
            continue;
        }
        line += piece;
    }
    lines.push_back(line);
    return lines;
}

std::string hardware_text(AppSession& session) {
    if(Yrm100* module = session.virtual_module()) {
        std::string text = module->unplugged() ? "module: UNPLUGGED" : "module: plugged";
        const auto ids = module->tag_ids();
        std::size_t present = 0;
        std::string epcs;
        for(auto id : ids) {
            if(!module->in_field(id)) continue;
            ++present;
            epcs += (epcs.empty() ? " " : ", ") + epc_hex(module->tag(id));
        }
        text += " \u00b7 " + std::to_string(present) + " of " + count_of(ids.size(), "tag") +
                " in the field";
        if(present > 0) text += ":" + epcs;
        return text;
    }
    if(Mx2125* sensor = session.virtual_sensor()) {
        if(!sensor->has_gait()) return "sensor: replaying a trace";
        const bool walking = sensor->gait().walking(session.runtime().now());
        std::string text = walking ? "sensor: WALKING" : "sensor: standing";
        if(const auto steps = sensor->true_steps()) {
            text += " \u00b7 " + count_of(static_cast<std::size_t>(*steps), "step") + " taken";
        }
        return text;
    }
    if(const host::UartPeer* line = session.uart_peer()) {
        const std::string failure = line->failure();
        if(!failure.empty()) return "module: the serial line is LOST: " + host::printable(failure);
        return "module: a real one, on the serial port";
    }
    return {};
}

} // namespace sim::terminal
