#pragma once
// One app running on the host runtime with its virtual hardware, driven as a user drives the
// device: presses, waits, and looks at the screen, the LED and the 5 V output. The interactive
// front-end, the scenario runner and the tests all drive an app through this, so a scenario that
// passes headless behaves the same when a person presses the keys.
//
// Every call is made on the thread that created the session: it is the runtime's platform
// thread "main", and time passes only while it waits (or presses, which waits for the app to
// react).

#include <furi.h>
#include <input/input.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "host/gui.h"
#include "host/log.h"
#include "host/notification.h"
#include "host/runtime.h"
#include "host/screen.h"
#include "host/uart.h"

namespace sim {

/// The runtime of a session: jumping virtual time, or paced to the wall clock (`speed` virtual
/// seconds a second) with no limit on virtual time, since a person may leave it running.
inline host::RuntimeOptions session_runtime_options(bool echo_log, bool realtime, double speed) {
    host::RuntimeOptions o;
    o.log_to_stderr = echo_log;
    o.realtime = realtime;
    o.realtime_speed = speed;
    if(realtime) o.virtual_time_limit = 0;
    return o;
}

class Yrm100;
class Mx2125;

/// What typing on the on-screen keyboard came to. True when every character went in.
struct Typed {
    bool reached = true;  ///< every key was found on the screen and pressed
    std::string dropped;  ///< the characters the text input did not take: it was full
    explicit operator bool() const { return reached && dropped.empty(); }
};

class AppSession {
public:
    virtual ~AppSession() = default;

    /// The app's id ("corvane", "pacewick").
    virtual std::string_view app() const = 0;

    /// Starts the app on its own thread, as the loader does, and lets it draw.
    virtual void start() = 0;
    virtual bool running() const = 0;
    /// Presses Back until the app ends (at most `presses` times); its return code, or nothing
    /// when it still runs.
    virtual std::optional<int32_t> quit(int presses = 12) = 0;

    virtual void press(InputKey key) = 0;
    virtual void long_press(InputKey key) = 0;
    /// A key held down and let go, as a person holds a button: Press at once; Long after 300 ms
    /// and Repeat every 150 ms while it is held; on release Short (when no Long came) and
    /// Release. Neither waits: time passes with wait().
    void key_down(InputKey key) { gui().input().press(key); }
    void key_up(InputKey key) { gui().input().release(key); }
    /// Lets `milliseconds` of virtual time pass.
    virtual void wait(std::uint32_t milliseconds) = 0;
    /// Types `text` on the on-screen keyboard ('\b' is its backspace key, '\r' its save key);
    /// not reached when the screen shows none or a key could not be found. Apps without text
    /// entry reach nothing.
    virtual Typed type(std::string_view /*text*/) { return Typed{false, {}}; }

    virtual host::Screen screen() const = 0;
    /// The GUI service: the screen's frames and the input device.
    virtual host::GuiService& gui() = 0;
    virtual host::Runtime& runtime() = 0;
    virtual host::LogCapture& log() = 0;
    /// The LED, vibro and speaker; apps without the notification record keep it all off.
    virtual host::NotificationState led() const = 0;
    bool otg_on() { return runtime().otg_enabled(); }

    /// The host folder that plays the SD card; empty for an app that uses no files.
    virtual std::filesystem::path sd_root() const { return {}; }
    /// The virtual reader module, or null (pacewick, or a real module on a serial port).
    virtual Yrm100* virtual_module() { return nullptr; }
    /// What the app's UART is wired to instead of a virtual device (a serial port), or null.
    virtual const host::UartPeer* uart_peer() const { return nullptr; }
    /// The virtual accelerometer, or null.
    virtual Mx2125* virtual_sensor() { return nullptr; }
    /// Starts walking or stops at the end of the step in progress; false when the app has no
    /// walk to take (corvane, or a sensor replaying a trace).
    virtual bool walk(bool /*walking*/) { return false; }
};

} // namespace sim
