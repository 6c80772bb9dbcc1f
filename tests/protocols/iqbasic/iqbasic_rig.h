// Running the IQ Basic workers against the virtual instrument on a line the
// test opens itself, through the real serial layer.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "../flytec/flytec_harness.h"
#include "access/serial_port.h"
#include "protocols/iqbasic/track_download.h"
#include "protocols/iqbasic/waypoints.h"
#include "sim/iqbasic/iqbasic_instrument.h"

namespace skylode::iqbasic::testing {

using namespace std::chrono_literals;
using flytec::testing::AbortAtStatus;
using flytec::testing::At;
using flytec::testing::FirstListedFlight;
using flytec::testing::ForEachInParallel;
using flytec::testing::LineFlight;
using flytec::testing::Screen;
using flytec::testing::Shown;

// The virtual instrument answers at once: short waits keep runs quick. A
// wait for an answer that never comes is longer than the silences that end
// a list or a flight, which every run waits out: a busy machine must not
// turn a late answer into a missing one.
inline IqTiming FastTiming() {
  IqTiming t;
  t.replySilence = 400ms;
  t.afterReply = 0ms;
  t.listSilence = 150ms;
  t.beforeFlightRequest = 0ms;
  t.flightSilence = 200ms;
  t.waypointSilence = 150ms;
  t.uploadAnswerSilence = 300ms;
  t.uploadPause = 0ms;
  return t;
}

struct IqRun {
  TransferResult result;
  std::shared_ptr<sim::IqBasicSimLog> log = std::make_shared<sim::IqBasicSimLog>();
  size_t bytesSent = 0;
};

struct IqRequest {
  AccessType access = AccessType::kReadTrackLog;
  int32_t parameter = 0;
  TransferInput input{};
  bool competitionMode = false;
  uint32_t baud = sim::kIqBasicSimBaud;
  int32_t connectAttempts = 4;  // two product-data attempts
};

inline IqRun RunIq(const sim::IqBasicSimConfig& config, const IqRequest& request, TransferCallbacks callbacks,
                   const sim::InstrumentOptions& options = {}, std::shared_ptr<AbortSignal> abort = nullptr,
                   const IqTiming& timing = FastTiming()) {
  IqRun run;
  std::string error;
  auto instrument = sim::StartVirtualIqBasic(config, options, error, run.log);
  if (!instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:iqbasic", request.baud, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  TransferRequest req;
  req.access = request.access;
  req.protocol = ProtocolType::kIqBasic;
  req.portName = "sim:iqbasic";
  req.parameter = request.parameter;
  req.input = request.input;
  req.settings.connectAttempts = request.connectAttempts;
  req.settings.competitionMode = request.competitionMode;
  TransferContext ctx(std::move(req), std::move(callbacks), std::move(abort));
  ctx.SetTrace(nullptr);
  ctx.AttachPort(std::move(opened.port));
  switch (request.access) {
    case AccessType::kReadWaypoints:
      run.result = IqReadWaypoints(ctx, timing);
      break;
    case AccessType::kSendWaypoints:
      run.result = IqSendWaypoints(ctx, timing);
      break;
    default:
      run.result = IqReadTrackLog(ctx, timing);
      break;
  }
  ctx.ClosePort();
  instrument->Stop();
  run.bytesSent = instrument->BytesSent();
  return run;
}

// Two short flights numbered 1 and 2 and two waypoints.
inline sim::IqBasicSimConfig ShortConfig(int points = 12) {
  sim::IqBasicSimConfig c;
  c.flights = {LineFlight(At(2026, 8, 2, 12, 0), points), LineFlight(At(2026, 8, 3, 10, 30), points + 3)};
  c.waypoints = {{45.8129, 6.2459, "", "FORCLA Forclaz", 1250}, {-45.78, -6.2218, "", "Doussard", 460}};
  return c;
}

}  // namespace skylode::iqbasic::testing
