#include "access/port_holder.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace skylode {

namespace {

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

bool AllDigits(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name)
    if (!std::isdigit(static_cast<unsigned char>(*name))) return false;
  return true;
}

}  // namespace

std::optional<PortHolder> FindPortHolder(const std::string& devicePath, const std::string& procRoot) {
  const std::string target = Canonical(devicePath);
  std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir(procRoot.c_str()), ::closedir);
  if (!proc) return std::nullopt;
  while (const dirent* process = ::readdir(proc.get())) {
    if (!AllDigits(process->d_name)) continue;
    const std::string base = procRoot + "/" + process->d_name;
    std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir((base + "/fd").c_str()), ::closedir);
    if (!fds) continue;  // another user's process
    while (const dirent* fd = ::readdir(fds.get())) {
      if (!AllDigits(fd->d_name)) continue;
      char link[PATH_MAX];
      const ssize_t n = ::readlink((base + "/fd/" + fd->d_name).c_str(), link, sizeof link - 1);
      if (n <= 0 || std::string(link, static_cast<size_t>(n)) != target) continue;
      PortHolder holder;
      holder.pid = static_cast<pid_t>(std::atol(process->d_name));
      std::ifstream comm(base + "/comm");
      std::getline(comm, holder.program);
      return holder;
    }
  }
  return std::nullopt;
}

std::string PortInUseText(const std::optional<PortHolder>& holder) {
  if (!holder) return "Serial port in use by another program";
  const std::string who = holder->program.empty() ? "another program" : holder->program;
  return "Serial port in use by " + who + " (process " + std::to_string(holder->pid) + ")";
}

}  // namespace skylode
