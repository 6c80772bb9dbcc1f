// What every track reader owes any input: points, or a message saying why
// not. An empty success or a message without text ends the run.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "formats/track_files.h"

namespace skylode::fuzz {

template <typename T>
void CheckTrackResult(const Result<T>& r, size_t count) {
  if (r.ok() && count == 0) abort();
  if (!r.ok() && r.error().text.empty()) abort();
}

}  // namespace skylode::fuzz
