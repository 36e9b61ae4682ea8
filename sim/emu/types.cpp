#include "types.h"

namespace fap {

namespace {

std::uint8_t byte_at(Machine& m, GuestAddr addr, const char* what) {
    if(!m.memory().mapped(addr)) m.fault("bad pointer", std::string(what) + ": reads outside guest memory");
    return *m.memory().host(addr);
}

std::uint16_t half_at(Machine& m, GuestAddr addr, const char* what) {
    return static_cast<std::uint16_t>(byte_at(m, addr, what) | (byte_at(m, addr + 1, what) << 8));
}

std::uint32_t word_at(Machine& m, GuestAddr addr, const char* what) {
    const auto v = m.memory().read32(addr);
    if(!v) m.fault("bad pointer", std::string(what) + ": reads outside guest memory");
    return *v;
}

/// A heatshrink decoder (window 2^8, lookahead 2^4), reading bits most significant first.
class Heatshrink {
public:
    Heatshrink(const std::uint8_t* in, std::size_t size) : in_(in), size_(size) {}
    bool decode(std::size_t expected, std::vector<std::uint8_t>& out) {
        out.clear();
        while(out.size() < expected) {
            const int tag = bits(1);
            if(tag < 0) return false;
            if(tag) {
                const int c = bits(8);
                if(c < 0) return false;
                out.push_back(static_cast<std::uint8_t>(c));
            } else {
                const int index = bits(8);
                const int count = bits(4);
                if(index < 0 || count < 0) return false;
                const std::size_t back = static_cast<std::size_t>(index) + 1;
                if(back > out.size()) return false;
                for(int i = 0; i <= count && out.size() < expected; ++i) out.push_back(out[out.size() - back]);
            }
        }
        return true;
    }

private:
    int bits(int n) {
        int v = 0;
        for(int i = 0; i < n; ++i) {
            if(byte_ >= size_) return -1;
            const int bit = (in_[byte_] >> (7 - bit_)) & 1;
            if(++bit_ == 8) {
                bit_ = 0;
                ++byte_;
            }
            v = (v << 1) | bit;
        }
        return v;
    }
    const std::uint8_t* in_;
    std::size_t size_;
    std::size_t byte_ = 0;
    int bit_ = 0;
};

} // namespace

bool decode_image(const std::uint8_t* data, std::size_t room, std::size_t expected,
                  std::vector<std::uint8_t>& out) {
    if(room < 1) return false;
    if(data[0] == 0x00) {
        if(room - 1 < expected) return false;
        out.assign(data + 1, data + 1 + expected);
        return true;
    }
    if(data[0] == 0x01 && room >= 4) {
        const std::size_t size = data[2] | (data[3] << 8);
        if(room - 4 < size) return false;
        return Heatshrink(data + 4, size).decode(expected, out);
    }
    return false;
}

HostIcon::HostIcon(std::uint16_t w, std::uint16_t h, std::uint8_t count, std::uint8_t rate,
                   std::vector<std::vector<std::uint8_t>> frame_data)
    : data(std::move(frame_data))
    , frames([this] {
        std::vector<const std::uint8_t*> f;
        for(const auto& d : data) f.push_back(d.data());
        return f;
    }())
    , icon{w, h, count, rate, frames.data()} {
}

const Icon* icon_from_guest(Machine& m, GuestAddr guest, const char* what) {
    if(guest == 0) return nullptr;
    if(const void* original = m.original_of(guest)) return static_cast<const Icon*>(original);
    HostIcon* mirror = m.mirror<HostIcon>(guest, [&] {
        // The sizes are bytes up to API 36.x, 16-bit from 86.0 (and the frames' pointer then
        // follows two bytes of padding).
        const bool wide = m.firmware().api_major() >= 86;
        const GuestAddr counts = guest + (wide ? 4 : 2);
        const std::uint16_t w = wide ? half_at(m, guest, what) : byte_at(m, guest, what);
        const std::uint16_t h = wide ? half_at(m, guest + 2, what) : byte_at(m, guest + 1, what);
        const std::uint8_t count = byte_at(m, counts, what);
        const std::uint8_t rate = byte_at(m, counts + 1, what);
        const GuestAddr frames = word_at(m, guest + (wide ? 8 : 4), what);
        const std::size_t expected = static_cast<std::size_t>((w + 7) / 8) * h;
        std::vector<std::vector<std::uint8_t>> data;
        for(std::uint8_t i = 0; i < count; ++i) {
            const GuestAddr frame = word_at(m, frames + 4u * i, what);
            const Region* r = m.memory().region_at(frame);
            std::vector<std::uint8_t> pixels;
            if(r == nullptr ||
               !decode_image(m.memory().host(frame), r->size - (frame - r->base), expected, pixels))
                m.fault("bad icon", std::string(what) + ": an Icon's frame is not a valid image");
            data.push_back(std::move(pixels));
        }
        return std::make_unique<HostIcon>(w, h, count, rate, std::move(data));
    });
    m.remember_mirror(&mirror->icon, guest);
    return &mirror->icon;
}

void message_to_device(const NotificationMessage& host, std::uint8_t* out) {
    std::memcpy(out, &host, 16);
    std::memset(out, 0, 4);
    out[0] = static_cast<std::uint8_t>(host.type);
    if(host.type == NotificationMessageTypeLedBlinkStart || host.type == NotificationMessageTypeLedBlinkColor) {
        std::memset(out + 8, 0, 4);
        out[8] = static_cast<std::uint8_t>(host.data.led_blink.color);
    }
}

NotificationMessage message_from_device(const std::uint8_t* in) {
    NotificationMessage m;
    std::memcpy(&m, in, 16);
    m.type = static_cast<NotificationMessageType>(in[0]);
    if(m.type == NotificationMessageTypeLedBlinkStart || m.type == NotificationMessageTypeLedBlinkColor)
        m.data.led_blink.color = static_cast<Light>(in[8]);
    return m;
}

namespace {
struct HostSequence {
    std::vector<NotificationMessage> own; // the app's own messages, converted
    std::vector<const NotificationMessage*> items;
};
} // namespace

const NotificationSequence* sequence_from_guest(Machine& m, GuestAddr guest, const char* what) {
    if(guest == 0) return nullptr;
    if(const void* original = m.original_of(guest)) return static_cast<const NotificationSequence*>(original);
    HostSequence* mirror = m.mirror<HostSequence>(guest, [&] {
        auto s = std::make_unique<HostSequence>();
        std::vector<GuestAddr> addrs;
        for(GuestAddr at = guest;; at += 4) {
            const GuestAddr item = word_at(m, at, what);
            if(item == 0) break;
            addrs.push_back(item);
            if(addrs.size() > 1024) m.fault("bad sequence", std::string(what) + ": a sequence without its NULL end");
        }
        s->own.reserve(addrs.size());
        for(const GuestAddr item : addrs) {
            const void* original = m.original_of(item);
            if(original == nullptr) {
                if(!m.memory().mapped(item, sizeof(NotificationMessage)))
                    m.fault("bad pointer", std::string(what) + ": a sequence's message is outside guest memory");
                s->own.push_back(message_from_device(m.memory().host(item)));
                original = &s->own.back();
            }
            s->items.push_back(static_cast<const NotificationMessage*>(original));
        }
        s->items.push_back(nullptr);
        return s;
    });
    m.remember_mirror(mirror->items.data(), guest);
    return reinterpret_cast<const NotificationSequence*>(mirror->items.data());
}

namespace {
struct HostHandlers {
    std::vector<AppSceneOnEnterCallback> enter;
    std::vector<AppSceneOnEventCallback> event;
    std::vector<AppSceneOnExitCallback> exit;
    SceneManagerHandlers handlers;
    HostHandlers(std::vector<AppSceneOnEnterCallback> a, std::vector<AppSceneOnEventCallback> b,
                 std::vector<AppSceneOnExitCallback> c)
        : enter(std::move(a))
        , event(std::move(b))
        , exit(std::move(c))
        , handlers{enter.data(), event.data(), exit.data(), static_cast<uint32_t>(enter.size())} {}
};

template <class F>
std::vector<F> guest_functions(Machine& m, GuestAddr table, std::uint32_t count, const char* what) {
    std::vector<F> out;
    for(std::uint32_t i = 0; i < count; ++i) out.push_back(Marshal<F>::to_host(m, word_at(m, table + 4 * i, what)));
    return out;
}
} // namespace

const SceneManagerHandlers* scene_handlers_from_guest(Machine& m, GuestAddr guest, const char* what) {
    if(guest == 0) return nullptr;
    HostHandlers* mirror = m.mirror<HostHandlers>(guest, [&] {
        const std::uint32_t count = word_at(m, guest + 12, what);
        if(count > 1024) m.fault("bad scene table", std::string(what) + ": " + std::to_string(count) + " scenes");
        return std::make_unique<HostHandlers>(
            guest_functions<AppSceneOnEnterCallback>(m, word_at(m, guest, what), count, what),
            guest_functions<AppSceneOnEventCallback>(m, word_at(m, guest + 4, what), count, what),
            guest_functions<AppSceneOnExitCallback>(m, word_at(m, guest + 8, what), count, what));
    });
    m.remember_mirror(&mirror->handlers, guest);
    return &mirror->handlers;
}

const GpioPin* gpio_pin_from_guest(Machine& m, GuestAddr guest, const char* what) {
    if(guest == 0) return nullptr;
    if(const void* original = m.original_of(guest)) return static_cast<const GpioPin*>(original);
    return m.mirror<GpioPin>(guest, [&] {
        auto* port = static_cast<GPIO_TypeDef*>(m.gpio_port_host(word_at(m, guest, what)));
        if(port == nullptr) m.fault("bad pin", std::string(what) + ": a GpioPin whose port is no GPIO port");
        const std::uint16_t pin = static_cast<std::uint16_t>(word_at(m, guest + 4, what) & 0xFFFF);
        return std::make_unique<GpioPin>(GpioPin{port, pin});
    });
}

// Device layout: extension 0, base_path 4, skip_assets 8, hide_dot_files 9, icon 12, hide_ext 16,
// item_loader_callback 20, item_loader_context 24.
BrowserOptions::BrowserOptions(Machine& m, GuestAddr guest, bool write_back, const char* what)
    : m_(m), guest_(guest), write_back_(write_back) {
    if(guest == 0) return;
    if(!m.memory().mapped(guest, 28)) m.fault("bad pointer", std::string(what) + ": options outside guest memory");
    if(write_back) return;
    host_.extension = m.string_to_host(word_at(m, guest, what), what);
    host_.base_path = m.string_to_host(word_at(m, guest + 4, what), what);
    host_.skip_assets = byte_at(m, guest + 8, what) != 0;
    host_.hide_dot_files = byte_at(m, guest + 9, what) != 0;
    icon_guest_ = word_at(m, guest + 12, what);
    host_.icon = icon_in_ = icon_from_guest(m, icon_guest_, what);
    host_.hide_ext = byte_at(m, guest + 16, what) != 0;
    host_.item_loader_callback = Marshal<FileBrowserLoadItemCallback>::to_host(m, word_at(m, guest + 20, what));
    host_.item_loader_context = m.to_host(word_at(m, guest + 24, what), what);
}

BrowserOptions::~BrowserOptions() {
    if(guest_ == 0 || !write_back_) return;
    std::uint8_t* p = m_.memory().host(guest_, 28);
    const GuestAddr ext = m_.string_to_guest(host_.extension);
    const GuestAddr base = m_.string_to_guest(host_.base_path);
    const GuestAddr icon = host_.icon == icon_in_ ? icon_guest_ : m_.to_guest(host_.icon);
    const GuestAddr cb = m_.guest_function_of(reinterpret_cast<const void*>(host_.item_loader_callback));
    const GuestAddr ctx = m_.to_guest(host_.item_loader_context);
    std::memcpy(p, &ext, 4);
    std::memcpy(p + 4, &base, 4);
    p[8] = host_.skip_assets;
    p[9] = host_.hide_dot_files;
    std::memcpy(p + 12, &icon, 4);
    p[16] = host_.hide_ext;
    std::memcpy(p + 20, &cb, 4);
    std::memcpy(p + 24, &ctx, 4);
}

} // namespace fap
