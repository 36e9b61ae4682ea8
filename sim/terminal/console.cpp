#include "console.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "devices/mx2125.h"
#include "devices/yrm100.h"
#include "session/controls.h"

namespace sim::terminal {
Console::Console(AppSession& session, std::filesystem::path screenshot_dir)
    : session_(session)
    , screenshot_dir_(std::move(screenshot_dir)) {}

std::vector<std::string> Console::help() {
    std::vector<std::string> lines = {
        "Keys",
        "  arrows or w a s d   Up Down Left Right       Enter or Space  OK",
        "  Backspace or Esc    Back                     Ctrl-C or :q    quit",
        "  long press: Shift+arrow, W A S D, or L then the key (L Enter: long OK)",
        "  t  first tag in/out of the field    u  unplug/plug the module",
        "  p  screenshot                       :  command prompt (Esc cancels)",
        "Commands",
    };
    for(const auto& line : ModuleConsole::help(":")) lines.push_back("  " + line);
    for(const char* line :
         {"  :walk start|stop            pacewick: the wearer walks or stands",
          "  :type TEXT   :name TEXT     type on the on-screen keyboard (:name also saves)",
          "  :shot [FILE]                PNG of the screen (default fsim-NNNN.png)",
          "  :help  :q                   this help; quit",
          "Any key closes this help."})
        lines.push_back(line);
    return lines;
}

Outcome Console::run(std::string_view line) {
    const Words words = split_words(line);
    if(words.empty()) return {};
    const std::string& command = words[0];
    if(command == "help" || command == "h" || command == "?") {
        Outcome out;
        out.panel = help();
        return out;
    }
    if(command == "q" || command == "quit" || command == "exit") {
        Outcome out;
        out.quit = true;
        return out;
    }
    if(ModuleConsole::handles(command)) {
        std::string why;
        Yrm100* m = module(command == "tags" ? "tag" : command, why);
        if(m == nullptr) return {why};
        return ModuleConsole(*m, session_.runtime(), ":").run(words);
    }
    if(command == "walk") return walk(words);
    if(command == "shot" || command == "screenshot") return shot(words);
    if(command == "type") return type(words, false);
    if(command == "name") return type(words, true);
    return {"unknown command :" + command + " (:help lists them)"};
}

Yrm100* Console::module(std::string_view command, std::string& why) {
    if(Yrm100* m = session_.virtual_module()) return m;
    if(session_.app() == "corvane") {
        why = ":" + std::string(command) + " needs the virtual module; this one is real (--uart)";
    } else {
        why = ":" + std::string(command) + " is for corvane's reader module; " +
              std::string(session_.app()) + " has none";
    }
    return nullptr;
}

Outcome Console::walk(const Words& words) {
    if(words.size() != 2 || (words[1] != "start" && words[1] != "stop"))
        return {"usage: :walk start|stop"};
    if(session_.virtual_sensor() == nullptr)
        return {":walk is for pacewick's sensor; " + std::string(session_.app()) + " has none"};
    const bool start = words[1] == "start";
    if(!session_.walk(start)) return {"no walk to take: the sensor replays a trace (--trace)"};
    return {start ? "walking" : "stopping at the end of this step"};
}

Outcome Console::shot(const Words& words) {
    if(words.size() > 2) return {"usage: :shot [FILE]"};
    std::error_code error;
    std::filesystem::path path;
    if(words.size() == 2) {
        path = words[1];
        if(path.is_relative()) path = screenshot_dir_ / path;
    } else {
        std::filesystem::create_directories(screenshot_dir_, error);
        if(error)
            return {
                "screenshot: cannot make " + screenshot_dir_.string() + " (" + error.message() +
                ")"};
        path = next_screenshot(screenshot_dir_);
    }
    std::string why;
    if(!session_.screen().write_png(path, &why))
        return {"screenshot not saved: " + (why.empty() ? "cannot write " + path.string() : why)};
    std::error_code absolute_error;
    const auto where = std::filesystem::absolute(path, absolute_error);
    return {"screenshot saved to " + (absolute_error ? path : where).string()};
}

Outcome Console::type(const Words& words, bool save) {
    const std::string command = save ? ":name" : ":type";
    if(words.size() != 2) return {"usage: " + command + " TEXT (letters, digits and _)"};
    const std::string& text = words[1];
    for(char c : text) {
        if(std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_')
            return {
                command + ": the keyboard has letters, digits and _ only, not '" +
                std::string(1, c) + "'"};
    }
    if(!shows_keyboard(session_.screen()))
        return {command + ": no on-screen keyboard on this screen"};
    const Typed typed = session_.type(text);
    if(!typed.reached) return {command + ": could not reach every key of '" + text + "'"};
    if(!typed.dropped.empty())
        return {command + ": the name is full: '" + typed.dropped + "' was not typed"};
    if(!save) return {"typed " + text};
    if(!session_.type("\r")) return {":name: typed " + text + " but could not reach the save key"};
    return {"typed " + text + " and pressed save"};
}

std::filesystem::path next_screenshot(const std::filesystem::path& folder) {
    for(int n = 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "fsim-%04d.png", n);
        const auto path = folder / name;
        std::error_code error;
        if(!std::filesystem::exists(path, error) || n >= 99999) return path;
    }
}

} // namespace sim::terminal
