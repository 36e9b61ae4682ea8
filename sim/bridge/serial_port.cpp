#include "serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "serial_bridge.h"

namespace sim {

namespace {

std::optional<speed_t> speed_constant(std::uint32_t baud) {
    switch(baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    default:
        return std::nullopt;
    }
}

[[noreturn]] void refuse(const std::string& device, const std::string& why) {
    throw BridgeError(device + ": " + why);
}

std::string open_failure(int error) {
    switch(error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        return "no such device";
    case EACCES:
    case EPERM:
        return "permission denied (is the user in the dialout group?)";
    case EBUSY:
        return "busy (another program has it open)";
    case EISDIR:
        return "not a serial port (a directory)";
    default:
        return std::string("cannot be opened (") + std::strerror(error) + ")";
    }
}

} // namespace

bool set_speed(int fd, std::uint32_t baud) {
    const auto speed = speed_constant(baud);
    termios tio{};
    if(!speed || ::tcgetattr(fd, &tio) != 0) return false;
    ::cfsetispeed(&tio, *speed);
    ::cfsetospeed(&tio, *speed);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool make_raw(int fd, std::uint32_t baud) {
    termios tio{};
    if(::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if(const auto speed = speed_constant(baud)) {
        ::cfsetispeed(&tio, *speed);
        ::cfsetospeed(&tio, *speed);
    }
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

UniqueFd open_serial_port(const std::string& device, std::uint32_t baud) {
    struct stat info {};
    if(::stat(device.c_str(), &info) != 0) refuse(device, open_failure(errno));
    if(S_ISDIR(info.st_mode)) refuse(device, "not a serial port (a directory)");
    if(S_ISREG(info.st_mode)) refuse(device, "not a serial port (a regular file)");
    if(!S_ISCHR(info.st_mode)) refuse(device, "not a serial port");

    UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if(!fd) refuse(device, open_failure(errno));
    if(::isatty(fd.get()) == 0) refuse(device, "not a serial port");
    // TIOCEXCL keeps other users out (except root); the lock also stops a second bridge run by
    // root, and programs that lock the port the same way.
    if(::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if(errno == EWOULDBLOCK) refuse(device, "busy (another program has it open)");
        refuse(device, open_failure(errno));
    }
    ::ioctl(fd.get(), TIOCEXCL);
    if(!make_raw(fd.get(), baud))
        refuse(device, std::string("cannot be set up (") + std::strerror(errno) + ")");
    ::tcflush(fd.get(), TCIOFLUSH); // nothing left over from before
    return fd;
}

} // namespace sim
