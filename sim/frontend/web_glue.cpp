// fsim's side of the web page: the --web option, the address it names, signals, and the options
// a recording's replay needs.
#include <csignal>
#include <cstdio>

#include "cli_common.h"
#include "frontend_links.h"
#include "web/server.h"
#include "web/web_live.h"

namespace fsim {
namespace {

volatile std::sig_atomic_t web_stop_requested = 0;

void on_web_stop_signal(int) {
    web_stop_requested = 1;
}

/// SIGINT and SIGTERM end the run (the loop sees the flag) while it lives; the old handlers
/// come back after.
class WebStopSignals {
public:
    WebStopSignals() {
        web_stop_requested = 0;
        struct sigaction action {};
        action.sa_handler = on_web_stop_signal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &old_int_);
        sigaction(SIGTERM, &action, &old_term_);
    }
    ~WebStopSignals() {
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGTERM, &old_term_, nullptr);
    }
    WebStopSignals(const WebStopSignals&) = delete;
    WebStopSignals& operator=(const WebStopSignals&) = delete;

private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

struct Address {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
};

/// "[HOST:]PORT" (an IPv6 host in brackets); why not, or empty.
std::string parse_address(const std::string& text, Address* out) {
    Address a;
    std::string port = text;
    if(const auto colon = text.rfind(':'); colon != std::string::npos) {
        a.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if(a.host.size() > 2 && a.host.front() == '[' && a.host.back() == ']')
            a.host = a.host.substr(1, a.host.size() - 2);
        if(a.host.empty()) return "'" + text + "': no host before the ':'";
        if(a.host.find(':') != std::string::npos && text.front() != '[')
            return "'" + text + "': an IPv6 host goes in brackets, as in [::1]:8080";
    }
    if(port.empty() || port.size() > 5 ||
       port.find_first_not_of("0123456789") != std::string::npos)
        return "'" + text + "': give [HOST:]PORT, a port from 0 (a free one) to 65535";
    const unsigned long value = std::stoul(port);
    if(value > 65535) return "'" + text + "': a port is at most 65535";
    a.port = static_cast<std::uint16_t>(value);
    if(out != nullptr) *out = a;
    return {};
}

std::string quoted_argument(std::string_view arg) {
    if(!arg.empty() && arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "0123456789-_.,:/=+@%") == std::string_view::npos)
        return std::string(arg);
    std::string out = "'";
    for(char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

void add_web_option(CLI::App& app, WebSettings& settings) {
    app.add_option(
           "--web",
           settings.address,
           "serve the app on a web page at [HOST:]PORT (port 0: a free one; host 127.0.0.1 unless given) and print its address")
        ->type_name("[HOST:]PORT")
        ->check([](const std::string& text) { return parse_address(text, nullptr); });
}

std::string replay_arguments(
    std::span<const std::string_view> args,
    std::initializer_list<std::string_view> with_value,
    std::initializer_list<std::string_view> flags) {
    std::string out;
    const auto add = [&](std::string_view piece) {
        out += (out.empty() ? "" : " ") + quoted_argument(piece);
    };
    for(std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        if(std::find(flags.begin(), flags.end(), name) != flags.end()) {
            add(arg);
        } else if(std::find(with_value.begin(), with_value.end(), name) != with_value.end()) {
            add(arg);
            if(equals == std::string_view::npos && i + 1 < args.size()) add(args[++i]);
        }
    }
    return out;
}

int run_web_page(
    sim::AppSession& session,
    const WebSettings& settings,
    const std::string& replay_options,
    std::optional<sim::web::RealModule> real_module) {
    Address address;
    if(const auto why = parse_address(settings.address.value_or("0"), &address); !why.empty())
        throw UsageError("--web " + why);
    if(!sim::web::Server::loopback(address.host)) {
        std::fprintf(
            stderr,
            "fsim: warning: serving on %s, not on this machine's loopback: anyone who can reach "
            "it there can drive the app and read the SD card\n",
            address.host.c_str());
    }
    WebStopSignals signals;
    sim::web::WebOptions options;
    options.host = address.host;
    options.port = address.port;
    options.replay_options = replay_options;
    options.real_module = std::move(real_module);
    options.serving = [](const std::string& url) {
        std::printf("%s\n", url.c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "fsim: open %s in a browser; Ctrl-C ends\n", url.c_str());
    };
    options.stop = [] { return web_stop_requested != 0; };
    try {
        return sim::web::run_web(session, options);
    } catch(const sim::web::ServerError& e) {
        throw UsageError(std::string("--web: ") + e.what());
    }
}

} // namespace fsim
