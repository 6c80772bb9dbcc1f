#include "access/port_names.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace skylode {

namespace {

constexpr std::string_view kDeviceNamespace = "\\\\.\\";

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::vector<std::string> Matching(const std::filesystem::path& dir, std::string_view prefix) {
  std::vector<std::string> out;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (StartsWith(name, prefix)) out.push_back(it->path().string());
  }
  // Natural order so ttyUSB2 comes before ttyUSB10.
  std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return out;
}

// The kernel creates a ttyS node for every possible 8250 line; only those
// with a UART behind them are worth offering.
bool OnBoardPortPresent(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  serial_struct info{};
  const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return present;
}

}  // namespace

std::string FormatComName(int number) {
  std::string name = number >= 1 && number <= 9 ? "" : std::string(kDeviceNamespace);
  name += "COM";
  name += std::to_string(number);
  return name;
}

std::optional<int> ParseComName(std::string_view name) {
  if (StartsWith(name, kDeviceNamespace)) name.remove_prefix(kDeviceNamespace.size());
  if (name.size() < 4) return std::nullopt;
  for (size_t i = 0; i < 3; ++i) {
    if ((name[i] & ~0x20) != "COM"[i]) return std::nullopt;
  }
  name.remove_prefix(3);
  int number = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (ec != std::errc() || end != name.data() + name.size() || number < 1) return std::nullopt;
  return number;
}

std::string ResolvePortDevice(std::string_view name) {
  if (const auto com = ParseComName(name)) return "/dev/ttyS" + std::to_string(*com - 1);
  return std::string(name);
}

std::optional<std::string> VirtualFamily(std::string_view name) {
  if (!StartsWith(name, kVirtualPortPrefix) || name.size() == kVirtualPortPrefix.size()) return std::nullopt;
  return std::string(name.substr(kVirtualPortPrefix.size()));
}

std::vector<std::string> ListSerialPorts() {
  std::vector<std::string> ports;
  std::error_code ec;
  const std::filesystem::path byId("/dev/serial/by-id");
  if (std::filesystem::is_directory(byId, ec)) {
    auto links = Matching(byId, "");
    ports.insert(ports.end(), links.begin(), links.end());
  }
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    auto found = Matching("/dev", prefix);
    ports.insert(ports.end(), found.begin(), found.end());
  }
  for (const auto& path : Matching("/dev", "ttyS")) {
    if (OnBoardPortPresent(path)) ports.push_back(path);
  }
  return ports;
}

}  // namespace skylode
