#include "fd_pump.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

namespace sim {

namespace {

/// Longest wait for the line to empty before a speed change is applied anyway.
constexpr auto kBaudDrainLimit = std::chrono::milliseconds(100);
/// The pump re-checks its stop request at least this often.
constexpr int kPollTimeoutMs = 100;

bool went_away(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE || error == EBADF;
}

std::string describe(const char* what, int error) {
    if(went_away(error)) return "device went away";
    return std::string(what) + " failed (" + std::strerror(error) + ")";
}

} // namespace

void UniqueFd::reset(int fd) {
    if(fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

FdPump::FdPump(
    UniqueFd fd,
    std::string name,
    Reader reader,
    std::function<void(int, std::uint32_t)> apply_baud)
    : fd_(std::move(fd))
    , wake_fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    , name_(std::move(name))
    , reader_(std::move(reader))
    , apply_baud_(std::move(apply_baud)) {
    if(!fd_ || !wake_fd_) throw std::runtime_error(name_ + ": cannot start the I/O thread");
    const int flags = ::fcntl(fd_.get(), F_GETFL);
    if(flags >= 0) ::fcntl(fd_.get(), F_SETFL, flags | O_NONBLOCK);
    thread_ = std::jthread([this](const std::stop_token& stop) { run(stop); });
}

FdPump::~FdPump() {
    thread_.request_stop();
    wake();
    thread_.join();
}

void FdPump::write(std::span<const std::uint8_t> bytes) {
    if(bytes.empty()) return;
    {
        std::lock_guard lock(mutex_);
        if(!healthy_) {
            dropped_ += bytes.size();
            return;
        }
        const std::size_t room = kMaxQueued - queue_.size();
        const std::size_t take = std::min(room, bytes.size());
        queue_.insert(
            queue_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        queued_total_ += take;
        dropped_ += bytes.size() - take;
    }
    wake();
}

void FdPump::set_baud(std::uint32_t baud) {
    if(!apply_baud_) return;
    {
        std::lock_guard lock(mutex_);
        if(!healthy_) return;
        bauds_.emplace_back(queued_total_, baud);
    }
    wake();
}

bool FdPump::healthy() const {
    std::lock_guard lock(mutex_);
    return healthy_;
}

std::optional<std::chrono::system_clock::time_point> FdPump::failed_at() const {
    std::lock_guard lock(mutex_);
    if(healthy_) return std::nullopt;
    return failed_at_;
}

std::string FdPump::problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

std::uint64_t FdPump::bytes_written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::uint64_t FdPump::bytes_read() const {
    std::lock_guard lock(mutex_);
    return read_;
}

std::uint64_t FdPump::bytes_dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void FdPump::wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(wake_fd_.get(), &one, sizeof one);
}

void FdPump::fail(std::string what) {
    std::lock_guard lock(mutex_);
    if(!healthy_) return;
    healthy_ = false;
    problem_ = name_ + ": " + what;
    failed_at_ = std::chrono::system_clock::now();
    dropped_ += queue_.size();
    queue_.clear();
    bauds_.clear();
}

bool FdPump::flush_some() {
    std::array<std::uint8_t, 512> chunk{};
    for(;;) {
        std::size_t size = 0;
        {
            std::lock_guard lock(mutex_);
            // Stop at a pending speed change: the bytes after it go out at the new rate.
            std::uint64_t limit = queue_.size();
            if(!bauds_.empty())
                limit = std::min<std::uint64_t>(limit, bauds_.front().first - written_);
            size = std::min<std::size_t>(chunk.size(), static_cast<std::size_t>(limit));
            std::copy_n(queue_.begin(), size, chunk.begin());
        }
        if(size == 0) return true;
        const ssize_t n = ::write(fd_.get(), chunk.data(), size);
        if(n < 0) {
            if(errno == EINTR) continue;
            if(errno == EAGAIN || errno == EWOULDBLOCK) return true;
            fail(describe("write", errno));
            return false;
        }
        std::lock_guard lock(mutex_);
        queue_.erase(queue_.begin(), queue_.begin() + n);
        written_ += static_cast<std::uint64_t>(n);
        if(static_cast<std::size_t>(n) < size) return true;
    }
}

void FdPump::run(const std::stop_token& stop) {
    std::vector<std::uint8_t> buffer(4096);
    bool draining = false;
    auto drain_since = std::chrono::steady_clock::now();
    while(!stop.stop_requested()) {
        bool have_output = false;
        std::optional<std::uint32_t> due_baud;
        {
            std::lock_guard lock(mutex_);
            if(!healthy_) return;
            have_output = !queue_.empty() && (bauds_.empty() || bauds_.front().first > written_);
            if(!bauds_.empty() && bauds_.front().first <= written_)
                due_baud = bauds_.front().second;
        }
        if(due_baud) {
            // As a UART does: the new speed applies once the last byte has left the line.
            int unsent = 0;
            const auto now = std::chrono::steady_clock::now();
            if(!draining) {
                draining = true;
                drain_since = now;
            }
            if(::ioctl(fd_.get(), TIOCOUTQ, &unsent) != 0) unsent = 0;
            if(unsent == 0 || now - drain_since >= kBaudDrainLimit) {
                apply_baud_(fd_.get(), *due_baud);
                draining = false;
                std::lock_guard lock(mutex_);
                bauds_.pop_front();
                continue;
            }
        }

        std::array<pollfd, 2> fds{{
            {fd_.get(), static_cast<short>(POLLIN | (have_output ? POLLOUT : 0)), 0},
            {wake_fd_.get(), POLLIN, 0},
        }};
        const int ready = ::poll(fds.data(), fds.size(), due_baud ? 1 : kPollTimeoutMs);
        if(ready < 0) {
            if(errno == EINTR) continue;
            fail(describe("poll", errno));
            return;
        }
        if((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto ignored = ::read(wake_fd_.get(), &count, sizeof count);
        }
        const short events = fds[0].revents;
        if((events & POLLIN) != 0) {
            const ssize_t n = ::read(fd_.get(), buffer.data(), buffer.size());
            if(n > 0) {
                {
                    std::lock_guard lock(mutex_);
                    read_ += static_cast<std::uint64_t>(n);
                }
                reader_(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
            } else if(n == 0) {
                fail("device went away"); // a tty reads end-of-file once it has hung up
                return;
            } else if(errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                fail(describe("read", errno));
                return;
            }
        }
        if((events & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (events & POLLIN) == 0) {
            fail("device went away");
            return;
        }
        if((events & POLLOUT) != 0 && !flush_some()) return;
    }
}

} // namespace sim
