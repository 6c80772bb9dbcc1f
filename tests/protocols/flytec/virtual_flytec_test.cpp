// The virtual Flytec itself: the IGC text it serves, how it answers
// commands, and the demo content behind "sim:flytec".
#include <gtest/gtest.h>

#include <cmath>

#include "flytec_harness.h"
#include "sim/flytec/demo_flights.h"

namespace skylode::flytec {
namespace {

using namespace testing;
using sim::FlytecSimConfig;

class RecordingLink final : public sim::InstrumentLink {
 public:
  void Send(std::span<const uint8_t> bytes) override { sent.append(bytes.begin(), bytes.end()); }
  uint32_t LineSpeed() const override { return 57600; }
  bool SoftwareFlow() const override { return true; }
  void HangUp() override {}
  std::string sent;
};

TEST(VirtualFlytec, IgcTextOfAFlight) {
  sim::SimFlight f;
  f.loggerId = "X7Z";
  f.pilot = "Anna Alpin";
  f.glider = "Wing";
  f.signedFlight = false;
  const uint32_t t = At(2026, 3, 9, 23, 59, 59);
  // 45 deg 48.774 N 6 deg 14.754 E, then the same south and west.
  const double lat = 45 + 48.774 / 60, lon = 6 + 14.754 / 60;
  f.points = {{1, t, *DegreesToLatitude(lat), *DegreesToLongitude(lon), 13125, 1250, 0},
              {0, t + 2, *DegreesToLatitude(-lat), *DegreesToLongitude(-lon), -45, -12, 0}};
  const std::string text = sim::BuildIgcText(f);
  EXPECT_EQ(text,
            "AFLYX7Z\r\n"
            "HFDTE090326\r\n"
            "HFFXA035\r\n"
            "HFPLTPILOT:Anna Alpin\r\n"
            "HFGTYGLIDERTYPE:Wing\r\n"
            "HFDTM100GPSDATUM:WGS-1984\r\n"
            "HFFTYFRTYPE:FLYTEC,COMPEO+\r\n"
            "B2359594548774N00614754EA0125001313\r\n"
            "B0000014548774S00614754WA-0012-0005\r\n"
            "LFLYSKYLODE VIRTUAL INSTRUMENT\r\n");
  EXPECT_EQ(sim::FlightDate(f), "09.03.26");
  EXPECT_EQ(sim::FlightStart(f), "23:59:59");
  EXPECT_EQ(sim::FlightDuration(f), "00:00:02");

  f.signedFlight = true;
  const std::string signedText = sim::BuildIgcText(f);
  EXPECT_EQ(signedText.substr(0, text.size()), text);
  EXPECT_EQ(std::count(signedText.begin(), signedText.end(), '\n') - std::count(text.begin(), text.end(), '\n'), 4);
}

TEST(VirtualFlytec, AnswersOnlyWellFormedCommands) {
  FlytecSimConfig config;
  config.flights = {LineFlight(At(2026, 8, 2, 12, 0), 3)};
  config.waypoints = {{-45.5, -6.25, "abc", "Long name here that is cut", -7}};
  sim::FlytecInstrument instrument(config);
  const struct {
    std::string command;
    std::string reply;
  } cases[] = {
      {"\x11$PBRSNP,*21\r\n", sim::FlytecSentence("PBRSNP,COMPEO+,Max Muster,10342,2.48")},
      {"$PBRSNP,*22\r\n", ""},  // wrong checksum
      {"$PBRSNP,*21\n", ""},    // no CR
      {"\x11$PBRTL,*74\r\n", sim::FlytecSentence("PBRTL,1,0,02.08.26,12:00:00,00:00:02")},
      {"\x11$PBRIGC,*21\r\n", instrument.FlightReply(0)},
      {FlightNumberCommand(0), instrument.FlightReply(0)},
      {FlightNumberCommand(5), ""},  // no such flight
      {"\x11$PBRWPS,*38\r\n", sim::FlytecSentence("PBRWPS,4530.000,S,00615.000,W,ABC,LONG NAME HERE TH,-007")},
      {"$PBR" + std::string(200, 'X') + "$PBRSNP,*21\r\n", instrument.ProductReply()},
  };
  for (const auto& c : cases) {
    RecordingLink link;
    // Split anywhere: bytes come as the line delivers them.
    for (size_t i = 0; i < c.command.size(); i += 3)
      instrument.OnReceive(std::span(reinterpret_cast<const uint8_t*>(c.command.data()) + i,
                                     std::min<size_t>(3, c.command.size() - i)),
                           link);
    EXPECT_EQ(link.sent, c.reply) << c.command;
  }
}

TEST(VirtualFlytec, DemoFlightsArePlausible) {
  const FlytecSimConfig demo = sim::DemoConfig();
  ASSERT_EQ(demo.flights.size(), 3u);
  const double takeOffLat = 45.8129, takeOffLon = 6.2459;
  for (size_t i = 0; i < demo.flights.size(); ++i) {
    const auto& pts = demo.flights[i].points;
    EXPECT_GT(pts.size(), 2000u) << i;
    EXPECT_LT(pts.size(), 10000u) << i;
    EXPECT_EQ(SecondsToDateTime(pts.front().time).year, 2026);
    if (i > 0) {
      EXPECT_LT(pts.back().time, demo.flights[i - 1].points.front().time) << "newest first";
    }
    int32_t top = 0;
    int climbingSeconds = 0;
    for (size_t k = 1; k < pts.size(); ++k) {
      ASSERT_EQ(pts[k].time, pts[k - 1].time + 1);
      const double lat = SemicirclesToDegrees(pts[k].latitude), lon = SemicirclesToDegrees(pts[k].longitude);
      EXPECT_LT(std::hypot((lat - takeOffLat) * 111, (lon - takeOffLon) * 78), 25) << "km from take-off";
      top = std::max(top, GpsHeightMetres(pts[k]));
      climbingSeconds += pts[k].gpsHeight > pts[k - 1].gpsHeight ? 1 : 0;
    }
    EXPECT_NEAR(GpsHeightMetres(pts.front()), 1250, 5);
    EXPECT_NEAR(GpsHeightMetres(pts.back()), 460, 30);
    EXPECT_GT(top, 2000);
    EXPECT_GT(climbingSeconds, static_cast<int>(pts.size() / 4));  // real thermals, not one long glide
  }
  EXPECT_GE(demo.waypoints.size(), 4u);
}

TEST(VirtualFlytec, DemoInstrumentServesAllItsFlights) {
  sim::RegisterVirtualFlytec();
  PumpingHost host;
  Dispatcher dispatcher(host);
  RegisterFlytecWorkers(dispatcher, FastTiming());
  Screen screen;
  screen.selection = std::vector<int32_t>{0, 1, 2};
  const RunOutcome out = RunTransfer(dispatcher, host, screen, AccessType::kReadTrackLog, "sim:flytec");
  ASSERT_TRUE(out.result.succeeded());
  EXPECT_EQ(out.result.code, 1);
  const auto& points = std::get<TrackLogPayload>(out.result.payload).log.points;
  size_t total = 0;
  for (const auto& f : sim::DemoConfig().flights) total += f.points.size();
  EXPECT_EQ(points.size(), total);
  EXPECT_EQ(CheckTimeOrder(points).badPoints, 0);

  Screen wpts;
  const RunOutcome w = RunTransfer(dispatcher, host, wpts, AccessType::kReadWaypoints, "sim:flytec");
  ASSERT_TRUE(w.result.succeeded());
  EXPECT_EQ(std::get<WaypointList>(w.result.payload).items.size(), sim::DemoConfig().waypoints.size());
}

}  // namespace
}  // namespace skylode::flytec
