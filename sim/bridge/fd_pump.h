#pragma once
// Moves bytes between a file descriptor (a serial port, a pseudo-terminal's master side) and the
// host runtime without ever blocking the runtime: writes are queued and a pump thread puts them
// out as the descriptor takes them, and the same thread hands what it reads to a callback. A
// hang-up or an I/O error ends the pump for good; from then on writes are dropped.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>

namespace sim {

/// Owns one file descriptor; closes it when destroyed.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if(this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

class FdPump {
public:
    /// Called on the pump thread with each chunk read.
    using Reader = std::function<void(std::span<const std::uint8_t>)>;

    /// At most this many bytes wait to be written; more are dropped (and counted).
    static constexpr std::size_t kMaxQueued = 64 * 1024;

    /// Starts the pump thread on `fd` (made non-blocking). `name` names the descriptor in
    /// problem() ("/dev/ttyUSB0"). `apply_baud` changes the line's speed on the pump thread
    /// (empty: baud changes are ignored).
    FdPump(
        UniqueFd fd,
        std::string name,
        Reader reader,
        std::function<void(int fd, std::uint32_t baud)> apply_baud = {});
    /// Stops and joins the pump thread; bytes still queued are dropped.
    ~FdPump();
    FdPump(const FdPump&) = delete;
    FdPump& operator=(const FdPump&) = delete;

    /// Queues bytes to write. Any thread; never blocks for more than a lock.
    void write(std::span<const std::uint8_t> bytes);
    /// Changes the speed once every byte queued before it has left (bounded wait).
    void set_baud(std::uint32_t baud);

    /// False once the descriptor hung up or failed.
    bool healthy() const;
    /// Empty while healthy; "<name>: device went away" and the like otherwise.
    std::string problem() const;
    /// When the descriptor failed (wall clock); nothing while healthy.
    std::optional<std::chrono::system_clock::time_point> failed_at() const;
    std::uint64_t bytes_written() const;
    std::uint64_t bytes_read() const;
    std::uint64_t bytes_dropped() const;

private:
    void run(const std::stop_token& stop);
    /// Writes what it can; false on a fatal error.
    bool flush_some();
    void fail(std::string what);
    void wake() const;

    UniqueFd fd_;
    UniqueFd wake_fd_; // eventfd: a write or a stop request wakes the pump's poll
    const std::string name_;
    const Reader reader_;
    const std::function<void(int, std::uint32_t)> apply_baud_;

    mutable std::mutex mutex_;
    std::deque<std::uint8_t> queue_;
    /// Speed changes, each after the byte with this stream position has been written.
    std::deque<std::pair<std::uint64_t, std::uint32_t>> bauds_;
    std::uint64_t queued_total_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t read_ = 0;
    std::uint64_t dropped_ = 0;
    bool healthy_ = true;
    std::string problem_;
    std::chrono::system_clock::time_point failed_at_;

    std::jthread thread_; // last: starts after every member above exists, joins first
};

} // namespace sim
