// Running the MLR workers against the virtual MLR: through the dispatcher,
// or directly on a line the test opens.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "access/serial_port.h"
#include "access/virtual_line.h"
#include "protocols/digifly/mlr_download.h"
#include "protocols/digifly/mlr_frames.h"
#include "protocols/digifly/register.h"
#include "protocols/flytec/flytec_harness.h"
#include "sim/mlr/mlr_instrument.h"

namespace skylode::mlr::testing {

using flytec::testing::PumpingHost;
using flytec::testing::RunOutcome;
using flytec::testing::Screen;
using flytec::testing::Shown;
using namespace std::chrono_literals;

inline constexpr double kWaitScale = 0.05;

inline RunOutcome RunTransfer(PumpingHost& host, Screen& screen, AccessType access, ProtocolType protocol,
                              const std::string& port, uint32_t baud = 0) {
  Dispatcher d(host);
  RegisterDigiflyWorkers(d.table(), kWaitScale);
  TransferRequest req;
  req.access = access;
  req.protocol = protocol;
  req.portName = port;
  req.baudRate = baud;
  req.settings.connectAttempts = 2;
  RunOutcome out;
  const int started = d.StartTransfer(std::move(req), screen.Callbacks(), [&](TransferResult&& r) {
    out.delivered = true;
    out.result = std::move(r);
  });
  EXPECT_EQ(started, 0);
  EXPECT_TRUE(host.PumpUntil([&] { return !d.transferBusy() && !d.hasActiveTransfer(); }));
  return out;
}

struct DirectRun {
  std::unique_ptr<sim::VirtualInstrument> instrument;
  std::unique_ptr<TransferContext> ctx;
};

// A context on a line the test opened at 4,800 baud, one product attempt.
inline DirectRun OpenDirect(const sim::MlrSimConfig& config, const sim::InstrumentOptions& options,
                            TransferCallbacks callbacks, std::shared_ptr<AbortSignal> abort = nullptr,
                            std::shared_ptr<sim::MlrSimLog> log = nullptr) {
  DirectRun run;
  std::string error;
  run.instrument = sim::StartVirtualMlr(config, options, error, std::move(log));
  if (!run.instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(run.instrument->SlavePath(), "sim:direct", sim::kMlrSimBaud, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  TransferRequest req;
  req.access = AccessType::kReadTrackLog;
  req.protocol = ProtocolType::kMlrFast;
  req.portName = "sim:direct";
  req.settings.connectAttempts = 2;
  run.ctx = std::make_unique<TransferContext>(std::move(req), std::move(callbacks), std::move(abort));
  run.ctx->SetTrace(nullptr);
  run.ctx->AttachPort(std::move(opened.port));
  return run;
}

inline void RegisterSim(const std::string& name, const sim::MlrSimConfig& config, sim::InstrumentOptions options = {},
                        std::shared_ptr<sim::MlrSimLog> log = nullptr) {
  RegisterVirtualInstrument(name, [config, options, log](std::string& error) -> std::unique_ptr<VirtualLine> {
    return sim::StartVirtualMlr(config, options, error, log);
  });
}

inline const TrackLogPayload* TrackOf(const RunOutcome& out) {
  return std::get_if<TrackLogPayload>(&out.result.payload);
}

// The point the worker should make of an instrument's record.
inline TrackPoint Expected(const sim::MlrSimPoint& s, bool first) {
  TrackPoint p;
  p.time = s.gpsTime - kGpsEpochOffset;
  p.latitude = s.latitude;
  p.longitude = s.longitude;
  p.gpsHeight = s.height;
  p.flags = (first || s.newSegment) ? 1u : 0u;
  return p;
}

}  // namespace skylode::mlr::testing
