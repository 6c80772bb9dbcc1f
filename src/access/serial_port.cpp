#include "access/serial_port.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "access/virtual_line.h"

namespace skylode {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<speed_t> SpeedConstant(uint32_t baud) {
  switch (baud) {
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return std::nullopt;
  }
}

std::string SystemText(const char* what, int err) {
  std::string text = what;
  text += ": ";
  text += std::strerror(err);
  return text;
}

int PollMillis(Clock::duration left) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, kReadSlice.count()));
}

}  // namespace

SerialPort::SerialPort(int fd, std::string name, uint32_t baud) : fd_(fd), name_(std::move(name)), baud_(baud) {}

SerialPort::~SerialPort() { Close(); }

PortOpenResult SerialPort::Open(const std::string& devicePath, const std::string& displayName, uint32_t baud,
                                bool softwareFlow) {
  PortOpenResult result;
  const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    // EBUSY: another program set the line exclusive.
    result.failure = err == EBUSY ? OpenFailure::kBusy : OpenFailure::kCannotOpen;
    result.error = SystemText(devicePath.c_str(), err);
    if (err == EBUSY) result.holder = FindPortHolder(devicePath);
    return result;
  }
  // TIOCEXCL keeps other programs out, but root ignores it; the lock keeps a
  // second copy of this program out whoever runs it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    result.failure = err == EWOULDBLOCK ? OpenFailure::kBusy : OpenFailure::kCannotOpen;
    result.error = SystemText(devicePath.c_str(), err == EWOULDBLOCK ? EBUSY : err);
    if (err == EWOULDBLOCK) result.holder = FindPortHolder(devicePath);
    return result;
  }
  ::ioctl(fd, TIOCEXCL);
  std::unique_ptr<SerialPort> port(new SerialPort(fd, displayName, baud));
  if (!port->Configure(baud, softwareFlow) || !port->PurgeDevice()) {
    result.failure = OpenFailure::kCannotConfigure;
    result.error = port->LastError();
    return result;
  }
  result.port = std::move(port);
  return result;
}

bool SerialPort::Configure(uint32_t baud, bool softwareFlow) {
  const auto speed = SpeedConstant(baud);
  if (!speed) {
    lastError_ = "Unsupported line speed " + std::to_string(baud);
    return false;
  }
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0) {
    SetError("Getting COM port state", errno);
    return false;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (softwareFlow) {
    tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
  }
  // Reads never block in the driver: poll() does the waiting.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, *speed);
  ::cfsetospeed(&tio, *speed);
  if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
    SetError("Setting COM port state", errno);
    return false;
  }
  // Instruments powered from the handshake lines need DTR and RTS; pseudo
  // terminals and some adapters have no such lines and say so.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(fd_, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
    SetError("Setting COM port state", errno);
    return false;
  }
  baud_ = baud;
  return true;
}

bool SerialPort::SetSpeed(uint32_t baud, bool softwareFlow) {
  if (fd_ < 0) {
    lastError_ = "Port not open";
    return false;
  }
  return Configure(baud, softwareFlow) && Purge();
}

bool SerialPort::PurgeDevice() {
  if (fd_ < 0) return false;
  if (::tcflush(fd_, TCIOFLUSH) != 0) {
    SetError("Purging COM port buffers", errno);
    return false;
  }
  return true;
}

void SerialPort::SetWriteTiming(std::chrono::microseconds perByte, std::chrono::milliseconds margin) {
  perByte_ = perByte;
  margin_ = margin;
}

std::chrono::milliseconds SerialPort::WriteBound(size_t bytes) const {
  using namespace std::chrono;
  const microseconds perByte = perByte_.count() > 0 ? perByte_ : (baud_ <= 4800 ? 3ms : 2ms);
  return duration_cast<milliseconds>(perByte * static_cast<int64_t>(bytes)) + margin_;
}

IoResult SerialPort::ReadSome(std::span<uint8_t> buffer) {
  if (fd_ < 0) return {IoStatus::kError, 0};
  pollfd p{fd_, POLLIN, 0};
  const int ready = ::poll(&p, 1, static_cast<int>(kReadSlice.count()));
  if (ready < 0) {
    if (errno == EINTR) return {IoStatus::kOk, 0};
    SetError("Reading from the port", errno);
    return {IoStatus::kError, 0};
  }
  if (ready == 0) return {IoStatus::kOk, 0};
  const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
  if (n > 0) return {IoStatus::kOk, static_cast<size_t>(n)};
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return {IoStatus::kOk, 0};
  if (n < 0 && errno != EIO) {
    SetError("Reading from the port", errno);
    return {IoStatus::kError, 0};
  }
  // EIO, or end of file with the line hung up: the other end is gone.
  if (n < 0 || (p.revents & (POLLHUP | POLLERR)) != 0) {
    lastError_ = "The line was hung up";
    return {IoStatus::kHangUp, 0};
  }
  return {IoStatus::kOk, 0};
}

IoResult SerialPort::Write(std::span<const uint8_t> bytes, const CancelToken& cancel) {
  if (fd_ < 0) return {IoStatus::kError, 0};
  const auto deadline = Clock::now() + WriteBound(bytes.size());
  size_t done = 0;
  while (done < bytes.size()) {
    if (cancel.cancelled()) return {IoStatus::kCancelled, done};
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      const int err = errno;
      SetError("Writing to the port", err);
      // What the driver still holds of a failed write would go out in front
      // of the next one.
      ::tcflush(fd_, TCOFLUSH);
      return {err == EIO ? IoStatus::kHangUp : IoStatus::kError, done};
    }
    // The driver's queue is full (or it took nothing): wait for room, but not
    // past the deadline. A short write is a failure, not a success.
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      lastError_ = "Write timed out after " + std::to_string(done) + " of " + std::to_string(bytes.size()) + " bytes";
      ::tcflush(fd_, TCOFLUSH);
      return {IoStatus::kTimeout, done};
    }
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, std::max(1, PollMillis(left))) < 0 && errno != EINTR) {
      SetError("Writing to the port", errno);
      return {IoStatus::kError, done};
    }
    if ((p.revents & (POLLHUP | POLLERR)) != 0 && (p.revents & POLLOUT) == 0) {
      lastError_ = "The line was hung up";
      return {IoStatus::kHangUp, done};
    }
  }
  return {IoStatus::kOk, done};
}

void SerialPort::Close() {
  if (fd_ >= 0) {
    // The flag belongs to the line, not to this descriptor: left set, it
    // keeps every later open out (every user but root) for as long as the
    // line exists, which for a pseudo-terminal is as long as its master.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }
  virtualLine_.reset();
}

void SerialPort::AttachVirtualLine(std::unique_ptr<VirtualLine> line) { virtualLine_ = std::move(line); }

void SerialPort::SetError(const char* what, int err) { lastError_ = SystemText(what, err); }

}  // namespace skylode
