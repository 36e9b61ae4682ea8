#include "web_live.h"

#include <json/json.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "assets.h"
#include "devices/gait.h"
#include "devices/mx2125.h"
#include "devices/yrm100.h"
#include "outbox.h"
#include "protocol.h"
#include "scenario/recorder.h"
#include "scenario/yaml_reader.h"
#include "server.h"
#include "session/colours.h"
#include "session/controls.h"
#include "session/pacewick_session.h"

namespace sim::web {
namespace {

namespace fs = std::filesystem;
using host::Nanos;
using Clock = std::chrono::steady_clock;

/// Card files shown or downloaded are at most this big.
constexpr std::uintmax_t kMaxReadBytes = 1 << 20;
/// Files listed at most.
constexpr std::size_t kMaxListed = 500;
/// The status goes out when it changes, and at least this often (the page runs the clock on
/// between).
constexpr auto kStatusEvery = std::chrono::seconds(1);
constexpr auto kFilesEvery = std::chrono::milliseconds(250);
constexpr auto kSlowEvery = std::chrono::milliseconds(200);

double wall_ms_now() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// A file name the card folder may take: 1 to 64 letters, digits, ' ', '_', '-', '.', not
/// beginning with '.'. Why not, or empty.
std::string bad_name(const std::string& name) {
    if(name.empty()) return "a file needs a name";
    if(name.size() > 64) return "a file name has at most 64 characters";
    if(name.front() == '.') return "a file name may not begin with '.'";
    for(char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == ' ' || c == '_' || c == '-' || c == '.';
        if(!ok)
            return "'" + name.substr(0, 64) +
                   "': a file name takes letters, digits, spaces, '_', '-' and '.' only";
    }
    return {};
}

/// Hex bytes of a bank: pairs of digits, spaces or dashes between; whole 16-bit words, at most
/// `max` bytes. Why not, or empty.
std::string
    parse_bank(const std::string& text, const char* what, std::size_t max, yrm100::Bytes& out) {
    if(auto error = scenario::detail::parse_hex(text, out))
        return std::string(what) + ": " + *error;
    if(out.size() % 2 != 0)
        return std::string(what) + ": " + std::to_string(out.size()) +
               " bytes; the bank holds 16-bit words, so an even count";
    if(out.size() > max)
        return std::string(what) + ": " + std::to_string(out.size()) + " bytes; at most " +
               std::to_string(max);
    return {};
}

class Inbox {
public:
    struct Item {
        ClientId client;
        Command command;
    };
    void push(ClientId client, Command command) {
        std::lock_guard lock(mutex_);
        items_.push_back({client, std::move(command)});
    }
    std::vector<Item> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(items_, {});
    }

private:
    std::mutex mutex_;
    std::vector<Item> items_;
};

/// The session's side of the page: commands applied, state published. Everything here runs on
/// the session's thread, except the pulse listener (interrupt context, under its own lock).
class Live {
public:
    Live(AppSession& session, Outbox& out, const WebOptions& options);
    ~Live();
    Live(const Live&) = delete;
    Live& operator=(const Live&) = delete;

    void handle(const Inbox::Item& item);
    /// Publishes what changed.
    void tick();

private:
    void answer(ClientId client, bool ok, const std::string& text, bool exists = false);
    /// Whether `client` drives the app; tells it otherwise.
    bool driving(ClientId client);
    bool app_running(ClientId client);
    Nanos now() const { return session_.runtime().now(); }
    /// Virtual time since the recording began.
    Nanos rec_time() const { return now() - rec_start_; }
    void release_keys();
    /// The virtual module; tells the page why there is none.
    Yrm100* module(ClientId client);
    /// A tag of the field by its number, shown on the page; tells the page otherwise.
    std::optional<Yrm100::TagId> tag(ClientId client, std::size_t number);
    fs::path data_folder() const;
    std::string card_path(const std::string& name) const;

    void on(ClientId, const command::Key&);
    void on(ClientId, const command::Type&);
    void on(ClientId, const command::Erase&);
    void on(ClientId, const command::Save&);
    void on(ClientId, const command::Control&);
    void on(ClientId, const command::TagAdd&);
    void on(ClientId, const command::TagEdit&);
    void on(ClientId, const command::TagField&);
    void on(ClientId, const command::TagRemove&);
    void on(ClientId, const command::Plug&);
    void on(ClientId, const command::Fault&);
    void on(ClientId, const command::RefuseWrite&);
    void on(ClientId, const command::FileRead&);
    void on(ClientId, const command::FileDelete&);
    void on(ClientId, const command::FileUpload&);
    void on(ClientId, const command::Walk&);
    void on(ClientId, const command::Gait&);
    void on(ClientId, const command::Shot&);
    void on(ClientId, const command::Record&);
    void on(ClientId, const command::Expect&);
    void on(ClientId, const command::Start&);
    /// Types on the on-screen keyboard; records it with `record`.
    void keyboard(
        ClientId client,
        const std::string& keys,
        const std::function<void(Nanos, Nanos)>& record);

    void publish_hello();
    void publish_app();
    void publish_status(bool force);
    void publish_module();
    void publish_files(bool force);
    void publish_walk();
    void publish_record();
    std::string replay_options() const;

    AppSession& session_;
    Outbox& out_;
    const WebOptions& options_;
    std::uint64_t control_epoch_ = 0;
    struct Held {
        Nanos since = 0;
        ClientId by = 0;
    };
    std::map<InputKey, Held> held_;  ///< keys down: since when, by which page
    std::set<Yrm100::TagId> hidden_; ///< tags removed from the page's list

    std::optional<scenario::Recorder> recorder_;
    Nanos rec_start_ = 0;
    std::string last_recording_;

    bool was_running_ = true;
    std::optional<std::int32_t> exit_code_;
    std::optional<std::pair<host::NotificationState, bool>> status_state_;
    Clock::time_point status_at_{};
    /// A command was handled since the last tick: what it may have changed goes out at once.
    bool changed_ = true;
    Clock::time_point slow_at_{};
    std::uint64_t log_seen_ = 0;
    Clock::time_point files_at_{};
    bool files_dirty_ = true;
    int shots_ = 0;

    // pacewick's walk
    std::mutex pulses_mutex_;
    std::vector<std::pair<Nanos, Nanos>> pulses_;
    std::uint64_t true_base_ = 0; ///< steps of the gaits before the one now
    std::optional<long> counted_;
    bool gait_changed_ = false;
};

Live::Live(AppSession& session, Outbox& out, const WebOptions& options)
    : session_(session)
    , out_(out)
    , options_(options)
    , log_seen_(
          session.log().total() > Outbox::kStreamKeep ?
              session.log().total() - Outbox::kStreamKeep :
              0) {
    session_.gui().set_frame_callback(
        [this](const host::Screen& screen) { out_.frame(screen, wall_ms_now()); });
    out_.frame(session_.screen(), wall_ms_now());
    if(Mx2125* sensor = session_.virtual_sensor()) {
        sensor->set_pulse_listener([this](Nanos rise, Nanos high) {
            std::lock_guard lock(pulses_mutex_);
            if(pulses_.size() < 100'000) pulses_.emplace_back(rise, high);
        });
    }
    publish_hello();
    tick();
}

Live::~Live() {
    release_keys();
    session_.gui().set_frame_callback(nullptr);
    if(Mx2125* sensor = session_.virtual_sensor()) sensor->set_pulse_listener(nullptr);
}

void Live::answer(ClientId client, bool ok, const std::string& text, bool exists) {
    Json::Value reply;
    reply["t"] = "reply";
    reply["ok"] = ok;
    reply["text"] = text;
    if(exists) reply["exists"] = true;
    out_.reply(client, to_json(reply));
}

bool Live::driving(ClientId client) {
    if(out_.controller() == client) return true;
    answer(client, false, "another page drives the app: press \"Drive from here\" to take over");
    return false;
}

bool Live::app_running(ClientId client) {
    if(session_.running()) return true;
    answer(client, false, std::string(session_.app()) + " has ended: start it again first");
    return false;
}

void Live::release_keys() {
    for(const auto& [key, held] : held_) {
        session_.key_up(key);
        if(recorder_) recorder_->key(held.since - rec_start_, rec_time(), key);
    }
    held_.clear();
}

Yrm100* Live::module(ClientId client) {
    if(Yrm100* m = session_.virtual_module()) return m;
    answer(
        client,
        false,
        options_.real_module ? "the module is a real one (--uart): its field is its own" :
                               std::string(session_.app()) + " has no reader module");
    return nullptr;
}

std::optional<Yrm100::TagId> Live::tag(ClientId client, std::size_t number) {
    Yrm100* m = module(client);
    if(m == nullptr) return std::nullopt;
    const auto ids = m->tag_ids();
    const Yrm100::TagId id = number - 1;
    if(std::find(ids.begin(), ids.end(), id) == ids.end() || hidden_.contains(id)) {
        answer(client, false, "there is no tag " + std::to_string(number) + " (any more)");
        return std::nullopt;
    }
    return id;
}

fs::path Live::data_folder() const {
    const fs::path sd = session_.sd_root();
    if(sd.empty()) return {};
    return sd / "apps_data" / std::string(session_.app());
}

std::string Live::card_path(const std::string& name) const {
    return "/ext/apps_data/" + std::string(session_.app()) + "/" + name;
}

void Live::handle(const Inbox::Item& item) {
    changed_ = true;
    std::visit([&](const auto& command) { on(item.client, command); }, item.command);
}

// --- keys and typing ----------------------------------------------------------------------

void Live::on(ClientId client, const command::Key& k) {
    if(k.down) {
        if(!driving(client) || !app_running(client) || held_.contains(k.key)) return;
        held_[k.key] = Held{now(), client};
        session_.key_down(k.key);
        return;
    }
    // Only the page that pressed a key lets go of it (a watching page's refused press is
    // followed by its release too).
    const auto it = held_.find(k.key);
    if(it == held_.end() || it->second.by != client) return;
    session_.key_up(k.key);
    if(recorder_) {
        recorder_->key(it->second.since - rec_start_, rec_time(), k.key);
        publish_record();
    }
    held_.erase(it);
}

void Live::keyboard(
    ClientId client,
    const std::string& keys,
    const std::function<void(Nanos, Nanos)>& record) {
    if(!driving(client) || !app_running(client)) return;
    if(!shows_keyboard(session_.screen())) {
        answer(client, false, "no on-screen keyboard on this screen");
        return;
    }
    release_keys();
    const Nanos start = rec_time();
    if(!session_.type(keys)) {
        answer(client, false, "could not reach the keyboard's key");
        return;
    }
    if(recorder_) {
        record(start, rec_time());
        publish_record();
    }
}

void Live::on(ClientId client, const command::Type& t) {
    std::string text;
    for(char c : t.text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_';
        if(!ok) {
            answer(client, false, "the keyboard has letters, digits and _ only");
            return;
        }
        text += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    keyboard(client, text, [&](Nanos at, Nanos done) { recorder_->type(at, done, text); });
}

void Live::on(ClientId client, const command::Erase&) {
    keyboard(client, "\b", [&](Nanos at, Nanos done) { recorder_->backspace(at, done); });
}

void Live::on(ClientId client, const command::Save&) {
    keyboard(client, "\r", [&](Nanos at, Nanos done) { recorder_->save(at, done); });
}

void Live::on(ClientId client, const command::Control&) {
    out_.take_control(client);
}

// --- the module and its field -------------------------------------------------------------

void Live::on(ClientId client, const command::TagAdd& c) {
    if(!driving(client)) return;
    Yrm100* m = module(client);
    if(m == nullptr) return;
    yrm100::TagSpec spec;
    std::string why = parse_bank(c.epc, "EPC", scenario::detail::kMaxEpcBytes, spec.epc);
    if(why.empty()) why = parse_bank(c.tid, "TID", scenario::detail::kMaxTidBytes, spec.tid);
    if(why.empty()) why = parse_bank(c.user, "USER", scenario::detail::kMaxUserBytes, spec.user);
    if(!why.empty()) {
        answer(client, false, why);
        return;
    }
    spec.locks = c.locks;
    Yrm100::TagId id = 0;
    try {
        id = m->add_tag(spec);
    } catch(const std::invalid_argument& e) {
        answer(client, false, std::string("tag: ") + e.what());
        return;
    }
    if(recorder_) recorder_->tag_enter(rec_time(), id + 1, m->tag(id));
    answer(client, true, "tag " + std::to_string(id + 1) + " is in the field");
}

void Live::on(ClientId client, const command::TagEdit& c) {
    if(!driving(client)) return;
    const auto id = tag(client, c.tag);
    if(!id) return;
    Yrm100& m = *session_.virtual_module();
    yrm100::Bytes bytes;
    static constexpr std::size_t kMax[] = {
        0,
        scenario::detail::kMaxEpcBytes,
        scenario::detail::kMaxTidBytes,
        scenario::detail::kMaxUserBytes};
    static constexpr const char* kNames[] = {"", "EPC", "TID", "USER"};
    const auto bank = static_cast<std::size_t>(c.bank);
    if(const std::string why = parse_bank(c.data, kNames[bank], kMax[bank], bytes); !why.empty()) {
        answer(client, false, why);
        return;
    }
    try {
        if(c.bank == yrm100::Bank::Epc) {
            m.set_epc(*id, bytes);
        } else {
            m.set_bank(*id, c.bank, bytes);
        }
    } catch(const std::invalid_argument& e) {
        answer(client, false, std::string(kNames[bank]) + ": " + e.what());
        return;
    }
    if(recorder_) recorder_->tag_set(rec_time(), c.tag, c.bank, bytes);
    answer(client, true, "tag " + std::to_string(c.tag) + "'s " + kNames[bank] + " changed");
}

void Live::on(ClientId client, const command::TagField& c) {
    if(!driving(client)) return;
    const auto id = tag(client, c.tag);
    if(!id) return;
    Yrm100& m = *session_.virtual_module();
    if(m.in_field(*id) == c.in) return;
    if(c.in) {
        m.set_presence(*id, now(), std::nullopt);
        if(recorder_) recorder_->tag_enter(rec_time(), c.tag, m.tag(*id));
    } else {
        m.remove_tag(*id);
        if(recorder_) recorder_->tag_leave(rec_time(), c.tag);
    }
}

void Live::on(ClientId client, const command::TagRemove& c) {
    if(!driving(client)) return;
    const auto id = tag(client, c.tag);
    if(!id) return;
    Yrm100& m = *session_.virtual_module();
    if(m.in_field(*id)) {
        m.remove_tag(*id);
        if(recorder_) recorder_->tag_leave(rec_time(), c.tag);
    }
    hidden_.insert(*id);
}

void Live::on(ClientId client, const command::Plug& c) {
    if(!driving(client)) return;
    Yrm100* m = module(client);
    if(m == nullptr || m->unplugged() != c.plugged) return;
    m->set_unplugged(!c.plugged);
    if(recorder_) recorder_->module(rec_time(), c.plugged ? "plug" : "unplug");
}

void Live::on(ClientId client, const command::Fault& c) {
    if(!driving(client)) return;
    Yrm100* m = module(client);
    if(m == nullptr) return;
    m->arm_fault(fault_of(c.kind));
    if(recorder_) recorder_->module(rec_time(), fault_step(c.kind));
    answer(client, true, "the module's next reply: " + c.kind);
}

void Live::on(ClientId client, const command::RefuseWrite&) {
    if(!driving(client)) return;
    Yrm100* m = module(client);
    if(m == nullptr) return;
    m->refuse_writes(1);
    if(recorder_) recorder_->module(rec_time(), "{refuse-writes: 1}");
    answer(client, true, "the next write fails (insufficient power)");
}

// --- the card -------------------------------------------------------------------------------

void Live::on(ClientId client, const command::FileRead& c) {
    const fs::path folder = data_folder();
    if(folder.empty()) return answer(client, false, "this app has no SD card");
    if(const auto why = bad_name(c.name); !why.empty()) return answer(client, false, why);
    const fs::path path = folder / c.name;
    std::error_code error;
    if(!fs::is_regular_file(fs::symlink_status(path, error)))
        return answer(client, false, c.name + " is not on the card");
    if(fs::file_size(path, error) > kMaxReadBytes)
        return answer(client, false, c.name + " is over 1 MiB: take it from the card's folder");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if(!in) return answer(client, false, "cannot read " + c.name);
    Json::Value header;
    header["t"] = "file";
    header["name"] = c.name;
    header["download"] = c.download;
    out_.reply(client, envelope(header, bytes.str()), true);
}

void Live::on(ClientId client, const command::FileDelete& c) {
    if(!driving(client)) return;
    const fs::path folder = data_folder();
    if(folder.empty()) return answer(client, false, "this app has no SD card");
    if(const auto why = bad_name(c.name); !why.empty()) return answer(client, false, why);
    std::error_code error;
    const fs::path path = folder / c.name;
    if(!fs::is_regular_file(fs::symlink_status(path, error)) || !fs::remove(path, error))
        return answer(client, false, "cannot delete " + c.name + " (not a file on the card)");
    files_dirty_ = true;
    if(recorder_) recorder_->note("deleted " + card_path(c.name) + " from the page: not replayed");
    answer(client, true, c.name + " deleted");
}

void Live::on(ClientId client, const command::FileUpload& c) {
    if(!driving(client)) return;
    const fs::path folder = data_folder();
    if(folder.empty()) return answer(client, false, "this app has no SD card");
    if(const auto why = bad_name(c.name); !why.empty()) return answer(client, false, why);
    if(c.bytes.size() > kMaxUploadBytes) {
        return answer(
            client,
            false,
            c.name + " has " + std::to_string(c.bytes.size()) +
                " bytes: the card takes files of at most 64 KiB (65536 bytes) from here");
    }
    std::error_code error;
    const fs::path path = folder / c.name;
    const auto status = fs::symlink_status(path, error);
    if(fs::exists(status) && !fs::is_regular_file(status))
        return answer(client, false, c.name + " is on the card and is not a file");
    if(fs::exists(status) && !c.replace)
        return answer(client, false, c.name + " is on the card already", true);
    fs::create_directories(folder, error);
    // Written beside it and renamed over it: the app never sees half a file.
    const fs::path partial = folder / (".upload-" + c.name);
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(c.bytes.data(), static_cast<std::streamsize>(c.bytes.size()));
        if(!file) {
            fs::remove(partial, error);
            return answer(client, false, "cannot write " + c.name + " on the card");
        }
    }
    fs::rename(partial, path, error);
    if(error) {
        fs::remove(partial, error);
        return answer(client, false, "cannot write " + c.name + " on the card");
    }
    files_dirty_ = true;
    if(recorder_) recorder_->card_file(rec_time(), card_path(c.name), c.bytes);
    answer(client, true, c.name + " is on the card");
}

// --- the walk -------------------------------------------------------------------------------

void Live::on(ClientId client, const command::Walk& c) {
    if(!driving(client)) return;
    if(session_.virtual_sensor() == nullptr)
        return answer(client, false, std::string(session_.app()) + " has no sensor to walk with");
    if(!session_.walk(c.walking))
        return answer(client, false, "no walk to take: the sensor replays a trace (--trace)");
    if(recorder_) recorder_->walk(rec_time(), c.walking);
}

void Live::on(ClientId client, const command::Gait& c) {
    if(!driving(client)) return;
    Mx2125* sensor = session_.virtual_sensor();
    if(sensor == nullptr || !sensor->has_gait())
        return answer(client, false, "the sensor follows no walk here");
    if(c.cadence) {
        if(sensor->gait().walking(now()))
            return answer(client, false, "stop walking first: the cadence is the next walk's");
        GaitParams params = sensor->gait().params();
        params.cadence_hz = *c.cadence;
        true_base_ += sensor->true_steps().value_or(0);
        sensor->set_gait(params);
    }
    if(c.mount) sensor->set_mount(*mount_from_name(*c.mount));
    gait_changed_ = true;
    if(recorder_) {
        recorder_->note(
            "the walk changed here: replay with " + replay_options() + " (the cadence and " +
            "mount are fsim's options, not steps)");
    }
}

// --- screenshots, recording, the app ---------------------------------------------------------

void Live::on(ClientId client, const command::Shot&) {
    const auto png = session_.screen().to_png();
    char name[64];
    std::snprintf(
        name,
        sizeof name,
        "%.*s-%04d.png",
        static_cast<int>(session_.app().size()),
        session_.app().data(),
        ++shots_);
    Json::Value header;
    header["t"] = "png";
    header["name"] = name;
    out_.reply(
        client,
        envelope(header, std::string_view(reinterpret_cast<const char*>(png.data()), png.size())),
        true);
}

std::string Live::replay_options() const {
    std::string text = options_.replay_options;
    if(Mx2125* sensor = session_.virtual_sensor(); sensor != nullptr && sensor->has_gait()) {
        char gait[96];
        const auto mount = mount_name(sensor->config().mount);
        std::snprintf(
            gait,
            sizeof gait,
            "--cadence %.2f --mount %.*s",
            sensor->gait().params().cadence_hz,
            static_cast<int>(mount.size()),
            mount.data());
        text += (text.empty() ? "" : " ") + std::string(gait);
    }
    return text;
}

void Live::on(ClientId client, const command::Record& c) {
    if(!driving(client)) return;
    if(!c.on) {
        if(!recorder_) return answer(client, false, "not recording");
        release_keys();
        last_recording_ = recorder_->text();
        recorder_.reset();
        Json::Value message;
        message["t"] = "recording";
        message["name"] = std::string(session_.app()) + "-recording.yaml";
        message["text"] = last_recording_;
        out_.reply(client, to_json(message));
        publish_record();
        return;
    }
    if(recorder_) return answer(client, false, "recording already");
    // The recording replays from the app's start, so it starts the app again.
    release_keys();
    if(session_.running() && !session_.quit()) {
        return answer(
            client, false, "the app did not end on Back: bring it to its first screen and record");
    }
    session_.start();
    was_running_ = true;
    exit_code_.reset();
    rec_start_ = now();
    recorder_.emplace(std::string(session_.app()), replay_options());
    if(options_.real_module)
        recorder_->note("recorded with a real module (--uart): its replies are not in the file");
    // What the card and the field hold now is where the replay starts from.
    if(const fs::path folder = data_folder(); !folder.empty()) {
        std::error_code error;
        std::vector<fs::path> files;
        for(const auto& entry : fs::directory_iterator(folder, error)) {
            if(entry.is_regular_file(error) && !entry.is_symlink(error) &&
               entry.path().filename().string().front() != '.')
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for(const auto& path : files) {
            if(fs::file_size(path, error) > kMaxUploadBytes) {
                recorder_->note("not recorded: " + path.filename().string() + ", over 64 KiB");
                continue;
            }
            std::ifstream in(path, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            recorder_->card_file(0, card_path(path.filename().string()), bytes.str());
        }
    }
    if(Yrm100* m = session_.virtual_module()) {
        if(m->unplugged()) recorder_->module(0, "unplug");
        for(const auto id : m->tag_ids()) {
            if(m->in_field(id) && !hidden_.contains(id))
                recorder_->tag_enter(0, id + 1, m->tag(id));
        }
    }
    if(Mx2125* sensor = session_.virtual_sensor();
       sensor != nullptr && sensor->has_gait() && sensor->gait().walking(now()))
        recorder_->walk(0, true);
    publish_app();
    publish_record();
}

void Live::on(ClientId client, const command::Expect& c) {
    if(!recorder_) return answer(client, false, "a check goes into a recording: record first");
    if(!driving(client)) return;
    if(!session_.screen().contains(c.text))
        return answer(client, false, "\"" + c.text + "\" is not on the screen now");
    recorder_->expect_text(rec_time(), c.text);
    publish_record();
}

void Live::on(ClientId client, const command::Start&) {
    if(!driving(client)) return;
    if(session_.running()) return answer(client, false, "the app is running");
    session_.start();
    was_running_ = true;
    exit_code_.reset();
    publish_app();
}

// --- what the pages see -----------------------------------------------------------------------

void Live::publish_hello() {
    Json::Value hello;
    hello["t"] = "hello";
    hello["app"] = std::string(session_.app());
    const auto& runtime_options = session_.runtime().options();
    hello["speed"] = runtime_options.realtime ? runtime_options.realtime_speed : 1.0;
    hello["card"] = !data_folder().empty();
    if(!data_folder().empty()) hello["folder"] = card_path("").substr(0, card_path("").size() - 1);
    hello["walk"] = session_.virtual_sensor() != nullptr;
    if(session_.virtual_module() != nullptr) {
        hello["module"] = "virtual";
    } else if(options_.real_module) {
        hello["module"] = "real";
        hello["device"] = options_.real_module->device;
    }
    hello["max_upload"] = static_cast<Json::UInt>(kMaxUploadBytes);
    out_.topic("hello", to_json(hello));
}

void Live::publish_app() {
    Json::Value app;
    app["t"] = "app";
    app["running"] = session_.running();
    if(exit_code_) app["code"] = *exit_code_;
    out_.topic("app", to_json(app));
}

void Live::publish_status(bool force) {
    const host::NotificationState led = session_.led();
    const bool otg = session_.otg_on();
    const auto wall = Clock::now();
    if(!force && status_state_ && status_state_->first == led && status_state_->second == otg &&
       wall - status_at_ < kStatusEvery)
        return;
    status_state_.emplace(led, otg);
    status_at_ = wall;
    Json::Value status;
    status["t"] = "status";
    status["led"] = led.led.off() ? "off" : colour_hex(led.led);
    if(led.blinking) {
        Json::Value blink;
        blink["color"] = colour_hex(led.blink_color);
        blink["on"] = led.blink_on_ms;
        blink["period"] = led.blink_period_ms;
        status["blink"] = blink;
    }
    status["led_text"] = led_text(led);
    status["vibro"] = led.vibro;
    status["speaker"] = led.speaker_hz;
    status["otg"] = otg;
    status["vt"] = static_cast<double>(now()) / 1e9;
    out_.topic("status", to_json(status));
}

void Live::publish_module() {
    Json::Value module;
    module["t"] = "module";
    if(Yrm100* m = session_.virtual_module()) {
        module["kind"] = "virtual";
        module["plugged"] = !m->unplugged();
        Json::Value tags(Json::arrayValue);
        for(const auto id : m->tag_ids()) {
            if(hidden_.contains(id)) continue;
            const auto& t = m->tag(id);
            Json::Value tag;
            tag["n"] = static_cast<Json::UInt>(id + 1);
            tag["in"] = m->in_field(id);
            tag["epc"] = yrm100::to_hex(t.epc(), "");
            tag["tid"] = yrm100::to_hex(t.bytes(yrm100::Bank::Tid), "");
            tag["user"] = yrm100::to_hex(t.bytes(yrm100::Bank::User), "");
            char pc[8];
            std::snprintf(pc, sizeof pc, "%04X", t.pc());
            tag["pc"] = pc;
            Json::Value locks;
            locks["reserved"] = yrm100::lock_name(t.lock(yrm100::Bank::Reserved));
            locks["epc"] = yrm100::lock_name(t.lock(yrm100::Bank::Epc));
            locks["tid"] = yrm100::lock_name(t.lock(yrm100::Bank::Tid));
            locks["user"] = yrm100::lock_name(t.lock(yrm100::Bank::User));
            tag["locks"] = locks;
            tags.append(tag);
        }
        module["tags"] = tags;
    } else if(options_.real_module) {
        module["kind"] = "real";
        module["device"] = options_.real_module->device;
        const std::string problem =
            options_.real_module->problem ? options_.real_module->problem() : std::string();
        module["connected"] = problem.empty();
        if(!problem.empty()) module["problem"] = problem;
    } else {
        return;
    }
    out_.topic("module", to_json(module));
}

void Live::publish_files(bool force) {
    const fs::path folder = data_folder();
    if(folder.empty()) return;
    const auto wall = Clock::now();
    if(!force && !files_dirty_ && wall - files_at_ < kFilesEvery) return;
    files_at_ = wall;
    files_dirty_ = false;
    struct Entry {
        std::string name;
        std::uintmax_t size;
    };
    std::vector<Entry> entries;
    std::error_code error;
    for(const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if(name.front() == '.' || entry.is_symlink(error) || !entry.is_regular_file(error))
            continue;
        entries.push_back({name, entry.file_size(error)});
        if(entries.size() == kMaxListed) break;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.name < b.name;
    });
    Json::Value files;
    files["t"] = "files";
    files["folder"] = card_path("");
    Json::Value list(Json::arrayValue);
    for(const auto& e : entries) {
        Json::Value f;
        f["name"] = e.name;
        f["size"] = static_cast<Json::UInt64>(e.size);
        list.append(f);
    }
    files["files"] = list;
    out_.topic("files", to_json(files));
}

void Live::publish_walk() {
    Mx2125* sensor = session_.virtual_sensor();
    if(sensor == nullptr) return;
    std::vector<std::pair<Nanos, Nanos>> pulses;
    {
        std::lock_guard lock(pulses_mutex_);
        pulses.swap(pulses_);
    }
    // A plot needs no more than a point a few milliseconds of virtual time apart.
    const std::size_t every = pulses.size() > 64 ? pulses.size() / 64 : 1;
    std::vector<std::string> items;
    for(std::size_t i = 0; i < pulses.size(); i += every) {
        char item[48];
        std::snprintf(
            item,
            sizeof item,
            "[%.1f,%.1f]",
            static_cast<double>(pulses[i].first) / 1e6,
            static_cast<double>(pulses[i].second) / 1e3);
        items.emplace_back(item);
    }
    out_.stream("pulse", std::move(items));

    std::optional<long> counted;
    if(auto* pacewick = dynamic_cast<PacewickSession*>(&session_)) counted = pacewick->counted_steps();
    if(counted && counted_ && *counted > *counted_) {
        char item[48];
        std::snprintf(item, sizeof item, "[%.1f,%ld]", static_cast<double>(now()) / 1e6, *counted);
        out_.stream("step", {item});
    }
    counted_ = counted;

    Json::Value walk;
    walk["t"] = "walk";
    walk["period_ms"] = static_cast<double>(sensor->config().period) / 1e6;
    if(sensor->has_gait()) {
        walk["walking"] = sensor->gait().walking(now());
        walk["cadence"] = sensor->gait().params().cadence_hz;
        walk["mount"] = std::string(mount_name(sensor->config().mount));
        walk["true"] = static_cast<Json::UInt64>(true_base_ + sensor->true_steps().value_or(0));
    } else {
        walk["trace"] = true;
    }
    if(counted) walk["counted"] = static_cast<Json::Int64>(*counted);
    out_.topic("walk", to_json(walk));
}

void Live::publish_record() {
    Json::Value record;
    record["t"] = "record";
    record["on"] = recorder_.has_value();
    if(recorder_) record["steps"] = static_cast<Json::UInt64>(recorder_->steps());
    const std::string options = replay_options();
    record["replay"] = "fsim " + std::string(session_.app()) + (options.empty() ? "" : " ") +
                       options + " --scenario " + std::string(session_.app()) + "-recording.yaml";
    out_.topic("record", to_json(record));
}

void Live::tick() {
    if(const auto epoch = out_.control_epoch(); epoch != control_epoch_) {
        control_epoch_ = epoch;
        release_keys(); // the page that held them no longer drives
    }
    if(was_running_ && !session_.running()) {
        release_keys(); // else the input device keeps them down into the next start
        exit_code_ = session_.quit(0);
        was_running_ = false;
    }
    // What only commands or the app's rare writes change is looked at a few times a second.
    const auto wall = Clock::now();
    const bool slow = std::exchange(changed_, false) || wall - slow_at_ >= kSlowEvery;
    if(slow) {
        slow_at_ = wall;
        publish_app();
        publish_module();
    }
    publish_status(false);
    if(const auto total = session_.log().total(); total != log_seen_) {
        std::vector<std::string> items;
        for(const auto& line : session_.log().lines_since(log_seen_)) {
            Json::Value item;
            item["ms"] = line.tick;
            item["level"] = std::string(1, host::log_level_letter(line.level));
            item["tag"] = line.tag;
            item["text"] = line.text;
            items.push_back(to_json(item));
        }
        log_seen_ = total;
        out_.stream("log", std::move(items));
    }
    publish_files(false);
    publish_walk();
    if(gait_changed_) {
        gait_changed_ = false;
        publish_record();
    }
}

} // namespace

int run_web(AppSession& session, const WebOptions& options) {
    Inbox inbox;
    Outbox out;
    ServerOptions server_options;
    server_options.host = options.host;
    server_options.port = options.port;
    server_options.max_message = kMaxMessageBytes;
    server_options.assets = page_assets();
    ServerHandler handler;
    handler.opened = [&](ClientId client) { out.opened(client); };
    handler.closed = [&](ClientId client) {
        // Keys the page held are let go when the loop sees the driver change.
        out.closed(client);
    };
    handler.message =
        [&](ClientId client, bool binary, std::string_view data) -> std::optional<Close> {
        try {
            inbox.push(client, parse_command(binary, data));
        } catch(const ProtocolError& e) {
            return Close{kClosePolicy, e.what()};
        } catch(const std::exception& e) {
            // Nothing may leave the handler: it runs inside civetweb's C code.
            return Close{kClosePolicy, std::string("cannot read the message: ") + e.what()};
        }
        return std::nullopt;
    };
    Server server(server_options, handler);
    {
        Live live(session, out, options);
        out.start(server);
        // The sender writes to the server's pages: it stops before the server goes, however
        // this scope is left.
        struct StopSender {
            Outbox& out;
            ~StopSender() { out.stop(); }
        } stop_sender{out};
        if(options.serving) options.serving(server.url());

        const auto& runtime_options = session.runtime().options();
        const double speed = runtime_options.realtime ? runtime_options.realtime_speed : 1.0;
        // About 16 ms of wall time a step, however fast virtual time runs: a key's press and
        // release each reach the app within one.
        const auto step = static_cast<std::uint32_t>(std::clamp(16.0 * speed, 16.0, 500.0));
        while(!options.stop || !options.stop()) {
            for(const auto& item : inbox.take()) live.handle(item);
            session.wait(step);
            live.tick();
        }
    }
    return 0;
}

} // namespace sim::web
