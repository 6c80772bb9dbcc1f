// Running the DSX workers against the virtual recorder on a line the test
// opens itself, through the real serial layer.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "../flytec/flytec_harness.h"
#include "access/serial_port.h"
#include "protocols/dsx/pilot_data.h"
#include "protocols/dsx/track_download.h"
#include "sim/dsx/dsx_instrument.h"

namespace skylode::dsx::testing {

using namespace std::chrono_literals;
using flytec::testing::AbortAtStatus;
using flytec::testing::At;
using flytec::testing::FirstListedFlight;
using flytec::testing::ForEachInParallel;
using flytec::testing::LineFlight;
using flytec::testing::Screen;
using flytec::testing::Shown;

// The virtual recorder answers at once: short waits keep runs quick. A
// wait for an answer that never comes is longer than the list's closing
// silence, which every run waits out.
inline DsxTiming FastTiming() {
  DsxTiming t;
  t.promptWindow = 400ms;
  // The speed change flushes the line: V4 must be out before it.
  t.beforeSpeedChange = 30ms;
  t.listSilence = 150ms;
  t.flightSilence = 250ms;
  t.fieldSilence = 300ms;
  t.afterField = 0ms;
  t.betweenWrites = 0ms;
  return t;
}

struct DsxRun {
  TransferResult result;
  std::shared_ptr<sim::DsxSimLog> log = std::make_shared<sim::DsxSimLog>();
  size_t bytesSent = 0;
};

struct DsxRequest {
  AccessType access = AccessType::kReadTrackLog;
  std::vector<std::string> answers{};  // the pilot data form
  int32_t connectAttempts = 4;         // two attempts
};

inline DsxRun RunDsx(const sim::DsxSimConfig& config, const DsxRequest& request, TransferCallbacks callbacks,
                     const sim::InstrumentOptions& options = {}, std::shared_ptr<AbortSignal> abort = nullptr,
                     const DsxTiming& timing = FastTiming(), std::shared_ptr<sim::DsxSimLog> log = nullptr) {
  DsxRun run;
  if (log) run.log = std::move(log);
  std::string error;
  auto instrument = sim::StartVirtualDsx(config, options, error, run.log);
  if (!instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:dsx", kDsxOpenBaud, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  TransferRequest req;
  req.access = request.access;
  req.protocol = ProtocolType::kDsx;
  req.portName = "sim:dsx";
  req.input = FormAnswers{request.answers};
  req.settings.connectAttempts = request.connectAttempts;
  TransferContext ctx(std::move(req), std::move(callbacks), std::move(abort));
  ctx.SetTrace(nullptr);
  ctx.AttachPort(std::move(opened.port));
  run.result = request.access == AccessType::kWriteSettings ? DsxWritePilotData(ctx, timing)
                                                            : DsxReadTrackLog(ctx, timing);
  // The last commands may still be on their way to the recorder.
  for (size_t seen = SIZE_MAX; seen != instrument->BytesReceived();) {
    seen = instrument->BytesReceived();
    std::this_thread::sleep_for(30ms);
  }
  ctx.ClosePort();
  instrument->Stop();
  run.bytesSent = instrument->BytesSent();
  return run;
}

// Three short flights, the oldest first.
inline sim::DsxSimConfig ShortConfig(int points = 10) {
  sim::DsxSimConfig c;
  c.flights = {LineFlight(At(2026, 8, 1, 12, 0), points), LineFlight(At(2026, 8, 2, 11, 0), points + 1),
               LineFlight(At(2026, 8, 3, 10, 0), points + 2)};
  return c;
}

}  // namespace skylode::dsx::testing
