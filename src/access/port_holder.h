// Who holds a device open, as far as the system tells (other users'
// processes are hidden from us): for the message of a port that is busy.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace skylode {

struct PortHolder {
  pid_t pid = 0;
  std::string program;  // its command name, "" when unknown
};

// The first process found with `devicePath` open; `procRoot` is /proc.
std::optional<PortHolder> FindPortHolder(const std::string& devicePath, const std::string& procRoot = "/proc");

// "Serial port in use by another program", naming the holder when known:
// "Serial port in use by skylode (process 4711)".
std::string PortInUseText(const std::optional<PortHolder>& holder);

}  // namespace skylode
