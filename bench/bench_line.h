// Benchmarks run a worker as the dispatcher would: on a virtual instrument's
// line opened through the real serial layer, with no trace.
#pragma once
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "access/serial_port.h"
#include "access/transfer_context.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "sim/flytec/igc_text.h"
#include "sim/virtual_instrument.h"

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

// A pilot who picks the first flight of the list, whatever its number.
inline TransferCallbacks FirstListedFlight() {
  TransferCallbacks cb;
  cb.chooseTracks = [](std::string_view, const std::vector<TrackListEntry>& entries, const CancelToken&) {
    std::optional<std::vector<int32_t>> pick;
    if (!entries.empty()) pick = std::vector<int32_t>{entries[0].flightNumber};
    return pick;
  };
  return cb;
}

// A long flight with one fix a second, slowly drifting and climbing, as the
// IGC-text instruments hand it out.
inline sim::SimFlight LongBenchFlight(int points) {
  sim::SimFlight f;
  const uint32_t start = *CalendarToTime({2026, 7, 18, 9, 0, 0, 0});
  for (int i = 0; i < points; ++i) {
    TrackPoint p;
    p.time = start + static_cast<uint32_t>(i);
    p.latitude = *DegreesToLatitude(45.8129 + i * 0.00002);
    p.longitude = *DegreesToLongitude(6.2459 + i * 0.00003);
    p.gpsHeight = (1250 + i % 1500) * 10;
    p.baroHeight = 1240 + i % 1500;
    f.points.push_back(p);
  }
  return f;
}

// One timed track download of `points` points per iteration, on a fresh
// instrument paced at its line's speed.
struct DownloadBench {
  // Starts the instrument; null with `error` when it cannot.
  std::function<std::unique_ptr<sim::VirtualInstrument>(std::string& error)> start;
  uint32_t baud = 0;  // the speed the worker opens the line at
  bool xonXoff = false;
  ProtocolType protocol = ProtocolType::kGarminSerial;
  std::function<TransferResult(TransferContext&)> download;
  // The wire time of what the instrument sent, its pauses included.
  std::function<double()> bytesSent;
  std::function<double(double bytes)> wireSeconds;
};

// Reports the bytes sent, their wire time and the download's time against it.
inline void RunDownloadBench(benchmark::State& state, const DownloadBench& b, size_t points) {
  double ratio = 0, wireSeconds = 0, bytes = 0;
  for (auto _ : state) {
    std::string error;
    auto instrument = b.start(error);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = OpenBenchLine(state, instrument->SlavePath(), b.baud, b.xonXoff, b.protocol, FirstListedFlight());
    if (!ctx) return;
    const auto begin = std::chrono::steady_clock::now();
    const TransferResult result = b.download(*ctx);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!result.succeeded() || std::get<TrackLogPayload>(result.payload).log.points.size() != points) {
      state.SkipWithError("download failed");
      return;
    }
    bytes = b.bytesSent();
    wireSeconds = b.wireSeconds(bytes);
    ratio = seconds / wireSeconds;
  }
  state.counters["bytes"] = bytes;
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}

}  // namespace skylode::bench
