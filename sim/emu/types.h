#pragma once
// Marshallers for the types the device lays out differently from the host, or that hold
// pointers: written once per type, used by every generated bridge that passes one.

#include <dialogs/dialogs.h>
#include <furi_hal_cortex.h>
#include <furi_hal_gpio.h>
#include <gui/icon_i.h>
#include <gui/scene_manager.h>
#include <input/input.h>
#include <notification/notification.h>

#include <memory>
#include <vector>

#include "marshal.h"

namespace fap {

/// Decodes an image in the firmware's form: 0x00 then raw rows, or 0x01 0x00 <u16 size> then
/// heatshrink data (window 8, lookahead 4). `expected` is the raw size; false when malformed.
bool decode_image(const std::uint8_t* data, std::size_t room, std::size_t expected,
                  std::vector<std::uint8_t>& out);

// --- Icon: {u8 width, u8 height, u8 frame_count, u8 frame_rate, u32 frames} up to API 36.x;
// {u16 width, u16 height, u8 frame_count, u8 frame_rate, u32 frames} (12 bytes) from 86.0 ------
struct HostIcon {
    std::vector<std::vector<std::uint8_t>> data;
    std::vector<const std::uint8_t*> frames;
    Icon icon;
    HostIcon(std::uint16_t w, std::uint16_t h, std::uint8_t count, std::uint8_t rate,
             std::vector<std::vector<std::uint8_t>> frame_data);
};
const Icon* icon_from_guest(Machine& m, GuestAddr guest, const char* what);

template <>
struct Marshal<const Icon*> {
    static const Icon* from(Call& c, int slot) { return icon_from_guest(c.m, c.word(slot), c.entry.name); }
};

// --- notification sequences: NULL-terminated arrays of message pointers ----------------------
// NotificationMessage is 16 bytes on both sides: the type's byte (then padding) and a 12-byte
// union whose only enum, led_blink.color, is one byte on the device. Host copies of guest
// messages and guest copies of the runtime's convert those two fields.
static_assert(sizeof(NotificationMessage) == 16, "NotificationMessage is 16 bytes on the host too");
void message_to_device(const NotificationMessage& host, std::uint8_t* out);
NotificationMessage message_from_device(const std::uint8_t* in);
const NotificationSequence* sequence_from_guest(Machine& m, GuestAddr guest, const char* what);

template <>
struct Marshal<const NotificationSequence*> {
    static const NotificationSequence* from(Call& c, int slot) {
        return sequence_from_guest(c.m, c.word(slot), c.entry.name);
    }
};

// --- scene handler tables ---------------------------------------------------------------------
const SceneManagerHandlers* scene_handlers_from_guest(Machine& m, GuestAddr guest, const char* what);

template <>
struct Marshal<const SceneManagerHandlers*> {
    static const SceneManagerHandlers* from(Call& c, int slot) {
        return scene_handlers_from_guest(c.m, c.word(slot), c.entry.name);
    }
};

// --- structs of words, by value ---------------------------------------------------------------
template <>
struct Marshal<FuriHalCortexTimer> : WordStruct<FuriHalCortexTimer> {};

// --- InputEvent: 8 bytes on the device (u32 sequence, then the key and the type as one byte
// each: the device's toolchain makes enums as small as their values); 12 on the host. A
// callback's copy goes on the guest stack.
struct DeviceInputEvent {
    std::uint32_t sequence;
    std::uint8_t key;
    std::uint8_t type;
    std::uint8_t pad[2];
};
static_assert(sizeof(DeviceInputEvent) == 8);
template <>
struct Marshal<InputEvent*> {
    static void push(Machine::GuestCall& g, InputEvent* e) {
        if(e == nullptr) {
            g.word(0);
            return;
        }
        const DeviceInputEvent d{e->sequence, static_cast<std::uint8_t>(e->key), static_cast<std::uint8_t>(e->type), {0, 0}};
        g.word(g.push(&d, sizeof d));
    }
};
template <>
struct Marshal<const InputEvent*> {
    static void push(Machine::GuestCall& g, const InputEvent* e) {
        Marshal<InputEvent*>::push(g, const_cast<InputEvent*>(e));
    }
};

// --- SceneManagerEvent by value: {u8 type (padded to a word), u32 event} ---------------------
template <>
struct Marshal<SceneManagerEvent> {
    static SceneManagerEvent from(Call& c, int slot) {
        return SceneManagerEvent{static_cast<SceneManagerEventType>(c.word(slot) & 0xFF), c.word(slot + 1)};
    }
    static void push(Machine::GuestCall& g, SceneManagerEvent e) {
        g.word(static_cast<std::uint32_t>(e.type) & 0xFF);
        g.word(e.event);
    }
};

// --- GpioPin: {u32 port, u16 pin} -------------------------------------------------------------
const GpioPin* gpio_pin_from_guest(Machine& m, GuestAddr guest, const char* what);
template <>
struct Marshal<const GpioPin*> {
    static const GpioPin* from(Call& c, int slot) { return gpio_pin_from_guest(c.m, c.word(slot), c.entry.name); }
};

// --- DialogsFileBrowserOptions: 28 bytes on the device, read and written back ----------------
class BrowserOptions {
public:
    /// `write_back`: the runtime fills it (every field), so nothing is read from the guest.
    BrowserOptions(Machine& m, GuestAddr guest, bool write_back, const char* what);
    BrowserOptions(const BrowserOptions&) = delete;
    ~BrowserOptions();
    operator DialogsFileBrowserOptions*() { return guest_ ? &host_ : nullptr; }
    operator const DialogsFileBrowserOptions*() { return guest_ ? &host_ : nullptr; }

private:
    Machine& m_;
    GuestAddr guest_;
    bool write_back_;
    DialogsFileBrowserOptions host_{};
    const Icon* icon_in_ = nullptr;
    GuestAddr icon_guest_ = 0;
};
template <>
struct Marshal<DialogsFileBrowserOptions*> {
    static BrowserOptions from(Call& c, int slot) { return {c.m, c.word(slot), true, c.entry.name}; }
};
template <>
struct Marshal<const DialogsFileBrowserOptions*> {
    static BrowserOptions from(Call& c, int slot) { return {c.m, c.word(slot), false, c.entry.name}; }
};

// --- guest copies of exported variables --------------------------------------------------------
template <class T>
struct Place;

template <>
struct Place<NotificationMessage> {
    static GuestAddr place(Machine& m, const NotificationMessage& v) {
        return m.place_copy(&v, sizeof v, 4, [&](std::uint8_t* p) { message_to_device(v, p); });
    }
};
template <>
struct Place<NotificationSequence> {
    static GuestAddr place(Machine& m, const NotificationSequence& v) {
        std::vector<GuestAddr> items;
        for(const NotificationMessage* const* p = v; *p != nullptr; ++p)
            items.push_back(Place<NotificationMessage>::place(m, **p));
        items.push_back(0);
        return m.place_copy(&v, static_cast<std::uint32_t>(4 * items.size()), 4, [&](std::uint8_t* p) {
            std::memcpy(p, items.data(), 4 * items.size());
        });
    }
};
template <>
struct Place<GpioPin> {
    static GuestAddr place(Machine& m, const GpioPin& v) {
        const GuestAddr port = m.gpio_port_address(v.port);
        return m.place_copy(&v, 8, 4, [&](std::uint8_t* p) {
            std::memcpy(p, &port, 4);
            std::memcpy(p + 4, &v.pin, 2);
        });
    }
};

template <auto* V>
GuestAddr place_variable(Machine& m) {
    using T = std::remove_cv_t<std::remove_reference_t<decltype(*V)>>;
    return Place<T>::place(m, *V);
}

} // namespace fap
