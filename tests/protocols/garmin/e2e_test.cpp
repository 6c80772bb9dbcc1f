#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <future>
#include <thread>

#include "garmin_rig.h"
#include "protocols/garmin/records.h"

namespace skylode::garmin {
namespace {

using namespace testing;
using std::chrono::milliseconds;

// Every case runs on the serial link and on USB (packets on the interrupt
// pipe, and as bulk bursts); units from before the protocol array exist only
// on the serial link.
class GarminEndToEnd : public ::testing::TestWithParam<Transport> {
 protected:
  Transport transport() const { return GetParam(); }
  bool usb() const { return GetParam() != Transport::kSerial; }
  bool bulk() const { return GetParam() == Transport::kUsbBulk; }
  bool Reachable(const char* profile) const { return !usb() || sim::FindVirtualGarminProfile(profile)->sendsProtocolArray; }
  // The identification a unit gives on this transport.
  std::string Identification(const std::string& description) const {
    return usb() ? "Garmin USB: 3456789012" : ("Garmin: " + description).substr(0, 50);
  }
};

INSTANTIATE_TEST_SUITE_P(Transports, GarminEndToEnd, ::testing::ValuesIn(kAllTransports),
                         [](const ::testing::TestParamInfo<Transport>& i) { return TransportName(i.param); });

TEST_P(GarminEndToEnd, IdentifiesEveryProfileAndReadsItsWaypoints) {
  struct Case {
    const char* profile;
    uint16_t waypointType;
    uint16_t trackProtocol;
    uint16_t trackPointType;
  } cases[] = {
      {"d109", 109, 301, 301},   {"d108", 108, 302, 302},   {"d110", 110, 302, 304},
      {"p29-399", 101, 300, 300}, {"p29-400", 102, 300, 300}, {"p77-300", 100, 300, 300},
      {"p77-349", 103, 300, 300}, {"p77-355", 103, 300, 300}, {"p77-400", 103, 300, 300},
  };
  for (const auto& c : cases) {
    if (!Reachable(c.profile)) continue;
    SCOPED_TRACE(c.profile);
    Rig rig(transport(), ProfileOptions(c.profile));
    ASSERT_TRUE(rig.ok());
    Recorder rec;
    GarminProtocolSet caps;
    std::string description;
    auto worker = [&](TransferContext& ctx, GarminTimeouts t) {
      GarminSession s(ctx, t);
      if (!s.ReadProductData().ok()) return TransferResult::Failure();
      caps = s.protocols();
      description = s.description();
      EXPECT_EQ(s.identification(), Identification(description));
      WaypointList list;
      if (!GarminDownloadWaypoints(s, WaypointScanMode::kList, &list).ok())
        return TransferResult::Failure();
      return TransferResult::Waypoints(std::move(list));
    };
    TransferResult r = rig.Run(worker, rig.Request(AccessType::kReadWaypoints), rec);
    ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
    EXPECT_EQ(caps.waypointType, c.waypointType);
    EXPECT_EQ(caps.trackProtocol, c.trackProtocol);
    EXPECT_EQ(caps.trackPointType, c.trackPointType);
    EXPECT_EQ(description, sim::FindVirtualGarminProfile(c.profile)->description);
    ASSERT_FALSE(rec.products.empty());
    EXPECT_EQ(rec.products.front(), "");  // cleared first
    EXPECT_EQ(rec.products.back(), description);
    const auto& list = std::get<WaypointList>(r.payload);
    // The unit's text goes with its waypoints.
    EXPECT_EQ(list.sourceText, description);
    ASSERT_EQ(list.count(), 5);
    EXPECT_EQ(list.items[0].id, "LAUNCH");
    EXPECT_EQ(list.items[0].name, "VIRTUAL WAYPOINT");
    EXPECT_EQ(list.items[4].latitude, 560400000);
    EXPECT_EQ(list.items[4].longitude, 89800000);
    EXPECT_EQ(list.items[4].height, c.waypointType >= 108 ? 1400 : 0);
    EXPECT_TRUE(rec.messages.empty()) << rec.LastMessage();
  }
}

TEST_P(GarminEndToEnd, RefusesUnknownProductsAndBadProtocolArrays) {
  sim::VirtualGarminOptions broken = ProfileOptions("d109");
  broken.profile.rawProtocolArray = {'P', 0, 0, 'L', 1, 0, 'A', 10, 0, 'A'};  // 10 bytes
  sim::VirtualGarminOptions badTag = ProfileOptions("d109");
  badTag.profile.rawProtocolArray = {'P', 0, 0, 'Q', 1, 0};
  sim::VirtualGarminOptions oldLink = ProfileOptions("d109");
  oldLink.profile.rawProtocolArray = {'L', 2, 0, 'A', 10, 0};
  // On USB every message of the product step is captioned alike, and a unit
  // without a protocol array is not looked up: the wait for it runs out.
  struct Case {
    sim::VirtualGarminOptions options;
    const char* caption;
    const char* text;
    const char* usbText;
  } cases[] = {
      {ProfileOptions("unknown"), "Requesting GPS product data", "GPS product ID not supported",
       "E115 Packet read error"},
      {broken, "Requesting GPS product data", "Bad protocol data packet", "E125 Bad protocol data packet"},
      {badTag, "Requesting GPS product data", "Bad protocol tag character", "E126 Bad protocol tag character"},
      {oldLink, "Read GPS product data", "E180 Unsupported link protocol", "E180 Unsupported link protocol"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.text);
    Rig rig(transport(), c.options);
    Recorder rec;
    TransferResult r = rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec);
    EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].caption, usb() ? "Read GPS product data" : c.caption);
    EXPECT_EQ(rec.messages[0].text, usb() ? c.usbText : c.text);
  }
}

TEST_P(GarminEndToEnd, WaypointRoundTripFollowsTheConversionRules) {
  WaypointList list;
  list.items.push_back({555555555, -123456789, 1234, "ab-1", "Take off, north", 0, 7});
  list.items.push_back({-1, 1, -5, "LZ", "landing: field #2", 0, 18});
  list.items.push_back({100, 200, 0, "X", "", 0, 0});
  for (const char* profile : {"d109", "d108", "d110", "p77-349", "p29-400", "p77-300"}) {
    if (!Reachable(profile)) continue;
    SCOPED_TRACE(profile);
    Rig rig(transport(), ProfileOptions(profile));
    Recorder rec;
    TransferResult up = rig.Run(GarminSendWaypoints, rig.Request(AccessType::kSendWaypoints, list), rec);
    ASSERT_TRUE(up.succeeded()) << rec.LastMessage();
    EXPECT_EQ(rig.unit().Waypoints().size(), 3u);
    TransferResult down = rig.Run(GarminReadWaypoints, rig.Request(AccessType::kReadWaypoints), rec);
    ASSERT_TRUE(down.succeeded()) << rec.LastMessage();
    const auto& got = std::get<WaypointList>(down.payload).items;
    ASSERT_EQ(got.size(), 3u);
    const uint16_t type = sim::FindVirtualGarminProfile(profile)->waypointType;
    const bool strings = type >= 108 && type <= 110;
    EXPECT_EQ(got[0].id, "AB-1");
    EXPECT_EQ(got[0].name, strings ? "TAKE OFF  NORTH" : "TAKE OFF- NORTH");
    EXPECT_EQ(got[1].name, strings ? "LANDING  FIELD  2" : "LANDING- FIELD -2");
    EXPECT_EQ(got[2].name, "");
    EXPECT_EQ(got[0].latitude, 555555555);
    EXPECT_EQ(got[0].longitude, -123456789);
    EXPECT_EQ(got[1].latitude, -1);
    EXPECT_EQ(got[0].height, strings ? 1234 : 0);
    EXPECT_EQ(got[1].height, strings ? -5 : 0);
    EXPECT_EQ(got[0].symbol, type == 100 ? 18 : 7);
    EXPECT_TRUE(rec.messages.empty()) << rec.LastMessage();
    EXPECT_EQ(rec.notes.back(), "Sent wpt 3/3");
  }
}

TEST_P(GarminEndToEnd, LongTrackWithMissingAltitudesAndTimes) {
  sim::VirtualGarminOptions o = ProfileOptions("d109", 0);
  o.track.clear();
  constexpr int kPoints = 10000;
  for (int i = 0; i < kPoints; ++i) {
    const float alt = i % 7 == 3 ? 1.0e25f : static_cast<float>(i % 3000);
    const uint32_t time = i % 11 == 5 ? 0xFFFFFFFFu : 1000u + static_cast<uint32_t>(i);
    o.track.push_back({34, sim::GarminTrackPointRecordData(301, i * 1000, -i * 1000, time, alt, 2.5f, i % 2500 == 0)});
  }
  // A second header in the middle, as after the unit was switched off.
  o.track.insert(o.track.begin() + 5000, {99, sim::GarminTrackHeaderRecordData("SECOND")});
  o.track.insert(o.track.begin(), {99, sim::GarminTrackHeaderRecordData("ACTIVE LOG")});
  Rig rig(transport(), o);
  Recorder rec;
  TransferResult r = rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec);
  ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
  const TrackLog& log = std::get<TrackLogPayload>(r.payload).log;
  ASSERT_EQ(log.count(), kPoints);
  EXPECT_EQ(log.source, TrackLogSource::kGarmin);
  EXPECT_EQ(log.instrumentText, sim::FindVirtualGarminProfile("d109")->description);
  // What the split dialog's title names.
  EXPECT_EQ(log.modelName, "Garmin");
  EXPECT_EQ(log.identification, Identification(sim::FindVirtualGarminProfile("d109")->description));
  EXPECT_EQ(log.sourceProtocol, usb() ? ProtocolType::kGarminUsb : ProtocolType::kGarminSerial);
  EXPECT_FALSE(log.hasBaroHeight);
  for (int i = 0; i < kPoints; ++i) {
    const TrackPoint& p = log.points[static_cast<size_t>(i)];
    ASSERT_EQ(p.latitude, i * 1000) << i;
    ASSERT_EQ(p.longitude, -i * 1000) << i;
    ASSERT_EQ(p.time, i % 11 == 5 ? 0u : 1000u + static_cast<uint32_t>(i)) << i;
    ASSERT_EQ(p.gpsHeight, i % 7 == 3 ? 0 : (i % 3000) * 10) << i;
    ASSERT_EQ(p.flags, i % 2500 == 0 ? 1u : 0u) << i;
    ASSERT_EQ(p.depth, 2.5f) << i;
  }
  EXPECT_EQ(rec.positions, kPoints);
  EXPECT_EQ(rec.notes.back(), "Progress 10000/10002");
  if (usb()) EXPECT_EQ(rec.statuses.back(), "10000 track positions read");
  else EXPECT_EQ(rec.statuses.back().rfind("10000 track positions read (", 0), 0u) << rec.statuses.back();
}

TEST_P(GarminEndToEnd, TrackHeadersAndPointTypesOfEachProfile) {
  for (const char* profile : {"d108", "d110", "p29-400"}) {
    if (!Reachable(profile)) continue;
    SCOPED_TRACE(profile);
    Rig rig(transport(), ProfileOptions(profile, 12));
    Recorder rec;
    TransferResult r = rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec);
    ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
    const auto& pts = std::get<TrackLogPayload>(r.payload).log.points;
    ASSERT_EQ(pts.size(), 12u);
    const uint16_t type = sim::FindVirtualGarminProfile(profile)->trackPointType;
    EXPECT_EQ(pts[11].gpsHeight, type == 300 ? 0 : 8110);
    EXPECT_EQ(pts[11].time, 1000000011u);
    EXPECT_EQ(pts[0].flags, type == 304 ? 0u : 1u);
  }
  // A header from a unit whose protocol has none (on USB a unit that
  // reports A300 in its array).
  sim::VirtualGarminOptions o = ProfileOptions("p29-400", 3);
  if (usb()) {
    o.profile.sendsProtocolArray = true;
    o.profile.trackHeaderType = 0;
  }
  o.track.insert(o.track.begin() + 1, {99, sim::GarminTrackHeaderRecordData("X")});
  Rig rig(transport(), o);
  Recorder rec;
  EXPECT_EQ(rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec).outcome,
            TransferOutcome::kFailure);
  EXPECT_EQ(rec.LastMessage(), usb() ? "E225 Packet type/protocol mismatch" : "E208 Packet type/protocol mismatch");
  for (int i = 0; i < 50 && rig.unit().AbortCommands() == 0; ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_EQ(rig.unit().AbortCommands(), 1);
}

TEST(GarminSerialEndToEnd, BadChecksumsAreDroppedAndTheResentPacketUsed) {
  for (size_t packet : {0u, 1u, 4u, 7u, 12u}) {
    SCOPED_TRACE(packet);
    sim::VirtualGarminOptions o = ProfileOptions("d109", 5);
    o.faults.badChecksumOnPacket = packet;
    Rig rig(o);
    Recorder rec;
    TransferResult r = rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec);
    ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
    const auto& pts = std::get<TrackLogPayload>(r.payload).log.points;
    ASSERT_EQ(pts.size(), 5u);
    for (size_t i = 0; i < pts.size(); ++i) EXPECT_EQ(pts[i].time, 1000000000u + i);
  }
}

TEST_P(GarminEndToEnd, AUnitThatStopsAnsweringGivesTheStepsMessage) {
  // On USB the read that runs out is numbered: 1 on the interrupt pipe, 3 on
  // the bulk pipe just announced, 7 in the middle of a bulk burst.
  struct Case {
    size_t silentAfter;  // serial: packets the unit still sends
    const char* text;
    size_t usbSilentFrom;  // USB: the first packet that does not come
    int usbBase;
    bool firstOfBurst;
  } cases[] = {
      // Serial: product data, protocol array, the command's ack, records, a
      // header, three points and transfer complete. USB: product data,
      // extended product data, protocol array, records, a header, three
      // points and transfer complete.
      {0, "No valid response from GPS", 0, 104, true},
      {2, "E200 Timeout while waiting for data packet", 2, 114, false},
      {3, "E202 Timeout while waiting for record count packet", 3, 203, true},
      {6, "E205 Timeout while waiting for log data packet", 5, 214, false},
      {8, "E211 Timeout while waiting for transfer complete packet", 8, 226, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    sim::VirtualGarminOptions o = ProfileOptions("d109", 3);
    o.faults.silentAfterPackets = c.silentAfter;
    o.maxResends = 0;
    UsbSetup setup;
    setup.faults.silentFromPacket = c.usbSilentFrom;
    Rig rig(transport(), o, setup);
    Recorder rec;
    TransferResult r = rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec);
    EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
    if (!usb()) EXPECT_EQ(rec.LastMessage(), c.text);
    else EXPECT_EQ(rec.LastMessage(), UsbReadError(c.usbBase, !bulk() ? 1 : c.firstOfBurst ? 3 : 7));
  }
}

TEST(GarminSerialEndToEnd, MissingAcknowledgementsEndTheUpload) {
  WaypointList list;
  for (int i = 0; i < 4; ++i) list.items.push_back({i, i, 0, "W" + std::to_string(i), "", 0, 0});
  struct Case {
    size_t withheld;  // counted without acks: product request, records, 4 waypoints, complete
    const char* text;
  } cases[] = {
      {0, "No valid response from GPS"},
      {1, "E400 Timeout while waiting for ack. packet"},
      {3, "E402 Timeout while waiting for ack. packet"},
      {6, "E404 Timeout while waiting for ack. packet"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    sim::VirtualGarminOptions o = ProfileOptions("d109");
    o.faults.withholdAckOfPacket = c.withheld;
    Rig rig(o);
    Recorder rec;
    TransferResult r = rig.Run(GarminSendWaypoints, rig.Request(AccessType::kSendWaypoints, list), rec);
    EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
    EXPECT_EQ(rec.LastMessage(), c.text);
  }
}

TEST_P(GarminEndToEnd, AbortEndsADownloadWithinASecond) {
  sim::InstrumentOptions paced;
  paced.pace = true;
  UsbSetup slow;
  slow.packetInterval = milliseconds(2);
  Rig rig = usb() ? Rig(transport(), ProfileOptions("d109", 3000), slow) : Rig(ProfileOptions("d109", 3000), paced);
  Recorder rec;
  auto abort = std::make_shared<AbortSignal>();
  auto request = rig.Request(AccessType::kReadTrackLog);
  auto result = std::async(std::launch::async, [&] {
    TransferContext ctx(std::move(request), rec.Callbacks(), abort);
    ctx.SetTrace(nullptr);
    return GarminReadTrackLog(ctx, GarminTimeouts{});  // real time-outs: the abort must not wait for them
  });
  // Wait until points are coming in, then abort.
  for (int i = 0; i < 500 && rec.positions < 20; ++i) std::this_thread::sleep_for(milliseconds(20));
  ASSERT_GE(rec.positions, 20);
  const auto asked = std::chrono::steady_clock::now();
  abort->Request();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, milliseconds(1000));
  TransferResult r = result.get();
  EXPECT_EQ(r.outcome, TransferOutcome::kCancelled);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
  EXPECT_TRUE(rec.messages.empty()) << rec.LastMessage();
  // The unit was told to stop.
  for (int i = 0; i < 50 && rig.unit().AbortCommands() == 0; ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_EQ(rig.unit().AbortCommands(), 1);
}

TEST_P(GarminEndToEnd, PointsGoUpAsATrackLog) {
  WaypointList list;
  for (int i = 0; i < 7; ++i) list.items.push_back({i * 100, -i * 100, 50, "P" + std::to_string(i), "x", 0, 0});
  struct Case {
    const char* profile;
    size_t pointSize;
    bool header;
  } cases[] = {{"d109", 21, true}, {"d108", 25, true}, {"p77-400", 13, false}};
  for (const auto& c : cases) {
    if (!Reachable(c.profile)) continue;
    SCOPED_TRACE(c.profile);
    Rig rig(transport(), ProfileOptions(c.profile));
    Recorder rec;
    auto request = rig.Request(AccessType::kUploadTrackLog, list);
    request.settings.powerOffAfterTransfer = true;
    TransferResult r = rig.Run(GarminSendPointsAsLog, request, rec);
    ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
    EXPECT_EQ(rec.statuses.back(), usb() ? "Transfer completed" : "Point 7 of 7 sent");
    EXPECT_NE(std::find(rec.statuses.begin(), rec.statuses.end(), "Point 7 of 7 sent"), rec.statuses.end());
    auto got = rig.unit().UploadedTrack();
    ASSERT_EQ(got.size(), list.items.size() + (c.header ? 1 : 0));
    size_t at = 0;
    if (c.header) {
      EXPECT_EQ(got[0].id, 99);
      EXPECT_EQ(got[0].data, (std::vector<uint8_t>{1, 0, 'P', '0', 0}));
      at = 1;
    }
    for (int i = 0; i < 7; ++i, ++at) {
      EXPECT_EQ(got[at].id, 34);
      std::vector<uint8_t> want(c.pointSize, 0);
      PutU32(want.data(), static_cast<uint32_t>(i * 100));
      PutU32(want.data() + 4, static_cast<uint32_t>(-i * 100));
      EXPECT_EQ(got[at].data, want);
    }
    for (int i = 0; i < 50 && rig.unit().PowerOffCommands() == 0; ++i) std::this_thread::sleep_for(milliseconds(10));
    EXPECT_EQ(rig.unit().PowerOffCommands(), 1);
  }
  // Nothing to send is a success that never touches the unit's track.
  Rig rig(transport(), ProfileOptions("d109"));
  Recorder rec;
  EXPECT_TRUE(rig.Run(GarminSendPointsAsLog, rig.Request(AccessType::kUploadTrackLog, WaypointList{}), rec).succeeded());
  EXPECT_TRUE(rig.unit().UploadedTrack().empty());
}

TEST_P(GarminEndToEnd, CompetitionModeScansWaypointsBeforeTheTrack) {
  // The USB check mark can switch the scan off; the serial link always scans.
  for (const bool checkWaypoints : {true, false}) {
    SCOPED_TRACE(checkWaypoints);
    Rig rig(transport(), ProfileOptions("d110", 4));
    Recorder rec;
    auto request = rig.Request(AccessType::kReadTrackLog);
    request.settings.competitionMode = true;
    request.settings.usbCompetitionCheckWaypoints = checkWaypoints;
    TransferResult r = rig.Run(GarminReadTrackLog, request, rec);
    ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
    EXPECT_EQ(std::get<TrackLogPayload>(r.payload).log.count(), 4);
    if (usb() && !checkWaypoints) {
      EXPECT_TRUE(rec.identified.empty());
      continue;
    }
    ASSERT_EQ(rec.identified.size(), 5u);
    EXPECT_EQ(rec.identified[1].id, "GOAL");
  }
}

}  // namespace
}  // namespace skylode::garmin
