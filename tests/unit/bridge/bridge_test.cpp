// The serial bridge against pseudo-terminals: the app on one side, the virtual module served by
// a child process on the other (the whole path), ports that cannot be used, a port taken twice,
// and the line hanging up mid-run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "bridge/pty_module.h"
#include "bridge/serial_bridge.h"
#include "session/controls.h"
#include "example_tag.h"
#include "pty_module_process.h"
#include "session/corvane_session.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

/// What runs as the app: the build for an API, or a package.
struct Build {
    sim::AppApi api;
    const char* fap; // "" for the host build
    const char* name;
};

void PrintTo(const Build& build, std::ostream* out) {
    *out << build.name;
}

sim::CorvaneSessionOptions bridged_to(const std::string& device, const Build& build) {
    sim::CorvaneSessionOptions options;
    options.api = build.api;
    options.fap = build.fap;
    options.realtime = true;
    options.uart_peer = [device](host::Runtime& rt) -> std::unique_ptr<host::UartPeer> {
        return std::make_unique<sim::SerialBridge>(rt, device);
    };
    return options;
}

const sim::SerialBridge& bridge_of(const sim::CorvaneSession& app) {
    return dynamic_cast<const sim::SerialBridge&>(*app.uart_peer());
}

/// What arrives on `fd` within `wait_ms`.
Bytes drain(int fd, int wait_ms) {
    Bytes out;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    while(std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if(::poll(&p, 1, 10) <= 0) continue;
        std::uint8_t buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if(n <= 0) break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

/// Line editing, echo, CR to NL and XON/XOFF on: what the bridge must undo.
void leave_in_cooked_mode(const std::string& device) {
    const sim::UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY));
    ASSERT_TRUE(fd);
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd.get(), &tio), 0);
    tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    tio.c_iflag |= ICRNL | IXON;
    tio.c_oflag |= OPOST | ONLCR;
    ASSERT_EQ(::tcsetattr(fd.get(), TCSANOW, &tio), 0);
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// The tests that run the app run it built for API 36.0 and for 86.0 (the serial API), and the
// 86.0 package on the emulator (skipped when tools/package.sh has not made it).
class BridgedApp : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override {
        if(*GetParam().fap && !std::filesystem::exists(GetParam().fap))
            GTEST_SKIP() << GetParam().fap << " is missing: run tools/package.sh --api 86.0";
    }
};

INSTANTIATE_TEST_SUITE_P(
    Apis,
    BridgedApp,
    ::testing::Values(
        Build{sim::AppApi::V36, "", "api36"},
        Build{sim::AppApi::V86, "", "api86"},
        Build{sim::AppApi::V86, SOURCE_ROOT "/dist/86.0/corvane.fap", "fap86"}),
    [](const auto& info) { return std::string(info.param.name); });

// The app checks the module and reads a tag through the bridge, a pseudo-terminal and the
// virtual module of another process. The tag's EPC and CRC hold 0x7E, the frame end byte, and
// its EPC a 0x0D that a terminal in cooked mode turns into 0x0A; the port was left cooked: the
// bridge must make it raw so that every byte passes as it is.
TEST_P(BridgedApp, ChecksAndReadsTheModuleAtTheFarEndOfAPseudoTerminal) {
    sim::Yrm100Config config;
    config.hardware_version = "PTY-HW 7.1";
    config.manufacturer = "FarSide";
    sim::yrm100::TagSpec tag;
    tag.epc = test_support::kTildeEpc;
    tag.user = Bytes(12, 0x5A); // User memory: PC 3400, CRC 3F7E
    test_support::PtyModuleProcess module(config, {tag});
    leave_in_cooked_mode(module.path()); // as a terminal program may leave a port

    {
        sim::CorvaneSession app(bridged_to(module.path(), GetParam()));
        app.start();
        ASSERT_TRUE(app.wait_for("Module Info", 5000)) << app.describe();
        EXPECT_TRUE(app.shows("PTY-HW 7.1")) << app.describe();
        EXPECT_TRUE(app.shows("FarSide")) << app.describe();

        app.press(InputKeyRight);
        ASSERT_TRUE(app.wait_for("Read Tag", 2000)) << app.describe();
        app.press(InputKeyOk);
        ASSERT_TRUE(app.wait_for("Read Success", 5000)) << app.describe();
        EXPECT_TRUE(app.shows("3F7E")) << app.describe();
        EXPECT_TRUE(app.shows("30 7E 1F EB 70-")) << app.describe();

        auto& bridge = bridge_of(app);
        EXPECT_TRUE(bridge.connected());
        EXPECT_EQ(bridge.problem(), "");
        EXPECT_GT(bridge.bytes_sent(), 0u);
        EXPECT_GT(bridge.bytes_received(), 0u);
    }
    EXPECT_TRUE(module.stop()) << "the module's process did not end cleanly";
}

TEST(SerialBridge, PortsThatCannotBeUsedAreRefusedInOneLineNamingThem) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("bridge_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "plain.txt") << "not a port\n";
    struct Case {
        std::string device;
        std::string reason;
    };
    const Case cases[] = {
        {(dir / "ttyUSB9").string(), "no such device"},
        {(dir / "missing" / "ttyUSB0").string(), "no such device"},
        {dir.string(), "not a serial port (a directory)"},
        {(dir / "plain.txt").string(), "not a serial port (a regular file)"},
        {"/dev/null", "not a serial port"},
    };
    host::Runtime rt(host::RuntimeOptions{.log_to_stderr = false});
    for(const Case& c : cases) {
        try {
            sim::SerialBridge bridge(rt, c.device);
            ADD_FAILURE() << c.device << " was accepted";
        } catch(const sim::BridgeError& e) {
            EXPECT_EQ(std::string(e.what()), c.device + ": " + c.reason);
        }
        EXPECT_EQ(rt.uart(FuriHalUartIdUSART1).peer(), nullptr)
            << "a refused bridge stays detached";
    }
    std::filesystem::remove_all(dir);
}

TEST(SerialBridge, APortInUseIsBusyUntilItsBridgeIsGone) {
    sim::PseudoTerminal pty;
    host::Runtime rt(host::RuntimeOptions{.log_to_stderr = false});
    {
        sim::SerialBridge first(rt, pty.slave_path());
        try {
            sim::SerialBridge second(rt, pty.slave_path());
            ADD_FAILURE() << "opened twice";
        } catch(const sim::BridgeError& e) {
            EXPECT_EQ(
                std::string(e.what()), pty.slave_path() + ": busy (another program has it open)");
        }
        EXPECT_EQ(rt.uart(FuriHalUartIdUSART1).peer(), &first);
    }
    EXPECT_EQ(rt.uart(FuriHalUartIdUSART1).peer(), nullptr);
    EXPECT_NO_THROW(sim::SerialBridge again(rt, pty.slave_path()));
}

// The app's bytes reach the line at the app's rate; then the other end goes away. The bridge
// says so, the app carries on hearing nothing, and the session ends without hanging.
TEST_P(BridgedApp, LineHangingUpMidRunLeavesItWithASilentModule) {
    sim::PseudoTerminal pty;
    const auto started = std::chrono::steady_clock::now();
    {
        sim::CorvaneSession app(bridged_to(pty.slave_path(), GetParam()));
        auto& bridge = bridge_of(app);
        app.start();
        app.wait(1500);
        // The module check's identity request (hardware version) went out, at 115200 baud.
        const Bytes on_line = drain(pty.master(), 200);
        EXPECT_TRUE(contains(on_line, {0xBB, 0x00, 0x03, 0x00, 0x01, 0x00, 0x04, 0x7E}))
            << on_line.size() << " bytes on the line";
        termios tio{};
        ASSERT_EQ(::tcgetattr(pty.master(), &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), B115200);
        EXPECT_TRUE(bridge.connected());
        EXPECT_EQ(bridge.failure(), "");
        EXPECT_EQ(sim::hardware_text(app), "module: a real one, on the serial port");

        const auto cut = std::chrono::system_clock::now();
        pty.close_master();
        app.wait(300);
        EXPECT_FALSE(bridge.connected());
        EXPECT_EQ(bridge.problem(), pty.slave_path() + ": device went away");
        // When, for the message at the end; and the status line says so at once.
        ASSERT_TRUE(bridge.failed_at());
        EXPECT_GE(*bridge.failed_at(), cut);
        EXPECT_EQ(
            sim::hardware_text(app).rfind(
                "module: the serial line is LOST: " + pty.slave_path() + ": device went away at ",
                0),
            0u)
            << sim::hardware_text(app);
        ASSERT_TRUE(app.wait_for("No UHF Module found", 5000)) << app.describe();
        const auto sent = bridge.bytes_sent();
        app.press(InputKeyLeft); // "Retry": the request is dropped, the app still runs
        app.wait(500);
        EXPECT_TRUE(app.running());
        EXPECT_EQ(bridge.bytes_sent(), sent);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

} // namespace
