#include "tags.h"

namespace sim::scenario {

yrm100::TagSpec parse_tag_text(std::string_view text) {
    throw ParseError("--tag " + std::string(text) + ": not supported yet");
}

std::vector<yrm100::TagSpec> load_tags_file(const std::filesystem::path& file) {
    throw ParseError(file.string() + ": not supported yet");
}

} // namespace sim::scenario
