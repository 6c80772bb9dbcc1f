#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "formats/file_io.h"
#include "shell/command_line/command_line_run.h"

namespace skylode {

std::optional<std::string> CheckOutputFolder(const CmdRun& run) {
  std::string folder;
  if (run.operation == CmdOperation::kIgcLog && IsFolderValue(run.fileName)) {
    folder = run.fileName;
    if (folder.back() == '\\') folder.back() = '/';
  } else {
    const size_t slash = run.fileName.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : run.fileName.substr(0, slash);
  }
  if (folder.find("$date") != std::string::npos) return std::nullopt;
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return "Output folder " + folder + " does not exist";
    return "Output folder " + folder + ": " + SystemErrorText(error);
  }
  if (!S_ISDIR(st.st_mode)) return "Output folder " + folder + " is not a folder";
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return "Output folder " + folder + " is not writable";
  return std::nullopt;
}

}  // namespace skylode
