// Running one operation with a fault at every byte offset of the
// instrument's answer: the runs mostly wait on the line, so several go at
// once, and each reports what it found wrong ("" when the run was sound).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flytec/flytec_harness.h"

namespace skylode::sweep {

// `check(at)` runs the operation with the fault at byte `at` and returns
// what went wrong; the offsets whose run went wrong come back in order.
inline std::vector<std::string> SweepOffsets(size_t count, const std::function<std::string(size_t)>& check) {
  std::mutex mutex;
  std::vector<std::pair<size_t, std::string>> found;
  flytec::testing::ForEachInParallel(count, [&](size_t at) {
    std::string fault = check(at);
    if (fault.empty()) return;
    std::lock_guard l(mutex);
    found.emplace_back(at, std::move(fault));
  });
  std::sort(found.begin(), found.end());
  std::vector<std::string> faults;
  for (auto& [at, fault] : found) faults.push_back("at byte " + std::to_string(at) + ": " + fault);
  return faults;
}

// `callbacks` with `abort` requested as the k-th status line (from 0) shows:
// the person pressing Abort at that step of the exchange.
inline TransferCallbacks AbortAtStep(TransferCallbacks callbacks, size_t k, const std::shared_ptr<AbortSignal>& abort) {
  auto shown = std::make_shared<size_t>(0);
  callbacks.onStatus = [k, abort, shown, status = callbacks.onStatus](std::string_view t) {
    if (status) status(t);
    if ((*shown)++ == k) abort->Request();
  };
  return callbacks;
}

// "" or the first few faults, for a failing expectation's message.
inline std::string FirstFaults(const std::vector<std::string>& faults) {
  std::string text = std::to_string(faults.size()) + " faulty runs";
  for (size_t i = 0; i < faults.size() && i < (getenv("SWEEP_ALL") ? faults.size() : 5); ++i) text += "\n  " + faults[i];
  return text;
}

}  // namespace skylode::sweep
