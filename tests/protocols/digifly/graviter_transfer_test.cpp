// The Graviter download end to end against the virtual Graviter.
#include <gtest/gtest.h>

#include "mlr_rig.h"
#include "protocols/digifly/graviter_download.h"
#include "protocols/digifly/graviter_image.h"
#include "sim/mlr/graviter_instrument.h"

namespace skylode::graviter {
namespace {

using namespace mlr::testing;

TEST(GraviterDownload, WholeMemoryAtItsSpeed) {
  sim::GraviterSimConfig config;
  sim::GraviterTrack empty;
  empty.type = 2;
  empty.day = 4;
  sim::GraviterTrack flight;
  flight.records = sim::DemoGraviterRecords(3000);
  config.tracks = {empty, flight};
  RegisterGraviter("graviter-test", config);
  PumpingHost host;
  Screen screen;
  const RunOutcome out =
      RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kDigiflyGraviter, "sim:graviter-test");
  ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  EXPECT_EQ(out.result.kind, 6);
  const TrackLogPayload* t = TrackOf(out);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->log.points.size(), 3000u);
  EXPECT_EQ(t->log.identification, "Graviter: 04711");
  EXPECT_EQ(t->log.sourceProtocol, ProtocolType::kDigiflyGraviter);
  EXPECT_TRUE(screen.Messages().empty());
  const auto notices = screen.Notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].caption, "No log positions");
  EXPECT_EQ(notices[0].text,
            "The track log starting at 2026-07-04  10:00 does not contain any valid GPS positions");
}

// Three tracks without positions around a flight: one notice each until the
// person ticks "Skip further notifications"; the flight comes either way.
TEST(GraviterDownload, NoLogPositionsUntilSkipped) {
  sim::GraviterTrack type2;
  type2.type = 2;
  type2.day = 1;
  sim::GraviterTrack noRecords;
  noRecords.day = 2;
  noRecords.hour = 9;
  noRecords.minute = 5;
  sim::GraviterTrack unpositioned;
  unpositioned.day = 3;
  unpositioned.records = sim::DemoGraviterRecords(5);
  for (auto& r : unpositioned.records) r.positioned = false;
  sim::GraviterTrack flight;
  flight.records = sim::DemoGraviterRecords(40);
  sim::GraviterSimConfig config;
  config.tracks = {type2, noRecords, flight, unpositioned};
  RegisterGraviter("graviter-empty", config);
  const std::string day1 = "The track log starting at 2026-07-01  10:00 does not contain any valid GPS positions";
  const std::string day2 = "The track log starting at 2026-07-02  09:05 does not contain any valid GPS positions";
  const std::string day3 = "The track log starting at 2026-07-03  10:00 does not contain any valid GPS positions";
  struct Case {
    std::deque<bool> skip;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {{}, {day1, day2, day3}},
      {{false, true}, {day1, day2}},
      {{true}, {day1}},
  };
  for (const Case& c : cases) {
    PumpingHost host;
    Screen screen;
    screen.skipAnswers = c.skip;
    const RunOutcome out =
        RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kDigiflyGraviter, "sim:graviter-empty");
    ASSERT_TRUE(out.result.succeeded());
    EXPECT_EQ(TrackOf(out)->log.points.size(), 40u);
    std::vector<std::string> shown;
    for (const Shown& n : screen.Notices()) {
      EXPECT_EQ(n.caption, "No log positions");
      shown.push_back(n.text);
    }
    EXPECT_EQ(shown, c.shown) << c.skip.size();
    EXPECT_TRUE(screen.Messages().empty());
  }
}

TEST(GraviterDownload, BrokenMemoriesFail) {
  sim::GraviterTrack cyclic;
  cyclic.records = sim::DemoGraviterRecords(10);
  cyclic.nextOverride = kRingStart;
  sim::GraviterTrack flight;
  flight.records = sim::DemoGraviterRecords(10);
  const std::string good = sim::BuildGraviterImage({flight});
  struct Case {
    const char* name;
    std::string image;
    std::string message;
  };
  const Case cases[] = {
      {"cyclic chain", sim::BuildGraviterImage({cyclic}), "E205 Format error 38"},
      {"truncated image", good.substr(0, good.size() / 2), "E205 Format error 2"},
      // The reply lands at its offset: what fits behind it is checked, one
      // byte more is refused before it is stored.
      {"what the buffer holds behind the offset", std::string(kBufferSize - kImageOffset, 'y'), "E205 Format error 2"},
      {"one byte more", std::string(kBufferSize - kImageOffset + 1, 'y'), "E206 Serial data buffer overflow"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::GraviterSimConfig config;
    config.image = c.image;
    RegisterGraviter("graviter-broken", config);
    PumpingHost host;
    Screen screen;
    const RunOutcome out =
        RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kDigiflyGraviter, "sim:graviter-broken");
    EXPECT_EQ(out.result.outcome, TransferOutcome::kFailure);
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.message);
  }
}

TEST(GraviterDownload, ProductLine) {
  std::string product, serial;
  EXPECT_TRUE(ParseProductLine("GRAVITER             V1.3 04711 20260101", product, serial));
  EXPECT_EQ(product, "GRAVITER");
  EXPECT_EQ(serial, "04711");
  EXPECT_FALSE(ParseProductLine("GRAVITER             V1.3 047111 2026010", product, serial));
  EXPECT_FALSE(ParseProductLine("GRAVITER             V1.3 04711 202601011", product, serial));
}

}  // namespace
}  // namespace skylode::graviter
