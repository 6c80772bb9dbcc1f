// Every DSX operation end to end through the serial layer against the
// virtual recorder: the handshake and speed change, the flight list shown
// latest first, the IGC download, and the pilot data.
#include <gtest/gtest.h>

#include "dsx_rig.h"
#include "sim/flytec/igc_text.h"

namespace skylode::dsx {
namespace {

using namespace testing;

std::vector<std::string> Texts(const std::vector<Shown>& shown) {
  std::vector<std::string> t;
  for (const Shown& s : shown) t.push_back(s.text);
  return t;
}

TEST(DsxTrackDownload, LatestFirstAndTheChosenFlightsText) {
  const sim::DsxSimConfig config = ShortConfig();
  Screen screen;
  screen.selection = std::vector<int32_t>{3};  // the first row
  const DsxRun run = RunDsx(config, {}, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  EXPECT_EQ(run.result.code, 1);
  const auto& t = std::get<TrackLogPayload>(run.result.payload);
  flytec::testing::ExpectSamePoints(t.log.points, config.flights[2].points);
  // From the first '#' on, without the echo before it nor the end line.
  EXPECT_EQ(t.raw.text, sim::BuildIgcText(config.flights[2]));
  EXPECT_EQ(t.log.source, TrackLogSource::kDsx);
  EXPECT_EQ(t.log.instrumentText, "DSX");
  EXPECT_EQ(t.log.modelName, "DSX");
  EXPECT_TRUE(t.log.hasBaroHeight);
  EXPECT_EQ(t.log.flightCivlId, -1);

  EXPECT_EQ(run.log->Commands(), (std::vector<std::string>{"V1", "V4", "FL", "F003"}));
  EXPECT_TRUE(run.log->Faults().empty());  // every command at the speed the recorder expected
  ASSERT_EQ(screen.dialogEntries.size(), 1u);
  const auto& rows = screen.dialogEntries[0];
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].text, "003       12");
  EXPECT_EQ(rows[0].flightNumber, 3);
  EXPECT_EQ(rows[2].text, "001       10");
  EXPECT_EQ(screen.dialogTitles[0], "Track List (sim:dsx, DSX)");
  EXPECT_EQ(screen.products.back(), "DSX");
  EXPECT_TRUE(screen.SawStatus("3 tracks in track list found"));
  EXPECT_TRUE(screen.SawStatus("12 points received"));
  EXPECT_TRUE(screen.Messages().empty());
}

TEST(DsxTrackDownload, OlderFlightUnsigned) {
  sim::DsxSimConfig config = ShortConfig();
  config.flights[0].signedFlight = false;
  Screen screen;
  screen.selection = std::vector<int32_t>{1};
  const DsxRun run = RunDsx(config, {}, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  EXPECT_EQ(run.result.code, 0);
  EXPECT_EQ(std::get<TrackLogPayload>(run.result.payload).log.points.size(), 10u);
  EXPECT_EQ(run.log->Commands().back(), "F001");
  EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{"No G-records found"}));
}

TEST(DsxTrackDownload, ListsThatEndTheTransfer) {
  struct Case {
    std::string list;
    std::vector<std::string> messages;
  } const cases[] = {
      {"\r\n#", {}},  // no flights
      {"001 recs n.00001x\r\n", {"E505 Format error 4"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    sim::DsxSimConfig config = ShortConfig();
    config.listReply = c.list;
    Screen screen;
    screen.selection = std::vector<int32_t>{1};
    const DsxRun run = RunDsx(config, {}, screen.Callbacks());
    EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure) << c.list;
    EXPECT_EQ(Texts(screen.Messages()), c.messages) << c.list << ::testing::PrintToString(screen.Statuses());
    EXPECT_TRUE(screen.dialogTitles.empty());
  }
}

TEST(DsxTrackDownload, ListPastItsRoomIsRefused) {
  sim::DsxSimConfig config = ShortConfig();
  std::string list;
  for (int i = 1; i <= 101; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%03d recs n.%06d x\r\n", i, 5);
    list += line;
  }
  config.listReply = list;
  Screen screen;
  const DsxRun run = RunDsx(config, {}, screen.Callbacks());
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{"E505 Format error 6"}));
}

TEST(DsxTrackDownload, DialogAnswers) {
  // Cancel ends quietly; an answer that names no listed flight, or more
  // than one, is the dialog's error.
  struct Case {
    std::optional<std::vector<int32_t>> answer;
    std::vector<std::string> messages;
  } const cases[] = {
      {std::nullopt, {}},
      {std::vector<int32_t>{}, {"Dialog box error"}},
      {std::vector<int32_t>{9}, {"Dialog box error"}},
      {std::vector<int32_t>{1, 2}, {"Dialog box error"}},
  };
  for (const Case& c : cases) {
    Screen screen;
    screen.selection = c.answer;
    const DsxRun run = RunDsx(ShortConfig(), {}, screen.Callbacks());
    EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
    EXPECT_EQ(Texts(screen.Messages()), c.messages) << ::testing::PrintToString(screen.Statuses()) << c.answer.has_value();
    EXPECT_EQ(run.log->Commands().back(), "FL");
  }
}

TEST(DsxConnection, PromptAfterRetriesAndNoneAtAll) {
  sim::DsxSimConfig late = ShortConfig();
  late.promptAfter = 1;  // the first V1 goes unanswered
  Screen screen;
  screen.selection = std::vector<int32_t>{2};
  const DsxRun run = RunDsx(late, {}, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  EXPECT_EQ(run.log->Commands(), (std::vector<std::string>{"V1", "V1", "V4", "FL", "F002"}));
  EXPECT_TRUE(screen.SawStatus("Opening connection (2)"));
  EXPECT_TRUE(screen.SawStatus("Opening connection (1)"));

  sim::DsxSimConfig deaf = ShortConfig();
  deaf.promptAfter = 5;
  Screen none;
  const DsxRun failed = RunDsx(deaf, {}, none.Callbacks());
  EXPECT_EQ(failed.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(Texts(none.Messages()), (std::vector<std::string>{"No valid response from GPS"}));
  EXPECT_EQ(failed.log->Commands(), (std::vector<std::string>{"V1", "V1"}));
}

// A prompt whose start repeats inside noise is still found.
TEST(DsxConnection, PromptFoundAfterAFalseStart) {
  sim::DsxSimConfig config = ShortConfig();
  Screen screen;
  screen.selection = std::vector<int32_t>{1};
  sim::InstrumentOptions options;
  options.faults.doubleAt = 0;  // "CConn\n\r\r\n#"
  const DsxRun run = RunDsx(config, {}, screen.Callbacks(), options);
  EXPECT_TRUE(run.result.succeeded());
}

TEST(DsxPilotData, ChangedFieldsWrittenThenTheSessionEnds) {
  sim::DsxSimConfig config = ShortConfig();
  config.pilot[0] = std::string(70, 'M');  // longer than the form shows
  Screen screen;
  DsxRequest request;
  request.access = AccessType::kWriteSettings;
  request.answers = {std::string(62, 'M'), "18", "", "Ozone Zeno", "Skylode", "+41 79"};
  const DsxRun run = RunDsx(config, request, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  EXPECT_EQ(run.log->Written(), (std::vector<std::string>{"H218", "H4Ozone Zeno", "C1+41 79"}));
  EXPECT_EQ(run.log->Commands(), (std::vector<std::string>{"V1", "V4", "E1", "E2", "E3", "E4", "E5", "H218",
                                                           "H4Ozone Zeno", "C1+41 79", "V0"}));
  EXPECT_TRUE(run.log->SessionEnded());
  EXPECT_EQ(run.log->Pilot()[0], std::string(70, 'M'));  // not written back shortened
  EXPECT_EQ(run.log->Pilot()[1], "18");
  const auto statuses = screen.Statuses();
  EXPECT_EQ(statuses.back(), "Data sent");
  EXPECT_TRUE(screen.SawStatus("Sending H2"));
  EXPECT_TRUE(screen.SawStatus("Sending H4"));
  EXPECT_TRUE(screen.SawStatus("Sending C1"));
  EXPECT_FALSE(screen.SawStatus("Sending H1"));
}

TEST(DsxPilotData, SilentFieldEndsWithAnEmptyStatus) {
  sim::InstrumentOptions options;
  // The prompt, then nothing: E1 goes unanswered.
  options.faults.silenceFrom = sim::DsxInstrument::Prompt().size();
  Screen screen;
  DsxRequest request;
  request.access = AccessType::kWriteSettings;
  request.answers = {"Anna", "", "", "", "", ""};
  const DsxRun run = RunDsx(ShortConfig(), request, screen.Callbacks(), options);
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{"Response timeout"}));
  EXPECT_EQ(screen.Statuses().back(), "");
  EXPECT_TRUE(run.log->Written().empty());
}

}  // namespace
}  // namespace skylode::dsx
