// Benchmarks run a worker as the dispatcher would: on a virtual instrument's
// line opened through the real serial layer, with no trace.
#pragma once
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "access/serial_port.h"
#include "access/transfer_context.h"

namespace skylode::bench {

// A track download's context on the line at `slavePath`; nothing once the
// benchmark has been told why the line would not open. `requestBaud` is the
// speed the menu command asks for (0: the protocol's own).
inline std::unique_ptr<TransferContext> OpenBenchLine(benchmark::State& state,
                                                      const std::string& slavePath, uint32_t baud,
                                                      bool xonXoff, ProtocolType protocol,
                                                      TransferCallbacks callbacks = {},
                                                      uint32_t requestBaud = 0) {
  PortOpenResult opened = SerialPort::Open(slavePath, "sim:bench", baud, xonXoff);
  if (!opened.port) {
    state.SkipWithError(opened.error.c_str());
    return nullptr;
  }
  TransferRequest req;
  req.access = AccessType::kReadTrackLog;
  req.protocol = protocol;
  req.portName = "sim:bench";
  req.baudRate = requestBaud;
  auto ctx = std::make_unique<TransferContext>(std::move(req), std::move(callbacks));
  ctx->SetTrace(nullptr);
  ctx->AttachPort(std::move(opened.port));
  return ctx;
}

// Runs one track download as the iteration's manual time: its seconds, or
// nothing once the benchmark has been told that it failed or brought
// another number of points than `points`.
template <typename Download>
std::optional<double> TimedTrackDownload(benchmark::State& state, Download&& download, size_t points) {
  const auto begin = std::chrono::steady_clock::now();
  const TransferResult result = download();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  state.SetIterationTime(seconds);
  const auto* track = std::get_if<TrackLogPayload>(&result.payload);
  if (!result.succeeded() || track == nullptr || track->log.points.size() != points) {
    state.SkipWithError("download failed");
    return std::nullopt;
  }
  return seconds;
}

// A pilot who picks the first flight of the instrument's list.
inline TransferCallbacks FirstFlightChosen() {
  TransferCallbacks cb;
  cb.chooseTracks = [](std::string_view, const std::vector<TrackListEntry>&, const CancelToken&) {
    return std::optional<std::vector<int32_t>>(std::vector<int32_t>{0});
  };
  return cb;
}

}  // namespace skylode::bench
