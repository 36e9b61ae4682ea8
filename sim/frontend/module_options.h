#pragma once
// The virtual module's options, shared by `fsim corvane` and `fsim module`: its identity
// strings and the tags in its field.

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "devices/yrm100.h"

namespace fsim {

struct ModuleSettings {
    sim::Yrm100Config config;
    std::vector<std::string> tags;  ///< --tag EPC[:TID[:USER]], in order
    std::vector<std::string> files; ///< --tags FILE
    bool absent = false;            ///< --no-module
    bool empty_field = false;       ///< --no-tags: no default tag
};

/// --hardware, --software, --manufacturer, --tag, --tags, --no-tags; --no-module when
/// `with_absent`.
void add_module_options(CLI::App& app, ModuleSettings& settings, bool with_absent);

/// The tags the options put in the field: those of --tag and --tags, or (with neither and no
/// --no-tags) one example tag. UsageError for a tag or file that cannot be read.
std::vector<sim::yrm100::TagSpec> field_tags(const ModuleSettings& settings);

/// The tag in the field when no option names one.
sim::yrm100::TagSpec example_tag();

/// A short description of a tag for status lines: its EPC in hex.
std::string describe_tag(const sim::yrm100::TagSpec& tag);

} // namespace fsim
