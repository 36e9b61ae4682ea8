#include "outbox.h"

#include <json/json.h>

#include "protocol.h"
#include "session/controls.h"

namespace sim::web {
namespace {

constexpr std::size_t kMaxReplies = 256;

/// Whether a string is drawn light on dark (a selected menu item): the ring of pixels just
/// outside its box is mostly set.
bool drawn_inverted(const host::Screen& screen, const host::Rect& box) {
    int set = 0;
    int total = 0;
    const auto look = [&](int x, int y) {
        if(x < 0 || y < 0 || x >= host::Screen::kWidth || y >= host::Screen::kHeight) return;
        ++total;
        set += screen.pixel(x, y) ? 1 : 0;
    };
    for(int x = box.x - 1; x <= box.x + box.width; ++x) {
        look(x, box.y - 1);
        look(x, box.y + box.height);
    }
    for(int y = box.y; y < box.y + box.height; ++y) {
        look(box.x - 1, y);
        look(box.x + box.width, y);
    }
    return total > 0 && set * 10 >= total * 8;
}

} // namespace

Outbox::~Outbox() {
    stop();
}

void Outbox::start(Server& server) {
    thread_ = std::thread([this, &server] { run(server); });
}

void Outbox::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if(thread_.joinable()) thread_.join();
}

void Outbox::frame(const host::Screen& screen, double wall_ms) {
    {
        std::lock_guard lock(mutex_);
        // A redraw of the same picture and strings is no news to a page.
        if(frame_seq_ > 0 && frame_.same_pixels(screen) && frame_.strings() == screen.strings())
            return;
        frame_ = screen;
        frame_wall_ms_ = wall_ms;
        ++frame_seq_;
        dirty_ = true;
    }
    wake_.notify_one();
}

void Outbox::topic(const std::string& name, std::string json) {
    {
        std::lock_guard lock(mutex_);
        Topic& t = topics_[name];
        if(t.json && *t.json == json) return;
        t.json = std::make_shared<const std::string>(std::move(json));
        ++t.version;
        dirty_ = true;
    }
    wake_.notify_one();
}

void Outbox::stream(const std::string& name, std::vector<std::string> items) {
    if(items.empty()) return;
    {
        std::lock_guard lock(mutex_);
        Stream& s = streams_[name];
        for(auto& item : items) {
            s.items.push_back(std::move(item));
            ++s.next;
        }
        while(s.items.size() > kStreamKeep) s.items.pop_front();
        dirty_ = true;
    }
    wake_.notify_one();
}

void Outbox::reply(ClientId client, std::string message, bool binary) {
    {
        std::lock_guard lock(mutex_);
        const auto it = pages_.find(client);
        if(it == pages_.end()) return;
        auto& replies = it->second.replies;
        if(replies.size() >= kMaxReplies) replies.pop_front();
        replies.emplace_back(std::move(message), binary);
        dirty_ = true;
    }
    wake_.notify_one();
}

void Outbox::opened(ClientId client) {
    {
        std::lock_guard lock(mutex_);
        Page& page = pages_[client];
        // A page gets the last few items of a stream, not its whole past.
        for(const auto& [name, s] : streams_) page.streams[name] = s.next - s.items.size();
        if(controller_ == 0) {
            controller_ = client;
            ++control_epoch_;
        }
        dirty_ = true;
    }
    wake_.notify_one();
}

void Outbox::closed(ClientId client) {
    {
        std::lock_guard lock(mutex_);
        pages_.erase(client);
        if(controller_ == client) {
            controller_ = pages_.empty() ? 0 : pages_.begin()->first; // the oldest left
            ++control_epoch_;
        }
        dirty_ = true;
    }
    wake_.notify_one();
}

bool Outbox::take_control(ClientId client) {
    {
        std::lock_guard lock(mutex_);
        if(!pages_.contains(client)) return false;
        if(controller_ == client) return true;
        controller_ = client;
        ++control_epoch_;
        dirty_ = true;
    }
    wake_.notify_one();
    return true;
}

ClientId Outbox::controller() const {
    std::lock_guard lock(mutex_);
    return controller_;
}

std::uint64_t Outbox::control_epoch() const {
    std::lock_guard lock(mutex_);
    return control_epoch_;
}

std::size_t Outbox::pages() const {
    std::lock_guard lock(mutex_);
    return pages_.size();
}

std::string Outbox::encode_frame(const host::Screen& screen, double wall_ms) {
    Json::Value header;
    header["t"] = "frame";
    header["seq"] = static_cast<Json::UInt64>(screen.frame_number());
    header["at"] = wall_ms;
    header["vt"] = static_cast<double>(screen.time()) / 1e6;
    header["keyboard"] = shows_keyboard(screen);
    Json::Value texts(Json::arrayValue);
    for(const auto& text : screen.texts()) {
        Json::Value t;
        t["s"] = text.text;
        t["x"] = text.box.x;
        t["y"] = text.box.y;
        t["w"] = text.box.width;
        t["h"] = text.box.height;
        if(drawn_inverted(screen, text.box)) t["inv"] = true;
        texts.append(std::move(t));
    }
    header["texts"] = std::move(texts);
    const auto pixels = screen.framebuffer();
    return envelope(
        header, std::string_view(reinterpret_cast<const char*>(pixels.data()), pixels.size()));
}

std::vector<Outbox::Work> Outbox::collect() {
    std::vector<Work> work;
    for(auto& [client, page] : pages_) {
        Work w;
        w.client = client;
        const int driving = controller_ == client ? 1 : 0;
        if(page.control_sent != driving || page.pages_sent != pages_.size()) {
            Json::Value control;
            control["t"] = "control";
            control["you"] = driving == 1;
            control["pages"] = static_cast<Json::UInt>(pages_.size());
            w.messages.emplace_back(std::make_shared<const std::string>(to_json(control)), false);
            page.control_sent = driving;
            page.pages_sent = pages_.size();
        }
        for(const auto& [name, t] : topics_) {
            auto& sent = page.topics[name];
            if(sent == t.version) continue;
            sent = t.version;
            w.messages.emplace_back(t.json, false);
        }
        for(const auto& [name, s] : streams_) {
            auto& next = page.streams[name];
            const std::uint64_t first = s.next - s.items.size();
            if(next < first) next = first;
            if(next == s.next) continue;
            std::string message = "{\"t\":\"" + name + "\",\"items\":[";
            for(std::uint64_t i = next; i < s.next; ++i) {
                if(i != next) message += ',';
                message += s.items[static_cast<std::size_t>(i - first)];
            }
            message += "]}";
            next = s.next;
            w.messages.emplace_back(
                std::make_shared<const std::string>(std::move(message)), false);
        }
        if(encoded_ && page.frame < encoded_seq_) {
            page.frame = encoded_seq_;
            w.frame = true;
        }
        while(!page.replies.empty()) {
            auto& [message, binary] = page.replies.front();
            w.messages.emplace_back(
                std::make_shared<const std::string>(std::move(message)), binary);
            page.replies.pop_front();
        }
        if(w.frame || !w.messages.empty()) work.push_back(std::move(w));
    }
    return work;
}

void Outbox::run(Server& server) {
    std::unique_lock lock(mutex_);
    while(true) {
        wake_.wait(lock, [this] { return stopping_ || dirty_; });
        if(stopping_) return;
        dirty_ = false;
        if(frame_seq_ != encoded_seq_) {
            const host::Screen screen = frame_;
            const double wall_ms = frame_wall_ms_;
            const std::uint64_t seq = frame_seq_;
            lock.unlock();
            auto encoded = std::make_shared<const std::string>(encode_frame(screen, wall_ms));
            lock.lock();
            encoded_ = std::move(encoded);
            encoded_seq_ = seq;
        }
        const std::shared_ptr<const std::string> frame_message = encoded_;
        const std::vector<Work> work = collect();
        lock.unlock();
        for(const auto& w : work) {
            // The frame goes first: it is what the page waits for most.
            if(w.frame) server.send(w.client, *frame_message, true);
            for(const auto& [message, binary] : w.messages) {
                if(!server.send(w.client, *message, binary)) break;
            }
        }
        lock.lock();
    }
}

} // namespace sim::web
