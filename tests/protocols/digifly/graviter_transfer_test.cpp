// The Graviter download end to end against the virtual Graviter.
#include <gtest/gtest.h>

#include "mlr_rig.h"
#include "protocols/digifly/graviter_download.h"
#include "protocols/digifly/graviter_image.h"
#include "sim/mlr/graviter_instrument.h"

namespace skylode::graviter {
namespace {

using namespace mlr::testing;

void RegisterGraviter(const std::string& name, const sim::GraviterSimConfig& config) {
  RegisterVirtualInstrument(name, [config](std::string& error) -> std::unique_ptr<VirtualLine> {
    return sim::StartVirtualGraviter(config, {}, error);
  });
}

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
  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "No log positions");
  EXPECT_EQ(messages[0].text,
            "The track log starting at 2026-07-04  10:00 does not contain any valid GPS positions");
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
      {"more than the buffer holds", std::string(kBufferSize, 'y'), "E206 Serial data buffer overflow"},
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
