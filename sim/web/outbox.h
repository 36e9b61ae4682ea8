#pragma once
// What goes out to the open pages, and which page drives the app.
//
// The session's thread and the GUI thread put state here; a sender thread of its own takes it
// out and writes it to each page, so that neither the app nor the session ever waits for a
// page. State comes in three kinds:
// - the screen: the last frame; a page gets the newest one it has not drawn (a slow page skips
//   frames, it never falls behind);
// - topics ("status", "module", ...): the latest JSON of each, sent to each page once per
//   change;
// - streams ("log", "pulse", ...): items in order, each page getting those it has not had, from
//   the last few hundred kept.
// And replies: messages for one page, in order.
//
// The first page to connect drives the app; the others watch until it closes (then the oldest
// left drives) or until one of them takes over.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/screen.h"
#include "server.h"

namespace sim::web {

class Outbox {
public:
    Outbox() = default;
    /// Stops the sender.
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    /// Starts sending to the server's pages, on a thread of its own.
    void start(Server& server);
    /// Stops the sender thread (what is not sent yet stays unsent).
    void stop();

    // --- state, from any thread -----------------------------------------------------------
    /// A new frame, committed at `wall_ms` (ms since the epoch, the system clock's).
    void frame(const host::Screen& screen, double wall_ms);
    void topic(const std::string& name, std::string json);
    void stream(const std::string& name, std::vector<std::string> items);
    /// A message to one page.
    void reply(ClientId client, std::string message, bool binary = false);

    // --- pages and who drives -------------------------------------------------------------
    void opened(ClientId client);
    void closed(ClientId client);
    /// The page that drives the app takes over; false for a page that is gone.
    bool take_control(ClientId client);
    ClientId controller() const;
    /// Changes whenever the driving page changes (for letting go of its keys).
    std::uint64_t control_epoch() const;
    std::size_t pages() const;

    /// Streams keep this many items for pages that connect later.
    static constexpr std::size_t kStreamKeep = 1000;

private:
    struct Topic {
        std::uint64_t version = 0;
        std::shared_ptr<const std::string> json;
    };
    struct Stream {
        std::uint64_t next = 0; ///< the sequence number the next item gets
        std::deque<std::string> items;
    };
    struct Page {
        std::uint64_t frame = 0;
        std::map<std::string, std::uint64_t> topics;  ///< versions sent
        std::map<std::string, std::uint64_t> streams; ///< next item to send
        std::deque<std::pair<std::string, bool>> replies;
        int control_sent = -1; ///< the control state last told: 0 watching, 1 driving
        std::size_t pages_sent = 0;
    };
    struct Work {
        ClientId client = 0;
        std::vector<std::pair<std::shared_ptr<const std::string>, bool>> messages;
        bool frame = false;
    };

    void run(Server& server);
    /// Under the lock: what each page is missing, marked as sent.
    std::vector<Work> collect();
    static std::string encode_frame(const host::Screen& screen, double wall_ms);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool dirty_ = false;

    std::uint64_t frame_seq_ = 0;
    host::Screen frame_;
    double frame_wall_ms_ = 0;
    std::uint64_t encoded_seq_ = 0;
    std::shared_ptr<const std::string> encoded_;

    std::map<std::string, Topic> topics_;
    std::map<std::string, Stream> streams_;
    std::map<ClientId, Page> pages_;
    ClientId controller_ = 0;
    std::uint64_t control_epoch_ = 0;
    std::thread thread_;
};

} // namespace sim::web
