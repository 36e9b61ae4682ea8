// Playing a parsed scenario on a session.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include "devices/yrm100.h"
#include "scenario.h"
#include "session/screen_text.h"
#include "session/corvane_session.h"

namespace sim::scenario {
namespace {

using Failure = std::optional<std::string>;

constexpr std::uint32_t kPollMs = 10;
/// What a held key's release leaves for the app to react, as a press leaves it.
constexpr std::uint32_t kSettleMs = 20;

std::string hex(const yrm100::Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for(auto b : bytes) {
        if(!out.empty()) out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out.empty() ? "(empty)" : out;
}

/// The drawn strings on one line, for a failure message.
std::string shown(const host::Screen& screen) {
    std::string out;
    for(const auto& text : screen.strings()) {
        std::string line = text;
        for(char& c : line) {
            if(c == '\n') c = ' ';
        }
        if(!out.empty()) out += ", ";
        out += "\"" + line + "\"";
    }
    return out.empty() ? "nothing (a blank screen)" : out;
}

std::string escaped(std::string_view text, std::size_t max = 120) {
    std::string out;
    for(char c : text.substr(0, max)) {
        if(c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    if(text.size() > max) out += "...";
    return out;
}

std::string color_name(host::Rgb c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
    return c.off() ? "off" : text;
}

class Runner {
public:
    Runner(const Scenario& scenario, AppSession& session, const RunOptions& options)
        : scenario_(scenario)
        , session_(session)
        , options_(options) {}

    Failure operator()(const Press& p) {
        for(unsigned i = 0; i < p.repeat; ++i) {
            if(!session_.running()) return std::string("the app has ended");
            if(p.hold_ms) {
                session_.key_down(p.key);
                session_.wait(*p.hold_ms);
                session_.key_up(p.key);
                session_.wait(kSettleMs);
            } else if(p.long_press) {
                session_.long_press(p.key);
            } else {
                session_.press(p.key);
            }
        }
        return std::nullopt;
    }

    Failure operator()(const Type& t) {
        if(t.backspace > 0 && !session_.type(std::string(t.backspace, '\b'))) {
            return "could not reach the keyboard's backspace key: screen shows " +
                   shown(session_.screen());
        }
        if(!t.text.empty() && !session_.type(t.text)) {
            return "could not type it (no keyboard on the screen?): screen shows " +
                   shown(session_.screen());
        }
        if(t.save) {
            auto* corvane = dynamic_cast<CorvaneSession*>(&session_);
            if(corvane == nullptr) return std::string("this app has no keyboard to save");
            if(!corvane->save_text())
                return "could not reach the save key: screen shows " + shown(session_.screen());
        }
        return std::nullopt;
    }

    Failure operator()(const Wait& w) {
        session_.wait(w.ms);
        return std::nullopt;
    }

    Failure operator()(const TagEnter& t) {
        Yrm100* module = session_.virtual_module();
        if(module == nullptr) return no_module();
        const auto id = module->add_tag(t.spec);
        if(t.id) tags_[*t.id] = id;
        return std::nullopt;
    }

    Failure operator()(const TagLeave& t) {
        Yrm100* module = session_.virtual_module();
        if(module == nullptr) return no_module();
        const auto it = tags_.find(t.id);
        if(it == tags_.end()) return "no tag '" + t.id + "' entered";
        if(!module->in_field(it->second)) return "tag '" + t.id + "' has left the field already";
        module->remove_tag(it->second);
        return std::nullopt;
    }

    Failure operator()(const TagSet& t) {
        Yrm100* module = session_.virtual_module();
        if(module == nullptr) return no_module();
        const auto it = tags_.find(t.id);
        if(it == tags_.end()) return "no tag '" + t.id + "' entered";
        try {
            if(t.bank == yrm100::Bank::Epc) {
                // The EPC as a programmer leaves it: the PC follows its length, a fresh CRC.
                module->set_epc(it->second, t.data);
            } else {
                module->set_bank(it->second, t.bank, t.data);
            }
        } catch(const std::exception& e) {
            return std::string("the tag refused it: ") + e.what();
        }
        return std::nullopt;
    }

    Failure operator()(const Module& m) {
        Yrm100* module = session_.virtual_module();
        if(module == nullptr) return no_module();
        switch(m.kind) {
        case Module::Kind::plug:
            module->set_unplugged(false);
            break;
        case Module::Kind::unplug:
            module->set_unplugged(true);
            break;
        case Module::Kind::clear_faults:
            module->clear_faults();
            module->refuse_reads(0);
            module->refuse_writes(0);
            break;
        case Module::Kind::refuse_writes:
            if(m.error) {
                module->refuse_writes(m.count, *m.error);
            } else {
                module->refuse_writes(m.count);
            }
            break;
        case Module::Kind::refuse_reads:
            if(m.error) {
                module->refuse_reads(m.count, *m.error);
            } else {
                module->refuse_reads(m.count);
            }
            break;
        case Module::Kind::fault:
            module->arm_fault(fault(m), m.exchange);
            break;
        }
        return std::nullopt;
    }

    Failure operator()(const Walk& w) {
        if(!session_.walk(w.ms ? true : w.start))
            return std::string("this app has no walk to take (or the sensor replays a trace)");
        if(w.ms) {
            session_.wait(*w.ms);
            session_.walk(false);
        }
        return std::nullopt;
    }

    Failure operator()(const ExpectText& e) {
        std::optional<std::regex> pattern;
        if(!e.pattern.empty()) pattern.emplace(e.pattern);
        const auto holds = [&] {
            const host::Screen screen = session_.screen();
            bool found = false;
            if(pattern) {
                for(const auto& text : screen.strings())
                    found = found || std::regex_match(text, *pattern);
            } else {
                found = screen.contains(e.text);
            }
            return found != e.absent;
        };
        if(poll(holds, e.timeout_ms)) return std::nullopt;
        return std::string(e.absent ? "still shown" : "not shown") + " after " +
               std::to_string(e.timeout_ms) + " ms: screen shows " + shown(session_.screen());
    }

    Failure operator()(const ExpectFile& e) {
        const auto file = card_file(e.path);
        if(!file) return std::string("this app has no SD card");
        std::string seen;
        const auto holds = [&] {
            std::error_code error;
            const bool exists = std::filesystem::is_regular_file(*file, error);
            if(!exists) {
                seen = "no such file";
                return !e.exists;
            }
            if(!e.exists) {
                seen = "the file exists";
                return false;
            }
            if(!e.content && !e.contains) return true;
            const auto size = std::filesystem::file_size(*file, error);
            if(error || size > kMaxFileBytes) {
                seen = "it cannot be read, or is larger than 1 MiB";
                return false;
            }
            std::ifstream in(*file, std::ios::binary);
            std::string content(static_cast<std::size_t>(size), '\0');
            in.read(content.data(), static_cast<std::streamsize>(content.size()));
            content.resize(static_cast<std::size_t>(in.gcount()));
            seen = "it holds \"" + escaped(content) + "\"";
            if(e.content && content != *e.content) return false;
            if(e.contains && content.find(*e.contains) == std::string::npos) return false;
            return true;
        };
        if(poll(holds, e.timeout_ms)) return std::nullopt;
        return e.path + ": " + seen;
    }

    Failure operator()(const ExpectLog& e) {
        const auto holds = [&] {
            for(const auto& line : session_.log().texts(e.tag)) {
                if(line.find(e.text) != std::string::npos) return true;
            }
            return false;
        };
        if(poll(holds, e.timeout_ms)) return std::nullopt;
        const auto lines = session_.log().texts(e.tag);
        if(lines.empty()) return "no log line under '" + e.tag + "'";
        std::string last;
        for(std::size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i) {
            last += (last.empty() ? "\"" : ", \"") + escaped(lines[i], 80) + "\"";
        }
        return "no line under '" + e.tag + "' holds it; the last: " + last;
    }

    Failure operator()(const ExpectLed& e) {
        const auto holds = [&] {
            const auto led = session_.led();
            if(e.blinking) return led.blinking && led.blink_color == e.color;
            return !led.blinking && led.led == e.color;
        };
        if(poll(holds, e.timeout_ms)) return std::nullopt;
        const auto led = session_.led();
        return "the LED is " + color_name(led.led) +
               (led.blinking ? ", blinking " + color_name(led.blink_color) : ", not blinking");
    }

    Failure operator()(const ExpectOtg& e) {
        if(poll([&] { return session_.otg_on() == e.on; }, e.timeout_ms)) return std::nullopt;
        return std::string("the 5 V output is ") + (e.on ? "off" : "on");
    }

    Failure operator()(const ExpectTag& e) {
        Yrm100* module = session_.virtual_module();
        if(module == nullptr) return no_module();
        const auto it = tags_.find(e.id);
        if(it == tags_.end()) return "no tag '" + e.id + "' entered";
        std::string seen;
        const auto holds = [&] {
            const yrm100::VirtualTag& tag = module->tag(it->second);
            const struct {
                const char* name;
                const std::optional<yrm100::Bytes>& want;
                yrm100::Bytes have;
            } banks[] = {
                {"EPC", e.epc, tag.epc()},
                {"TID", e.tid, tag.bytes(yrm100::Bank::Tid)},
                {"USER", e.user, tag.bytes(yrm100::Bank::User)},
            };
            for(const auto& bank : banks) {
                if(bank.want && *bank.want != bank.have) {
                    seen = std::string("its ") + bank.name + " is " + hex(bank.have);
                    return false;
                }
            }
            return true;
        };
        if(poll(holds, e.timeout_ms)) return std::nullopt;
        return "tag '" + e.id + "': " + seen;
    }

    Failure operator()(const Screenshot& s) {
        const host::Screen screen = session_.screen();
        std::filesystem::path saved;
        if(!s.save_to.empty()) {
            saved = s.save_to.is_absolute() ? s.save_to : screenshot_dir() / s.save_to;
            if(auto error = write(screen, saved)) return error;
        }
        if(s.compare_with.empty()) return std::nullopt;
        const auto golden = s.compare_with.is_absolute() ? s.compare_with :
                                                           folder() / s.compare_with;
        const char* update = std::getenv("UPDATE_GOLDEN");
        if(update != nullptr && std::string_view(update) == "1") return write(screen, golden);
        std::filesystem::path actual = saved;
        if(actual.empty())
            actual = golden.parent_path() / (golden.stem().string() + ".actual.png");
        std::string error;
        const auto expected = host::Screen::read_png(golden, &error);
        if(!expected) {
            write(screen, actual);
            return "cannot read the golden " + golden.string() + " (" + error +
                   "); the screen is in " + actual.string();
        }
        const auto pixel = screen.first_difference(*expected);
        if(!pixel) return std::nullopt;
        if(actual != saved) write(screen, actual);
        return "differs from " + golden.string() + " first at pixel (" + std::to_string(pixel->x) +
               ", " + std::to_string(pixel->y) + "): the screen has it " +
               (screen.pixel(pixel->x, pixel->y) ? "dark" : "light") + "; the screen is in " +
               actual.string() + "; screen shows " + shown(screen);
    }

    Failure operator()(const CardFile& c) {
        const auto file = card_file(c.path);
        if(!file) return std::string("this app has no SD card");
        std::error_code error;
        std::filesystem::create_directories(file->parent_path(), error);
        if(error)
            return "cannot make the folder " + file->parent_path().string() + ": " +
                   error.message();
        std::ofstream out(*file, std::ios::binary | std::ios::trunc);
        out << c.content;
        out.close();
        if(!out) return "cannot write " + file->string();
        return std::nullopt;
    }

private:
    static std::string no_module() {
        return "no virtual module (a real one on a serial port, or an app without one)";
    }

    static Yrm100Fault fault(const Module& m) {
        switch(m.fault) {
        case Module::Fault::silence:
            return yrm100_fault::silence();
        case Module::Fault::corrupt:
            return yrm100_fault::corrupt_byte(m.position, m.mask);
        case Module::Fault::cut_short:
            return yrm100_fault::cut_short(m.position);
        case Module::Fault::trailing:
            return yrm100_fault::trailing(m.bytes);
        case Module::Fault::noise:
            return yrm100_fault::noise(m.position, m.seed);
        case Module::Fault::delay:
            return yrm100_fault::delay(host::ms(m.delay_ms));
        }
        return yrm100_fault::silence();
    }

    /// Checks now and every 10 ms until it holds or `timeout_ms` passed.
    bool poll(const std::function<bool()>& holds, std::uint32_t timeout_ms) {
        for(std::uint32_t waited = 0;; waited += kPollMs) {
            if(holds()) return true;
            if(waited >= timeout_ms) return false;
            session_.wait(kPollMs);
        }
    }

    std::filesystem::path folder() const {
        const auto parent = scenario_.file.parent_path();
        return parent.empty() ? std::filesystem::path(".") : parent;
    }

    std::filesystem::path screenshot_dir() const {
        return options_.screenshot_dir.empty() ? folder() : options_.screenshot_dir;
    }

    std::optional<std::filesystem::path> card_file(const std::string& path) const {
        const auto root = session_.sd_root();
        if(root.empty()) return std::nullopt;
        return root / std::string_view(path).substr(5); // after "/ext/", checked when parsed
    }

    static Failure write(const host::Screen& screen, const std::filesystem::path& file) {
        std::error_code ignored;
        if(file.has_parent_path())
            std::filesystem::create_directories(file.parent_path(), ignored);
        std::string error;
        if(!screen.write_png(file, &error))
            return "cannot write " + file.string() + (error.empty() ? "" : ": " + error);
        return std::nullopt;
    }

    const Scenario& scenario_;
    AppSession& session_;
    const RunOptions& options_;
    std::map<std::string, Yrm100::TagId> tags_;
};

bool shows_screen(const Action& action) {
    return std::holds_alternative<Press>(action) || std::holds_alternative<Type>(action) ||
           std::holds_alternative<Wait>(action) || std::holds_alternative<Walk>(action) ||
           std::holds_alternative<ExpectText>(action);
}

} // namespace

RunResult run(const Scenario& scenario, AppSession& session, const RunOptions& options) {
    RunResult result;
    const auto wall_start = std::chrono::steady_clock::now();
    const host::Nanos virtual_start = session.runtime().now();
    const auto finish = [&] {
        result.wall_seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
        result.virtual_seconds =
            static_cast<double>(session.runtime().now() - virtual_start) / 1e9;
        return result;
    };
    if(scenario.app && *scenario.app != session.app()) {
        result.ok = false;
        result.message =
            "the scenario is for " + *scenario.app + ", not " + std::string(session.app());
        return finish();
    }
    Runner runner(scenario, session, options);
    for(std::size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        const std::size_t number = i + 1;
        Failure failure;
        try {
            failure = std::visit(runner, step.action);
        } catch(const std::exception& e) {
            failure = std::string("failed: ") + e.what();
        }
        result.steps_run = number;
        const std::string title = step.name ? step.summary + " [" + *step.name + "]" :
                                              step.summary;
        if(failure) {
            result.ok = false;
            result.failed_step = number;
            result.message = "step " + std::to_string(number) + " " + title + " (line " +
                             std::to_string(step.line) + "): " + *failure;
            std::fprintf(
                options.out,
                "  FAIL %zu %s (line %zu): %s\n",
                number,
                title.c_str(),
                step.line,
                failure->c_str());
            if(options.show_screens)
                std::fputs(framed_screen(session.screen(), "    ").c_str(), options.out);
            return finish();
        }
        std::fprintf(options.out, "  ok   %zu %s\n", number, title.c_str());
        if(options.show_screens && shows_screen(step.action))
            std::fputs(framed_screen(session.screen(), "    ").c_str(), options.out);
    }
    return finish();
}

} // namespace sim::scenario
