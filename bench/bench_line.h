// Benchmarks run a worker as the dispatcher would: on a virtual instrument's
// line opened through the real serial layer, with no trace.
#pragma once
#include <benchmark/benchmark.h>

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

// A pilot who picks the first flight of the instrument's list.
inline TransferCallbacks FirstFlightChosen() {
  TransferCallbacks cb;
  cb.chooseTracks = [](std::string_view, const std::vector<TrackListEntry>&, const CancelToken&) {
    return std::optional<std::vector<int32_t>>(std::vector<int32_t>{0});
  };
  return cb;
}

}  // namespace skylode::bench
