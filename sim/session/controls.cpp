#include "controls.h"

#include <cstdio>

#include "devices/gait.h"
#include "devices/mx2125.h"
#include "host/printable.h"
#include "session/wording.h"

namespace sim {

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

std::string epc_hex(const yrm100::VirtualTag& tag) {
    const yrm100::Bytes epc = tag.epc();
    return epc.empty() ? "(no EPC)" : yrm100::to_hex(epc, "");
}

Yrm100Fault fault_of(std::string_view kind) {
    if(kind == "silence") return yrm100_fault::silence();
    if(kind == "corrupt") return yrm100_fault::corrupt_byte(3);
    if(kind == "cut") return yrm100_fault::cut_short(4);
    if(kind == "noise") return yrm100_fault::noise(16);
    // Past the 100 ms the app waits for a reply: it arrives once the app has given up.
    if(kind == "delay") return yrm100_fault::delay(host::ms(250));
    return nullptr;
}

std::string fault_step(std::string_view kind) {
    if(kind == "silence") return "{fault: silence}";
    if(kind == "corrupt") return "{fault: corrupt, position: 3, mask: 0x01}";
    if(kind == "cut") return "{fault: cut-short, keep: 4}";
    if(kind == "noise") return "{fault: noise, count: 16, seed: 1}";
    if(kind == "delay") return "{fault: delay, delay: 250ms}";
    return {};
}

bool shows_keyboard(const host::Screen& screen) {
    // The field's frame: a 126x15 slightly rounded frame at (1, 12), its straight edges full.
    for(int x = 3; x <= 124; ++x) {
        if(!screen.pixel(x, 12) || !screen.pixel(x, 26)) return false;
    }
    for(int y = 14; y <= 24; ++y) {
        if(!screen.pixel(1, y) || !screen.pixel(126, y)) return false;
    }
    return true;
}

} // namespace sim
