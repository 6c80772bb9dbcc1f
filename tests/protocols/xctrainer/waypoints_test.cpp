// Waypoints of both instruments: the records and lines decoded, the upload
// record built, and every transfer end to end against the virtual instruments.
#include "protocols/xctrainer/waypoints.h"

#include <gtest/gtest.h>

#include "access/virtual_line.h"
#include "records/angles.h"
#include "xctrainer_rig.h"

namespace skylode::xctrainer {
namespace {

using namespace testing;
using sim::XcSimWaypoint;
using sim::XcTrainerSimConfig;

constexpr uint32_t kNow = 1'000'000'000;

int32_t CentiMinutes(int32_t semicircles) {
  return static_cast<int32_t>(RoundHalfAway(semicircles * kSemicirclesToMilliMinutes / 10.0));
}

// Its latitude bytes hold 0x11 and 0x13, its height 0x11 0x13: a line with
// XON/XOFF would swallow them.
const XcSimWaypoint kFlowBytes{"XON-OFF", 0x041311, 0x001113, 0x1113};

TEST(XcTrainerWaypointRecord, Decoded) {
  Waypoint w;
  ASSERT_EQ(DecodeXcTrainerWaypoint(sim::XcTrainerWaypointRecord({"Forclaz dec", 274877, -37479, 1250}), kNow, w), 0);
  EXPECT_EQ(w.id, "FORCLA");
  EXPECT_EQ(w.name, "Forclaz dec");
  EXPECT_EQ(w.height, 1250);
  EXPECT_EQ(CentiMinutes(w.latitude), 274877);
  EXPECT_EQ(CentiMinutes(w.longitude), -37479);
  EXPECT_EQ(w.time, kNow);
  EXPECT_EQ(w.symbol, 18);
  // Names go through the list's rules.
  ASSERT_EQ(DecodeXcTrainerWaypoint(sim::XcTrainerWaypointRecord({"a*b\xE9" "c;x", 0, 0, 0}), kNow, w), 0);
  EXPECT_EQ(w.id, "A-B-C-");
  EXPECT_EQ(w.name, "a-b-c-x");
}

TEST(XcTrainerWaypointRecord, Errors) {
  const std::string good = sim::XcTrainerWaypointRecord({"FORCLAZ", 274877, 37479, 1250});
  auto resum = [](std::string r) {
    uint8_t x = 0;
    for (size_t i = 2; i < 28; ++i) x ^= static_cast<uint8_t>(r[i]);
    r[28] = static_cast<char>(x);
    return r;
  };
  struct Case {
    std::string record;
    int error;
  };
  std::string badSum = good;
  badSum[28] ^= 1;
  std::string at0 = good, at1 = good;
  at0[0] = '#';
  at1[1] = '#';
  std::string w = good, p = good;
  w[2] = 'X';
  p[3] = 'X';
  const Case cases[] = {
      {badSum, 2},
      {at0, 3},
      {at1, 4},
      {resum(w), 5},
      {resum(p), 6},
      {sim::XcTrainerWaypointRecord({"POLE", 540001, 0, 0}), 7},
      {sim::XcTrainerWaypointRecord({"EAST", 0, 1080001, 0}), 7},
      {sim::XcTrainerWaypointRecord({"WEST", 0, -1080001, 0}), 7},
      {good.substr(0, 30), 1},
  };
  for (const Case& c : cases) {
    Waypoint out;
    EXPECT_EQ(DecodeXcTrainerWaypoint(c.record, kNow, out), c.error);
  }
}

TEST(TopNavWaypointLine, Decoded) {
  const auto w = DecodeTopNavWaypoint("FORC__ 1 TPT S 45 48 46 W 006 14 47 -20 m", kNow);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->id, "FORC");
  EXPECT_EQ(w->name, "");
  EXPECT_EQ(w->height, 0);  // below the sea is 0
  EXPECT_EQ(w->latitude, *RadiansToLatitude(-(45 * 3600 + 48 * 60 + 46) * 4.848136811095e-6));
  EXPECT_EQ(w->longitude, *RadiansToLongitude(-(6 * 3600 + 14 * 60 + 47) * 4.848136811095e-6));
  for (const char* bad : {"; a comment", "FORC__ 1 TPT N 90 00 00 E 006 14 47 20 m",
                          "FORC__ 1 TPT N 45 60 00 E 006 14 47 20 m", "FORC__ 1 TPT N 45 48 46 E 180 00 00 20 m",
                          "FORC__ 1 WPT N 45 48 46 E 006 14 47 20 m", "FORC__ 1 TPT X 45 48 46 E 006 14 47 20 m",
                          "FORC__ 1 TPT N 45 48 46 E 006 14 47 20 ft", "TOOLONG 1 TPT N 45 48 46 E 006 14 47 20 m",
                          "FORC__ 1 TPT N 45 48 46  E 006 14 47 20 m", "@EOF"})
    EXPECT_FALSE(DecodeTopNavWaypoint(bad, kNow)) << bad;
}

TEST(WaypointUploadRecord, LayoutAndClamps) {
  Waypoint w;
  w.id = "FORCLA";
  w.height = 1250;
  w.latitude = 546569386;
  w.longitude = -74524000;
  const std::string r = BuildUploadRecord(w);
  ASSERT_EQ(r.size(), kUploadRecordSize);
  EXPECT_EQ(r.substr(0, 5), "@@WP\x81");
  EXPECT_EQ(static_cast<uint8_t>(r[5]), 0x04);
  EXPECT_EQ(static_cast<uint8_t>(r[6]), 0xE2);
  EXPECT_EQ(r.substr(7, 11), "FORCLA     ");
  EXPECT_EQ(r.substr(18, 4), std::string("NO\x06\0", 4));
  const int32_t lat = CentiMinutes(w.latitude), lon = CentiMinutes(w.longitude);
  EXPECT_EQ((static_cast<uint8_t>(r[22]) | static_cast<uint8_t>(r[23]) << 8 | static_cast<uint8_t>(r[24]) << 16), lat);
  EXPECT_EQ((static_cast<uint8_t>(r[25]) | static_cast<uint8_t>(r[26]) << 8 | static_cast<uint8_t>(r[27]) << 16),
            0x1000000 + lon);
  uint8_t x = 0;
  for (size_t i = 2; i < 28; ++i) x ^= static_cast<uint8_t>(r[i]);
  EXPECT_EQ(static_cast<uint8_t>(r[28]), x);
  EXPECT_EQ(r.back(), '\r');  // CR only

  for (auto [height, hi, lo] : {std::tuple{-5, 0, 0}, std::tuple{70000, 0xFF, 0xFF}, std::tuple{65535, 0xFF, 0xFF}}) {
    w.height = height;
    const std::string c = BuildUploadRecord(w);
    EXPECT_EQ(static_cast<uint8_t>(c[5]), hi) << height;
    EXPECT_EQ(static_cast<uint8_t>(c[6]), lo) << height;
  }
}

XcTrainerSimConfig WithWaypoints(bool topNavigator) {
  XcTrainerSimConfig c;
  c.topNavigator = topNavigator;
  c.sends = sim::PilotSends::kWaypoints;
  c.startDelay = 0ms;
  c.waypoints = sim::DemoXcWaypoints();
  c.waypoints.push_back(kFlowBytes);
  return c;
}

TEST(XcTrainerWaypointDownload, EveryRecordAcknowledgedFlowBytesIncluded) {
  auto log = std::make_shared<sim::XcTrainerSimLog>();
  RegisterSim("xct-wpt", WithWaypoints(false), {}, log);
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, AccessType::kReadWaypoints, ProtocolType::kXcTrainer, "sim:xct-wpt");
  ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  const auto& list = std::get<WaypointList>(out.result.payload);
  ASSERT_EQ(list.count(), 4);
  EXPECT_EQ(list.items[0].id, "FORCLA");
  EXPECT_EQ(list.items[0].name, "FORCLAZ");
  EXPECT_EQ(list.items[3].height, 0x1113);
  EXPECT_EQ(CentiMinutes(list.items[3].latitude), 0x041311);
  EXPECT_EQ(CentiMinutes(list.items[3].longitude), 0x001113);
  EXPECT_EQ(log->Acknowledgements(), 4);
  EXPECT_EQ(log->Received(), "@@OK@@OK@@OK@@OK");
  EXPECT_TRUE(screen.SawStatus("4 waypoints received"));
}

TEST(XcTrainerWaypointDownload, ListCutInsideARecordIsAnError) {
  const XcTrainerSimConfig config = WithWaypoints(false);
  for (bool hangUp : {false, true}) {
    sim::InstrumentOptions options;
    // Ten bytes into the second record.
    if (hangUp) {
      options.faults.hangUpAt = kXcTrainerRecordSize + 10;
    } else {
      options.faults.silenceFrom = kXcTrainerRecordSize + 10;
    }
    RegisterSim("xct-wpt", config, options);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kReadWaypoints, ProtocolType::kXcTrainer, "sim:xct-wpt");
    EXPECT_FALSE(out.result.succeeded()) << hangUp;
    const auto shown = screen.Messages();
    ASSERT_EQ(shown.size(), 1u) << hangUp;
    EXPECT_EQ(shown[0].caption, "Read GPS waypoints");
    EXPECT_EQ(shown[0].text, hangUp ? "E301 COM port read error" : "E302 Format error 1");
  }
}

TEST(XcTrainerWaypointDownload, SilenceAfterWholeRecordsEndsWithSuccessNothingIsAbort) {
  XcTrainerSimConfig config = WithWaypoints(false);
  config.waypoints.resize(1);
  RegisterSim("xct-wpt", config);
  PumpingHost host;
  Screen screen;
  RunOutcome out = RunTransfer(host, screen, AccessType::kReadWaypoints, ProtocolType::kXcTrainer, "sim:xct-wpt");
  ASSERT_TRUE(out.result.succeeded());
  EXPECT_EQ(std::get<WaypointList>(out.result.payload).count(), 1);

  config.waypoints.clear();
  RegisterSim("xct-wpt", config);
  Screen quiet;
  out = RunTransfer(host, quiet, AccessType::kReadWaypoints, ProtocolType::kXcTrainer, "sim:xct-wpt");
  EXPECT_FALSE(out.result.succeeded());
  EXPECT_TRUE(quiet.SawStatus("Transfer aborted"));
}

TEST(TopNavWaypointDownload, EveryLineAcknowledgedUntilEof) {
  auto log = std::make_shared<sim::XcTrainerSimLog>();
  XcTrainerSimConfig config = WithWaypoints(true);
  config.waypoints.insert(config.waypoints.begin() + 1, XcSimWaypoint{"BAD", 0, 0, 0});
  RegisterSim("xct-wpt", config, {}, log);
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, AccessType::kReadWaypoints, ProtocolType::kTopNavigatorTncm, "sim:xct-wpt");
  ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  const auto& list = std::get<WaypointList>(out.result.payload);
  ASSERT_EQ(list.count(), 5);
  EXPECT_EQ(list.items[0].id, "FORCLA");
  EXPECT_EQ(list.items[1].id, "BAD");
  EXPECT_EQ(list.items[0].name, "");
  EXPECT_EQ(list.items[0].height, 1250);
  // Every line but "@EOF" is answered.
  EXPECT_EQ(log->Acknowledgements(), 5);
}

TEST(WaypointUpload, BothInstrumentsTakeTheRecords) {
  for (auto protocol : {ProtocolType::kXcTrainer, ProtocolType::kTopNavigatorTncm}) {
    auto log = std::make_shared<sim::XcTrainerSimLog>();
    XcTrainerSimConfig config;
    config.sends = sim::PilotSends::kReceiveWaypoints;
    RegisterSim("xct-up", config, {}, log);
    WaypointList list;
    Waypoint a;
    a.id = "FORCLA";
    a.height = 1250;
    a.latitude = 546569386;
    a.longitude = 74524000;
    Waypoint b = a;
    b.id = "LOW";
    b.height = -30;
    b.latitude = -a.latitude;
    // 0x11 and 0x13 go through untouched.
    Waypoint c = a;
    c.id = "FLOW";
    c.height = 0x1113;
    list.items = {a, b, c};
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kSendWaypoints, protocol, "sim:xct-up", list);
    ASSERT_TRUE(out.result.succeeded());
    EXPECT_EQ(log->Received(), BuildUploadRecord(a) + BuildUploadRecord(b) + BuildUploadRecord(c));
    EXPECT_TRUE(screen.SawStatus("Waypoint 3 sent"));
    EXPECT_EQ(screen.Statuses().back(), "3 waypoints sent");
  }
}

}  // namespace
}  // namespace skylode::xctrainer
