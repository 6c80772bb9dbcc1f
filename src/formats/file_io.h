// The one way the program reads and saves files. A save never leaves a
// half-written file where a good one stood: the bytes go to a temporary file
// beside the target, which replaces the target only once it is complete and
// on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace skylode {

enum class FileErrorCode {
  kCannotOpen,    // reading: the file cannot be opened (missing, no permission, a folder)
  kEmpty,         // reading: the file holds no bytes
  kTooLarge,      // reading: larger than the caller accepts
  kReadError,     // reading: a read failed part way
  kCannotCreate,  // saving: no temporary file could be made in the target's folder
  kWriteError,    // saving: writing the bytes failed (disk full, I/O error)
  kSyncError,     // saving: the bytes could not be flushed to disk
  kCloseError,    // saving: closing the temporary file failed
  kCannotReplace, // saving: the finished file could not take the target's place
  kExists,        // saving with kCreateNew: the target already exists
};

struct FileError {
  FileErrorCode code;
  int osError = 0;     // errno of the failing call, 0 where there is none (kEmpty, kTooLarge)
  std::string osText;  // the system's text for osError, empty when there is none
  std::string path;    // the file the operation was about

  // One line for a message box or stderr: what failed, the file and the
  // system's reason, e.g. "Cannot write file /x/y.igc: No space left on device".
  std::string Describe() const;
};

// The system's text for an errno value (thread-safe, unlike strerror).
std::string SystemErrorText(int osError);

enum class WriteMode {
  kReplace,    // an existing target is replaced whole
  kCreateNew,  // fails with kExists if the target exists; checked again at the
               // moment the file appears, so a file made meanwhile is not lost
};

// Writes `bytes` to `path` through a temporary file in the same folder.
// Nothing on success. On failure the temporary file is gone and the target is
// as it was. A replaced file keeps its permission bits.
std::optional<FileError> WriteFileAtomically(const std::string& path, std::string_view bytes,
                                             WriteMode mode = WriteMode::kReplace);
std::optional<FileError> WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                                             WriteMode mode = WriteMode::kReplace);

struct ReadFileResult {
  std::string bytes;  // the whole file; c_str() gives the NUL-ended text readers expect
  std::optional<FileError> error;
  bool ok() const { return !error.has_value(); }
};

inline constexpr size_t kDefaultReadLimit = size_t{256} << 20;

// Reads the whole file. An empty file is an error (kEmpty): no reader of ours
// has anything to do with one, and each would have to say so.
ReadFileResult ReadWholeFile(const std::string& path, size_t maxBytes = kDefaultReadLimit);

// The extension of the last path component including its dot (".igc"), or an
// empty view when it has none. A leading dot alone (".profile") is not one;
// a trailing dot is an empty extension (".").
std::string_view FileExtension(std::string_view path);
// Case-insensitive (ASCII) comparison of the path's extension with `ext`,
// which may be given with or without its dot.
bool HasExtension(std::string_view path, std::string_view ext);
// `name` with `ext` appended when the name has no extension of its own; a
// name ending in '.' gets the extension without a second dot.
std::string WithDefaultExtension(std::string_view name, std::string_view ext);
// `folder` and `name` with one separator between them. A folder may end in
// '/' or '\' (settings from older installations use the latter); an empty
// folder gives `name` alone.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace skylode
