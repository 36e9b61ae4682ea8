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
#include "host/dialogs.h"
#include "host/keyboard.h"

namespace sim {

using host::ms;

struct CorvaneSessionOptions {
    /// The build of the app: for API 36.0 (the default) or 86.0.
    AppApi api = AppApi::V36;
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
        , api_(options.api)
        , api_services_(rt_, options.api)
        , sd_root_(options.sd_root.empty() ? make_sd_root() : options.sd_root)
        , own_sd_root_(options.sd_root.empty())
        , gui_(rt_)
        , notifications_(rt_)
        , storage_(rt_, sd_root_, kAppId)
        , dolphin_(rt_)
        , dialogs_(rt_)
        , peer_(options.uart_peer ? options.uart_peer(rt_) : nullptr)
        , module_(peer_ ? nullptr : std::make_unique<Yrm100>(rt_, options.module)) {
        if(module_ && options.module_absent) module_->set_unplugged(true);
        try {
            program_ = AppProgram::pick(kAppId, api_, options.fap, kStack);
        } catch(...) {
            // The destructor does not run for a session that was never made.
            if(own_sd_root_) {
                std::error_code error;
                std::filesystem::remove_all(sd_root_, error);
            }
            throw;
        }
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
    /// Starts the app (uhf_app_main of the build for the session's API, or the package) on its
    /// own thread, as the loader does, and lets it draw.
    void start() override {
        thread_.start(kAppId, program_.stack, program_.entry, program_.context);
        wait(50);
    }
    AppApi api() const {
        return api_;
    }
    /// The expansion service at API 86.0; null at 36.0.
    host::ExpansionService* expansion() {
        return api_services_.expansion();
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
    /// Types `text` (letters, digits and '_'; '\b' and '\r' press the backspace and save keys)
    /// on the on-screen keyboard, key by key, finding the selected key on the screen. A key that
    /// could not be reached stops it; so does a character the field did not take (the text input
    /// holds 21), which with the rest is reported as dropped. As on the device, a letter typed
    /// into an empty field comes out upper case.
    Typed type(std::string_view text) override {
        Typed out;
        for(std::size_t i = 0; i < text.size(); ++i) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
            if(!select_key(c)) {
                out.reached = false;
                return out;
            }
            const std::string before = field_text();
            press(InputKeyOk);
            const bool character = c != host::keyboard::kBackspace && c != host::keyboard::kSave;
            if(character && field_text() == before) {
                out.dropped = std::string(text.substr(i));
                return out;
            }
        }
        return out;
    }
    /// Moves to the save key and presses it.
    bool save_text() {
        if(!select_key('\r')) return false;
        press(InputKeyOk);
        return true;
    }
    /// The text shown in the input's field (the line at the field's baseline, not the cursor).
    std::string field_text() const {
        const host::Screen s = screen();
        for(const auto& t : s.texts()) {
            if(t.font == FontSecondary && t.baseline > 14 && t.baseline < 26 && t.origin_x < 10 &&
               t.text.find_first_not_of('|') != std::string::npos)
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
    const host::UartPeer* uart_peer() const override {
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
    host::GuiService& gui() override {
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

    // Keys are found on the screen from the keyboard's layout: a selected character key is a
    // dark 7x10 box from its table x and 8 rows above its baseline; the two picture keys are
    // drawn filled when selected.
    using KeyPos = host::keyboard::Position;

    /// The selected key, read off the screen's pixels.
    std::optional<KeyPos> selected_key() const {
        namespace kb = host::keyboard;
        const host::Screen s = screen();
        for(int r = 0; r < kb::kRowCount; ++r) {
            for(int k = 0; k < static_cast<int>(kb::kRows[r].size()); ++k) {
                const kb::Key& key = kb::kRows[r][static_cast<std::size_t>(k)];
                if(key.c == kb::kBackspace || key.c == kb::kSave) continue;
                const int baseline = kb::kOriginY + key.y;
                if(s.pixel(key.x, baseline - 4) && s.pixel(key.x, baseline - 7))
                    return KeyPos{r, k};
            }
        }
        for(const char picture : {kb::kBackspace, kb::kSave}) {
            const KeyPos at = *kb::find(picture);
            const kb::Key& key = kb::kRows[at.row][static_cast<std::size_t>(at.column)];
            const bool save = picture == kb::kSave;
            const host::Rect rect{
                kb::kOriginX + key.x,
                kb::kOriginY + key.y,
                save ? kb::kSaveWidth : kb::kBackspaceWidth,
                save ? kb::kSaveHeight : kb::kBackspaceHeight};
            int set = 0;
            for(int y = rect.y; y < rect.y + rect.height; ++y) {
                for(int x = rect.x; x < rect.x + rect.width; ++x) set += s.pixel(x, y) ? 1 : 0;
            }
            if(set * 5 > rect.width * rect.height * 3) return at;
        }
        return std::nullopt;
    }

    bool select_key(char c) {
        const auto found = host::keyboard::find(c);
        if(!found) return false;
        const KeyPos target = *found;
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
            const int size = static_cast<int>(host::keyboard::kRows[at->row].size());
            const bool right = at->column < target.column;
            press(right ? InputKeyRight : InputKeyLeft);
            inferred = KeyPos{at->row, (at->column + (right ? 1 : size - 1)) % size};
        }
        return false;
    }

    host::Runtime rt_;
    AppApi api_;
    ApiServices api_services_;
    std::filesystem::path sd_root_;
    bool own_sd_root_;
    host::GuiService gui_;
    host::NotificationService notifications_;
    host::StorageService storage_;
    host::DolphinService dolphin_;
    host::DialogsService dialogs_;
    std::unique_ptr<host::UartPeer> peer_;
    std::unique_ptr<Yrm100> module_;
    AppProgram program_;
    AppThread thread_;
    std::size_t live_before_ = 0;
};

} // namespace sim
