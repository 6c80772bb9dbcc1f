// Running the Flymaster workers against the virtual Flymaster on a real
// serial line the test opens itself.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "access/serial_port.h"
#include "access/transfer_context.h"
#include "protocols/flymaster/link.h"
#include "sim/flymaster/flymaster_instrument.h"

namespace skylode::flymaster::testing {

using namespace std::chrono_literals;

inline FlymasterTiming FastTiming() {
  FlymasterTiming t;
  t.productReplyWindow = 300ms;
  t.afterProductData = 0ms;
  t.listSilence = 100ms;
  t.blockSilence = 300ms;
  t.waypointReply = 300ms;
  t.betweenWaypoints = 0ms;
  t.afterSetData = 20ms;
  return t;
}

struct Shown {
  std::string caption, text;
};

// What a transfer showed and asked.
struct Screen {
  std::mutex mutex;
  std::vector<std::string> statuses;
  std::vector<Shown> messages;
  std::vector<std::string> dialogTitles;
  std::vector<std::vector<TrackListEntry>> dialogEntries;
  std::optional<std::vector<int32_t>> selection = std::vector<int32_t>{0};

  std::vector<Shown> Messages() {
    std::lock_guard l(mutex);
    return messages;
  }
  std::vector<std::string> Statuses() {
    std::lock_guard l(mutex);
    return statuses;
  }
  size_t CountStatus(std::string_view s) {
    std::lock_guard l(mutex);
    return static_cast<size_t>(std::count(statuses.begin(), statuses.end(), s));
  }

  TransferCallbacks Callbacks() {
    TransferCallbacks cb;
    cb.onStatus = [this](std::string_view t) {
      std::lock_guard l(mutex);
      statuses.emplace_back(t);
    };
    cb.showMessage = [this](std::string_view c, std::string_view t, MessageIcon, const CancelToken&) {
      std::lock_guard l(mutex);
      messages.push_back({std::string(c), std::string(t)});
    };
    cb.chooseTracks = [this](std::string_view title, const std::vector<TrackListEntry>& entries,
                             const CancelToken&) {
      std::lock_guard l(mutex);
      dialogTitles.emplace_back(title);
      dialogEntries.push_back(entries);
      return selection;
    };
    return cb;
  }
};

struct Direct {
  AccessType access = AccessType::kReadTrackLog;
  int32_t parameter = 0;
  TransferInput input;
  TransferSettings settings;
  std::shared_ptr<AbortSignal> abort;
  FlymasterTiming timing = FastTiming();
};

// Runs `worker` on a line to a fresh virtual Flymaster.
inline TransferResult RunDirect(const sim::FlymasterSimConfig& config, const sim::InstrumentOptions& options,
                                TransferCallbacks callbacks, Direct how,
                                const std::function<TransferResult(TransferContext&, const FlymasterTiming&)>& worker,
                                std::shared_ptr<sim::FlymasterSimLog> log = nullptr) {
  std::string error;
  auto instrument = sim::StartVirtualFlymaster(config, options, error, std::move(log));
  if (!instrument) {
    ADD_FAILURE() << error;
    return TransferResult::Failure();
  }
  // No XON/XOFF: the blocks carry those bytes.
  PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:test", kFlymasterBaud, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return TransferResult::Failure();
  }
  TransferRequest req;
  req.access = how.access;
  req.protocol = ProtocolType::kFlymaster;
  req.portName = "sim:test";
  req.parameter = how.parameter;
  req.input = std::move(how.input);
  req.settings = how.settings;
  TransferContext ctx(std::move(req), std::move(callbacks), std::move(how.abort));
  ctx.SetTrace(nullptr);
  ctx.AttachPort(std::move(opened.port));
  TransferResult r = worker(ctx, how.timing);
  ctx.ClosePort();
  // Let the instrument take in the last bytes before it is stopped.
  std::this_thread::sleep_for(20ms);
  return r;
}

// The runs mostly wait for silence, so several go at once.
inline void ForEachInParallel(size_t count, const std::function<void(size_t)>& run) {
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 12; ++t)
    threads.emplace_back([&] {
      for (size_t i = next++; i < count; i = next++) run(i);
    });
  for (auto& t : threads) t.join();
}

// A straight flight with fixes one second apart.
inline sim::FlymasterSimFlight LineFlight(uint32_t start, size_t count) {
  sim::FlymasterSimFlight f;
  for (size_t i = 0; i < count; ++i) {
    const auto k = static_cast<int32_t>(i);
    f.fixes.push_back({2748000 + 7 * k, -374000 - 5 * k, static_cast<int16_t>(1200 + k), static_cast<int16_t>(8700 - k),
                       start + static_cast<uint32_t>(i)});
  }
  return f;
}

}  // namespace skylode::flymaster::testing
