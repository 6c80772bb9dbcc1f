// The LogIt workers end to end: the dispatcher's workers, the real serial
// layer and the virtual LogIt or Tracklogger.
#include <gtest/gtest.h>

#include <algorithm>

#include "logit_rig.h"

namespace skylode::logit {
namespace {

using namespace testing;

std::vector<std::string> Commands(const sim::LogItSimLog& log) {
  return log.Read([](const sim::LogItSimLog& l) { return l.commands; });
}

bool Saw(const std::vector<std::string>& all, std::string_view one) {
  return std::find(all.begin(), all.end(), one) != all.end();
}

std::string FirstMessage(Screen& screen) {
  const auto m = screen.Messages();
  return m.empty() ? std::string() : m[0].caption + ": " + m[0].text;
}

TEST(LogItDownload, EverySpeedBringsTheWholeLog) {
  struct Case {
    bool tracklogger;
    uint32_t baud;
    const char* command;
  };
  const Case cases[] = {
      {false, 57600, "$PMLR,24,02,0102,039A"},   {false, 38400, "$PMLR,24,02,0101,0399"},
      {false, 19200, "$PMLR,24,02,0100,0398"},   {true, 115200, "$PMLR,24,02,0103,039B"},
      {true, 19200, "$PMLR,24,02,0100,0398"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.baud) + (c.tracklogger ? " Tracklogger" : " LogIt"));
    sim::LogItSimConfig config;
    if (c.tracklogger) config = Tracklogger();
    // Past 200, 400 and 800 points: the store grows three times.
    config.points = sim::DemoLogItPoints(830, 300);
    config.firstSequence = 0xF0;
    config.lineTime = false;
    auto log = std::make_shared<sim::LogItSimLog>();
    RegisterSim("logit-speed", config, log);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, Request(AccessType::kReadTrackLog, "sim:logit-speed", c.baud));
    ASSERT_TRUE(out.delivered);
    ASSERT_TRUE(out.result.succeeded()) << FirstMessage(screen);
    EXPECT_EQ(out.result.kind, static_cast<int32_t>(TrackLogSource::kLogIt));
    const TrackLogPayload* t = TrackOf(out.result);
    ASSERT_NE(t, nullptr);
    ExpectPointsOf(t->log.points, config.points);
    EXPECT_FALSE(t->log.hasBaroHeight);
    EXPECT_EQ(t->log.sourceProtocol, ProtocolType::kLogIt);
    EXPECT_EQ(t->log.instrumentText, config.model);
    EXPECT_EQ(t->log.modelName, config.model);
    EXPECT_EQ(t->log.identification, config.model + ": 004711");
    EXPECT_EQ(screen.products.back(), config.model + " 2.10 (HANS)");

    const auto statuses = screen.Statuses();
    EXPECT_EQ(statuses.back(), "830 points received");
    const std::string of = c.tracklogger ? " of 830" : "";
    for (const char* n : {"1", "250", "500", "750"})
      EXPECT_TRUE(screen.SawStatus(std::string(n) + " points" + of + " received")) << n;
    EXPECT_FALSE(screen.SawStatus("251 points" + of + " received"));

    const auto commands = Commands(*log);
    EXPECT_TRUE(Saw(commands, c.command));
    EXPECT_EQ(Saw(commands, "$PMLR,58,00,02B0"), c.tracklogger);  // the point count
    EXPECT_EQ(log->Read([](const sim::LogItSimLog& l) { return l.downloadSpeeds; }), std::vector<uint32_t>{c.baud});
  }
}

TEST(LogItDownload, TrackloggerResumesWhereAFrameFailed) {
  // The frame of points 1001 to 1010 fails its check sum once.
  sim::LogItSimConfig config = Tracklogger();
  config.points = sim::DemoLogItPoints(1100);
  config.recordsPerFrame = 10;
  config.lineTime = false;
  config.badSumInDownload = {{0, 1000}};
  auto log = std::make_shared<sim::LogItSimLog>();
  RegisterSim("logit-resume", config, log);
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, Request(AccessType::kReadTrackLog, "sim:logit-resume", 115200));
  ASSERT_TRUE(out.result.succeeded()) << FirstMessage(screen);
  ExpectPointsOf(TrackOf(out.result)->log.points, config.points);
  EXPECT_TRUE(screen.SawStatus("RESTART at point 1001"));
  EXPECT_TRUE(screen.Messages().empty());
  log->Read([](const sim::LogItSimLog& l) {
    EXPECT_EQ(l.resumes, std::vector<int64_t>{1001});
    EXPECT_TRUE(l.badCommands.empty());
    EXPECT_EQ(l.downloadSpeeds, (std::vector<uint32_t>{115200, 115200}));
    return 0;
  });
}

TEST(LogItDownload, TrackloggerGivesUpOnlyAfterResumesThatStoreNothing) {
  // Ten points a frame: point index 25 is in the frame of points 21 to 30.
  struct Case {
    const char* name;
    std::map<int, size_t> badSums;  // download -> point
    std::optional<size_t> always;
    bool succeeds;
    std::vector<int64_t> resumes;
  };
  const Case cases[] = {
      {"fails once", {{0, 25}}, {}, true, {21}},
      {"fails three times", {{0, 25}, {1, 25}, {2, 25}}, {}, true, {21, 21, 21}},
      {"fails four times", {{0, 25}, {1, 25}, {2, 25}, {3, 25}}, {}, false, {21, 21, 21}},
      {"fails every time", {}, 25, false, {21, 21, 21}},
      {"progress between failures", {{0, 5}, {1, 5}, {2, 25}, {3, 25}, {4, 35}, {5, 35}}, {}, true, {1, 1, 21, 21, 31, 31}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::LogItSimConfig config = Tracklogger();
    config.points = sim::DemoLogItPoints(40);
    config.recordsPerFrame = 10;
    config.lineTime = false;
    config.badSumInDownload = c.badSums;
    config.badSumAlways = c.always;
    auto log = std::make_shared<sim::LogItSimLog>();
    Screen screen;
    DirectRun run = OpenDirect(config, {}, screen.Callbacks(), 57600, nullptr, log);
    ASSERT_TRUE(run.ctx);
    const TransferResult result = LogItReadTrackLog(*run.ctx, TestTiming());
    EXPECT_EQ(result.succeeded(), c.succeeds) << FirstMessage(screen);
    if (c.succeeds) {
      ExpectPointsOf(TrackOf(result)->log.points, config.points);
      EXPECT_TRUE(screen.Messages().empty());
    } else {
      EXPECT_EQ(result.outcome, TransferOutcome::kFailure);
      const auto messages = screen.Messages();
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].caption, "Read LogIt track log");
      EXPECT_EQ(messages[0].text, "E204 Format error 9");
    }
    EXPECT_EQ(LastCommand(*log), kStop);
    EXPECT_EQ(log->Read([](const sim::LogItSimLog& l) { return l.resumes; }), c.resumes);
  }
}

TEST(LogItDownload, BrokenFramesEndTheDownload) {
  const auto points = sim::DemoLogItPoints(3);
  std::string records;
  for (uint16_t i = 0; i < 3; ++i) records += sim::LogItTrackRecord(static_cast<uint16_t>(i + 1), points[i]);
  struct Case {
    const char* name;
    bool tracklogger;
    std::string bytes;
    std::string message;
  };
  const Case cases[] = {
      {"check sum", false, sim::LogItStartFrame(1) + sim::LogItDataFrame(2, 3, records, true), "E204 Format error 9"},
      {"seventeen records", false, sim::LogItStartFrame(1) + sim::LogItDataFrame(2, 17, std::string(17 * 18, '\1')),
       "E204 Format error 8"},
      {"frame skipped", false, sim::LogItStartFrame(1) + sim::LogItDataFrame(3, 3, records), "E204 Format error 53"},
      {"end frame skipped", false, sim::LogItStartFrame(1) + sim::LogItDataFrame(2, 3, records) + sim::LogItEndFrame(4),
       "E204 Format error 54"},
      {"nothing after the start", false, sim::LogItStartFrame(1), "E206 Track log data timeout"},
      {"Tracklogger without a start frame", true, sim::LogItDataFrame(2, 3, records), "E204 Format error 50"},
      {"Tracklogger broken start frame", true, sim::LogItFrame(1, "DEBUG"), "E204 Format error 5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::LogItSimConfig config = c.tracklogger ? Tracklogger() : sim::LogItSimConfig{};
    config.points = points;
    config.trackBytes = c.bytes;
    auto log = std::make_shared<sim::LogItSimLog>();
    Screen screen;
    DirectRun run = OpenDirect(config, {}, screen.Callbacks(), 38400, nullptr, log);
    ASSERT_TRUE(run.ctx);
    const TransferResult result = LogItReadTrackLog(*run.ctx, TestTiming());
    EXPECT_EQ(result.outcome, TransferOutcome::kFailure);
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Read LogIt track log");
    EXPECT_EQ(messages[0].text, c.message);
    EXPECT_EQ(LastCommand(*log), kStop);
    EXPECT_TRUE(log->Read([](const sim::LogItSimLog& l) { return l.resumes.empty(); }));
  }
}

TEST(LogItDownload, ASilentTrackloggerIsAskedToGoOn) {
  // The first download stops after two points; the resume brings the rest.
  sim::LogItSimConfig config = Tracklogger();
  config.points = sim::DemoLogItPoints(5);
  config.recordsPerFrame = 2;
  config.trackBytes = sim::LogItStartFrame(1) + sim::LogItDataFrame(2, 2,
                                                                   sim::LogItTrackRecord(1, config.points[0]) +
                                                                       sim::LogItTrackRecord(2, config.points[1]));
  auto log = std::make_shared<sim::LogItSimLog>();
  Screen screen;
  DirectRun run = OpenDirect(config, {}, screen.Callbacks(), 57600, nullptr, log);
  ASSERT_TRUE(run.ctx);
  const TransferResult result = LogItReadTrackLog(*run.ctx, TestTiming());
  ASSERT_TRUE(result.succeeded()) << FirstMessage(screen);
  ExpectPointsOf(TrackOf(result)->log.points, config.points);
  EXPECT_TRUE(screen.SawStatus("RESTART at point 3"));
}

TEST(LogItDownload, ALoggerThatFallsSilentForGoodEndsTheDownload) {
  // Silent from the middle of the first data frame on; a Tracklogger is
  // asked to go on a few times first.
  struct Case {
    const char* name;
    bool tracklogger;
    size_t resumes;
  };
  const Case cases[] = {{"LogIt", false, 0}, {"Tracklogger", true, kResumesWithoutProgress}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::LogItSimConfig config = c.tracklogger ? Tracklogger() : sim::LogItSimConfig{};
    config.points = sim::DemoLogItPoints(40);
    sim::InstrumentOptions options;
    options.faults.silenceFrom = sim::LogItProductReply(config).size() +
                                 (c.tracklogger ? sim::LogItPointCountReply(40).size() : 0) +
                                 sim::LogItStartFrame(0).size() + 30;
    auto log = std::make_shared<sim::LogItSimLog>();
    Screen screen;
    DirectRun run = OpenDirect(config, options, screen.Callbacks(), 19200, nullptr, log);
    ASSERT_TRUE(run.ctx);
    const TransferResult result = LogItReadTrackLog(*run.ctx, TestTiming());
    EXPECT_EQ(result.outcome, TransferOutcome::kFailure);
    EXPECT_EQ(FirstMessage(screen), "Read LogIt track log: E206 Track log data timeout");
    EXPECT_EQ(screen.Messages().size(), 1u);
    EXPECT_EQ(log->Read([](const sim::LogItSimLog& l) { return l.resumes; }), std::vector<int64_t>(c.resumes, 1));
    EXPECT_EQ(LastCommand(*log), kStop);
  }
}

TEST(LogItDownload, AnUnknownSpeedStaysAtTheCommandSpeed) {
  sim::LogItSimConfig config;
  config.points = sim::DemoLogItPoints(3);
  auto log = std::make_shared<sim::LogItSimLog>();
  Screen screen;
  DirectRun run = OpenDirect(config, {}, screen.Callbacks(), 9600, nullptr, log);
  ASSERT_TRUE(run.ctx);
  const TransferResult result = LogItReadTrackLog(*run.ctx, TestTiming());
  EXPECT_EQ(result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(FirstMessage(screen), "Read LogIt track log: E206 Track log data timeout");
  EXPECT_EQ(run.ctx->port().Speed(), 4800u);
  EXPECT_TRUE(Saw(Commands(*log), "$PMLR,24,02,0110,0388"));
  EXPECT_TRUE(log->Read([](const sim::LogItSimLog& l) { return l.downloadSpeeds.empty(); }));
}

TEST(LogItProductData, RepliesAcceptedAndRefused) {
  struct Case {
    const char* name;
    std::string software;
    bool wrongCheck;
    std::string before;
    std::string message;  // caption: text
  };
  const std::string shown = "Product Data: Model: LOGIT\nUser name: HANS\nSerial No.: 004711\nSoftware: ";
  const Case cases[] = {
      {"good check digits", "2.10", false, "", shown + "2.10"},
      {"software 1.02 with wrong check digits", "1.02", true, "", shown + "1.02"},
      {"wrong check digits", "2.10", true, "", "Get GPS product data: No valid response from GPS"},
      {"after a broken reply", "2.10", false, "\r\n$PMLR,IDG", shown + "2.10"},
      {"after a reply broken by a field too long", "2.10", false, "$PMLR,IDGPS,01," + std::string(30, 'X'), shown + "2.10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::LogItSimConfig config;
    config.software = c.software;
    config.wrongProductCheck = c.wrongCheck;
    config.beforeProductReply = c.before;
    auto log = std::make_shared<sim::LogItSimLog>();
    RegisterSim("logit-data", config, log);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, Request(AccessType::kReadLoggerData, "sim:logit-data"));
    EXPECT_EQ(out.result.succeeded(), !c.wrongCheck || c.software == "1.02");
    ASSERT_EQ(screen.Messages().size(), 1u);
    EXPECT_EQ(FirstMessage(screen), c.message);
    EXPECT_EQ(LastCommand(*log), kStop);
  }
}

TEST(LogItPointCount, BrokenOrMissingCountsEndTheDownload) {
  struct Case {
    const char* name;
    std::string reply;
    std::string message;
  };
  const Case cases[] = {
      {"check value differs", "$PMLR,NUMTRACKPOINTS,12*00\r\n", "E503 Format error 8"},
      {"letters in the count", "$PMLR,NUMTRACKPOINTS,1A*00\r\n", "E503 Format error 3"},
      {"no reply", "", "E501 Track point count request timeout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::LogItSimConfig config = Tracklogger();
    config.points = sim::DemoLogItPoints(3);
    config.pointCountReply = c.reply;
    auto log = std::make_shared<sim::LogItSimLog>();
    Screen screen;
    DirectRun run = OpenDirect(config, {}, screen.Callbacks(), 57600, nullptr, log);
    ASSERT_TRUE(run.ctx);
    const TransferResult result = LogItReadTrackLog(*run.ctx, TestTiming());
    EXPECT_EQ(result.outcome, TransferOutcome::kFailure);
    EXPECT_EQ(FirstMessage(screen), "Read track point count: " + c.message);
    EXPECT_EQ(LastCommand(*log), kStop);
    EXPECT_TRUE(log->Read([](const sim::LogItSimLog& l) { return l.downloadSpeeds.empty(); }));
  }
}

TEST(LogItCommands, EraseAndOwnerNameOutlastTheOpening) {
  auto log = std::make_shared<sim::LogItSimLog>();
  sim::LogItSimConfig config;
  config.points = sim::DemoLogItPoints(20);
  const LogItTiming timing = TestTiming();
  const std::string nameCommand = "$PMLR,IDGPS,01,Jo X     ,       *00";
  Screen screen;
  {
    DirectRun run = OpenDirect(config, {}, screen.Callbacks(), 0, nullptr, log, FormAnswers{{"Jo X"}});
    ASSERT_TRUE(run.ctx);
    ASSERT_TRUE(LogItWriteName(*run.ctx, timing).succeeded()) << FirstMessage(screen);
    EXPECT_EQ(screen.Statuses().back(), "Name sent (no verification)");
    EXPECT_EQ(LastCommand(*log, nameCommand), nameCommand);
  }
  {
    DirectRun run = OpenDirect(config, {}, screen.Callbacks(), 0, nullptr, log);
    ASSERT_TRUE(run.ctx);
    ASSERT_TRUE(LogItErase(*run.ctx, timing).succeeded()) << FirstMessage(screen);
    EXPECT_EQ(screen.Statuses().back(), "Command sent (no verification)");
    EXPECT_EQ(LastCommand(*log, "$PMLR,99,00,02B5"), "$PMLR,99,00,02B5");
  }
  log->Read([&](const sim::LogItSimLog& l) {
    EXPECT_EQ(l.erases, 1);
    EXPECT_TRUE(l.badCommands.empty());
    // Each command after a stop, nothing else.
    EXPECT_EQ(l.commands, (std::vector<std::string>{std::string(kStop), nameCommand, std::string(kStop), "$PMLR,99,00,02B5"}));
    return 0;
  });

  // A later opening of the same logger: the name is its user, the log is gone.
  RegisterSim("logit-misc", config, log);
  PumpingHost host;
  const RunOutcome read = RunTransfer(host, screen, Request(AccessType::kReadTrackLog, "sim:logit-misc", 57600));
  ASSERT_TRUE(read.result.succeeded()) << FirstMessage(screen);
  EXPECT_TRUE(TrackOf(read.result)->log.points.empty());
  EXPECT_EQ(screen.products.back(), "LOGIT 2.10 (Jo X     )");
  EXPECT_TRUE(screen.Messages().empty());
}

TEST(LogItCommands, NamesTheLoggerCannotTakeAreNotSent) {
  struct Case {
    const char* name;
    TransferInput input;
    bool succeeds;
    std::string message;
  };
  const Case cases[] = {
      {"comma", FormAnswers{{"Jo,Jo"}}, false, "Sending name: Fill in the name: contains ','"},
      {"dollar", FormAnswers{{"$Jo"}}, false, "Sending name: Fill in the name: contains '$'"},
      {"not ASCII", FormAnswers{{"J\xC3\xBCrg"}}, false, "Sending name: Fill in the name: printable ASCII characters only"},
      {"too long", FormAnswers{{"ABCDEFGHIJ"}}, false, "Sending name: Fill in the name:: at most 9 characters"},
      {"no answers", TransferInput{}, false, "Sending name: Missing input"},
      {"empty", FormAnswers{{""}}, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto log = std::make_shared<sim::LogItSimLog>();
    RegisterSim("logit-name", {}, log);
    PumpingHost host;
    Screen screen;
    TransferRequest req = Request(AccessType::kWriteSettings, "sim:logit-name");
    req.input = c.input;
    EXPECT_EQ(RunTransfer(host, screen, std::move(req)).result.succeeded(), c.succeeds);
    EXPECT_EQ(FirstMessage(screen), c.message);
    EXPECT_TRUE(Commands(*log).empty());
  }
}

}  // namespace
}  // namespace skylode::logit
