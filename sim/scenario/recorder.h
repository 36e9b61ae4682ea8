#pragma once
// What a person does to a live session, written down as a scenario file that replays it: keys
// held and let go, text typed on the on-screen keyboard, tags entering, changing and leaving the
// field, module faults, walks, files put on the card, and checks of the screen's strings. Each
// action is told with the virtual times it began and ended; the recorder puts the waits between
// them so that the replay does each at the same virtual time, counted from the app's start.
//
//     Recorder rec("corvane", "--no-tags");
//     rec.tag_enter(0, 1, tag);                       // what the field held at the start
//     rec.key(ms(1200), ms(1290), InputKeyRight);     // held for 90 ms: a short press
//     rec.expect_text(ms(2000), "Read Tag");
//     std::string yaml = rec.text();
//
// The file parses with parse_text() and replays with `fsim <app> <replay options> --scenario`.

#include <input/input.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devices/yrm100_tag.h"
#include "host/time.h"

namespace sim::scenario {

class Recorder {
public:
    /// `app` goes into the file ("corvane", "pacewick"); `replay_options` into the replay
    /// command its head comment shows ("--no-tags").
    Recorder(std::string app, std::string replay_options);

    /// A key went down at `down` and up at `up`: a short press when it was held for less than
    /// the long-press time, otherwise a held press with as many Repeats as it gave.
    void key(host::Nanos down, host::Nanos up, InputKey key);
    /// Text typed on the on-screen keyboard from `at` until `done` (letters, digits, '_').
    void type(host::Nanos at, host::Nanos done, std::string_view text);
    /// The keyboard's backspace key, and its save key.
    void backspace(host::Nanos at, host::Nanos done);
    void save(host::Nanos at, host::Nanos done);

    /// A tag entered the field (`number` names it t<number> in the file); it left; a bank of it
    /// was rewritten (EPC: the EPC itself).
    void tag_enter(host::Nanos at, std::size_t number, const yrm100::VirtualTag& tag);
    void tag_leave(host::Nanos at, std::size_t number);
    void tag_set(host::Nanos at, std::size_t number, yrm100::Bank bank, const yrm100::Bytes& data);
    /// A `module:` step as written after "module: " ("unplug", "{fault: silence}").
    void module(host::Nanos at, std::string_view action);
    void walk(host::Nanos at, bool start);
    /// A file put on the card ("/ext/..."); files that are no text are left out with a comment.
    void card_file(host::Nanos at, std::string_view path, std::string_view content);
    /// A check that some string on the screen contains `text`.
    void expect_text(host::Nanos at, std::string_view text);
    /// A comment line in the file (what could not be recorded).
    void note(std::string_view text);

    /// Steps so far (comments not counted).
    std::size_t steps() const { return steps_; }
    /// The scenario file.
    std::string text() const;

    /// A YAML double-quoted scalar of `text`.
    static std::string quoted(std::string_view text);

private:
    /// The `wait:` that brings the replay to `at`, then the step; the replay's clock then stands
    /// `duration` later.
    void add(host::Nanos at, host::Nanos duration, std::string step);
    void add_type(
        host::Nanos at,
        host::Nanos done,
        unsigned backspace,
        std::string_view text,
        bool save);

    struct Typing {
        std::size_t line = 0;      ///< index of the step in lines_
        std::int64_t start_ms = 0; ///< where the replay stood when it began
        host::Nanos duration = 0;  ///< the typing's own time, without the pauses between
        unsigned backspace = 0;
        std::string text;
        bool save = false;
    };

    std::string app_;
    std::string replay_options_;
    std::vector<std::string> lines_;
    std::size_t steps_ = 0;
    std::int64_t clock_ms_ = 0; ///< where the replay stands after the last step
    bool typing_open_ = false;  ///< the last step is a type step more typing may join
    Typing typing_;
    std::size_t card_bytes_ = 0;
};

} // namespace sim::scenario
