// The one way the program reads and saves files. A save never leaves a
// half-written file where a good one stood: the bytes go to a temporary file
// beside the target, which replaces the target only once it is complete and
// on disk. Where the system has unnamed files (Linux) the temporary file has
// no name until it is complete, so a save killed at any moment leaves the old
// file or the new one and nothing else; a named temporary file (other file
// systems, or the short step before a replacing rename) that a killed save
// left is removed by the next save of the same target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "records/error.h"

namespace skylode {

enum class WriteMode {
  kReplace,    // an existing target is replaced whole
  kCreateNew,  // fails with kExists if the target exists; checked again at the
               // moment the file appears, so a file made meanwhile is not lost
};

// Writes `bytes` to `path` through a temporary file in the same folder.
// On failure (a file kind of Error, the system's text with it) the temporary
// file is gone and the target is as it was. A replaced file keeps its
// permission bits. Writing past the file size limit is a kWriteError (EFBIG),
// never the end of the process.
Status WriteFileAtomically(const std::string& path, std::string_view bytes, WriteMode mode = WriteMode::kReplace);
Status WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                           WriteMode mode = WriteMode::kReplace);

// Tests: save through named temporary files, as on a file system without
// unnamed ones.
void UseNamedTemporaryFilesOnly(bool on);

inline constexpr size_t kDefaultReadLimit = size_t{256} << 20;

// Reads the whole file; c_str() of the bytes gives the NUL-ended text readers
// expect. An empty file is an error (kEmpty): no reader of ours has anything
// to do with one, and each would have to say so.
Result<std::string> ReadWholeFile(const std::string& path, size_t maxBytes = kDefaultReadLimit);

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
