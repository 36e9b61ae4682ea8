// libFuzzer target: arbitrary bytes as a scenario file and as a --tag text. The parser either
// returns a scenario whose every step has a line and a summary, or throws a ParseError whose
// message starts with the file's name; nothing else may escape, crash or read out of bounds.
// yaml-cpp itself is not instrumented: the coverage that guides the search is the parser's own.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "scenario/scenario.h"
#include "scenario/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const auto scenario = sim::scenario::parse_text(text, "fuzz.yaml");
        if(scenario.name.empty() || scenario.steps.empty() || scenario.version != 1) std::abort();
        for(const auto& step : scenario.steps) {
            if(step.line == 0 || step.summary.empty()) std::abort();
        }
    } catch(const sim::scenario::ParseError& e) {
        if(!std::string_view(e.what()).starts_with("fuzz.yaml:")) std::abort();
    }

    const std::string_view first_line = text.substr(0, text.find('\n'));
    try {
        const auto tag = sim::scenario::parse_tag_text(first_line);
        if(tag.epc.empty() || tag.epc.size() % 2 != 0 || tag.tid.size() % 2 != 0 ||
           tag.user.size() % 2 != 0)
            std::abort();
    } catch(const sim::scenario::ParseError& e) {
        if(!std::string_view(e.what()).starts_with("tag '")) std::abort();
    }
    return 0;
}
