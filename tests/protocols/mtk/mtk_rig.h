// Running the MTK workers against the virtual logger on a line the test
// opens itself, through the real serial layer.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "../flytec/flytec_harness.h"
#include "access/serial_port.h"
#include "protocols/mtk/workers.h"
#include "sim/mtk/memory_builder.h"
#include "sim/mtk/mtk_instrument.h"

namespace skylode::mtk::testing {

using namespace std::chrono_literals;
using flytec::testing::AbortAtStatus;
using flytec::testing::ForEachInParallel;
using flytec::testing::Screen;
using flytec::testing::Shown;

// The virtual logger answers at once: short waits keep runs quick.
inline MtkTiming FastTiming() {
  MtkTiming t;
  t.productWait = 150ms;
  t.replyWait = 120ms;
  t.afterProduct = 0ms;
  t.betweenSteps = 0ms;
  t.eraseStep = 20ms;
  return t;
}

struct MtkRun {
  TransferResult result;
  std::shared_ptr<sim::MtkSimLog> log = std::make_shared<sim::MtkSimLog>();
  size_t bytesSent = 0;
};

inline MtkRun RunMtk(const sim::MtkSimConfig& config, AccessType access, TransferCallbacks callbacks,
                  const sim::InstrumentOptions& options = {}, std::shared_ptr<AbortSignal> abort = nullptr,
                  const MtkTiming& timing = FastTiming(), int32_t attempts = 2) {
  MtkRun run;
  std::string error;
  auto instrument = sim::StartVirtualMtk(config, options, error, run.log);
  if (!instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:mtk", 115200, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  TransferRequest req;
  req.access = access;
  req.protocol = ProtocolType::kMtk;
  req.portName = "sim:mtk";
  req.settings.connectAttempts = attempts;
  TransferContext ctx(std::move(req), std::move(callbacks), std::move(abort));
  ctx.SetTrace(nullptr);
  ctx.AttachPort(std::move(opened.port));
  run.result = access == AccessType::kEraseTrackLog ? MtkEraseLog(ctx, timing) : MtkReadTrackLog(ctx, timing);
  ctx.ClosePort();
  instrument->Stop();
  run.bytesSent = instrument->BytesSent();
  return run;
}

inline size_t Count(const std::vector<std::string>& commands, std::string_view body) {
  return static_cast<size_t>(std::count(commands.begin(), commands.end(), body));
}

}  // namespace skylode::mtk::testing
