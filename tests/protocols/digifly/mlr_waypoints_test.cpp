// "$GPWPL" sentences: parsed byte by byte, built for the upload, and both
// directions end to end against the virtual MLR.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "mlr_rig.h"
#include "protocols/digifly/mlr_waypoints.h"
#include "records/angles.h"

namespace skylode::mlr {
namespace {

int32_t SemicirclesFromDegrees(double d) { return static_cast<int32_t>(std::lround(d * kDegreesToSemicircles)); }

using namespace testing;

std::string WithCheck(const std::string& body) {
  uint8_t x = 0;
  for (char c : body) x ^= static_cast<uint8_t>(c);
  char buf[8];
  std::snprintf(buf, sizeof buf, "*%02X\r\n", x);
  return "$" + body + buf;
}

// The first error number, 0 when a sentence completed.
int ParseOne(const std::string& bytes, WplParser& parser) {
  for (char c : bytes) {
    const auto r = parser.Add(static_cast<uint8_t>(c));
    if (r == WplParser::Feed::kError) return parser.error();
    if (r == WplParser::Feed::kComplete) return 0;
  }
  return -1;
}

TEST(MlrWplParser, SentencesAndTheirErrors) {
  const std::string good = "GPWPL,4530.500,N,00612.250,E,FORCLA0Col";
  std::string badSum = WithCheck(good);
  badSum[badSum.size() - 4] = badSum[badSum.size() - 4] == '0' ? '1' : '0';
  struct Case {
    std::string bytes;
    int error;
  };
  const Case cases[] = {
      {WithCheck(good), 0},
      {"xx$GPGGA,1\r\n$GP" + WithCheck(good), 0},
      {WithCheck("GPWPL,4530,,00612,,AB"), 0},
      {WithCheck("GPWPL,8960.0,N,00612.250,E,AB"), 1},
      {WithCheck("GPWPL,45a0.0,N,00612.250,E,AB"), 2},
      {WithCheck("GPWPL,4530.5x,N,00612.250,E,AB"), 3},
      {WithCheck("GPWPL,4530.5,Q,00612.250,E,AB"), 4},
      {WithCheck("GPWPL,4530.5,NN,00612.250,E,AB"), 5},
      {WithCheck("GPWPL,4530.5,N,17960.0,E,AB"), 6},
      {WithCheck("GPWPL,4530.5,N,0061x.0,E,AB"), 7},
      {WithCheck("GPWPL,4530.5,N,00612.2x,E,AB"), 8},
      {WithCheck("GPWPL,4530.5,N,00612.2,N,AB"), 9},
      {WithCheck("GPWPL,4530.5,N,00612.2,EE,AB"), 10},
      {WithCheck("GPWPL,4530.5,N,00612.2,E," + std::string(599, 'A')), 11},
      {"$GPWPL,4530.5,N,00612.2,E,AB\r\n", 12},
      {"$GPWPL,4530.5,N,00612.2,E,AB*G0\r\n", 13},
      {"$GPWPL,4530.5,N,00612.2,E,AB*0G\r\n", 14},
      {WithCheck(good).substr(0, WithCheck(good).size() - 2) + "x", 15},
      {badSum, 16},
      {WithCheck(good).substr(0, WithCheck(good).size() - 1) + "x", 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 60));
    WplParser parser;
    EXPECT_EQ(ParseOne(c.bytes, parser), c.error);
  }
  WplParser parser;
  ASSERT_EQ(ParseOne(WithCheck("GPWPL,4530.500,S,00612.250,W,AB"), parser), 0);
  // 45 deg 30.5 min south, 6 deg 12.25 min west.
  EXPECT_NEAR(SemicirclesToDegrees(parser.latitude()), -(45 + 30.5 / 60), 1e-6);
  EXPECT_NEAR(SemicirclesToDegrees(parser.longitude()), -(6 + 12.25 / 60), 1e-6);
}

TEST(MlrWplParser, NamesGiveIdAndDescription) {
  struct Case {
    std::string name, id, description, error;
  };
  const Case cases[] = {
      {"FORCLA0Col de la Forclaz        ", "FORCLA", "Col de la Forclaz", ""},
      {"AB    0Landing", "AB", "Landing", ""},
      {"A-1 x", "A-1", "", ""},
      {"AB    0 ", "AB", " ", ""},
      {"ab", "", "", "E305 Bad waypoint ID character"},
      {" AB", "", "", "E306 Missing waypoint ID"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "ABCDEF", "HIJKLMNOPQRSTUVWXYZ012", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const std::optional<Waypoint> w = WaypointFromName(c.name, error);
    EXPECT_EQ(error, c.error);
    if (c.error.empty()) {
      ASSERT_TRUE(w);
      EXPECT_EQ(w->id, c.id);
      EXPECT_EQ(w->name, c.description);
    }
  }
}

TEST(MlrWplParser, UploadedSentencesReadBack) {
  const Waypoint cases[] = {
      {SemicirclesFromDegrees(45.5), SemicirclesFromDegrees(6.25), 0, "FORCLA", "Col de la Forclaz", 0, 18},
      {SemicirclesFromDegrees(-33.9), SemicirclesFromDegrees(-70.1), 0, "SCL", "Santiago", 0, 18},
  };
  for (const Waypoint& w : cases) {
    const std::string sentence = WplSentence(w);
    SCOPED_TRACE(sentence);
    WplParser parser;
    ASSERT_EQ(ParseOne(sentence, parser), 0);
    std::string error;
    const std::optional<Waypoint> back = WaypointFromName(parser.name(), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->id, w.id);
    EXPECT_EQ(back->name, w.name);
    // Thousandths of a minute: within 1.9 m.
    EXPECT_NEAR(parser.latitude(), w.latitude, 120);
    EXPECT_NEAR(parser.longitude(), w.longitude, 120);
  }
}

TEST(MlrWaypoints, SentenceCycleReadsEveryWaypointOnce) {
  sim::MlrSimConfig config;
  config.waypoints = sim::DemoMlrWaypoints();
  config.sentenceCycle = true;
  RegisterSim("mlr-cycle", config);
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, AccessType::kReadWaypoints, ProtocolType::kMlrNmea, "sim:mlr-cycle");
  ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  const auto* list = std::get_if<WaypointList>(&out.result.payload);
  ASSERT_NE(list, nullptr);
  // The cycle may be caught anywhere: every waypoint comes once, in turn.
  ASSERT_EQ(list->items.size(), 3u);
  std::vector<std::string> ids;
  for (const auto& w : config.waypoints) ids.push_back(w.id);
  size_t first = 0;
  while (first < 3 && ids[first] != list->items[0].id) ++first;
  ASSERT_LT(first, 3u);
  for (size_t k = 0; k < 3; ++k) {
    const auto& want = config.waypoints[(first + k) % 3];
    const Waypoint& got = list->items[k];
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.name, want.description.substr(0, 22));
    EXPECT_NEAR(got.latitude, want.fix.latitude, 120);
    EXPECT_EQ(got.height, 0);
    EXPECT_EQ(got.symbol, 18);
  }
  EXPECT_EQ(screen.Statuses().back(), "Waypoints read (3)");
}

TEST(MlrWaypoints, UploadSendsOneSentenceAWaypoint) {
  auto log = std::make_shared<sim::MlrSimLog>();
  Screen screen;
  DirectRun run = OpenDirect({}, {}, screen.Callbacks(), nullptr, log);
  ASSERT_TRUE(run.ctx);
  WaypointList list;
  list.items = {{SemicirclesFromDegrees(45.5), SemicirclesFromDegrees(6.25), 1250, "FORCLA", "Col de la Forclaz", 0, 18},
                {SemicirclesFromDegrees(45.7), SemicirclesFromDegrees(6.2), 460, "DOUS", "Doussard", 0, 18}};
  run.ctx->input() = list;
  const TransferResult r = MlrSendWaypoints(*run.ctx, MlrTiming::Scaled(kWaitScale));
  ASSERT_TRUE(r.succeeded());
  EXPECT_EQ(r.kind, 2);
  const auto until = std::chrono::steady_clock::now() + 2s;
  std::string received;
  while (std::chrono::steady_clock::now() < until) {
    received = log->Received();
    if (received.find(WplSentence(list.items[1])) != std::string::npos) break;
    std::this_thread::sleep_for(10ms);
  }
  const size_t a = received.find(WplSentence(list.items[0]));
  const size_t b = received.find(WplSentence(list.items[1]));
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_EQ(WplSentence(list.items[1]).substr(0, 45), "$GPWPL,4542.000,N,00612.000,E,DOUS  0Doussard");
}

}  // namespace
}  // namespace skylode::mlr
