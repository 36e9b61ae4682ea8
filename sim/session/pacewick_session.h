#pragma once
// pacewick as a user runs it, on the host runtime: the app's thread runs pacewick_app with the
// GUI service around it and a virtual MX2125 on PC0. The sensor's pulses begin once the app has
// hooked its interrupt; walking starts and stops when told.
//
//     sim::PacewickSession app(config);
//     app.start();
//     app.press(InputKeyOk);        // START
//     app.virtual_sensor()->set_gait(sim::GaitParams{});
//     app.walk(true);
//     app.wait(20'000);

#include <memory>

#include "app_program.h"
#include "app_session.h"
#include "app_thread.h"
#include "devices/mx2125.h"
#include "host/gui.h"

namespace sim {

struct PacewickSessionOptions {
    /// The build of the app: for API 36.0 (the default) or 86.0.
    AppApi api = AppApi::V36;
    Mx2125Config sensor;
    bool realtime = false;
    double speed = 1.0;
    bool echo_log = false;
    /// Headless runs stop with a crash once virtual time passes this (realtime runs never do).
    host::Nanos virtual_time_limit = host::RuntimeOptions{}.virtual_time_limit;
    /// Run this package (.fap) on the emulator instead of the host build.
    std::filesystem::path fap;
};

class PacewickSession final : public AppSession {
public:
    static constexpr const char* kAppId = "pacewick";
    static constexpr std::uint32_t kStack = 2048;
    /// What a press leaves for the app to react: the input service's timing plus a margin.
    static constexpr host::Nanos kSettle = host::ms(20);

    explicit PacewickSession(PacewickSessionOptions options = {});
    ~PacewickSession() override;
    PacewickSession(const PacewickSession&) = delete;
    PacewickSession& operator=(const PacewickSession&) = delete;

    std::string_view app() const override { return kAppId; }
    void start() override;
    bool running() const override;
    std::optional<int32_t> quit(int presses = 12) override;
    void press(InputKey key) override;
    void long_press(InputKey key) override;
    void wait(std::uint32_t milliseconds) override;
    host::Screen screen() const override { return gui_.screen(); }
    host::GuiService& gui() override { return gui_; }
    host::Runtime& runtime() override { return rt_; }
    host::LogCapture& log() override { return rt_.log(); }
    host::NotificationState led() const override { return {}; }
    Mx2125* virtual_sensor() override { return &sensor_; }
    AppApi api() const { return api_; }
    /// The expansion service at API 86.0; null at 36.0.
    host::ExpansionService* expansion() { return api_services_.expansion(); }
    Mx2125& sensor() { return sensor_; }
    /// The emulator running the package, or null for the host build.
    fap::Machine* machine() { return program_.machine.get(); }

    /// Starts walking or stops at the end of the step in progress; false when the sensor
    /// follows no gait (a trace, or a fixed reading).
    bool walk(bool walking) override;
    /// The count the screen shows ("Steps: N"), if it shows one.
    std::optional<long> counted_steps() const;

private:
    host::Runtime rt_;
    AppApi api_;
    ApiServices api_services_;
    host::GuiService gui_;
    Mx2125 sensor_;
    AppProgram program_;
    AppThread thread_;
};

} // namespace sim
