#include "shell/command_line/notify.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "formats/file_io.h"

namespace skylode {

std::string NotifyFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/')
    return runtime;
  return "/tmp/skylode-" + std::to_string(getuid());
}

std::string NotifySocketPath(std::string_view name) { return JoinPath(NotifyFolder(), name); }

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

namespace {

bool MakeAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

NotifySender::~NotifySender() {
  if (fd_ >= 0) ::close(fd_);
}

bool NotifySender::Connect(std::string_view name) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  sockaddr_un address;
  if (!MakeAddress(NotifySocketPath(name), address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void NotifySender::Send(uint32_t tag, std::string_view text) {
  if (fd_ < 0) return;
  const std::string record = EncodeNotifyMessage(tag, text);
  ssize_t sent;
  do {
    sent = ::send(fd_, record.data(), record.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent != static_cast<ssize_t>(record.size())) {
    // The listener went away: the run goes on without it.
    ::close(fd_);
    fd_ = -1;
  }
}

NotifyListener::~NotifyListener() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
}

std::optional<std::string> NotifyListener::Listen(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..")
    return "Bad notify name";
  const std::string folder = NotifyFolder();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return "Cannot create " + folder + ": " + SystemErrorText(errno);
  path_ = NotifySocketPath(name);
  sockaddr_un address;
  if (!MakeAddress(path_, address)) return "Notify name too long";
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return "Cannot create socket: " + SystemErrorText(errno);
  // A socket file left by a listener that was killed would refuse the bind.
  struct stat st;
  if (::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path_.c_str());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
    const int error = errno;
    ::close(fd);
    return "Cannot listen on " + path_ + ": " + SystemErrorText(error);
  }
  fd_ = fd;
  return std::nullopt;
}

int NotifyListener::Accept() {
  int client;
  do {
    client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  } while (client < 0 && errno == EINTR);
  return client;
}

bool NotifyListener::Receive(int client, std::string& record) {
  char buffer[65536];
  ssize_t n;
  do {
    n = ::recv(client, buffer, sizeof buffer, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  record.assign(buffer, static_cast<size_t>(n));
  return true;
}

void NotifyListener::Close(int fd) { ::close(fd); }

}  // namespace skylode
