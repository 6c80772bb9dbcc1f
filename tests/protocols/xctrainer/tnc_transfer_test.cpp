// The TNC download end to end against the virtual instruments, and a fault
// sweep of a short log.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "access/virtual_line.h"
#include "protocols/xctrainer/tnc_download.h"
#include "records/calendar.h"
#include "xctrainer_rig.h"

namespace skylode::xctrainer {
namespace {

using namespace testing;
using sim::XcTrainerSimConfig;

XcTrainerSimConfig TncFlight(bool topNavigator, int points, char variant = '2') {
  XcTrainerSimConfig c;
  c.topNavigator = topNavigator;
  c.points = sim::DemoMxpPoints(points);
  c.heightVariant = variant;
  c.sends = sim::PilotSends::kTncLog;
  c.startDelay = 0ms;
  return c;
}

int32_t Semicircles(int32_t centiMinutes) { return static_cast<int32_t>(centiMinutes * 1988.410785185 + 0.5); }

TEST(TncDownload, BothInstrumentsDeliverTheirLog) {
  struct Case {
    bool topNavigator;
    ProtocolType protocol;
    char variant;
    bool baro;
  };
  // The Top Navigator's lines carry the GPS height whatever its header says.
  const Case cases[] = {
      {true, ProtocolType::kTopNavigatorTncm, '2', false},
      {false, ProtocolType::kXcTrainer, '2', true},
      {false, ProtocolType::kXcTrainer, '0', true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.protocol));
    const XcTrainerSimConfig config = TncFlight(c.topNavigator, 75, c.variant);
    RegisterSim("xct-tnc", config);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, c.protocol, "sim:xct-tnc");
    ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
    EXPECT_EQ(out.result.kind, 3);
    const TrackLogPayload* t = TrackOf(out);
    ASSERT_EQ(t->log.points.size(), 75u);
    const uint32_t start = *CalendarToTime({2026, 8, 2, 11, 30, 0, 0});
    for (size_t i = 0; i < 75; ++i) {
      const TrackPoint& p = t->log.points[i];
      const sim::MxpSimPoint& s = config.points[i];
      EXPECT_EQ(p.time, start + i);
      EXPECT_EQ(p.latitude, Semicircles(sim::TncCentiMinutes(s.latitude)));
      EXPECT_EQ(p.longitude, Semicircles(sim::TncCentiMinutes(s.longitude)));
      EXPECT_EQ(p.baroHeight, c.baro ? s.baroHeight : 0);
      EXPECT_EQ(p.gpsHeight, c.variant == '0' ? 0 : s.gpsHeight * 10);
    }
    EXPECT_EQ(t->log.hasBaroHeight, c.baro);
    EXPECT_EQ(t->log.identification, std::string(c.topNavigator ? "TopNav" : "XcTrainer") + ": 4660");
    EXPECT_EQ(screen.products.back(), c.topNavigator ? "Top Navigator" : "XC Trainer");
    EXPECT_TRUE(screen.SawStatus("75 points received"));
    EXPECT_TRUE(screen.Messages().empty());
  }
}

TEST(TncDownload, BlockWithABadFirstRecordIsCountedAndEndAligned) {
  XcTrainerSimConfig config = TncFlight(true, 70);
  config.lines = sim::TncLogLines(config);
  // Line 0 header, 1 block, 2..31 records, 32 block, 33..62 records, 63
  // block: the second block keeps 20 records, the first of them bad.
  config.lines[33] = "not a position";
  config.lines.erase(config.lines.begin() + 53, config.lines.begin() + 63);
  RegisterSim("xct-tnc", config);
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kTopNavigatorTncm, "sim:xct-tnc");
  ASSERT_TRUE(out.result.succeeded());
  const auto& points = TrackOf(out)->log.points;
  ASSERT_EQ(points.size(), 59u);
  const uint32_t start = *CalendarToTime({2026, 8, 2, 11, 30, 0, 0});
  // The 19 good records of the second block end at its 30th second.
  EXPECT_EQ(points[29].time, start + 29);
  EXPECT_EQ(points[30].time, start + 30 + 11);
  EXPECT_EQ(points[48].time, start + 30 + 29);
  EXPECT_EQ(points[49].time, start + 60);
  const auto shown = screen.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Error(s) in 1 block(s) ignored");
  EXPECT_EQ(shown[0].icon, MessageIcon::kWarning);
}

TEST(TncDownload, FormatErrorsAndLongLines) {
  struct Case {
    std::function<void(std::vector<std::string>&)> edit;
    const char* text;
  };
  const Case cases[] = {
      {[](auto& l) { l[1] = "113000"; }, "E202 Format error 1"},
      {[](auto& l) { l[32] = "11301000005AC0"; }, "E202 Format error 2"},
      {[](auto& l) { l[5] = std::string(120, 'A'); }, "E203 Too long sentence"},
  };
  for (const Case& c : cases) {
    XcTrainerSimConfig config = TncFlight(true, 40);
    config.lines = sim::TncLogLines(config);
    c.edit(config.lines);
    RegisterSim("xct-tnc", config);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kTopNavigatorTncm, "sim:xct-tnc");
    EXPECT_FALSE(out.result.succeeded()) << c.text;
    const auto shown = screen.Messages();
    ASSERT_EQ(shown.size(), 1u) << c.text;
    EXPECT_EQ(shown[0].caption, "Read GPS track log");
    EXPECT_EQ(shown[0].text, c.text);
  }
}

// A short TNC log of the XC Trainer (with its XOFF XON) broken at every byte.
TEST(TncFaultSweep, HangUpAndCorruptionAtEveryByte) {
  XcTrainerSimConfig config = TncFlight(false, 4);
  config.flowControlEvery = 2;
  const size_t total = sim::TncLogBytes(config).size();
  std::vector<TrackPoint> clean;
  auto run = [&](const sim::InstrumentOptions& options, std::vector<Shown>& shown) {
    Screen screen;
    auto abort = std::make_shared<AbortSignal>();
    DirectRun r = OpenDirect(config, options, AccessType::kReadTrackLog, ProtocolType::kXcTrainer, 57600, true,
                             screen.Callbacks(), abort);
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
      const auto end = std::chrono::steady_clock::now() + 2s;
      while (!done && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
      if (!done) abort->Request();
    });
    TransferResult result = r.ctx ? TncReadTrackLog(*r.ctx) : TransferResult::Failure();
    done = true;
    watchdog.join();
    shown = screen.Messages();
    return result;
  };
  {
    std::vector<Shown> shown;
    TransferResult r = run({}, shown);
    ASSERT_TRUE(r.succeeded());
    clean = std::get<TrackLogPayload>(r.payload).log.points;
    ASSERT_EQ(clean.size(), 4u);
  }
  std::mutex m;
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 16; ++t)
    threads.emplace_back([&] {
      for (size_t i = next++; i < 2 * total; i = next++) {
        const size_t at = i / 2;
        sim::InstrumentOptions options;
        if (i % 2 == 0) {
          options.faults.hangUpAt = at;
        } else {
          options.faults.corruptAt = at;
        }
        std::vector<Shown> shown;
        const TransferResult r = run(options, shown);
        std::lock_guard l(m);
        if (i % 2 == 0) {
          EXPECT_EQ(r.outcome, TransferOutcome::kFailure) << "hang-up at " << at;
          EXPECT_EQ(shown.size(), 1u) << "hang-up at " << at;
          continue;
        }
        if (r.succeeded()) {
          // TNC lines carry no checksum: a changed digit is a changed value
          // (a position, a block time, the date) or a bad record, and a lost
          // line end drops a record. What is delivered is still a log: no
          // more points than were sent, in time order, and when more than
          // one is missing the person is told of the bad blocks.
          const auto& got = std::get<TrackLogPayload>(r.payload).log.points;
          EXPECT_LE(got.size(), clean.size()) << at;
          if (got.size() + 1 < clean.size()) {
            ASSERT_EQ(shown.size(), 1u) << at;
            EXPECT_TRUE(shown[0].text.starts_with("Error(s) in ")) << at;
          }
          for (size_t k = 1; k < got.size(); ++k) EXPECT_LT(got[k - 1].time, got[k].time) << at;
          if (!got.empty()) {
            EXPECT_EQ(got[0].flags, 1u) << at;
          }
          continue;
        }
        if (r.outcome == TransferOutcome::kFailure) {
          EXPECT_EQ(shown.size(), 1u) << "corrupt at " << at;
        }
      }
    });
  for (auto& t : threads) t.join();
}

// Aborted while waiting, and as each of the points of a two-block log
// arrives: nothing is delivered, nothing is shown but the abort.
TEST(TncFaultSweep, AbortAtEveryStageDeliversNothing) {
  XcTrainerSimConfig config = TncFlight(false, 35);
  for (int stage = 0; stage <= 35; stage += stage < 3 ? 1 : 8) {
    Screen screen;
    auto abort = std::make_shared<AbortSignal>();
    TransferCallbacks cb = screen.Callbacks();
    auto count = std::make_shared<int>(0);
    if (stage == 0) {
      auto status = cb.onStatus;
      cb.onStatus = [status, abort](std::string_view t) {
        status(t);
        if (t == "Waiting for data") abort->Request();
      };
    } else {
      cb.notifyPosition = [abort, count, stage](const TrackPoint&) {
        if (++*count == stage) abort->Request();
      };
    }
    DirectRun run = OpenDirect(config, {}, AccessType::kReadTrackLog, ProtocolType::kXcTrainer, 57600, true,
                               std::move(cb), abort);
    ASSERT_TRUE(run.ctx);
    const TransferResult r = TncReadTrackLog(*run.ctx);
    EXPECT_EQ(r.outcome, TransferOutcome::kCancelled) << stage;
    EXPECT_TRUE(screen.Messages().empty()) << stage;
  }
}

}  // namespace
}  // namespace skylode::xctrainer
