// Running the Magellan workers against the virtual unit on a line the test
// opens itself, through the real serial layer.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "../flytec/flytec_harness.h"
#include "access/serial_port.h"
#include "protocols/magellan/workers.h"
#include "sim/magellan/magellan_instrument.h"

namespace skylode::magellan::testing {

using namespace std::chrono_literals;
using flytec::testing::AbortAtStatus;
using flytec::testing::Screen;

// The virtual unit answers at once: short waits keep runs quick.
inline MagellanTiming Fast() {
  MagellanTiming t;
  t.productWindow = 150ms;
  t.afterProduct = 0ms;
  t.silence = 80ms;
  t.waypointPause = 0ms;
  return t;
}

struct MagellanRun {
  TransferResult result;
  std::shared_ptr<sim::MagellanSimLog> log = std::make_shared<sim::MagellanSimLog>();
  size_t bytesSent = 0;
};

inline MagellanRun RunMagellan(const sim::MagellanSimConfig& config, AccessType access, TransferCallbacks callbacks,
                               TransferInput input = {}, const sim::InstrumentOptions& options = {},
                               std::shared_ptr<AbortSignal> abort = nullptr,
                               std::shared_ptr<sim::MagellanSimLog> log = nullptr, bool competition = false,
                               const MagellanTiming& timing = Fast()) {
  MagellanRun run;
  if (log) run.log = log;
  std::string error;
  auto instrument = sim::StartVirtualMagellan(config, options, error, run.log);
  if (!instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:magellan", 9600, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  TransferRequest req;
  req.access = access;
  req.protocol = ProtocolType::kMagellan;
  req.portName = "sim:magellan";
  req.settings.connectAttempts = 4;
  req.settings.competitionMode = competition;
  req.input = std::move(input);
  TransferContext ctx(std::move(req), std::move(callbacks), std::move(abort));
  ctx.SetTrace(nullptr);
  ctx.AttachPort(std::move(opened.port));
  switch (access) {
    case AccessType::kReadWaypoints: run.result = MagellanReadWaypoints(ctx, timing); break;
    case AccessType::kSendWaypoints: run.result = MagellanSendWaypoints(ctx, timing); break;
    default: run.result = MagellanReadTrackLog(ctx, timing); break;
  }
  // The unit's last sentence may still be on the line.
  std::this_thread::sleep_for(50ms);
  ctx.ClosePort();
  instrument->Stop();
  run.bytesSent = instrument->BytesSent();
  return run;
}

}  // namespace skylode::magellan::testing
