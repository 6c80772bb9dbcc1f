// Track download from a virtual Garmin that sends at the real 9600 baud,
// against the time the bytes need on the wire in both directions (packets and
// acknowledgements). A ratio near 1 means the program adds no waiting of its
// own between packets.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "access/transfer_context.h"
#include "access/virtual_line.h"
#include "protocols/garmin/transfers.h"
#include "sim/garmin/virtual_garmin.h"

namespace {

using namespace skylode;

class SharedLine final : public VirtualLine {
 public:
  explicit SharedLine(std::shared_ptr<sim::VirtualInstrument> unit) : unit_(std::move(unit)) {}
  std::string SlavePath() const override { return unit_->SlavePath(); }

 private:
  std::shared_ptr<sim::VirtualInstrument> unit_;
};

void BM_GarminTrackDownloadAt9600(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  auto options = sim::DefaultVirtualGarminOptions(*sim::FindVirtualGarminProfile("d109"), points);
  sim::InstrumentOptions paced;
  paced.pace = true;
  std::string error;
  std::shared_ptr<sim::VirtualInstrument> unit = sim::StartVirtualGarmin(options, paced, error);
  if (!unit) {
    state.SkipWithError(error.c_str());
    return;
  }
  RegisterVirtualInstrument("garmin-bench", [unit](std::string&) -> std::unique_ptr<VirtualLine> {
    return std::make_unique<SharedLine>(unit);
  });
  TransferRequest request;
  request.access = AccessType::kReadTrackLog;
  request.portName = "sim:garmin-bench";
  TransferContext ctx(request, {});
  ctx.SetTrace(nullptr);
  garmin::GarminSession session(ctx);
  if (!session.ReadProductData().ok()) {
    state.SkipWithError("no product data");
    return;
  }
  double wireSeconds = 0, unitWireSeconds = 0, measuredSeconds = 0;
  for (auto _ : state) {
    const size_t sent0 = unit->BytesSent(), received0 = unit->BytesReceived();
    const auto start = std::chrono::steady_clock::now();
    TrackLog log;
    if (!garmin::GarminDownloadTrackLog(session, log).ok() || log.count() != points) {
      state.SkipWithError("download failed");
      break;
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The last acknowledgement may still be on its way to the unit.
    const size_t unitBytes = unit->BytesSent() - sent0;
    const size_t bytes = unitBytes + (unit->BytesReceived() - received0);
    state.SetIterationTime(took);
    wireSeconds += static_cast<double>(bytes) * 10.0 / 9600.0;
    // The virtual line paces only the unit's side, so this is the floor.
    unitWireSeconds += static_cast<double>(unitBytes) * 10.0 / 9600.0;
    measuredSeconds += took;
  }
  state.counters["wire_s"] = wireSeconds / static_cast<double>(state.iterations());
  state.counters["ratio"] = measuredSeconds / wireSeconds;
  state.counters["ratio_unit_side"] = measuredSeconds / unitWireSeconds;
  UnregisterVirtualInstrument("garmin-bench");
}
BENCHMARK(BM_GarminTrackDownloadAt9600)->Arg(200)->Arg(500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
