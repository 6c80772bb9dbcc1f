#include "sim/virtual_instrument.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <deque>

namespace skylode::sim {

namespace {

using Clock = std::chrono::steady_clock;

uint32_t SpeedValue(speed_t s) {
  switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
  }
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

// The instrument's side of the line, as its behaviour sees it: output goes
// through the fault plan into a queue that the thread writes out, paced or not.
class VirtualInstrument::Link final : public InstrumentLink {
 public:
  explicit Link(VirtualInstrument& owner) : owner_(owner) {}

  void Send(std::span<const uint8_t> bytes) override {
    const FaultPlan& f = owner_.options_.faults;
    for (uint8_t b : bytes) {
      const size_t offset = offset_++;
      if (hangUpQueued_) return;
      if (f.hangUpAt && offset >= *f.hangUpAt) {
        hangUpQueued_ = true;
        return;
      }
      if (f.silenceFrom && offset >= *f.silenceFrom) continue;
      if (f.dropAt && offset == *f.dropAt) continue;
      if (f.corruptAt && offset == *f.corruptAt) b ^= f.corruptMask;
      outbox_.push_back(b);
      if (f.doubleAt && offset == *f.doubleAt) outbox_.push_back(b);
    }
  }

  uint32_t LineSpeed() const override {
    termios tio{};
    if (owner_.slave_ < 0 || ::tcgetattr(owner_.slave_, &tio) != 0) return 0;
    return SpeedValue(::cfgetospeed(&tio));
  }

  bool SoftwareFlow() const override {
    termios tio{};
    if (owner_.slave_ < 0 || ::tcgetattr(owner_.slave_, &tio) != 0) return false;
    return (tio.c_iflag & IXON) != 0;
  }

  void HangUp() override { hangUpQueued_ = true; }

  // Writes what is due; closes the master once everything before a hang-up
  // has gone out. Returns false when the line is dead.
  bool Flush() {
    if (owner_.master_ < 0) return false;
    const auto now = Clock::now();
    size_t due = outbox_.size();
    if (owner_.options_.pace && !outbox_.empty()) {
      const uint32_t baud = LineSpeed();
      if (baud > 0) {
        // Ten bit times per byte: start, eight data bits, stop.
        const auto perByte = std::chrono::nanoseconds(10'000'000'000LL / baud);
        if (nextByteAt_ < now - std::chrono::milliseconds(20)) nextByteAt_ = now;
        due = 0;
        while (due < outbox_.size() && nextByteAt_ + perByte * static_cast<int64_t>(due) <= now) ++due;
      }
    }
    while (due > 0) {
      uint8_t chunk[512];
      const size_t n = std::min(due, sizeof chunk);
      std::copy_n(outbox_.begin(), n, chunk);
      const ssize_t w = ::write(owner_.master_, chunk, n);
      if (w <= 0) {
        blocked_ = true;  // the program is not reading: wait for room
        break;
      }
      blocked_ = false;
      outbox_.erase(outbox_.begin(), outbox_.begin() + w);
      due -= static_cast<size_t>(w);
      owner_.sent_ += static_cast<size_t>(w);
      lastWrite_ = Clock::now();
      if (owner_.options_.pace) {
        const uint32_t baud = LineSpeed();
        if (baud > 0) nextByteAt_ += std::chrono::nanoseconds(10'000'000'000LL / baud) * w;
      }
    }
    if (hangUpQueued_ && outbox_.empty()) {
      // A hang-up throws away what the program has not read yet; let it
      // take the bytes sent before the fault first, as a real line would
      // have delivered them.
      // The kernel moves written bytes to the other side a little later, so
      // an empty queue counts only once they have had time to arrive.
      int unread = 0;
      const bool settled = now - lastWrite_ >= std::chrono::milliseconds(50);
      const bool pending = ::ioctl(owner_.slave_, TIOCINQ, &unread) == 0 && (unread > 0 || !settled);
      if (pending && now < hangUpGrace()) return true;
      // Flagged before the line dies: whoever sees the hang-up may ask at once.
      owner_.hungUp_ = true;
      CloseFd(owner_.master_);
      return false;
    }
    return true;
  }

  // Waiting for room matters only after a write found none; paced output
  // otherwise goes out on the regular rounds.
  bool WaitsForRoom() const { return blocked_ && !outbox_.empty(); }

 private:
  Clock::time_point hangUpGrace() {
    if (hangUpBy_ == Clock::time_point{}) hangUpBy_ = Clock::now() + std::chrono::seconds(2);
    return hangUpBy_;
  }

  VirtualInstrument& owner_;
  std::deque<uint8_t> outbox_;
  size_t offset_ = 0;
  bool hangUpQueued_ = false;
  Clock::time_point nextByteAt_{};
  Clock::time_point hangUpBy_{};
  Clock::time_point lastWrite_{};
  bool blocked_ = false;
};

VirtualInstrument::VirtualInstrument(std::unique_ptr<InstrumentBehaviour> behaviour, InstrumentOptions options)
    : behaviour_(std::move(behaviour)), options_(std::move(options)) {}

VirtualInstrument::~VirtualInstrument() { Stop(); }

bool VirtualInstrument::Start(std::string& error) {
  if (thread_.joinable()) return true;
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    error = std::string("Cannot open a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  slavePath_ = name;
  // Raw before anyone opens the slave, so no echo or line editing ever
  // touches the instrument's bytes.
  termios tio{};
  if (::tcgetattr(slave_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
  }
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("Cannot create a pipe: ") + std::strerror(errno);
    CloseFd(master_);
    CloseFd(slave_);
    return false;
  }
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
  stop_ = false;
  thread_ = std::thread(&VirtualInstrument::Run, this);
  return true;
}

void VirtualInstrument::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const uint8_t b = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &b, 1);
    thread_.join();
  }
  CloseFd(master_);
  CloseFd(slave_);
  CloseFd(wakeRead_);
  CloseFd(wakeWrite_);
}

void VirtualInstrument::Run() {
  Link link(*this);
  uint8_t buffer[1024];
  while (!stop_) {
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master_, 0, 0}};
    nfds_t count = 1;
    if (master_ >= 0) {
      fds[1].events = static_cast<short>((options_.stallInput ? 0 : POLLIN) | (link.WaitsForRoom() ? POLLOUT : 0));
      count = 2;
    }
    // Short rounds keep ticks and paced output going.
    if (::poll(fds, count, 10) < 0 && errno != EINTR) break;
    if ((fds[0].revents & POLLIN) != 0) break;
    if (master_ >= 0 && !options_.stallInput && (fds[1].revents & POLLIN) != 0) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) {
        received_ += static_cast<size_t>(n);
        behaviour_->OnReceive(std::span<const uint8_t>(buffer, static_cast<size_t>(n)), link);
      }
    }
    if (master_ >= 0) behaviour_->OnTick(link);
    link.Flush();
  }
  // What the program wrote before it let go of the line still reaches the
  // instrument, as it would reach a real one's receiver.
  while (master_ >= 0 && !options_.stallInput) {
    pollfd fd{master_, POLLIN, 0};
    if (::poll(&fd, 1, 0) <= 0 || (fd.revents & POLLIN) == 0) break;
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    received_ += static_cast<size_t>(n);
    behaviour_->OnReceive(std::span<const uint8_t>(buffer, static_cast<size_t>(n)), link);
  }
}

std::unique_ptr<VirtualInstrument> StartInstrument(std::unique_ptr<InstrumentBehaviour> behaviour,
                                                   InstrumentOptions options, std::string& error) {
  auto instrument = std::make_unique<VirtualInstrument>(std::move(behaviour), std::move(options));
  if (!instrument->Start(error)) return nullptr;
  return instrument;
}

}  // namespace skylode::sim
