#pragma once
// Reading scenario and tag files: YAML nodes to checked values, every error a ParseError that
// names the file, line and column. Shared by the scenario parser and the tag loader, so a tag map
// means the same in both.

#include <yaml-cpp/yaml.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "closest.h"
#include "devices/yrm100_tag.h"
#include "tags.h"

namespace sim::scenario::detail {

/// Bank sizes a virtual tag may have: the PC word's five length bits allow 31 EPC words; TID and
/// User are kept to what one reply frame can carry.
inline constexpr std::size_t kMaxEpcBytes = 62;
inline constexpr std::size_t kMaxTidBytes = 64;
inline constexpr std::size_t kMaxUserBytes = 256;

/// Hex bytes: pairs of digits, with spaces or dashes allowed between bytes. The error text
/// (without a location) when it is not that.
std::optional<std::string> parse_hex(std::string_view text, yrm100::Bytes& out);

/// Reads a whole file of at most `max_bytes`; ParseError for anything that is not a readable
/// text file of that size.
std::string read_text_file(const std::filesystem::path& file, std::size_t max_bytes);

/// A map's entries by key, in file order, each key once.
struct MapEntries {
    YAML::Node node;
    std::vector<std::pair<std::string, YAML::Node>> entries;
    const YAML::Node* find(std::string_view key) const;
    bool has(std::string_view key) const { return find(key) != nullptr; }
};

class Reader {
public:
    explicit Reader(std::string file)
        : file_(std::move(file)) {}

    const std::string& file() const { return file_; }

    /// Parses one YAML document; ParseError for bad YAML or more than one document.
    YAML::Node load(std::string_view text) const;

    /// "file:line:column: " of a node (or of the file alone when it has no position).
    std::string where(const YAML::Node& node) const;
    std::string where(const YAML::Mark& mark) const;
    [[noreturn]] void fail(const YAML::Node& at, const std::string& what) const;

    /// A map whose keys are scalars from `keys` (each once). `what` names it in messages
    /// ("in a step"), `hint` lists what it takes.
    MapEntries
        map(const YAML::Node& node,
            std::string_view what,
            std::span<const std::string_view> keys,
            std::string_view hint = {}) const;
    MapEntries
        map(const YAML::Node& node,
            std::string_view what,
            std::initializer_list<std::string_view> keys,
            std::string_view hint = {}) const {
        return map(node, what, std::span<const std::string_view>(keys.begin(), keys.size()), hint);
    }
    /// The same without a key check (the caller checks).
    MapEntries any_map(const YAML::Node& node, std::string_view what) const;

    std::string scalar(const YAML::Node& node, std::string_view what) const;
    /// A non-negative integer (decimal or 0x hex) within [min, max].
    std::uint64_t integer(
        const YAML::Node& node,
        std::string_view what,
        std::uint64_t min,
        std::uint64_t max) const;
    bool boolean(const YAML::Node& node, std::string_view what) const;
    /// Milliseconds: an integer (ms), or "250ms", "2s", "1.5s"; at most `max_ms`.
    std::uint32_t
        duration_ms(const YAML::Node& node, std::string_view what, std::uint32_t max_ms) const;
    /// Hex bytes, at most `max_bytes`; with `words`, an even count.
    yrm100::Bytes
        hex(const YAML::Node& node, std::string_view what, std::size_t max_bytes, bool words) const;
    /// One of `names` (its index).
    std::size_t choice(
        const YAML::Node& node,
        std::string_view what,
        std::initializer_list<std::string_view> names) const;

    /// A tag map (epc, tid, user, pc, access-password, kill-password, locks, write-error, rssi,
    /// and with `allow_id`, id).
    yrm100::TagSpec
        tag(const YAML::Node& node, bool allow_id, std::optional<std::string>* id) const;

private:
    std::string file_;
};

using sim::scenario::closest;

} // namespace sim::scenario::detail
