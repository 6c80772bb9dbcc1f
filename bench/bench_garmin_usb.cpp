// Track download from the virtual Garmin on USB against the time its bytes
// need on a full-speed bus (12 Mbit/s) and against the unit's own pace (one
// packet per interval: the floor when the unit is paced). Unpaced, the
// figure is the program's own cost per packet.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "access/transfer_context.h"
#include "access/usb_device.h"
#include "protocols/garmin/transfers.h"
#include "sim/garmin/virtual_garmin_usb.h"

namespace {

using namespace skylode;

void BM_GarminUsbTrackDownload(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  const auto interval = std::chrono::microseconds(state.range(1));
  const bool bulk = state.range(2) != 0;
  sim::VirtualGarminUsbOptions options;
  options.unit = sim::DefaultVirtualGarminOptions(*sim::FindVirtualGarminProfile("d109"), points);
  options.packetInterval = interval;
  options.delivery = bulk ? sim::UsbDelivery::kBulk : sim::UsbDelivery::kInterrupt;
  options.sessionOrder = bulk ? sim::UsbSessionOrder::kDataAvailableFirst : sim::UsbSessionOrder::kStartedFirst;
  auto unit = std::make_shared<sim::VirtualGarminUsb>(options);
  RegisterVirtualUsbDevice("garmin-usb-bench", [unit](std::string&) { return sim::VirtualGarminUsb::Connect(unit); });
  TransferRequest request;
  request.access = AccessType::kReadTrackLog;
  request.protocol = ProtocolType::kGarminUsb;
  request.portName = "sim:garmin-usb-bench";
  TransferContext ctx(request, {});
  ctx.SetTrace(nullptr);
  garmin::GarminSession session(ctx);
  if (!session.ReadProductData().ok()) {
    state.SkipWithError("no product data");
    UnregisterVirtualUsbDevice("garmin-usb-bench");
    return;
  }
  double wireSeconds = 0, paceSeconds = 0, measuredSeconds = 0;
  for (auto _ : state) {
    const size_t bytes0 = unit->BytesMoved();
    const auto start = std::chrono::steady_clock::now();
    TrackLog log;
    if (!garmin::GarminDownloadTrackLog(session, log).ok() || log.count() != points) {
      state.SkipWithError("download failed");
      break;
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(took);
    wireSeconds += static_cast<double>(unit->BytesMoved() - bytes0) * 8.0 / 12.0e6;
    // Records, header, points and transfer complete, one interval each.
    paceSeconds += static_cast<double>(points + 3) * std::chrono::duration<double>(interval).count();
    measuredSeconds += took;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["wire_s"] = wireSeconds / n;
  state.counters["ratio_wire"] = measuredSeconds / wireSeconds;
  if (paceSeconds > 0) state.counters["ratio_pace"] = measuredSeconds / paceSeconds;
  UnregisterVirtualUsbDevice("garmin-usb-bench");
}
// points, microseconds between the unit's packets, bulk delivery
BENCHMARK(BM_GarminUsbTrackDownload)
    ->Args({2000, 0, 0})
    ->Args({2000, 0, 1})
    ->Args({500, 1000, 0})
    ->Args({500, 1000, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
