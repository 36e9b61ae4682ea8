// The web front-end without a browser: the page's messages that are refused (each with its
// reason), the server's guards (Host, Origin, size), and corvane served by run_web to two
// clients on civetweb's own WebSocket client: frames as the screen changes, keys from the page
// that drives, none from the one that watches, a malformed message closing only its sender.
#include <civetweb.h>
#include <gtest/gtest.h>
#include <json/json.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corvane_driver.h"
#include "web/protocol.h"
#include "web/server.h"
#include "web/web_live.h"

namespace {

using namespace std::chrono_literals;

Json::Value parse(std::string_view text) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    reader->parse(text.data(), text.data() + text.size(), &value, &errors);
    return value;
}

std::string refusal(bool binary, const std::string& message) {
    try {
        sim::web::parse_command(binary, message);
    } catch(const sim::web::ProtocolError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(WebProtocol, EachMalformedMessageIsRefusedWithItsReason) {
    const struct {
        const char* message;
        const char* reason;
    } cases[] = {
        {"{not json", "not JSON"},
        {"[1, 2]", "a message is a JSON object"},
        {"{\"key\": \"up\"}", "a message needs \"t\", the command's name"},
        {"{\"t\": \"launch\"}", "unknown command 'launch'"},
        {"{\"t\": \"key\", \"key\": \"sideways\", \"down\": true}",
         "key: 'key' must be one of up, down, left, right, ok, back"},
        {"{\"t\": \"key\", \"key\": \"up\"}", "key: 'down' is missing"},
        {"{\"t\": \"key\", \"key\": \"up\", \"down\": 1}", "key: 'down' must be true or false"},
        {"{\"t\": \"key\", \"key\": \"up\", \"down\": true, \"x\": 1}", "key: unknown field 'x'"},
        {"{\"t\": \"key\", \"key\": \"up\", \"down\": true, \"down\": false}", "not JSON"},
        {"{\"t\": \"type\", \"text\": \"\"}", "type: 'text' is empty"},
        {"{\"t\": \"tag-edit\", \"tag\": 0, \"bank\": \"epc\", \"data\": \"\"}",
         "tag-edit: 'tag' must be a whole number from 1 to 1000000"},
        {"{\"t\": \"tag-add\", \"epc\": \"3000\", \"locks\": {\"epc\": \"glued\"}}",
         "tag-add: locks.epc must be open, secured or permanent"},
        {"{\"t\": \"gait\", \"cadence\": 50}", "gait: 'cadence' must be a number from 0.1 to 10"},
        {"{\"t\": \"file-upload\", \"name\": \"a\"}",
         "file-upload comes as a binary message with the file's bytes"},
        {"{\"t\": \"expect\", \"text\": [[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]}", "not JSON"},
    };
    for(const auto& c : cases) EXPECT_EQ(refusal(false, c.message), c.reason) << c.message;

    EXPECT_EQ(refusal(true, "ab"), "a binary message begins with its header's length");
    EXPECT_EQ(
        refusal(true, std::string("\x40\x00\x00\x00{}", 6)),
        "a binary message's header is longer than the message");
    const std::string header = R"({"t":"file-upload","name":"Gate.uhf","replace":true})";
    const std::string upload =
        std::string(1, static_cast<char>(header.size())) + std::string(3, '\0') + header + "EPC";
    const auto command = sim::web::parse_command(true, upload);
    const auto* file = std::get_if<sim::web::command::FileUpload>(&command);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->name, "Gate.uhf");
    EXPECT_EQ(file->bytes, "EPC");
    EXPECT_TRUE(file->replace);
}

/// A WebSocket client on civetweb's own: every message it gets, and the close frame's code and
/// reason.
class Client {
public:
    struct Message {
        Json::Value header;
        std::string bytes; ///< a binary message's payload
    };

    Client(std::uint16_t port, const std::string& origin) {
        char error[256] = {};
        conn_ = mg_connect_websocket_client(
            "127.0.0.1",
            port,
            0,
            error,
            sizeof error,
            "/ws",
            origin.c_str(),
            on_data,
            on_close,
            this);
        error_ = error;
    }
    ~Client() {
        if(conn_ != nullptr) mg_close_connection(conn_);
    }
    bool connected() const { return conn_ != nullptr; }

    void send(const std::string& text) {
        mg_websocket_client_write(conn_, MG_WEBSOCKET_OPCODE_TEXT, text.data(), text.size());
    }

    /// Waits (at most 60 s) for a message that `match` takes; it, or a null header.
    Message wait(const std::function<bool(const Message&)>& match) {
        std::unique_lock lock(mutex_);
        Message found;
        changed_.wait_for(lock, 60s, [&] {
            for(const auto& m : messages_) {
                if(match(m)) {
                    found = m;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    Message wait_type(const std::string& type, const std::function<bool(const Message&)>& match) {
        return wait([&](const Message& m) { return m.header["t"] == type && match(m); });
    }
    /// The close frame's code and reason, once it came.
    std::pair<int, std::string> wait_close() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 60s, [&] { return close_code_ != 0; });
        return {close_code_, close_reason_};
    }

private:
    static int on_data(mg_connection*, int bits, char* data, std::size_t size, void* self) {
        auto* client = static_cast<Client*>(self);
        std::lock_guard lock(client->mutex_);
        const int opcode = bits & 0x0F;
        Message m;
        if(opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE && size >= 2) {
            client->close_code_ = static_cast<unsigned char>(data[0]) << 8 |
                                  static_cast<unsigned char>(data[1]);
            client->close_reason_.assign(data + 2, size - 2);
        } else if(opcode == MG_WEBSOCKET_OPCODE_TEXT) {
            m.header = parse(std::string_view(data, size));
            client->messages_.push_back(std::move(m));
        } else if(opcode == MG_WEBSOCKET_OPCODE_BINARY && size >= 4) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(data);
            const std::size_t length = bytes[0] | bytes[1] << 8;
            m.header = parse(std::string_view(data + 4, length));
            m.bytes.assign(data + 4 + length, size - 4 - length);
            client->messages_.push_back(std::move(m));
        }
        client->changed_.notify_all();
        return 1;
    }
    static void on_close(const mg_connection*, void* self) {
        auto* client = static_cast<Client*>(self);
        std::lock_guard lock(client->mutex_);
        if(client->close_code_ == 0) client->close_code_ = -1;
        client->changed_.notify_all();
    }

    mg_connection* conn_ = nullptr;
    std::string error_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    int close_code_ = 0;
    std::string close_reason_;
};

int http_status(std::uint16_t port, const std::string& host) {
    char error[256] = {};
    mg_connection* conn = mg_download(
        "127.0.0.1",
        port,
        0,
        error,
        sizeof error,
        "GET / HTTP/1.1\r\nHost: %s\r\n\r\n",
        host.c_str());
    if(conn == nullptr) return -1;
    const int status = mg_get_response_info(conn)->status_code;
    mg_close_connection(conn);
    return status;
}

TEST(WebServer, AnswersItsOwnAddressAndOriginOnlyAndClosesOnTooBigAMessage) {
    sim::web::ServerOptions options;
    options.max_message = 1000;
    static const unsigned char kPage[] = "<html></html>";
    options.assets = {{"/", "text/html", kPage}};
    std::atomic<int> messages = 0;
    sim::web::ServerHandler handler;
    handler.message =
        [&](sim::web::ClientId, bool, std::string_view data) -> std::optional<sim::web::Close> {
        ++messages;
        if(data == "bad") return sim::web::Close{sim::web::kClosePolicy, "bad is bad"};
        return std::nullopt;
    };
    sim::web::Server server(options, handler);
    const std::uint16_t port = server.port();
    ASSERT_NE(port, 0) << "port 0 gives a free port, read back";
    EXPECT_EQ(server.url(), "http://127.0.0.1:" + std::to_string(port) + "/");

    const std::string own = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(http_status(port, own), 200);
    EXPECT_EQ(http_status(port, "localhost:" + std::to_string(port)), 200);
    EXPECT_EQ(http_status(port, "evil.example:" + std::to_string(port)), 421)
        << "a name another site points at 127.0.0.1";
    EXPECT_EQ(http_status(port, "127.0.0.1:1"), 421);

    EXPECT_FALSE(Client(port, "http://evil.example").connected());
    EXPECT_FALSE(Client(port, "null").connected());

    Client big(port, "http://127.0.0.1");
    ASSERT_TRUE(big.connected());
    big.send(std::string(1001, 'x'));
    EXPECT_EQ(
        big.wait_close(),
        std::make_pair(1009, std::string("message too big: at most 1000 bytes")));

    Client bad(port, "http://127.0.0.1");
    ASSERT_TRUE(bad.connected());
    bad.send("fine");
    bad.send("bad");
    EXPECT_EQ(bad.wait_close(), std::make_pair(1008, std::string("bad is bad")));
    EXPECT_EQ(messages.load(), 2) << "the message over the limit never reached the handler";
}

// corvane served to two pages: the first drives, the second watches; a malformed message closes
// the first alone, and the second drives from then on.
TEST(WebLive, TwoPagesSeeTheScreenOneDrivesAndABadMessageClosesOnlyItsSender) {
    corvane_test::DriverOptions options;
    options.realtime = true;
    options.speed = 5;
    corvane_test::Driver app(options);
    app.start();
    std::promise<std::uint16_t> port;
    std::atomic<bool> stop = false;
    sim::web::WebOptions web;
    web.serving = [&](const std::string& url) {
        port.set_value(static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
    };
    web.stop = [&] { return stop.load(); };

    std::string failure;
    std::thread pages([&] {
        const auto fail = [&](const std::string& why) {
            failure = why;
            stop = true;
        };
        const std::uint16_t p = port.get_future().get();
        const std::string origin = "http://127.0.0.1";
        const auto shows = [](const std::string& text) {
            return [text](const Client::Message& m) {
                for(const auto& t : m.header["texts"]) {
                    if(t["s"].asString().find(text) != std::string::npos) return true;
                }
                return false;
            };
        };
        const auto control = [](bool you) {
            return [you](const Client::Message& m) { return m.header["you"].asBool() == you; };
        };
        Client first(p, origin);
        if(first.wait_type("frame", shows("Module Info")).header.isNull())
            return fail("no frame with Module Info");
        if(first.wait_type("control", control(true)).header.isNull())
            return fail("the first page does not drive");
        Client second(p, origin);
        if(second.wait_type("control", control(false)).header.isNull())
            return fail("the second page does not watch");
        if(second.wait_type("frame", shows("Module Info")).header.isNull())
            return fail("the second page sees no screen");
        second.send(R"({"t":"key","key":"right","down":true})");
        if(second.wait_type("reply", [](const auto& m) { return !m.header["ok"].asBool(); })
               .header.isNull())
            return fail("a watching page's key was not refused");
        first.send(R"({"t":"key","key":"right","down":true})");
        first.send(R"({"t":"key","key":"right","down":false})");
        if(second.wait_type("frame", shows("Read Tag")).header.isNull())
            return fail("the driving page's key did not reach the app");
        first.send(R"({"t":"tag-edit","tag":"one"})");
        const auto closed = first.wait_close();
        if(closed.first != 1008 ||
           closed.second != "tag-edit: 'tag' must be a whole number from 1 to 1000000")
            return fail(
                "the malformed message closed with " + std::to_string(closed.first) + " " +
                closed.second);
        if(second.wait_type("control", control(true)).header.isNull())
            return fail("the second page did not take over when the first closed");
        second.send(R"({"t":"key","key":"down","down":true})");
        second.send(R"({"t":"key","key":"down","down":false})");
        if(second
               .wait([&](const Client::Message& m) {
                   if(m.header["t"] != "frame") return false;
                   for(const auto& t : m.header["texts"]) {
                       if(t["s"] == "Saved" && t["inv"].asBool()) return true;
                   }
                   return false;
               })
               .header.isNull())
            return fail("the second page's key did not move the menu");
        stop = true;
    });
    EXPECT_EQ(sim::web::run_web(app, web), 0);
    pages.join();
    EXPECT_EQ(failure, "");
    EXPECT_TRUE(app.running()) << "the app ended";
    EXPECT_TRUE(app.shows("Read Tag"));
}

} // namespace
