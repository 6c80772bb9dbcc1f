// Reading all chosen flights in one go, end to end over the virtual Flytec:
// they come back whole and separate, for the shell to file.
#include <gtest/gtest.h>

#include "flytec_harness.h"
#include "protocols/flytec/all_tracks.h"

namespace skylode::flytec {
namespace {

using namespace testing;

class FlytecAllTracks : public ::testing::Test {
 protected:
  FlytecAllTracks() {
    config_.flights = {LineFlight(At(2026, 8, 2, 12, 0), 40), LineFlight(At(2026, 7, 11, 13, 0), 8, 2),
                       LineFlight(At(2026, 7, 4, 11, 30), 25, 5)};
  }
  ~FlytecAllTracks() override { UnregisterVirtualInstrument(family_); }

  RunOutcome Run(const sim::InstrumentOptions& options = {}) {
    family_ = std::string("flytec-all-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    log_ = std::make_shared<sim::FlytecSimLog>();
    sim::RegisterVirtualFlytec(family_, config_, options, log_);
    FlytecTiming timing = FastTiming();
    timing.manyFlightsSilence = std::chrono::milliseconds(200);
    RegisterFlytecWorkers(dispatcher_.table(), timing);

    TransferRequest req;
    req.access = AccessType::kReadTrackLog;
    req.protocol = ProtocolType::kFlytecAllTracks;
    req.portName = "sim:" + family_;
    req.settings.connectAttempts = 2;
    RunOutcome out;
    EXPECT_EQ(dispatcher_.StartTransfer(std::move(req), screen_.Callbacks(),
                                        [&](TransferResult&& r) {
                                          out.delivered = true;
                                          out.result = std::move(r);
                                        }),
              0);
    EXPECT_TRUE(host_.PumpUntil([&] { return !dispatcher_.transferBusy() && !dispatcher_.hasActiveTransfer(); }));
    return out;
  }

  sim::FlytecSimConfig config_;
  PumpingHost host_;
  Dispatcher dispatcher_{host_};
  Screen screen_;
  std::shared_ptr<sim::FlytecSimLog> log_;
  std::string family_;
};

TEST_F(FlytecAllTracks, EveryChosenFlightComesBackWholeAndInOrder) {
  screen_.selection = std::vector<int32_t>{0, 1, 2};
  const RunOutcome out = Run();
  ASSERT_TRUE(out.delivered);
  ASSERT_TRUE(out.result.succeeded());
  EXPECT_EQ(out.result.kind, static_cast<int32_t>(TrackLogSource::kFlytec));
  EXPECT_EQ(log_->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRTL,", "PBRTR,00", "PBRTR,01", "PBRTR,02"}));
  for (std::string_view s : {"Reading track log 1 of 3", "Reading track log 1 of 3   (1)", "Reading track log 2 of 3",
                             "Reading track log 3 of 3", "Downloading completed"})
    EXPECT_TRUE(screen_.SawStatus(s)) << s;
  // Analysis and the file are not the protocol's.
  EXPECT_FALSE(screen_.SawStatus("Analysing track log 1 of 3"));
  EXPECT_TRUE(screen_.Messages().empty());

  const auto* payload = std::get_if<FlightListPayload>(&out.result.payload);
  ASSERT_NE(payload, nullptr);
  ASSERT_EQ(payload->flights.size(), 3u);
  for (size_t f = 0; f < 3; ++f) {
    SCOPED_TRACE(f);
    const TrackLog& got = payload->flights[f];
    EXPECT_EQ(got.source, TrackLogSource::kFlytec);
    EXPECT_EQ(got.sourceProtocol, ProtocolType::kFlytecAllTracks);
    EXPECT_TRUE(got.hasBaroHeight);
    EXPECT_TRUE(got.gRecordValid) << "the instrument signed its flights";
    // Short flights come too: what is long enough to keep is the caller's call.
    const auto& want = config_.flights[f].points;
    ASSERT_EQ(got.points.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got.points[i].time, want[i].time);
      EXPECT_EQ(got.points[i].baroHeight, want[i].baroHeight);
      EXPECT_NEAR(got.points[i].latitude, want[i].latitude, kPositionTolerance);
      EXPECT_NEAR(got.points[i].longitude, want[i].longitude, kPositionTolerance);
    }
  }
}

TEST_F(FlytecAllTracks, ACancelledChoiceReadsNoFlight) {
  screen_.selection = std::nullopt;
  const RunOutcome out = Run();
  ASSERT_TRUE(out.delivered);
  EXPECT_FALSE(out.result.succeeded());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(out.result.payload));
  EXPECT_EQ(log_->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRTL,"}));
  EXPECT_TRUE(screen_.Messages().empty());
}

TEST_F(FlytecAllTracks, ALineThatDiesInALaterFlightDeliversNoneOfThem) {
  sim::FlytecInstrument replies(config_);
  sim::InstrumentOptions options;
  options.faults.hangUpAt = replies.ProductReply().size() + replies.TrackListReply().size() +
                            replies.FlightReply(0).size() + replies.FlightReply(1).size() / 2;
  screen_.selection = std::vector<int32_t>{0, 1, 2};
  const RunOutcome out = Run(options);
  ASSERT_TRUE(out.delivered);
  EXPECT_EQ(out.result.outcome, TransferOutcome::kFailure);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(out.result.payload));
  const auto messages = screen_.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "E203 COM port read error");
  EXPECT_FALSE(screen_.SawStatus("Downloading completed"));
}

}  // namespace
}  // namespace skylode::flytec
