// Running the LogIt workers against the virtual LogIt: through the
// dispatcher, or directly on a line the test opens.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "access/serial_port.h"
#include "access/virtual_line.h"
#include "protocols/flytec/flytec_harness.h"
#include "protocols/logit/download.h"
#include "protocols/logit/frames.h"
#include "protocols/logit/logger_commands.h"
#include "protocols/logit/register.h"
#include "sim/logit/logit_instrument.h"

namespace skylode::logit::testing {

using flytec::testing::PumpingHost;
using flytec::testing::RunOutcome;
using flytec::testing::Screen;
using flytec::testing::Shown;
using namespace std::chrono_literals;

// Short pauses, but windows for replies and silences that a loaded machine
// (sanitizers, tests side by side) does not run past by accident: the
// silence outlasts the time a virtual line may take to hang up.
inline LogItTiming TestTiming() {
  LogItTiming t = LogItTiming::Scaled(0.05);
  t.productReplyWindow = 500ms;
  t.pointCountWindow = 1000ms;
  t.dataSilence = 3000ms;
  // The virtual logger must see the line at the command speed between two
  // downloads, however late its thread runs.
  t.afterResumeRequest = 100ms;
  t.beforeSpeedSwitch = 150ms;
  return t;
}
inline constexpr std::string_view kStop = "$PMLR,06,00,02A9";

inline sim::LogItSimConfig Tracklogger(sim::LogItSimConfig c = {}) {
  c.model = std::string(sim::kTrackloggerModel);
  return c;
}

inline RunOutcome RunTransfer(PumpingHost& host, Screen& screen, TransferRequest req) {
  Dispatcher d(host);
  RegisterLogItWorkers(d.table(), TestTiming());
  req.protocol = ProtocolType::kLogIt;
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

inline TransferRequest Request(AccessType access, const std::string& port, uint32_t baud = 0) {
  TransferRequest req;
  req.access = access;
  req.portName = port;
  req.baudRate = baud;
  return req;
}

inline void RegisterSim(const std::string& name, const sim::LogItSimConfig& config,
                        std::shared_ptr<sim::LogItSimLog> log = nullptr, sim::InstrumentOptions options = {}) {
  RegisterVirtualInstrument(name, [config, options, log](std::string& error) -> std::unique_ptr<VirtualLine> {
    return sim::StartVirtualLogIt(config, options, error, log);
  });
}

struct DirectRun {
  std::unique_ptr<sim::VirtualInstrument> instrument;
  std::unique_ptr<TransferContext> ctx;
};

// A context on a line the test opened at 4,800 baud, one product attempt.
// The instrument outlives the worker, so it hears the worker's last bytes
// (a line closed through the dispatcher takes its instrument with it).
inline DirectRun OpenDirect(const sim::LogItSimConfig& config, const sim::InstrumentOptions& options,
                            TransferCallbacks callbacks, uint32_t baud, std::shared_ptr<AbortSignal> abort = nullptr,
                            std::shared_ptr<sim::LogItSimLog> log = nullptr, TransferInput input = {}) {
  DirectRun run;
  std::string error;
  run.instrument = sim::StartVirtualLogIt(config, options, error, std::move(log));
  if (!run.instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(run.instrument->SlavePath(), "sim:direct", sim::kLogItCommandBaud, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  TransferRequest req = Request(AccessType::kReadTrackLog, "sim:direct", baud);
  req.protocol = ProtocolType::kLogIt;
  req.settings.connectAttempts = 2;
  req.input = std::move(input);
  run.ctx = std::make_unique<TransferContext>(std::move(req), std::move(callbacks), std::move(abort));
  run.ctx->SetTrace(nullptr);
  run.ctx->AttachPort(std::move(opened.port));
  return run;
}

inline const TrackLogPayload* TrackOf(const TransferResult& result) {
  return std::get_if<TrackLogPayload>(&result.payload);
}

// The point the worker should make of a logger's record.
inline TrackPoint Expected(const sim::LogItSimPoint& s, bool first) {
  TrackPoint p;
  p.time = s.gpsTime - kLoggerEpochOffset;
  p.latitude = s.latitude;
  p.longitude = s.longitude;
  p.gpsHeight = s.height;
  p.flags = (first || (s.flag & 0x0F) == 1) ? 1u : 0u;
  return p;
}

inline void ExpectPointsOf(const std::vector<TrackPoint>& got, const std::vector<sim::LogItSimPoint>& sent) {
  ASSERT_EQ(got.size(), sent.size());
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], Expected(sent[i], i == 0)) << i;
}

// The logger's last command once it has heard everything the worker sent.
inline std::string LastCommand(const sim::LogItSimLog& log, std::string_view expected = kStop) {
  const auto until = std::chrono::steady_clock::now() + 2s;
  for (;;) {
    const std::string last = log.Read([](const sim::LogItSimLog& l) { return l.commands.empty() ? std::string() : l.commands.back(); });
    if (last == expected || std::chrono::steady_clock::now() > until) return last;
    std::this_thread::sleep_for(10ms);
  }
}

}  // namespace skylode::logit::testing
