// Running the XC Trainer / Top Navigator workers against the virtual
// instruments: through the dispatcher, or directly on a line the test opens.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "access/serial_port.h"
#include "access/virtual_line.h"
#include "protocols/flytec/flytec_harness.h"
#include "protocols/xctrainer/register.h"
#include "sim/xctrainer/xctrainer_instrument.h"

namespace skylode::xctrainer::testing {

using flytec::testing::PumpingHost;
using flytec::testing::RunOutcome;
using flytec::testing::Screen;
using flytec::testing::Shown;
using namespace std::chrono_literals;

// One transfer on `port` through a dispatcher with the family's workers.
inline RunOutcome RunTransfer(PumpingHost& host, Screen& screen, AccessType access, ProtocolType protocol,
                              const std::string& port, TransferInput input = {}, double waitScale = 0.02) {
  Dispatcher d(host);
  RegisterXcTrainerWorkers(d.table(), waitScale);
  TransferRequest req;
  req.access = access;
  req.protocol = protocol;
  req.portName = port;
  req.settings.connectAttempts = 2;
  req.input = std::move(input);
  RunOutcome out;
  const int started = d.StartTransfer(std::move(req), screen.Callbacks(), [&](TransferResult&& r) {
    out.delivered = true;
    out.result = std::move(r);
  });
  EXPECT_EQ(started, 0);
  EXPECT_TRUE(host.PumpUntil([&] { return !d.transferBusy() && !d.hasActiveTransfer(); }));
  return out;
}

// A worker run on a line the test opens itself at the instrument's settings.
struct DirectRun {
  std::unique_ptr<sim::VirtualInstrument> instrument;
  std::unique_ptr<TransferContext> ctx;
};

inline DirectRun OpenDirect(const sim::XcTrainerSimConfig& config, const sim::InstrumentOptions& options,
                            AccessType access, ProtocolType protocol, uint32_t baud, bool softwareFlow,
                            TransferCallbacks callbacks, std::shared_ptr<AbortSignal> abort = nullptr) {
  DirectRun run;
  std::string error;
  run.instrument = sim::StartVirtualXcTrainer(config, options, error);
  if (!run.instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(run.instrument->SlavePath(), "sim:direct", baud, softwareFlow);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  TransferRequest req;
  req.access = access;
  req.protocol = protocol;
  req.portName = "sim:direct";
  run.ctx = std::make_unique<TransferContext>(std::move(req), std::move(callbacks), std::move(abort));
  run.ctx->SetTrace(nullptr);
  run.ctx->AttachPort(std::move(opened.port));
  return run;
}

// Makes "sim:<name>" start a virtual instrument with `config`.
inline void RegisterSim(const std::string& name, const sim::XcTrainerSimConfig& config,
                        sim::InstrumentOptions options = {}, std::shared_ptr<sim::XcTrainerSimLog> log = nullptr) {
  RegisterVirtualInstrument(name, [config, options, log](std::string& error) -> std::unique_ptr<VirtualLine> {
    return sim::StartVirtualXcTrainer(config, options, error, log);
  });
}

inline const TrackLogPayload* TrackOf(const RunOutcome& out) {
  return std::get_if<TrackLogPayload>(&out.result.payload);
}

}  // namespace skylode::xctrainer::testing
