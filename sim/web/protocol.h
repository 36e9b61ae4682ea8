#pragma once
// The messages between the page and fsim.
//
// The page sends JSON objects as text, {"t": "<command>", ...}, each field checked here; an
// upload is a binary message: a 4-byte little-endian length, that many bytes of a JSON header
// ({"t": "file-upload", "name": ..., "replace": ...}), then the file's bytes. Anything else (not
// JSON, an unknown command or field, a value of the wrong type or out of range) is a
// ProtocolError, which closes the connection with its reason; what a person may get wrong in a
// form (hex digits, a file name, a tag that is gone) is answered instead, as a reply.
//
// fsim sends JSON text ({"t": "status", ...}) and, for the screen, files and screenshots, binary
// messages in the same envelope as uploads: length, JSON header, bytes.

#include <input/input.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "devices/yrm100_tag.h"

namespace Json {
class Value;
}

namespace sim::web {

/// Uploads are files of the card of at most this size.
inline constexpr std::size_t kMaxUploadBytes = 64 * 1024;
/// A message from the page: an upload and its header, with room to spare.
inline constexpr std::size_t kMaxMessageBytes = kMaxUploadBytes + 4096;

/// A message that breaks the protocol; the connection is closed with this reason.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace command {
/// A key of the device's goes down or up.
struct Key {
    InputKey key = InputKeyOk;
    bool down = true;
};
/// Letters, digits and '_' typed on the on-screen keyboard; its backspace key; its save key.
struct Type {
    std::string text;
};
struct Erase {};
struct Save {};
/// This page takes over the keys.
struct Control {};
/// A tag into the field; banks as hex text, checked when applied.
struct TagAdd {
    std::string epc;
    std::string tid;
    std::string user;
    std::array<yrm100::Lock, 4> locks{
        yrm100::Lock::Open,
        yrm100::Lock::Open,
        yrm100::Lock::Permanent,
        yrm100::Lock::Open};
};
/// Tags are numbered from 1 in the order they were added.
struct TagEdit {
    std::size_t tag = 0;
    yrm100::Bank bank = yrm100::Bank::Epc;
    std::string data;
};
struct TagField {
    std::size_t tag = 0;
    bool in = true;
};
struct TagRemove {
    std::size_t tag = 0;
};
struct Plug {
    bool plugged = true;
};
struct Fault {
    std::string kind; ///< silence, corrupt, cut, noise, delay
};
struct RefuseWrite {};
struct FileRead {
    std::string name;
    bool download = false; ///< to save on the user's disk; else to show
};
struct FileDelete {
    std::string name;
};
struct FileUpload {
    std::string name;
    std::string bytes;
    bool replace = false;
};
struct Walk {
    bool walking = true;
};
struct Gait {
    std::optional<double> cadence;    ///< steps a second
    std::optional<std::string> mount; ///< lateral, forward, vertical
};
struct Shot {};
struct Record {
    bool on = true;
};
/// A check that the screen shows this text, for the recording.
struct Expect {
    std::string text;
};
/// The app again, after it ended.
struct Start {};
} // namespace command

using Command = std::variant<
    command::Key,
    command::Type,
    command::Erase,
    command::Save,
    command::Control,
    command::TagAdd,
    command::TagEdit,
    command::TagField,
    command::TagRemove,
    command::Plug,
    command::Fault,
    command::RefuseWrite,
    command::FileRead,
    command::FileDelete,
    command::FileUpload,
    command::Walk,
    command::Gait,
    command::Shot,
    command::Record,
    command::Expect,
    command::Start>;

/// One message from the page; ProtocolError for anything that is not a command.
Command parse_command(bool binary, std::string_view message);

/// The JSON of a value, on one line.
std::string to_json(const Json::Value& value);
/// A binary message: the header's length, the header, the bytes.
std::string envelope(const Json::Value& header, std::string_view bytes);

} // namespace sim::web
