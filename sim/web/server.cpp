#include "server.h"

#include <civetweb.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#if defined(__SANITIZE_THREAD__)
// civetweb 1.15 formats the Date of its replies with gmtime(), whose result is one static buffer,
// from whichever of its threads answers: ThreadSanitizer sees the library race with itself on it.
// The dates are its own business (the page reads none of them); everything else civetweb's
// threads touch is still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "race:gmtime\n";
}
#endif

namespace sim::web {

/// What a connection holds between frames: the fragments of a message being put together.
struct Server::Connection {
    ClientId id = 0;
    std::string fragments;
    bool binary = false;
    bool assembling = false;
};

namespace {

constexpr int kOpcodeMask = 0x0F;
constexpr int kFinalFragment = 0x80;

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

/// An address no name can stand for: dotted IPv4 or bracketed IPv6.
bool ip_literal(std::string_view host) {
    unsigned char buffer[sizeof(in6_addr)];
    if(host.size() > 2 && host.front() == '[' && host.back() == ']') {
        const std::string inner(host.substr(1, host.size() - 2));
        return inet_pton(AF_INET6, inner.c_str(), buffer) == 1;
    }
    const std::string text(host);
    return inet_pton(AF_INET, text.c_str(), buffer) == 1;
}

/// "host[:port]" split at the port's colon (IPv6 hosts are bracketed); port 0 when none.
bool split_authority(std::string_view authority, std::string_view& host, unsigned& port) {
    const auto bracket = authority.rfind(']');
    const auto colon = authority.rfind(':');
    port = 0;
    host = authority;
    if(colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        host = authority.substr(0, colon);
        const std::string_view digits = authority.substr(colon + 1);
        if(digits.empty() || digits.size() > 5) return false;
        port = 0;
        for(char c : digits) {
            if(c < '0' || c > '9') return false;
            port = port * 10 + static_cast<unsigned>(c - '0');
        }
    }
    return !host.empty();
}

int log_quietly(const mg_connection*, const char*) {
    return 1; // the server's own complaints (a peer that went away) are no user's business
}

/// The host a client names to reach a server listening on `host`: loopback for every address.
std::string reachable_host(const std::string& host) {
    return host == "0.0.0.0" || host == "::" ? "127.0.0.1" : host;
}

/// `host` as it stands before ":port": an IPv6 address in brackets.
std::string authority_host(const std::string& host) {
    return host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
}

/// The address of `host` (a reachable one), where a connection reaches the server.
std::optional<sockaddr_storage> own_address(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    // civetweb listens on IPv4 unless its host is an IPv6 address: a name is looked up as IPv4.
    hints.ai_family = host.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if(getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return {};
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, std::min<std::size_t>(found->ai_addrlen, sizeof address));
    freeaddrinfo(found);
    return address;
}

/// Opens a connection to the server and closes it at once.
void knock(const sockaddr_storage& address) {
    const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if(fd < 0) return;
    const timeval limit{0, 100'000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const socklen_t length = address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
    close(fd);
}

} // namespace

Server::Server(ServerOptions options, ServerHandler handler)
    : options_(std::move(options))
    , handler_(std::move(handler)) {
    mg_init_library(MG_FEATURES_WEBSOCKET);
    const std::string host = authority_host(options_.host);
    const std::string listen = host + ":" + std::to_string(options_.port);
    if(!host.empty() && host.front() == '[' && mg_check_feature(MG_FEATURES_IPV6) == 0) {
        mg_exit_library();
        throw ServerError("cannot serve on " + listen +
                          ": this machine's civetweb library is built without IPv6; give an IPv4 "
                          "address, such as 127.0.0.1");
    }
    const char* config[] = {
        "listening_ports",
        listen.c_str(),
        // A worker per open page and a few for the files; pages beyond wait for a free one.
        "num_threads",
        "12",
        "tcp_nodelay",
        "1",
        "enable_websocket_ping_pong",
        "yes",
        "websocket_timeout_ms",
        "5000",
        "request_timeout_ms",
        "10000",
        "enable_directory_listing",
        "no",
        nullptr};
    mg_callbacks callbacks{};
    callbacks.log_message = log_quietly;
    mg_init_data init{};
    init.callbacks = &callbacks;
    init.user_data = this;
    init.configuration_options = config;
    char error_text[256] = {};
    unsigned error_code = 0;
    mg_error_data error{&error_code, error_text, sizeof error_text};
    context_ = mg_start2(&init, &error);
    if(context_ == nullptr) {
        mg_exit_library();
        throw ServerError(
            "cannot serve on " + listen +
            (error_text[0] != '\0' ? ": " + std::string(error_text) : ""));
    }
    mg_server_port ports[4] = {};
    const int count = mg_get_server_ports(context_, 4, ports);
    port_.store(count > 0 ? static_cast<std::uint16_t>(ports[0].port) : options_.port);

    mg_set_request_handler(context_, "/", on_request, this);
    mg_set_websocket_handler(
        context_, "/ws", on_ws_connect, on_ws_ready, on_ws_data, on_ws_close, this);
}

Server::~Server() {
    {
        std::lock_guard lock(mutex_);
        for(const auto& [id, conn] : connections_)
            write_close(conn, {kCloseGoingAway, "fsim is stopping"});
    }
    // mg_stop waits for civetweb's accept loop, which looks at its stop flag only when a poll of
    // the listening sockets ends: after up to 2 s, or as soon as a connection comes. Knocking
    // until mg_stop returns spares every stop that wait (Ctrl-C, each test's server).
    std::atomic<bool> stopped{false};
    std::thread knocker;
    if(const auto address = own_address(reachable_host(options_.host), port_)) {
        try {
            knocker = std::thread([&stopped, address = *address] {
                while(!stopped.load()) {
                    knock(address);
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
        } catch(const std::system_error&) {
            // No thread to spare: the stop takes civetweb's own time.
        }
    }
    mg_stop(context_);
    stopped.store(true);
    if(knocker.joinable()) knocker.join();
    mg_exit_library();
}

std::string Server::url() const {
    return "http://" + authority_host(reachable_host(options_.host)) + ":" + std::to_string(port_) +
           "/";
}

bool Server::loopback(std::string_view host) {
    if(host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    if(equal_ignoring_case(host, "localhost") || host == "::1") return true;
    in_addr address{};
    const std::string text(host);
    return inet_pton(AF_INET, text.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

bool Server::host_allowed(const char* host_header) const {
    if(host_header == nullptr) return false;
    std::string_view host;
    unsigned port = 0;
    // Browsers always name the port (it is not 80); other clients may leave it out.
    if(!split_authority(host_header, host, port) || (port != 0 && port != port_)) return false;
    // The host we were given, or an address: never some other name, which could be one a page
    // of another site has pointed at this machine.
    std::string bound = options_.host;
    if(bound.find(':') != std::string::npos && bound.front() != '[') bound = "[" + bound + "]";
    return equal_ignoring_case(host, bound) || equal_ignoring_case(host, "localhost") ||
           ip_literal(host);
}

bool Server::origin_allowed(const char* origin, const char* host_header) const {
    if(origin == nullptr || !host_allowed(host_header)) return false;
    return equal_ignoring_case(origin, std::string("http://") + host_header);
}

int Server::on_request(mg_connection* conn, void* self_pointer) {
    auto* self = static_cast<Server*>(self_pointer);
    const mg_request_info* request = mg_get_request_info(conn);
    if(!self->host_allowed(mg_get_header(conn, "Host"))) {
        mg_send_http_error(conn, 421, "%s", "This server answers to its own address only.\n");
        return 421;
    }
    if(std::strcmp(request->request_method, "GET") != 0 &&
       std::strcmp(request->request_method, "HEAD") != 0) {
        mg_send_http_error(conn, 405, "%s", "Only GET.\n");
        return 405;
    }
    const std::string_view path = request->local_uri != nullptr ? request->local_uri : "/";
    const auto asset = std::find_if(
        self->options_.assets.begin(), self->options_.assets.end(), [&](const Asset& a) {
            return a.path == path;
        });
    if(asset == self->options_.assets.end()) {
        mg_send_http_error(conn, 404, "%s", "No such page.\n");
        return 404;
    }
    const std::string type(asset->content_type);
    const std::string length = std::to_string(asset->bytes.size());
    mg_response_header_start(conn, 200);
    mg_response_header_add(conn, "Content-Type", type.c_str(), -1);
    mg_response_header_add(conn, "Content-Length", length.c_str(), -1);
    mg_response_header_add(conn, "Cache-Control", "no-store", -1);
    mg_response_header_add(conn, "X-Content-Type-Options", "nosniff", -1);
    // No other site may frame the page (and make a person click on it unknowingly); scripts,
    // styles and the socket come from here only.
    mg_response_header_add(conn, "X-Frame-Options", "DENY", -1);
    mg_response_header_add(
        conn,
        "Content-Security-Policy",
        "default-src 'self'; connect-src 'self'; img-src 'self' blob: data:; "
        "frame-ancestors 'none'; base-uri 'none'; form-action 'none'",
        -1);
    mg_response_header_add(conn, "Referrer-Policy", "no-referrer", -1);
    mg_response_header_send(conn);
    if(std::strcmp(request->request_method, "GET") == 0)
        mg_write(conn, asset->bytes.data(), asset->bytes.size());
    return 200;
}

int Server::on_ws_connect(const mg_connection* conn, void* self_pointer) {
    const auto* self = static_cast<Server*>(self_pointer);
    // Refused: civetweb ends the connection before the handshake, so the page sees it fail.
    return self->origin_allowed(mg_get_header(conn, "Origin"), mg_get_header(conn, "Host")) ? 0 :
                                                                                              1;
}

void Server::on_ws_ready(mg_connection* conn, void* self_pointer) {
    auto* self = static_cast<Server*>(self_pointer);
    auto* connection = new Connection;
    {
        std::lock_guard lock(self->mutex_);
        connection->id = self->next_id_++;
        self->connections_[connection->id] = conn;
    }
    mg_set_user_connection_data(conn, connection);
    if(self->handler_.opened) self->handler_.opened(connection->id);
}

int Server::on_ws_data(
    mg_connection* conn,
    int bits,
    char* data,
    std::size_t size,
    void* self_pointer) {
    auto* self = static_cast<Server*>(self_pointer);
    auto* connection = static_cast<Connection*>(mg_get_user_connection_data(conn));
    if(connection == nullptr) return 0;
    const int opcode = bits & kOpcodeMask;
    const bool final = (bits & kFinalFragment) != 0;
    switch(opcode) {
    case MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE:
        return 0;
    case MG_WEBSOCKET_OPCODE_PING:
    case MG_WEBSOCKET_OPCODE_PONG:
        return 1;
    case MG_WEBSOCKET_OPCODE_TEXT:
    case MG_WEBSOCKET_OPCODE_BINARY:
        if(connection->assembling) {
            write_close(conn, {kClosePolicy, "a new message began inside a fragmented one"});
            return 0;
        }
        connection->binary = opcode == MG_WEBSOCKET_OPCODE_BINARY;
        connection->fragments.clear();
        break;
    case MG_WEBSOCKET_OPCODE_CONTINUATION:
        if(!connection->assembling) {
            write_close(conn, {kClosePolicy, "a continuation without a message"});
            return 0;
        }
        break;
    default:
        write_close(conn, {kClosePolicy, "an unknown frame type"});
        return 0;
    }
    if(connection->fragments.size() + size > self->options_.max_message) {
        write_close(
            conn,
            {kCloseTooBig,
             "message too big: at most " + std::to_string(self->options_.max_message) + " bytes"});
        return 0;
    }
    if(!final) {
        connection->assembling = true;
        connection->fragments.append(data, size);
        return 1;
    }
    std::string_view message(data, size);
    if(connection->assembling) {
        connection->fragments.append(data, size);
        message = connection->fragments;
        connection->assembling = false;
    }
    if(!self->handler_.message) return 1;
    if(const auto close = self->handler_.message(connection->id, connection->binary, message)) {
        write_close(conn, *close);
        return 0;
    }
    connection->fragments.clear();
    return 1;
}

void Server::on_ws_close(const mg_connection* conn, void* self_pointer) {
    auto* self = static_cast<Server*>(self_pointer);
    auto* connection = static_cast<Connection*>(mg_get_user_connection_data(conn));
    if(connection == nullptr) return;
    {
        std::lock_guard lock(self->mutex_);
        self->connections_.erase(connection->id);
    }
    if(self->handler_.closed) self->handler_.closed(connection->id);
    mg_set_user_connection_data(conn, nullptr);
    delete connection;
}

void Server::write_close(mg_connection* conn, const Close& why) {
    // The close frame's body: the code, big-endian, then the reason (at most 123 bytes).
    std::string body;
    body += static_cast<char>(why.code >> 8);
    body += static_cast<char>(why.code & 0xFF);
    body += why.reason.substr(0, 123);
    mg_websocket_write(conn, MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, body.data(), body.size());
}

bool Server::send(ClientId client, std::string_view data, bool binary) {
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(client);
    if(it == connections_.end()) return false;
    const int opcode = binary ? MG_WEBSOCKET_OPCODE_BINARY : MG_WEBSOCKET_OPCODE_TEXT;
    return mg_websocket_write(it->second, opcode, data.data(), data.size()) > 0;
}

void Server::close(ClientId client, const Close& why) {
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(client);
    if(it != connections_.end()) write_close(it->second, why);
}

} // namespace sim::web
