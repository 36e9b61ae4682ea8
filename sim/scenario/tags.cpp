#include "tags.h"

#include "scenario.h"
#include "session/wording.h"
#include "yaml_reader.h"

namespace sim::scenario {
namespace {

struct BankRule {
    const char* name;
    std::size_t max_bytes;
    yrm100::Bytes yrm100::TagSpec::*field;
};

constexpr BankRule kTextBanks[] = {
    {"EPC", detail::kMaxEpcBytes, &yrm100::TagSpec::epc},
    {"TID", detail::kMaxTidBytes, &yrm100::TagSpec::tid},
    {"USER", detail::kMaxUserBytes, &yrm100::TagSpec::user},
};

} // namespace

yrm100::TagSpec parse_tag_text(std::string_view text) {
    const std::string shown =
        "tag '" + std::string(text.substr(0, 80)) + (text.size() > 80 ? "...'" : "'");
    yrm100::TagSpec spec;
    std::size_t start = 0;
    for(std::size_t part = 0;; ++part) {
        const std::size_t colon = text.find(':', start);
        const std::string_view piece = text.substr(
            start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
        if(part >= std::size(kTextBanks)) throw ParseError(shown + ": more than EPC:TID:USER");
        const BankRule& rule = kTextBanks[part];
        yrm100::Bytes bytes;
        if(auto error = detail::parse_hex(piece, bytes))
            throw ParseError(shown + ": " + rule.name + ": " + *error);
        if(part == 0 && bytes.empty())
            throw ParseError(shown + ": no EPC (EPC[:TID[:USER]] in hex)");
        if(bytes.size() % 2 != 0) {
            throw ParseError(
                shown + ": " + rule.name + ": " + count_of(bytes.size(), "byte") +
                "; the bank holds 16-bit words, so an even count");
        }
        if(bytes.size() > rule.max_bytes) {
            throw ParseError(
                shown + ": " + rule.name + ": " + count_of(bytes.size(), "byte") +
                ", more than the " + std::to_string(rule.max_bytes) + " it holds");
        }
        spec.*rule.field = std::move(bytes);
        if(colon == std::string_view::npos) break;
        start = colon + 1;
    }
    return spec;
}

std::vector<yrm100::TagSpec> load_tags_file(const std::filesystem::path& file) {
    const detail::Reader reader(file.string());
    const YAML::Node root = reader.load(detail::read_text_file(file, kMaxFileBytes));
    if(!root.IsSequence()) reader.fail(root, "a tags file is a list of tags (- epc: ...)");
    std::vector<yrm100::TagSpec> tags;
    for(const auto& entry : root) tags.push_back(reader.tag(entry, false, nullptr));
    if(tags.empty()) reader.fail(root, "no tags in the list");
    return tags;
}

} // namespace sim::scenario
