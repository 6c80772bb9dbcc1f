// Reading all chosen flights into one KML file, end to end over the virtual
// Flytec.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "flytec_harness.h"
#include "formats/file_io.h"
#include "formats/kml_reader.h"
#include "protocols/flytec/all_tracks.h"

namespace skylode::flytec {
namespace {

using namespace testing;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class FlytecAllTracks : public ::testing::Test {
 protected:
  FlytecAllTracks() {
    std::string tmpl = (fs::path(::testing::TempDir()) / "all_tracks_XXXXXX").string();
    EXPECT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    target_ = dir_ / "season.kml";
    config_.flights = {LineFlight(At(2026, 8, 2, 12, 0), 40), LineFlight(At(2026, 7, 11, 13, 0), 8, 2),
                       LineFlight(At(2026, 7, 4, 11, 30), 25, 5)};
  }
  ~FlytecAllTracks() override {
    UnregisterVirtualInstrument(family_);
    fs::remove_all(dir_);
  }

  RunOutcome Run(std::optional<std::string> file, bool overwrite = false) {
    family_ = std::string("flytec-all-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    log_ = std::make_shared<sim::FlytecSimLog>();
    sim::RegisterVirtualFlytec(family_, config_, {}, log_);
    AllTracksOptions options;
    options.flightSilence = std::chrono::milliseconds(200);
    options.chooseFile = [file](const CancelToken&) { return file; };
    RegisterFlytecAllTracksWorker(dispatcher_.table(), options, FastTiming());

    TransferRequest req;
    req.access = AccessType::kReadTrackLog;
    req.protocol = ProtocolType::kFlytecAllTracks;
    req.portName = "sim:" + family_;
    req.settings.connectAttempts = 2;
    TransferCallbacks cb = screen_.Callbacks();
    cb.askYesNo = [this, overwrite](std::string_view caption, std::string_view question, const CancelToken&) {
      questions_.push_back(std::string(caption) + ": " + std::string(question));
      return overwrite;
    };
    RunOutcome out;
    EXPECT_EQ(dispatcher_.StartTransfer(std::move(req), std::move(cb),
                                        [&](TransferResult&& r) {
                                          out.delivered = true;
                                          out.result = std::move(r);
                                        }),
              0);
    EXPECT_TRUE(host_.PumpUntil([&] { return !dispatcher_.transferBusy() && !dispatcher_.hasActiveTransfer(); }));
    return out;
  }

  bool Showed(std::string_view caption, std::string_view text) {
    for (const auto& m : screen_.Messages())
      if (m.caption == caption && m.text == text) return true;
    return false;
  }

  fs::path dir_, target_;
  sim::FlytecSimConfig config_;
  PumpingHost host_;
  Dispatcher dispatcher_{host_};
  Screen screen_;
  std::shared_ptr<sim::FlytecSimLog> log_;
  std::vector<std::string> questions_;
  std::string family_;
};

TEST_F(FlytecAllTracks, EveryChosenFlightLandsInOneFile) {
  screen_.selection = std::vector<int32_t>{0, 1, 2};
  const RunOutcome out = Run(target_.string());
  ASSERT_TRUE(out.delivered);
  EXPECT_TRUE(out.result.succeeded());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(out.result.payload));
  EXPECT_EQ(log_->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRTL,", "PBRTR,00", "PBRTR,01", "PBRTR,02"}));
  for (std::string_view s : {"Reading track log 1 of 3", "Reading track log 1 of 3   (1)", "Analysing track log 1 of 3",
                             "Reading track log 2 of 3", "Analysing track log 3 of 3", "Downloading completed"})
    EXPECT_TRUE(screen_.SawStatus(s)) << s;
  // The eight-point flight is too short to analyse and is left out.
  EXPECT_FALSE(screen_.SawStatus("Analysing track log 2 of 3"));
  EXPECT_TRUE(Showed("Save Aerodiary track", "File written"));
  EXPECT_EQ(screen_.products.back(), target_.string());

  const std::string text = ReadFile(target_);
  ASSERT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n<open>1</open>\r\n", 0), 0u);
  const std::vector<size_t> expected = {0, 2};
  for (size_t pick = 0; pick < expected.size(); ++pick) {
    SCOPED_TRACE(pick);
    KmlTrackHooks hooks;
    hooks.chooseTrack = [&](const std::vector<std::string>& labels) {
      EXPECT_EQ(labels.size(), 2u);
      return std::optional<size_t>(pick);
    };
    const Result<KmlTrack> r_read = ReadKmlTrack(text, hooks);
    ASSERT_TRUE(r_read.ok()) << r_read.error().text;
    const KmlTrack& r = *r_read;
    EXPECT_TRUE(r.signatureValid) << "the instrument signed its flights";
    EXPECT_TRUE(r.timesUtc);
    const auto& want = config_.flights[expected[pick]].points;
    ASSERT_EQ(r.points.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(r.points[i].time, want[i].time);
      EXPECT_EQ(r.points[i].baroHeight, want[i].baroHeight);
      EXPECT_NEAR(r.points[i].latitude, want[i].latitude, kPositionTolerance);
      EXPECT_NEAR(r.points[i].longitude, want[i].longitude, kPositionTolerance);
    }
  }
}

TEST_F(FlytecAllTracks, ExistingFileIsReplacedOnlyWhenThePersonAgrees) {
  for (const bool agree : {false, true}) {
    SCOPED_TRACE(agree);
    ASSERT_TRUE(WriteFileAtomically(target_.string(), "old").ok());
    screen_.Reset();
    questions_.clear();
    screen_.selection = std::vector<int32_t>{2};
    const RunOutcome out = Run(target_.string(), agree);
    UnregisterVirtualInstrument(family_);
    ASSERT_TRUE(out.delivered);
    EXPECT_EQ(out.result.succeeded(), agree);
    EXPECT_EQ(questions_, std::vector<std::string>{"Save track for Aerodiary: File already exists. Overwrite ?"});
    const std::string text = ReadFile(target_);
    if (agree) {
      EXPECT_TRUE(ReadKmlTrack(text).ok());
    } else {
      EXPECT_EQ(text, "old");
    }
  }
}

TEST_F(FlytecAllTracks, NothingIsWrittenWhenTheSaveDialogIsCancelled) {
  screen_.selection = std::vector<int32_t>{0};
  const RunOutcome out = Run(std::nullopt);
  ASSERT_TRUE(out.delivered);
  EXPECT_FALSE(out.result.succeeded());
  EXPECT_TRUE(screen_.SawStatus("Downloading completed"));
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_TRUE(screen_.Messages().empty());
}

}  // namespace
}  // namespace skylode::flytec
