// The terminal guard on a pseudo-terminal: raw mode and the alternate screen while it lives,
// and the terminal as it was after it goes, also when the process crashes meanwhile.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "terminal/tty.h"

namespace sim::terminal {
namespace {

class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if(master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
    }
    ~Pty() {
        if(slave_ >= 0) ::close(slave_);
        if(master_ >= 0) ::close(master_);
    }
    bool ok() const { return slave_ >= 0; }
    int slave() const { return slave_; }
    termios attributes() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return t;
    }
    /// What the guard wrote to the terminal so far.
    std::string output() const {
        std::string out;
        char buffer[512];
        pollfd p{master_, POLLIN, 0};
        while(::poll(&p, 1, 50) > 0 && (p.revents & POLLIN) != 0) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if(n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }
    void type(std::string_view bytes) const {
        ASSERT_EQ(
            ::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

private:
    int master_ = -1;
    int slave_ = -1;
};

bool same_modes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           a.c_cflag == b.c_cflag;
}

constexpr const char* kEnterAlternate = "\x1b[?1049h";
constexpr const char* kLeaveAlternate = "\x1b[?1049l";

TEST(TerminalGuard, RawWhileItLivesAndRestoredAfterwards) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const termios before = pty.attributes();
    {
        TerminalGuard guard(pty.slave(), pty.slave());
        const termios raw = pty.attributes();
        EXPECT_EQ(raw.c_lflag & (ECHO | ICANON | ISIG), 0u);
        EXPECT_NE(pty.output().find(kEnterAlternate), std::string::npos);
        EXPECT_THROW(TerminalGuard(pty.slave(), pty.slave()), TerminalError) << "one at a time";

        pty.type("\x03q");
        EXPECT_EQ(guard.read_available(), "\x03q") << "Ctrl-C is a byte, not a signal";
        EXPECT_EQ(guard.read_available(), "") << "nothing waits when nothing was typed";
        EXPECT_FALSE(guard.quit_requested());
        ::raise(SIGTERM);
        EXPECT_TRUE(guard.quit_requested()) << "SIGTERM asks the loop to end, the process lives";
    }
    EXPECT_TRUE(same_modes(pty.attributes(), before));
    EXPECT_NE(pty.output().find(kLeaveAlternate), std::string::npos);
    EXPECT_THROW(TerminalGuard(-1, -1), TerminalError);
}

TEST(TerminalGuard, ACrashPutsTheTerminalBackAndStillEndsTheProcess) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const termios before = pty.attributes();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if(child == 0) {
        TerminalGuard guard(pty.slave(), pty.slave());
        std::abort();
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_TRUE(same_modes(pty.attributes(), before));
    const std::string out = pty.output();
    EXPECT_LT(out.find(kEnterAlternate), out.rfind(kLeaveAlternate)) << "the reset came last";
}

} // namespace
} // namespace sim::terminal
