#pragma once
// Tags for the virtual module's field, as users write them: on the command line
// (`--tag EPC[:TID[:USER]]`, hex) and in a YAML file of tags (`--tags FILE`), whose entries are
// the same maps a scenario's tag steps take.
//
//     # tags.yaml
//     - epc: E2003412B802011234567890
//       tid: E2003412B802011234567890ABCD
//       user: 0011223344556677
//       access-password: 00000000
//       locks: {epc: open, user: locked}

#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "devices/yrm100_tag.h"

namespace sim::scenario {

/// A file or text that cannot be used; the message names the file and line where there is one.
class ParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// "EPC[:TID[:USER]]" in hex (spaces and dashes between bytes allowed); ParseError otherwise.
yrm100::TagSpec parse_tag_text(std::string_view text);

/// A YAML list of tag maps; ParseError with file:line for anything wrong (a missing or unreadable
/// file, bad YAML, an unknown key, odd or non-hex bytes, a bank too long).
std::vector<yrm100::TagSpec> load_tags_file(const std::filesystem::path& file);

} // namespace sim::scenario
