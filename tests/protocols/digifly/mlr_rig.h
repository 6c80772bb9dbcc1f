// Running the MLR workers against the virtual MLR: through the dispatcher,
// or directly on a line the test opens.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <string>

#include "access/serial_port.h"
#include "access/virtual_line.h"
#include "protocols/digifly/mlr_download.h"
#include "protocols/digifly/mlr_frames.h"
#include "protocols/digifly/register.h"
#include "protocols/flytec/flytec_harness.h"
#include "sim/mlr/graviter_instrument.h"
#include "sim/mlr/mlr_instrument.h"

namespace skylode::mlr::testing {

using flytec::testing::PumpingHost;
using flytec::testing::RunOutcome;
using flytec::testing::Screen;
using flytec::testing::Shown;
using namespace std::chrono_literals;

inline constexpr double kWaitScale = 0.05;

inline RunOutcome RunTransfer(PumpingHost& host, Screen& screen, AccessType access, ProtocolType protocol,
                              const std::string& port, uint32_t baud = 0, TransferInput input = {},
                              bool competitionMode = false, double waitScale = kWaitScale) {
  Dispatcher d(host);
  RegisterDigiflyWorkers(d.table(), waitScale);
  TransferRequest req;
  req.access = access;
  req.protocol = protocol;
  req.portName = port;
  req.baudRate = baud;
  req.settings.connectAttempts = 2;
  req.settings.competitionMode = competitionMode;
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

struct DirectRun {
  std::unique_ptr<sim::VirtualInstrument> instrument;
  std::unique_ptr<TransferContext> ctx;
};

// A context on a line the test opened to a started instrument at `baud`,
// one product attempt. `request` says the operation and its input.
inline DirectRun OpenDirectOn(std::unique_ptr<sim::VirtualInstrument> instrument, const std::string& error,
                              uint32_t baud, TransferRequest req, TransferCallbacks callbacks,
                              std::shared_ptr<AbortSignal> abort = nullptr) {
  DirectRun run;
  run.instrument = std::move(instrument);
  if (!run.instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(run.instrument->SlavePath(), "sim:direct", baud, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  req.portName = "sim:direct";
  req.settings.connectAttempts = 2;
  run.ctx = std::make_unique<TransferContext>(std::move(req), std::move(callbacks), std::move(abort));
  run.ctx->SetTrace(nullptr);
  run.ctx->AttachPort(std::move(opened.port));
  return run;
}

// A virtual MLR's line at 4,800 baud.
inline DirectRun OpenDirect(const sim::MlrSimConfig& config, const sim::InstrumentOptions& options,
                            TransferCallbacks callbacks, std::shared_ptr<AbortSignal> abort = nullptr,
                            std::shared_ptr<sim::MlrSimLog> log = nullptr, TransferRequest req = {}) {
  std::string error;
  auto instrument = sim::StartVirtualMlr(config, options, error, std::move(log));
  if (req.protocol == ProtocolType::kGarminSerial) req.protocol = ProtocolType::kMlrFast;
  return OpenDirectOn(std::move(instrument), error, sim::kMlrSimBaud, std::move(req), std::move(callbacks),
                      std::move(abort));
}

// A virtual Graviter's line at 38,400 baud.
inline DirectRun OpenDirectGraviter(const sim::GraviterSimConfig& config, const sim::InstrumentOptions& options,
                                    TransferRequest req, TransferCallbacks callbacks,
                                    std::shared_ptr<AbortSignal> abort = nullptr,
                                    std::shared_ptr<sim::GraviterSimLog> log = nullptr) {
  std::string error;
  auto instrument = sim::StartVirtualGraviter(config, options, error, std::move(log));
  req.protocol = ProtocolType::kDigiflyGraviter;
  return OpenDirectOn(std::move(instrument), error, sim::kGraviterSimBaud, std::move(req), std::move(callbacks),
                      std::move(abort));
}

inline void RegisterGraviter(const std::string& name, const sim::GraviterSimConfig& config,
                             std::shared_ptr<sim::GraviterSimLog> log = nullptr) {
  RegisterVirtualInstrument(name, [config, log](std::string& error) -> std::unique_ptr<VirtualLine> {
    return sim::StartVirtualGraviter(config, {}, error, log);
  });
}

// Runs `work` on a direct line with a watchdog that aborts it after 10 s, so
// a hanging worker fails its case instead of the whole test.
inline TransferResult RunGuarded(AbortSignal& abort, const std::function<TransferResult()>& work) {
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
    if (!done) abort.Request();
  });
  TransferResult r = work();
  done = true;
  watchdog.join();
  return r;
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

// What one run of a sweep ended with.
struct SweepRun {
  TransferResult result;
  std::vector<Shown> messages;
  std::string received;  // what the instrument was sent, where the run keeps it
};

// Runs `run(options)` with `fault` set at each byte offset below `count`,
// several runs at once; `check(at, outcome)` sees the outcomes one at a time.
template <class Run, class Check>
void SweepEveryByte(size_t count, std::optional<size_t> sim::FaultPlan::*fault, Run run, Check check) {
  std::mutex m;
  flytec::testing::ForEachInParallel(count, [&](size_t at) {
    sim::InstrumentOptions options;
    options.faults.*fault = at;
    const auto outcome = run(options);
    std::lock_guard l(m);
    check(at, outcome);
  });
}

}  // namespace skylode::mlr::testing
