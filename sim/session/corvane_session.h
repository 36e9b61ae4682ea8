#pragma once
// corvane as a user runs it, on the host runtime: the app's thread runs uhf_app_main with the
// GUI, notification, storage, dolphin and dialogs services around it and the virtual YRM100 (or
// a real module through a serial bridge) on USART1. Steps are the ones a scenario is made of:
// short and long presses of each key, typing into the text input, waits, tags entering and
// leaving the field, module faults, and checks of the screen text, the SD card's files, log
// lines, the LED and the 5 V output. Tests, the scenario runner and the interactive front-end
// share it.
//
//     sim::CorvaneSession app;
//     app.module().add_tag(spec);
//     app.start();
//     app.wait_for("Module Info");
//     app.press(InputKeyRight);
#include <furi.h>
#include <furi_hal.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/uhf_app.h"
#include "app_program.h"
#include "app_session.h"
#include "app_thread.h"
#include "devices/yrm100.h"
#include "host/dolphin.h"
#include "host/gui.h"
#include "host/memory.h"
#include "host/notification.h"
#include "host/runtime.h"
#include "host/storage.h"
#if __has_include("host/dialogs.h")
#include "host/dialogs.h"
#define CORVANE_DRIVER_HAS_DIALOGS 1
#else
#define CORVANE_DRIVER_HAS_DIALOGS 0
#endif

namespace sim {

using host::ms;

struct CorvaneSessionOptions {
    Yrm100Config module;
    /// The module starts unplugged (it hears and says nothing until plugged in).
    bool module_absent = false;
    /// What USART1 is wired to instead of the virtual module (a serial bridge to a real one).
    /// Called once, with the runtime; the session owns the result.
    std::function<std::unique_ptr<host::UartPeer>(host::Runtime&)> uart_peer;
    /// The host folder that plays the SD card, kept after the run. Empty: a fresh temporary
    /// folder, removed at the end.
    std::filesystem::path sd_root;
    /// Pace virtual time to the wall clock, `speed` virtual seconds per second.
    bool realtime = false;
    double speed = 1.0;
    /// Echo the runtime's log to stderr.
    bool echo_log = false;
    /// Run this package (.fap) on the emulator instead of the host build.
    std::filesystem::path fap;
};

class CorvaneSession : public AppSession {
public:
    static constexpr const char* kAppId = "corvane";
    static constexpr std::uint32_t kStack = 4096;
    /// What a press leaves for the app to react: the input service's timing plus a margin.
    static constexpr host::Nanos kSettle = ms(20);

    explicit CorvaneSession(CorvaneSessionOptions options = {})
        : rt_(session_runtime_options(options.echo_log, options.realtime, options.speed))
        , sd_root_(options.sd_root.empty() ? make_sd_root() : options.sd_root)
        , own_sd_root_(options.sd_root.empty())
        , gui_(rt_)
        , notifications_(rt_)
        , storage_(rt_, sd_root_, kAppId)
        , dolphin_(rt_)
        ,
#if CORVANE_DRIVER_HAS_DIALOGS
        dialogs_(rt_)
        ,
#endif
        peer_(options.uart_peer ? options.uart_peer(rt_) : nullptr)
        , module_(peer_ ? nullptr : std::make_unique<Yrm100>(rt_, options.module)) {
        if(module_ && options.module_absent) module_->set_unplugged(true);
        program_ = options.fap.empty() ? AppProgram::host(uhf_app_main, kStack) :
                                         AppProgram::package(options.fap);
        live_before_ = host::memory::stats().live_blocks;
    }

    ~CorvaneSession() override {
        if(thread_.started()) quit();
        if(own_sd_root_) {
            std::error_code error;
            std::filesystem::remove_all(sd_root_, error);
        }
    }

    CorvaneSession(const CorvaneSession&) = delete;
    CorvaneSession& operator=(const CorvaneSession&) = delete;

    std::string_view app() const override {
        return kAppId;
    }

    // --- the app ---------------------------------------------------------------------------
    /// Starts uhf_app_main on its own thread, as the loader does, and lets it draw.
    void start() override {
        thread_.start(kAppId, program_.stack, program_.entry, program_.context);
        wait(50);
    }
    bool running() const override {
        return thread_.running();
    }
    /// Presses Back until the app ends (at most `presses` times); its return code.
    std::optional<int32_t> quit(int presses = 12) override {
        for(int i = 0; i < presses && running(); ++i) press(InputKeyBack);
        return join();
    }
    /// Waits for the app's thread once it has ended; nothing when it still runs.
    std::optional<int32_t> join() {
        return thread_.join();
    }
    /// Heap blocks the app still holds beyond what existed when the driver was made (a
    /// package's own heap counts too).
    std::ptrdiff_t leaked_blocks() const {
        const std::size_t guest = program_.machine ? program_.machine->memory().heap().live_blocks() : 0;
        return static_cast<std::ptrdiff_t>(host::memory::stats().live_blocks + guest) -
               static_cast<std::ptrdiff_t>(live_before_);
    }
    /// The emulator running the package, or null for the host build.
    fap::Machine* machine() { return program_.machine.get(); }

    // --- input and time --------------------------------------------------------------------
    void press(InputKey key) override {
        settle_after(gui_.input().short_press(key));
    }
    void long_press(InputKey key) override {
        settle_after(gui_.input().long_press(key));
    }
    void wait(std::uint32_t milliseconds) override {
        rt_.run_for(ms(milliseconds));
    }
    /// Lets time pass until the screen shows `text` (or `timeout_ms` passed); whether it does.
    bool wait_for(std::string_view text, std::uint32_t timeout_ms = 5000) {
        for(std::uint32_t waited = 0; waited <= timeout_ms; waited += 10) {
            if(screen().contains(text)) return true;
            wait(10);
        }
        return false;
    }
    /// Lets time pass until the screen no longer shows `text`.
    bool wait_until_gone(std::string_view text, std::uint32_t timeout_ms = 5000) {
        for(std::uint32_t waited = 0; waited <= timeout_ms; waited += 10) {
            if(!screen().contains(text)) return true;
            wait(10);
        }
        return false;
    }

    // --- the text input --------------------------------------------------------------------
    /// Types `text` (lower-case letters, digits and '_') on the on-screen keyboard, key by key,
    /// finding the selected key on the screen. False when a key could not be reached. As on the
    /// device, a letter typed into an empty field comes out upper case.
    bool type(std::string_view text) override {
        for(char c : text) {
            if(!select_key(static_cast<char>(std::tolower(static_cast<unsigned char>(c)))))
                return false;
            press(InputKeyOk);
        }
        return true;
    }
    /// Moves to the save key and presses it.
    bool save_text() {
        if(!select_key('\r')) return false;
        press(InputKeyOk);
        return true;
    }
    /// The text shown in the input's field (the line at the field's baseline).
    std::string field_text() const {
        const host::Screen s = screen();
        for(const auto& t : s.texts()) {
            if(t.font == FontSecondary && t.baseline > 14 && t.baseline < 26 && t.origin_x < 10)
                return t.text;
        }
        return {};
    }

    // --- the screen ------------------------------------------------------------------------
    host::Screen screen() const override {
        return gui_.screen();
    }
    bool shows(std::string_view text) const {
        return screen().contains(text);
    }
    std::vector<std::string> texts() const {
        return screen().strings();
    }
    std::string describe() const {
        return screen().describe_texts();
    }
    /// The highlighted item of a menu: the label drawn on the dark selection bar.
    std::string selected_menu_item() const {
        const host::Screen s = screen();
        for(const auto& t : s.texts()) {
            if(t.font == FontSecondary && t.origin_x < 12 &&
               s.pixel(t.origin_x - 3, t.baseline - 3))
                return t.text;
        }
        return {};
    }

    // --- the module and the field ----------------------------------------------------------
    /// The virtual module; a furi_check failure when USART1 goes to a bridge instead.
    Yrm100& module() {
        furi_check(module_ != nullptr);
        return *module_;
    }
    const Yrm100& module() const {
        furi_check(module_ != nullptr);
        return *module_;
    }
    Yrm100* virtual_module() override {
        return module_.get();
    }
    /// What USART1 is wired to instead of the virtual module, or null.
    host::UartPeer* uart_peer() {
        return peer_.get();
    }
    Yrm100::TagId add_tag(const yrm100::TagSpec& spec) {
        return module().add_tag(spec);
    }
    void remove_tag(Yrm100::TagId id) {
        module().remove_tag(id);
    }
    void unplug(bool unplugged = true) {
        module().set_unplugged(unplugged);
    }
    /// Command codes the module received, in order.
    std::vector<std::uint8_t> commands() const {
        std::vector<std::uint8_t> codes;
        for(const auto& frame : module().requests()) codes.push_back(frame.command);
        return codes;
    }
    /// Bytes the app sent on the module's line that are not part of a command frame.
    std::size_t stray_bytes_to_module() {
        std::size_t framed = 0;
        for(const auto& frame : module().requests()) framed += frame.raw.size();
        const std::size_t sent = rt_.uart(FuriHalUartIdUSART1).transmitted().size();
        return sent > framed ? sent - framed : 0;
    }

    // --- files -----------------------------------------------------------------------------
    std::filesystem::path sd_root() const override {
        return sd_root_;
    }
    /// The host path of a file in corvane's data folder.
    std::filesystem::path data_file(const std::string& name) const {
        return sd_root_ / "apps_data" / kAppId / name;
    }
    void write_data_file(const std::string& name, const std::string& content) const {
        std::filesystem::create_directories(data_file(name).parent_path());
        std::ofstream(data_file(name), std::ios::binary) << content;
    }
    std::optional<std::string> read_data_file(const std::string& name) const {
        std::ifstream in(data_file(name), std::ios::binary);
        if(!in) return std::nullopt;
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }
    /// Names of the files in the data folder, sorted.
    std::vector<std::string> data_files() const {
        std::vector<std::string> names;
        std::error_code error;
        for(const auto& entry :
            std::filesystem::directory_iterator(sd_root_ / "apps_data" / kAppId, error)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // --- outputs ---------------------------------------------------------------------------
    bool otg_on() const {
        return rt_.otg_enabled();
    }
    host::NotificationState led() const override {
        return notifications_.state();
    }
    bool blinking_cyan() const {
        const auto s = notifications_.state();
        return s.blinking && s.blink_color == host::Rgb{0, 255, 255};
    }
    host::NotificationService& notifications() {
        return notifications_;
    }
    host::DolphinService& dolphin() {
        return dolphin_;
    }
    host::LogCapture& log() override {
        return rt_.log();
    }
    host::Runtime& runtime() override {
        return rt_;
    }
    host::GuiService& gui() {
        return gui_;
    }
    /// The SD card's service, for its faults (no card, read-only, full, I/O errors).
    host::StorageService& storage() {
        return storage_;
    }

private:
    static std::filesystem::path make_sd_root() {
        static int counter = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        return std::filesystem::temp_directory_path() /
               ("corvane_sd_" + std::to_string(::getpid()) + "_" + std::to_string(stamp) + "_" +
                std::to_string(counter++));
    }

    void settle_after(host::Nanos at) {
        rt_.run_for(at - rt_.now() + kSettle);
    }

    // The on-screen keyboard as the device draws it: '\b' backspace, '\r' save. A character key's
    // glyph sits at x + 1 of its table position; the selected one is a dark 7x10 box from x and
    // 8 rows above the baseline. The two picture keys are drawn filled when selected.
    static constexpr std::string_view kRows[3] = {
        "qwertyuiop0123",
        "asdfghjkl\b456",
        "zxcvbnm_\r789"};
    static constexpr std::uint8_t kKeyX[3][14] = {
        {1, 10, 19, 28, 37, 46, 55, 64, 73, 82, 91, 100, 110, 120},
        {1, 10, 19, 28, 37, 46, 55, 64, 73, 82, 100, 110, 120},
        {1, 10, 19, 28, 37, 46, 55, 64, 74, 100, 110, 120},
    };
    static constexpr int kBaseline[3] = {37, 49, 61};
    struct PictureKey {
        int row, column;
        host::Rect rect;
    };
    static constexpr PictureKey kPictureKeys[2] = {
        {1, 9, {83, 41, 16, 9}},
        {2, 8, {75, 52, 24, 11}}};

    struct KeyPos {
        int row = -1;
        int column = -1;
    };

    static KeyPos position_of(char c) {
        for(int r = 0; r < 3; ++r) {
            const auto column = kRows[r].find(c);
            if(column != std::string_view::npos) return {r, static_cast<int>(column)};
        }
        return {};
    }

    /// The selected key, read off the screen's pixels.
    std::optional<KeyPos> selected_key() const {
        const host::Screen s = screen();
        for(int r = 0; r < 3; ++r) {
            for(int k = 0; k < static_cast<int>(kRows[r].size()); ++k) {
                const char c = kRows[r][static_cast<std::size_t>(k)];
                if(c == '\b' || c == '\r') continue;
                if(s.pixel(kKeyX[r][k], kBaseline[r] - 4) &&
                   s.pixel(kKeyX[r][k], kBaseline[r] - 7))
                    return KeyPos{r, k};
            }
        }
        for(const PictureKey& key : kPictureKeys) {
            int set = 0;
            for(int y = key.rect.y; y < key.rect.y + key.rect.height; ++y) {
                for(int x = key.rect.x; x < key.rect.x + key.rect.width; ++x)
                    set += s.pixel(x, y) ? 1 : 0;
            }
            if(set * 5 > key.rect.width * key.rect.height * 3) return KeyPos{key.row, key.column};
        }
        return std::nullopt;
    }

    bool select_key(char c) {
        const KeyPos target = position_of(c);
        if(target.row < 0) return false;
        // Picture keys cannot be read off the screen; after a move along a row the position
        // follows from the one before.
        std::optional<KeyPos> inferred;
        for(int step = 0; step < 60; ++step) {
            std::optional<KeyPos> at = selected_key();
            if(!at) at = inferred;
            inferred.reset();
            if(!at) {
                press(InputKeyLeft); // off a picture key onto a character
                continue;
            }
            if(at->row == target.row && at->column == target.column) return true;
            if(at->row != target.row) {
                press(at->row < target.row ? InputKeyDown : InputKeyUp);
                continue;
            }
            const int size = static_cast<int>(kRows[at->row].size());
            const bool right = at->column < target.column;
            press(right ? InputKeyRight : InputKeyLeft);
            inferred = KeyPos{at->row, (at->column + (right ? 1 : size - 1)) % size};
        }
        return false;
    }

    host::Runtime rt_;
    std::filesystem::path sd_root_;
    bool own_sd_root_;
    host::GuiService gui_;
    host::NotificationService notifications_;
    host::StorageService storage_;
    host::DolphinService dolphin_;
#if CORVANE_DRIVER_HAS_DIALOGS
    host::DialogsService dialogs_;
#endif
    std::unique_ptr<host::UartPeer> peer_;
    std::unique_ptr<Yrm100> module_;
    AppProgram program_;
    AppThread thread_;
    std::size_t live_before_ = 0;
};

} // namespace sim
