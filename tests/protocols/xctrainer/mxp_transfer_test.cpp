// The MXP download end to end: the dispatcher's worker, the real serial
// layer and the virtual instruments, which start on their own after a delay.
#include <gtest/gtest.h>

#include <thread>

#include "access/virtual_line.h"
#include "protocols/xctrainer/mxp_download.h"
#include "records/calendar.h"
#include "sim/register.h"
#include "xctrainer_rig.h"

namespace skylode::xctrainer {
namespace {

using namespace testing;
using sim::XcTrainerSimConfig;

XcTrainerSimConfig Flight(bool topNavigator, int points, char variant = '2') {
  XcTrainerSimConfig c;
  c.topNavigator = topNavigator;
  c.points = sim::DemoMxpPoints(points);
  c.heightVariant = variant;
  c.startDelay = 100ms;
  return c;
}


TEST(MxpDownload, BothInstrumentsDeliverTheirLog) {
  struct Case {
    bool topNavigator;
    ProtocolType protocol;
    char variant;
    const char* product;
    const char* identification;
  };
  const Case cases[] = {
      {false, ProtocolType::kXcTrainerMxp, '2', "XC Trainer V1.2-34, S/N 4660", "XcTrainer: 4660"},
      {true, ProtocolType::kTopNavigatorMxp, '1', "Top Navigator V12.34, S/N 4660", "TopNav: 4660"},
      {false, ProtocolType::kXcTrainerMxp, '0', "XC Trainer V1.2-34, S/N 4660", "XcTrainer: 4660"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product);
    const XcTrainerSimConfig config = Flight(c.topNavigator, 230, c.variant);
    RegisterSim("xct-test", config);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, c.protocol, "sim:xct-test");
    ASSERT_TRUE(out.delivered);
    ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
    EXPECT_EQ(out.result.kind, 3);
    const TrackLogPayload* t = TrackOf(out);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->log.points.size(), 230u);
    const uint32_t start = *CalendarToTime({2026, 8, 2, 11, 30, 0, 0});
    for (size_t i = 0; i < t->log.points.size(); ++i) {
      const TrackPoint& p = t->log.points[i];
      const sim::MxpSimPoint& s = config.points[i];
      EXPECT_EQ(p.time, start + i);
      EXPECT_EQ(p.flags, i == 0 ? 1u : 0u);
      EXPECT_EQ(p.latitude, static_cast<int32_t>(s.latitude * 497.1026962963 + 0.5));
      EXPECT_EQ(p.longitude, static_cast<int32_t>(s.longitude * 497.1026962963 + 0.5));
      EXPECT_EQ(p.baroHeight, c.variant == '1' ? 0 : s.baroHeight);
      EXPECT_EQ(p.gpsHeight, c.variant == '0' ? 0 : s.gpsHeight * 10);
    }
    EXPECT_EQ(t->log.hasBaroHeight, c.variant != '1');
    EXPECT_EQ(t->log.source, TrackLogSource::kXcTrainer);
    EXPECT_EQ(t->log.instrumentText, c.product);
    EXPECT_EQ(t->log.identification, c.identification);
    // The raw log is what came, flow-control bytes left out.
    std::string sent = sim::MxpLogBytes(config);
    std::erase_if(sent, [](char ch) { return ch == 0x11 || ch == 0x13; });
    EXPECT_EQ(std::string(t->log.extraData.begin(), t->log.extraData.end()), sent);
    EXPECT_TRUE(screen.SawStatus("Waiting for data"));
    EXPECT_TRUE(screen.SawStatus("Track position 100 of 230 (0m 0s)") ||
                screen.SawStatus("Track position 100 of 230 (0m 1s)"));
    EXPECT_TRUE(screen.SawStatus("230 points received"));
    EXPECT_EQ(screen.products.back(), c.product);
  }
}

TEST(MxpDownload, HeaderOfNoPositionsEndsAtOnceWithAnEmptyLog) {
  RegisterSim("xct-test", Flight(false, 0));
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kXcTrainerMxp, "sim:xct-test");
  ASSERT_TRUE(out.result.succeeded());
  EXPECT_TRUE(TrackOf(out)->log.points.empty());
  EXPECT_TRUE(screen.SawStatus("0 points received"));
}

TEST(MxpDownload, InstrumentErrorsFailWithTheirMessage) {
  struct Case {
    const char* name;
    std::function<void(std::vector<std::string>&)> edit;
    ProtocolType protocol;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {"other instrument", [](auto&) {}, ProtocolType::kTopNavigatorMxp, "Decode track log sentence", "E202 Bad identifier"},
      {"bad checksum", [](auto& l) { l[2][27] = l[2][27] == '0' ? '1' : '0'; }, ProtocolType::kXcTrainerMxp,
       "Decode track log sentence", "E202 Bad checksum"},
      {"latitude past the pole",
       [](auto& l) { l[3] = sim::WithChecksum("0003000201" "20F581" "0249AE" "04D804E4"); },
       ProtocolType::kXcTrainerMxp, "Decode track log sentence", "E202 Bad position value entry"},
      {"record left out", [](auto& l) { l.erase(l.begin() + 2); }, ProtocolType::kXcTrainerMxp,
       "Decode track log sentence", "E202 Bad record number sequence"},
      {"too long line", [](auto& l) { l[1] += std::string(80, '0'); }, ProtocolType::kXcTrainerMxp,
       "Decode track log sentence", "E202 Too long line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XcTrainerSimConfig config = Flight(false, 5);
    config.lines = sim::MxpLogLines(config);
    c.edit(config.lines);
    RegisterSim("xct-test", config);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, c.protocol, "sim:xct-test");
    EXPECT_TRUE(out.delivered);
    EXPECT_FALSE(out.result.succeeded());
    const auto shown = screen.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, c.caption);
    EXPECT_EQ(shown[0].text, c.text);
  }
}

TEST(MxpDownload, InstrumentSwitchedOffMidwayIsAReadError) {
  sim::InstrumentOptions options;
  options.faults.hangUpAt = 200;
  RegisterSim("xct-test", Flight(true, 20), options);
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kTopNavigatorMxp, "sim:xct-test");
  EXPECT_FALSE(out.result.succeeded());
  const auto shown = screen.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Read GPS track log");
  EXPECT_EQ(shown[0].text, "E201 COM port read error");
}

TEST(MxpDownload, WaitsForThePilotUntilAborted) {
  XcTrainerSimConfig config = Flight(false, 5);
  config.startDelay = std::chrono::hours(1);
  Screen screen;
  auto abort = std::make_shared<AbortSignal>();
  DirectRun run = OpenDirect(config, {}, AccessType::kReadTrackLog, ProtocolType::kXcTrainerMxp, 57600, true,
                             screen.Callbacks(), abort);
  ASSERT_TRUE(run.ctx);
  std::thread aborter([&] {
    std::this_thread::sleep_for(300ms);
    abort->Request();
  });
  const TransferResult r = MxpReadTrackLog(*run.ctx);
  aborter.join();
  EXPECT_EQ(r.outcome, TransferOutcome::kCancelled);
  EXPECT_TRUE(screen.SawStatus("Transfer aborted"));
  EXPECT_TRUE(screen.Messages().empty());
}

// The registered instruments a person reaches, at the line's real pace.
TEST(MxpDownload, RegisteredVirtualInstruments) {
  sim::RegisterVirtualInstruments();
  for (auto [port, protocol] : {std::pair{"sim:xctrainer", ProtocolType::kXcTrainerMxp},
                                std::pair{"sim:topnav", ProtocolType::kTopNavigatorMxp}}) {
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, protocol, port);
    ASSERT_TRUE(out.result.succeeded()) << port;
    EXPECT_EQ(TrackOf(out)->log.points.size(), 240u);
  }
}

}  // namespace
}  // namespace skylode::xctrainer
