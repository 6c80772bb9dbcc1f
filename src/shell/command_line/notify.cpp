#include "shell/command_line/notify.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "formats/file_io.h"

namespace skylode {

namespace {

using Clock = std::chrono::steady_clock;

bool UsesFallbackFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime == nullptr || runtime[0] != '/';
}

bool MakeAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

int PollMillis(Clock::duration left) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::max<long long>(0, std::min<long long>(ms, 1000)));
}

}  // namespace

std::string NotifyFolder() {
  if (!UsesFallbackFolder()) return std::getenv("XDG_RUNTIME_DIR");
  return "/tmp/skylode-" + std::to_string(getuid());
}

std::string NotifySocketPath(std::string_view name) { return JoinPath(NotifyFolder(), name); }

std::optional<std::string> PrepareNotifyFolder(const std::string& folder, bool create) {
  if (create && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return "Cannot create " + folder + ": " + SystemErrorText(errno);
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0) return folder + ": " + SystemErrorText(errno);
  if (S_ISLNK(st.st_mode)) return folder + " is a link, not a folder of its own";
  if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
  if (st.st_uid != ::getuid()) return folder + " belongs to another user";
  if ((st.st_mode & 077) != 0) return folder + " is open to other users";
  return std::nullopt;
}

std::string EncodeNotifyMessage(uint32_t tag, std::string_view text) {
  std::string out = std::to_string(tag);
  out += ' ';
  out.append(text);
  return out;
}

std::optional<NotifyMessage> DecodeNotifyMessage(std::string_view record) {
  const size_t blank = record.find(' ');
  if (blank == std::string_view::npos || blank == 0) return std::nullopt;
  NotifyMessage m;
  const auto [end, ec] = std::from_chars(record.data(), record.data() + blank, m.tag);
  if (ec != std::errc() || end != record.data() + blank) return std::nullopt;
  m.text = std::string(record.substr(blank + 1));
  return m;
}

// --- Sender ----------------------------------------------------------------------

NotifySender::~NotifySender() {
  if (fd_ >= 0) ::close(fd_);
}

bool NotifySender::Connect(std::string_view name, NotifyLimits limits) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  queue_.clear();
  stalledSince_.reset();
  name_ = std::string(name);
  limits_ = limits;
  // A fallback folder someone else prepared could hold a socket posing as
  // the listener.
  if (UsesFallbackFolder()) {
    if (auto refused = PrepareNotifyFolder(NotifyFolder(), false)) {
      struct stat st;
      if (::lstat(NotifyFolder().c_str(), &st) == 0 && onDropped) onDropped("Notify channel not used: " + *refused);
      return false;
    }
  }
  sockaddr_un address;
  if (!MakeAddress(NotifySocketPath(name), address)) return false;
  const auto end = Clock::now() + limits_.timeout;
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      fd_ = fd;
      return true;
    }
    const int error = errno;
    ::close(fd);
    // A full backlog: the listener lives but has not taken its earlier
    // senders yet.
    if (error != EAGAIN && error != EINTR) return false;
    if (Clock::now() >= end) {
      if (onDropped) onDropped("Notify listener " + name_ + " does not answer: no messages sent");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool NotifySender::SendQueued() {
  while (!queue_.empty()) {
    const std::string& record = queue_.front();
    const ssize_t sent = ::send(fd_, record.data(), record.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!stalledSince_) stalledSince_ = Clock::now();
      return true;
    }
    if (sent != static_cast<ssize_t>(record.size())) return false;
    queue_.pop_front();
    stalledSince_.reset();
  }
  return true;
}

void NotifySender::Drop(std::string_view why) {
  ::close(fd_);
  fd_ = -1;
  const size_t lost = queue_.size();
  queue_.clear();
  stalledSince_.reset();
  if (onDropped) {
    std::string text = "Notify listener " + name_ + " " + std::string(why);
    if (lost > 0) text += ", " + std::to_string(lost) + " messages not sent";
    onDropped(text);
  }
}

void NotifySender::Send(uint32_t tag, std::string_view text) {
  if (fd_ < 0) return;
  if (queue_.size() >= limits_.maxQueued) {
    // Give the listener its last chance before the queue counts as full.
    if (!SendQueued()) return Drop("went away");
    if (queue_.size() >= limits_.maxQueued) return Drop("falls behind: channel dropped");
  }
  queue_.push_back(EncodeNotifyMessage(tag, text));
  if (!SendQueued()) return Drop("went away");
  if (stalledSince_ && Clock::now() - *stalledSince_ >= limits_.timeout) Drop("stopped reading: channel dropped");
}

void NotifySender::Flush() {
  while (fd_ >= 0 && !queue_.empty()) {
    if (!SendQueued()) return Drop("went away");
    if (queue_.empty()) return;
    const auto end = *stalledSince_ + limits_.timeout;
    const auto now = Clock::now();
    if (now >= end) return Drop("stopped reading: channel dropped");
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, std::max(1, PollMillis(end - now))) < 0 && errno != EINTR) return Drop("went away");
  }
}

// --- Listener ----------------------------------------------------------------------

NotifyListener::~NotifyListener() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::optional<std::string> NotifyListener::Listen(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..")
    return "Bad notify name";
  const std::string folder = NotifyFolder();
  if (UsesFallbackFolder()) {
    if (auto refused = PrepareNotifyFolder(folder, true)) return refused;
  } else if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return "Cannot create " + folder + ": " + SystemErrorText(errno);
  }
  path_ = NotifySocketPath(name);
  sockaddr_un address;
  if (!MakeAddress(path_, address)) return "Notify name too long";
  const std::string inUse = "Notify name " + std::string(name) + " is in use by another listener";

  // The lock is held for the listener's life: two listeners starting at the
  // same moment cannot both decide the socket is stale.
  const std::string lockPath = path_ + ".lock";
  const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd < 0) return "Cannot open " + lockPath + ": " + SystemErrorText(errno);
  if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    ::close(lockFd);
    return inUse;
  }
  // A live listener of another kind answers a connection; one that was
  // killed left a socket nobody accepts on.
  struct stat st;
  if (::lstat(path_.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      ::close(lockFd);
      return path_ + " is not a socket";
    }
    const int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const bool live = probe >= 0 && (::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
                                     errno == EAGAIN);
    if (probe >= 0) ::close(probe);
    if (live) {
      ::close(lockFd);
      return inUse;
    }
    ::unlink(path_.c_str());
  }
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ::close(lockFd);
    return "Cannot create socket: " + SystemErrorText(errno);
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
    const int error = errno;
    ::close(fd);
    ::close(lockFd);
    return "Cannot listen on " + path_ + ": " + SystemErrorText(error);
  }
  fd_ = fd;
  lockFd_ = lockFd;
  return std::nullopt;
}

bool NotifyListener::Serve(const Received& received, bool once) {
  std::vector<pollfd> fds{{fd_, POLLIN, 0}};
  std::vector<char> buffer(65536);
  bool ok = true;
  bool oneClosed = false;
  while (!(once && oneClosed)) {
    for (pollfd& p : fds) p.revents = 0;
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      ssize_t n = -1;
      if (fds[i].revents & POLLIN) {
        do {
          n = ::recv(fds[i].fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      }
      if (n > 0) {
        if (auto message = DecodeNotifyMessage(std::string_view(buffer.data(), static_cast<size_t>(n))))
          received(*message);
        continue;
      }
      // Closed (or failed): that sender is done.
      ::close(fds[i].fd);
      fds[i].fd = -1;
      oneClosed = true;
    }
    std::erase_if(fds, [](const pollfd& p) { return p.fd < 0; });
    if (fds[0].revents & POLLIN) {
      const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        fds.push_back({client, POLLIN, 0});
      } else if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
        ok = false;
        break;
      }
    }
  }
  for (size_t i = 1; i < fds.size(); ++i) ::close(fds[i].fd);
  return ok;
}

}  // namespace skylode
