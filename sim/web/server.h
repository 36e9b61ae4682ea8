#pragma once
// The web page's server: HTTP for the page's files (built into the program) and a WebSocket at
// /ws, on civetweb. It knows nothing of sessions: messages go to a handler, and anything can be
// sent to a connected page by its id.
//
// What it guards:
// - The Host of every request and the Origin of every WebSocket handshake: the page's own
//   address only (the bound address or a loopback name with the bound port), so that a page of
//   another site in the user's browser cannot drive the simulator or read the card, nor reach it
//   through a name it points at 127.0.0.1.
// - Messages: at most `max_message` bytes (fragments put together count whole); larger ones,
//   and whatever the handler refuses, close that connection with a code and a reason.
//
// Threads: the handler runs on civetweb's threads, one per connection; send() and close() may be
// called from any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct mg_connection;
struct mg_context;

namespace sim::web {

/// The server cannot start: the address cannot be bound (in use, not this machine's).
class ServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A file of the page, served at `path` ("/", "/app.js").
struct Asset {
    std::string_view path;
    std::string_view content_type;
    std::span<const unsigned char> bytes;
};

/// Why a connection is closed: the WebSocket close code and a reason for the page.
struct Close {
    std::uint16_t code = 1008;
    std::string reason;
};

inline constexpr std::uint16_t kClosePolicy = 1008; ///< a message that breaks the protocol
inline constexpr std::uint16_t kCloseTooBig = 1009; ///< a message over the size limit
inline constexpr std::uint16_t kCloseGoingAway = 1001;

using ClientId = std::uint64_t;

struct ServerOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0; ///< 0: a free one
    std::size_t max_message = 64 * 1024;
    std::vector<Asset> assets;
};

struct ServerHandler {
    /// A page connected (the handshake passed the Origin check).
    std::function<void(ClientId)> opened;
    /// A whole message; a Close closes the connection with it and nothing else happens.
    std::function<std::optional<Close>(ClientId, bool binary, std::string_view data)> message;
    std::function<void(ClientId)> closed;
};

class Server {
public:
    /// Binds and starts serving; ServerError when it cannot.
    Server(ServerOptions options, ServerHandler handler);
    /// Closes every connection and stops the threads.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// The port bound (the free one picked for port 0).
    std::uint16_t port() const { return port_; }
    /// "http://127.0.0.1:PORT/" (an IPv6 host in brackets).
    std::string url() const;
    /// Whether `host` is a loopback address or name.
    static bool loopback(std::string_view host);

    /// Sends one message to a page; false when it is gone or the write failed.
    bool send(ClientId client, std::string_view data, bool binary);
    /// Closes a connection with a code and reason.
    void close(ClientId client, const Close& why);

private:
    struct Connection;
    static int on_request(mg_connection* conn, void* self);
    static int on_ws_connect(const mg_connection* conn, void* self);
    static void on_ws_ready(mg_connection* conn, void* self);
    static int on_ws_data(mg_connection* conn, int bits, char* data, std::size_t size, void* self);
    static void on_ws_close(const mg_connection* conn, void* self);

    /// Whether a request's Host header names this server.
    bool host_allowed(const char* host) const;
    bool origin_allowed(const char* origin, const char* host) const;
    static void write_close(mg_connection* conn, const Close& why);

    ServerOptions options_;
    ServerHandler handler_;
    /// Set once civetweb listens, when its threads may already take a connection.
    std::atomic<std::uint16_t> port_ = 0;
    mg_context* context_ = nullptr;

    mutable std::mutex mutex_; ///< the connections; held while writing to one
    std::map<ClientId, mg_connection*> connections_;
    ClientId next_id_ = 1;
};

} // namespace sim::web
