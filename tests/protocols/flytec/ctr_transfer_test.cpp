// The Flytec uploads (waypoints, airspaces) and the airspace download:
// sentence layouts table-driven, both parsers on their errors, every
// operation end to end through the serial layer against the virtual Flytec
// (which checks widths, numbering, totals and pacing), the instrument's
// refusals, and a sweep of hang-ups, corruption and aborts.
#include "protocols/flytec/ctr_transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <set>
#include <thread>

#include "access/sentence.h"
#include "access/serial_port.h"
#include "access/virtual_line.h"
#include "analysis/geodesy.h"
#include "flytec_harness.h"
#include "records/angles.h"

namespace skylode::flytec {
namespace {

using namespace testing;
using sim::FlytecSimConfig;
using sim::InstrumentOptions;

constexpr double kPi = 3.14159265358979323846;

FlytecTiming CtrTiming() {
  FlytecTiming t = FastTiming();
  t.waypointPause = 20ms;
  t.ctrPause = 20ms;
  t.ctrArcPause = 40ms;
  t.ctrAckSilence = 300ms;
  t.ctrAckOkPause = 0ms;
  t.ctrListSilence = 300ms;
  return t;
}

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> f;
  for (size_t at = 0;;) {
    const size_t comma = text.find(',', at);
    f.push_back(text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
    if (comma == std::string_view::npos) return f;
    at = comma + 1;
  }
}

Waypoint Wpt(double lat, double lon, std::string id, std::string name, int height) {
  Waypoint w;
  w.latitude = *DegreesToLatitude(lat);
  w.longitude = *DegreesToLongitude(lon);
  w.id = std::move(id);
  w.name = std::move(name);
  w.height = height;
  return w;
}

TEST(FlytecUploadSentences, WaypointFieldsAndModes) {
  const struct {
    Waypoint w;
    int mode;
    std::string body;
  } cases[] = {
      {Wpt(47.508333333, 8.254166667, "ID1", "Abc", 460), 1, "PBRWPR,4730.500,N,00815.250,E,,Abc              ,0460"},
      {Wpt(-33.5, -70.75, "ID1", "Twenty characters!!!", -20), 0,
       "PBRWPR,3330.000,S,07045.000,W,,Twenty characters,0000"},
      {Wpt(0, 0, "ID1", "A,B*C$D\xC3\xA9" "E", 12000), 1, "PBRWPR,0000.000,N,00000.000,E,,A B C D E        ,9999"},
      {Wpt(0, 0, "C123", "Pilot", 0), 2, "PBRWPR,0000.000,N,00000.000,E,,C123 Pilot       ,0000"},
      {Wpt(0, 0, "C123", "Pilot", 0), 3, "PBRWPR,0000.000,N,00000.000,E,,C123             ,0000"},
  };
  for (const auto& c : cases) {
    std::string want = "$" + c.body;
    AppendChecksum(want, ChecksumDigits::kUpper);
    EXPECT_EQ(WaypointSentence(c.w, c.mode), want);
  }
}

CtrArea Area(std::string name) {
  CtrArea a;
  a.name = std::move(name);
  a.floor = "GND";
  a.selected = true;
  return a;
}
CtrSegment Point(double lat, double lon) {
  CtrSegment s;
  s.centre = {lat, lon};
  return s;
}
CtrSegment ArcByPoints(LatLonDegrees c, LatLonDegrees from, LatLonDegrees to, char dir) {
  CtrSegment s;
  s.kind = CtrSegmentKind::kArcByPoints;
  s.centre = c;
  s.from = from;
  s.to = to;
  s.direction = dir;
  return s;
}
CtrSegment Circle(LatLonDegrees c, int32_t radius) {
  CtrSegment s;
  s.kind = CtrSegmentKind::kCircle;
  s.centre = c;
  s.radius = radius;
  return s;
}

TEST(FlytecUploadSentences, AirspaceTotalsNumbersAndWidths) {
  CtrArea a = Area("Name, with*stars$");
  a.warningDistance = 12000;
  for (int i = 0; i < 4; ++i) a.segments.push_back(Point(47 + i * 0.1, 8));
  a.segments.push_back(ArcByPoints({47, 8}, {47.1, 8}, {47, 8.1}, '-'));
  std::string why;
  const auto s = CtrSentences(a, why);
  ASSERT_TRUE(s.has_value()) << why;
  ASSERT_EQ(s->size(), 9u);
  for (size_t k = 0; k < s->size(); ++k) {
    std::vector<std::string_view> f;
    ASSERT_GT(CheckAndSplitSentence(std::string_view((*s)[k]).substr(0, (*s)[k].size() - 2), f, 20), 0);
    EXPECT_EQ(f[0], "$PBRCTRW");
    EXPECT_EQ(f[1], "009");
    EXPECT_EQ(std::stoi(std::string(f[2])), static_cast<int>(k));
  }
  EXPECT_EQ((*s)[0].substr(0, 40), "$PBRCTRW,009,000,Name  with stars ,9999*");
  EXPECT_EQ((*s)[2].substr(0, 42), "$PBRCTRW,009,002,P,4700.000,N,00800.000,E*");
  EXPECT_EQ((*s)[7].substr(0, 44), "$PBRCTRW,009,007,T,4706.000,N,00800.000,E,-*");

  CtrArea big = Area("Big");
  big.segments.push_back(Circle({47, 8}, 100000));
  EXPECT_FALSE(CtrSentences(big, why).has_value());
  EXPECT_EQ(why, "Radius too large");
  CtrArea many = Area("Many");
  for (int i = 0; i < 998; ++i) many.segments.push_back(Point(47, 8));
  EXPECT_FALSE(CtrSentences(many, why).has_value());
  EXPECT_EQ(why, "Too many segments");
  many.segments.pop_back();
  EXPECT_TRUE(CtrSentences(many, why).has_value());
}

// An arc by radius goes out as an arc by end points that lie on its radius.
TEST(FlytecUploadSentences, ArcByRadiusEndsOnItsRadius) {
  CtrArea a = Area("DA");
  CtrSegment s;
  s.kind = CtrSegmentKind::kArcByAngles;
  s.centre = {-33.9, 151.2};
  s.radius = 166697;
  s.from = {300, 45};
  a.segments.push_back(s);
  std::string why;
  const auto out = CtrSentences(a, why);
  ASSERT_TRUE(out.has_value());
  ASSERT_EQ(out->size(), 5u);
  for (size_t k : {3u, 4u}) {
    std::vector<std::string_view> f;
    ASSERT_GT(CheckAndSplitSentence(std::string_view((*out)[k]).substr(0, (*out)[k].size() - 2), f, 20), 0);
    const auto num = [](std::string_view v, int dd) {
      return (std::stoi(std::string(v.substr(0, dd))) * 60 + std::stod(std::string(v.substr(dd)))) / 60;
    };
    const double lat = -num(f[4], 2), lon = num(f[6], 3);
    const double d = GeoDistance({s.centre.latitude * kPi / 180, s.centre.longitude * kPi / 180},
                                 {lat * kPi / 180, lon * kPi / 180})
                         .metres;
    // A thousandth of a minute is under 2 m.
    EXPECT_NEAR(d, s.radius, 2.5) << k;
  }
}

TEST(FlytecCtrAck, ParserStatusesAndErrors) {
  const auto ack = [](std::string body) {
    std::string s = "$" + body;
    AppendChecksum(s, ChecksumDigits::kUpper);
    return s;
  };
  std::string badSum = ack("PBRANS,1");
  badSum[badSum.size() - 3] = badSum[badSum.size() - 3] == '0' ? '1' : '0';
  const struct {
    std::string bytes;
    int result;
    char status;
  } cases[] = {
      {"\x13junk" + ack("PBRANS,1"), 0, '1'},
      {ack("PBRANS,3"), 0, '3'},
      {"$PBRANX,1*00\r\n", -1, 0},
      {"$PBRANS,1*G0\r\n", -2, 0},
      {"$PBRANS,1*0G\r\n", -3, 0},
      {"$PBRANS,1*00\n", -4, 0},
      {badSum, -5, 0},
      {"$PBRANS,1*" + ack("PBRANS,1").substr(10, 2) + "\rX", -6, 0},
  };
  for (const auto& c : cases) {
    CtrAckParser p;
    int r = 1;
    for (char b : c.bytes) {
      r = p.Feed(static_cast<uint8_t>(b));
      if (r != 1) break;
    }
    EXPECT_EQ(r, c.result) << c.bytes;
    if (r == 0) {
      EXPECT_EQ(p.status(), c.status);
    }
  }
}

TEST(FlytecCtrList, ParserErrors) {
  const std::string name = "$PBRCTR,003,000,A,0200";
  const std::string remark = "$PBRCTR,003,001,GND";
  const struct {
    std::vector<std::string> sentences;
    int error;
  } cases[] = {
      {{"$PBRANS,0"}, 2},
      {{"$PBRWPS,1"}, 3},
      {{"$PBRCTR"}, 1},
      {{"$PBRCTR,x,000,A,0200"}, 5},
      {{"$PBRCTR,002,000,A,0200"}, 8},
      {{"$PBRCTR,003,001,A,0200"}, 9},
      {{"$PBRCTR,003,000,A"}, 10},
      {{"$PBRCTR,003,000,A,x"}, 11},
      {{name, "$PBRCTR,003,002,GND"}, 13},
      {{"$PBRCTR,005,000,A,0200", "$PBRCTR,005,001,GND", "$PBRCTR,005,002,T,4700.000,N,00800.000,E,+"},
       38},
      {{name, remark, "$PBRCTR,003,002,P,4760.000,N,00800.000,E"}, 18},
      {{name, remark, "$PBRCTR,003,002,P,4700000,N,00800.000,E"}, 18},
      {{name, remark, "$PBRCTR,003,002,P,4700.00x,N,00800.000,E"}, 20},
      {{name, remark, "$PBRCTR,003,002,P,4700.000,Q,00800.000,E"}, 22},
      {{name, remark, "$PBRCTR,003,002,P,4700.000,N,00860.000,E"}, 24},
      {{name, remark, "$PBRCTR,003,002,P,4700.000,N,00800.000,Q"}, 31},
      {{name, remark, "$PBRCTR,003,002,C,4700.000,N,00800.000,E"}, 27},
      {{name, remark, "$PBRCTR,003,002,C,4700.000,N,00800.000,E,x"}, 28},
      {{name, remark, "$PBRCTR,003,002,X,4700.000,N,00800.000,E"}, 37},
      {{name, remark, "$PBRCTR,003,002,Q,4700.000,N,00800.000,E"}, 16},
  };
  for (const auto& c : cases) {
    CtrListParser p;
    int r = 1;
    for (const std::string& s : c.sentences) {
      r = p.Parse(Fields(s));
      if (r != 1) break;
    }
    EXPECT_EQ(r, -c.error) << c.sentences.back();
  }
}

class CtrEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterFlytecWorkers(dispatcher, CtrTiming());
    log = std::make_shared<sim::FlytecSimLog>();
  }
  void TearDown() override {
    for (const std::string& f : families) UnregisterVirtualInstrument(f);
  }
  void Serve(FlytecSimConfig config, InstrumentOptions options = {}) {
    port = "sim:ctr-" + std::to_string(++serial);
    families.push_back(port.substr(4));
    sim::RegisterVirtualFlytec(port.substr(4), std::move(config), options, log);
  }
  RunOutcome Run(AccessType access, TransferInput input, int32_t parameter = 0) {
    TransferRequest req;
    req.access = access;
    req.protocol = ProtocolType::kFlytec;
    req.portName = port;
    req.parameter = parameter;
    req.settings.connectAttempts = 2;
    req.input = std::move(input);
    RunOutcome out;
    screen.Reset();
    EXPECT_EQ(dispatcher.StartTransfer(std::move(req), screen.Callbacks(),
                                       [&](TransferResult&& r) {
                                         out.delivered = true;
                                         out.result = std::move(r);
                                       }),
              0);
    EXPECT_TRUE(host.PumpUntil([&] { return !dispatcher.transferBusy() && !dispatcher.hasActiveTransfer(); }));
    return out;
  }
  std::vector<std::string> MessageTexts() {
    std::vector<std::string> t;
    for (const auto& m : screen.Messages()) t.push_back(m.text);
    return t;
  }

  static CtrList Airspaces() {
    CtrList l;
    CtrArea poly = Area("Polygon with a long name");
    poly.warningDistance = 350;
    poly.segments = {Point(-35.5, 136.82), Point(-35.25, 137.58),
                     ArcByPoints({-34.95, 138.52}, {-35.25, 137.58}, {-35.76, 138.3}, '-'), Point(-36.4, 138.08),
                     ArcByPoints({-34.95, 138.52}, {-36.4, 138.08}, {-35.5, 136.82}, '+')};
    CtrArea skipped = Area("Not selected");
    skipped.selected = false;
    skipped.segments = {Circle({47, 8}, 1000)};
    CtrArea circle = Area("Circle");
    circle.floor = "8500 FT";
    circle.segments = {Circle({-12.42, 130.9}, 92600)};
    l.areas = {poly, skipped, circle};
    return l;
  }

  PumpingHost host;
  Dispatcher dispatcher{host};
  Screen screen;
  std::shared_ptr<sim::FlytecSimLog> log;
  std::string port;
  std::vector<std::string> families;
  static inline int serial = 0;
};

TEST_F(CtrEndToEnd, UploadedAreasComeBackTheSame) {
  FlytecSimConfig config;
  // Well under the pauses: the line may bunch sentences up a little, but
  // an upload without pauses puts them under a millisecond apart.
  config.minGap = 5ms;
  Serve(config);
  const CtrList sent = Airspaces();
  RunOutcome up = Run(AccessType::kUploadAirspaces, sent);
  ASSERT_TRUE(up.result.succeeded()) << (MessageTexts().empty() ? "" : MessageTexts()[0]);
  EXPECT_TRUE(log->Faults().empty()) << log->Faults()[0];
  EXPECT_EQ(log->CtrAreas().size(), 2u);
  EXPECT_TRUE(screen.SawStatus("CTR transfer ok"));
  EXPECT_TRUE(screen.SawStatus("5 CTR segments sent"));

  RunOutcome down = Run(AccessType::kReadAirspaces, {});
  ASSERT_TRUE(down.result.succeeded()) << (MessageTexts().empty() ? "" : MessageTexts()[0]);
  const CtrList& got = std::get<CtrList>(down.result.payload);
  ASSERT_EQ(got.count(), 2);
  EXPECT_TRUE(screen.SawStatus("2 CTR(s) received"));
  const CtrArea* want[] = {&sent.areas[0], &sent.areas[2]};
  constexpr double kMilliMinute = 1.0 / 60000 + 1e-9;
  for (size_t k = 0; k < 2; ++k) {
    const CtrArea& a = *want[k];
    const CtrArea& b = got.areas[k];
    EXPECT_EQ(b.name, a.name.substr(0, 17).substr(0, a.name.find_last_not_of(' ', 16) + 1));
    EXPECT_EQ(b.floor, a.floor);
    EXPECT_EQ(b.warningDistance, a.warningDistance);
    ASSERT_EQ(b.segments.size(), a.segments.size());
    for (size_t s = 0; s < a.segments.size(); ++s) {
      const CtrSegment& x = a.segments[s];
      const CtrSegment& y = b.segments[s];
      EXPECT_EQ(x.kind, y.kind);
      EXPECT_EQ(x.radius, y.radius);
      EXPECT_NEAR(x.centre.latitude, y.centre.latitude, kMilliMinute);
      EXPECT_NEAR(x.centre.longitude, y.centre.longitude, kMilliMinute);
      if (x.kind == CtrSegmentKind::kArcByPoints) {
        EXPECT_EQ(x.direction, y.direction);
        EXPECT_NEAR(x.from.latitude, y.from.latitude, kMilliMinute);
        EXPECT_NEAR(x.to.longitude, y.to.longitude, kMilliMinute);
      }
    }
  }
}

TEST_F(CtrEndToEnd, WaypointUploadKeepsWidthsAndPacing) {
  FlytecSimConfig config;
  config.minGap = 5ms;
  Serve(config);
  WaypointList list;
  list.items = {Wpt(47.508333333, 8.254166667, "FORCLA", "Forclaz, deco", 1250),
                Wpt(-33.5, -70.75, "DOUSSA", "Doussard", 12000)};
  for (int mode : {0, 1, 2, 3}) {
    RunOutcome r = Run(AccessType::kSendWaypoints, list, mode);
    ASSERT_TRUE(r.result.succeeded());
  }
  EXPECT_TRUE(log->Faults().empty()) << log->Faults()[0];
  const auto received = log->Received();
  ASSERT_EQ(received.size(), 8u);
  EXPECT_EQ(received[0].longName, "Forclaz  deco    ");
  EXPECT_NEAR(received[0].latitude, 47.508333, 1e-5);
  EXPECT_NEAR(received[1].longitude, -70.75, 1e-5);
  EXPECT_EQ(received[1].altitude, 9999);
  EXPECT_EQ(received[4].longName, "FORCLA Forclaz  d");
  EXPECT_EQ(received[6].longName, "FORCLA           ");
  EXPECT_TRUE(screen.SawStatus("Waypoint 2 sent"));
}

TEST_F(CtrEndToEnd, RefusalsAndSilenceEndWithTheirMessages) {
  const struct {
    std::string name;
    std::function<void(FlytecSimConfig&)> set;
    std::string message;
    size_t stored;
    size_t areasSent;
  } cases[] = {
      {"memory full", [](FlytecSimConfig& c) { c.ctrMemory = 1; }, "No further memory", 1, 2},
      {"plausibility", [](FlytecSimConfig& c) { c.ackStatus = '2'; }, "Plausibility error", 0, 1},
      {"unknown status", [](FlytecSimConfig& c) { c.ackStatus = '9'; }, "Unknown ack. status", 0, 1},
      {"bad checksum", [](FlytecSimConfig& c) { c.corruptAck = true; }, "E600 Format error 5", 1, 1},
      {"silence", [](FlytecSimConfig& c) { c.silentAck = true; }, "Missing CTR upload ack.", 1, 1},
  };
  for (const auto& c : cases) {
    log = std::make_shared<sim::FlytecSimLog>();
    FlytecSimConfig config;
    c.set(config);
    Serve(config);
    RunOutcome r = Run(AccessType::kUploadAirspaces, Airspaces());
    EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << c.name;
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.message}) << c.name;
    // The first refusal stops the upload before the next area.
    EXPECT_EQ(log->CtrAreas().size(), c.stored) << c.name;
    size_t names = 0;
    for (const std::string& cmd : log->Commands()) names += cmd.starts_with("PBRCTRW,") && cmd.substr(11, 4) == ",000";
    EXPECT_EQ(names, c.areasSent) << c.name;
  }
}

TEST_F(CtrEndToEnd, NothingSelectedIsSaidAndNothingSent) {
  Serve({});
  CtrList none = Airspaces();
  for (CtrArea& a : none.areas) a.selected = false;
  RunOutcome r = Run(AccessType::kUploadAirspaces, none);
  EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"No CTR(s) selected"});
  EXPECT_TRUE(log->Commands().empty());
}

TEST_F(CtrEndToEnd, DownloadThroughXoffBurstsAndCutOffLists) {
  FlytecSimConfig config;
  config.ctrAreas = {{"PBRCTR,003,000,ONE              ,0200", "PBRCTR,003,001,GND              ",
                      "PBRCTR,003,002,C,1225.400,S,13054.383,E,09260"},
                     {"PBRCTR,005,000,TWO              ,0100", "PBRCTR,005,001,FL95             ",
                      "PBRCTR,005,002,X,3456.817,S,13831.467,E", "PBRCTR,005,003,T,3515.433,S,13734.900,E,+",
                      "PBRCTR,005,004,Z,3545.667,S,13818.050,E,+"}};
  config.xoffBursts = true;
  Serve(config);
  RunOutcome r = Run(AccessType::kReadAirspaces, {});
  ASSERT_TRUE(r.result.succeeded()) << MessageTexts()[0];
  const CtrList& got = std::get<CtrList>(r.result.payload);
  ASSERT_EQ(got.count(), 2);
  EXPECT_EQ(got.areas[0].name, "ONE");
  EXPECT_EQ(got.areas[0].segments[0].radius, 9260);
  EXPECT_EQ(got.areas[1].floor, "FL95");
  ASSERT_EQ(got.areas[1].segments.size(), 1u);
  EXPECT_EQ(got.areas[1].segments[0].direction, '+');
  EXPECT_NEAR(got.areas[1].segments[0].to.latitude, -(35 + 45.667 / 60), 1e-9);

  log = std::make_shared<sim::FlytecSimLog>();
  config.listSilenceAfter = 4;
  Serve(config);
  r = Run(AccessType::kReadAirspaces, {});
  EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"E704 Timeout while waiting for the CTR list"});
}

// --- Sweeps on a line the test opens itself ---

TransferResult RunDirect(const FlytecSimConfig& config, const InstrumentOptions& options, TransferCallbacks cb,
                         AccessType access, TransferInput input, std::shared_ptr<sim::FlytecSimLog> log,
                         std::shared_ptr<AbortSignal> abort = nullptr) {
  TransferRequest req;
  req.access = access;
  req.settings.connectAttempts = 2;
  req.input = std::move(input);
  std::optional<DirectLine> line = OpenDirect(config, options, std::move(req), std::move(cb), std::move(abort), log);
  if (!line) return TransferResult::Failure();
  FlytecTiming t = CtrTiming();
  t.productReplyWindow = 150ms;
  t.ctrAckSilence = 150ms;
  t.ctrListSilence = 150ms;
  if (access == AccessType::kUploadAirspaces) return FlytecSendCtrs(*line->ctx, t);
  if (access == AccessType::kSendWaypoints) return FlytecSendWaypoints(*line->ctx, t);
  return FlytecReadCtrs(*line->ctx, t);
}

CtrList ShortList() {
  CtrList l;
  CtrArea a = Area("A");
  a.segments = {Circle({47, 8}, 2000)};
  l.areas = {a};
  return l;
}

FlytecSimConfig ShortStored() {
  FlytecSimConfig c;
  c.ctrAreas = {{"PBRCTR,003,000,A                ,0200", "PBRCTR,003,001,GND              ",
                 "PBRCTR,003,002,C,4700.000,N,00800.000,E,02000"}};
  return c;
}

// Every byte the instrument sends in a short upload and a short download,
// hung up before or corrupted: the run ends in time with a message, or,
// where the program asked again, with the whole result; never half of it.
TEST(FlytecCtrSweep, HangUpAndCorruptionAtEveryByte) {
  for (const AccessType access : {AccessType::kUploadAirspaces, AccessType::kReadAirspaces}) {
    const bool upload = access == AccessType::kUploadAirspaces;
    const FlytecSimConfig config = upload ? FlytecSimConfig{} : ShortStored();
    const TransferInput input = upload ? TransferInput(ShortList()) : TransferInput();
    auto cleanLog = std::make_shared<sim::FlytecSimLog>();
    Screen clean;
    ASSERT_TRUE(RunDirect(config, {}, clean.Callbacks(), access, input, cleanLog).succeeded());
    const size_t total = cleanLog->BytesQueued();
    ASSERT_GT(total, 20u);
    for (const bool hangUp : {true, false}) {
      ForEachInParallel(total, [&](size_t offset) {
        Screen screen;
        InstrumentOptions options;
        if (hangUp) options.faults.hangUpAt = offset;
        else options.faults.corruptAt = offset;
        auto log = std::make_shared<sim::FlytecSimLog>();
        const auto start = std::chrono::steady_clock::now();
        const TransferResult r = RunDirect(config, options, screen.Callbacks(), access, input, log);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << offset;
        if (r.succeeded()) {
          EXPECT_FALSE(hangUp) << offset;
          if (upload) {
            EXPECT_EQ(log->CtrAreas().size(), 1u) << offset;
          } else {
            ASSERT_EQ(std::get<CtrList>(r.payload).count(), 1) << offset;
            EXPECT_EQ(std::get<CtrList>(r.payload).areas[0].segments[0].radius, 2000) << offset;
          }
          return;
        }
        EXPECT_EQ(r.outcome, TransferOutcome::kFailure) << offset;
        EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload)) << offset;
        EXPECT_FALSE(screen.Messages().empty()) << offset;
      });
    }
  }
}

TEST(FlytecCtrSweep, AbortAtEveryStep) {
  for (const AccessType access :
       {AccessType::kUploadAirspaces, AccessType::kReadAirspaces, AccessType::kSendWaypoints}) {
    const bool download = access == AccessType::kReadAirspaces;
    const FlytecSimConfig config = download ? ShortStored() : FlytecSimConfig{};
    WaypointList wpts;
    wpts.items = {Wpt(47, 8, "A", "A", 1), Wpt(47, 8, "B", "B", 2)};
    const TransferInput input = access == AccessType::kUploadAirspaces ? TransferInput(ShortList())
                                : download                              ? TransferInput()
                                                                        : TransferInput(wpts);
    Screen clean;
    ASSERT_TRUE(
        RunDirect(config, {}, clean.Callbacks(), access, input, std::make_shared<sim::FlytecSimLog>()).succeeded());
    const size_t steps = clean.Statuses().size();
    ASSERT_GE(steps, 3u);
    // Step k aborts as its status line shows; the last status ends the run.
    ForEachInParallel(steps - 1, [&](size_t k) {
      Screen screen;
      auto abort = std::make_shared<AbortSignal>();
      TransferCallbacks cb = AbortAtStatus(screen, k, abort);
      const TransferResult r =
          RunDirect(config, {}, cb, access, input, std::make_shared<sim::FlytecSimLog>(), abort);
      EXPECT_EQ(r.outcome, TransferOutcome::kCancelled) << static_cast<int>(access) << " at " << k;
      EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload)) << k;
      EXPECT_TRUE(screen.Messages().empty()) << k;
    });
  }
}

}  // namespace
}  // namespace skylode::flytec
