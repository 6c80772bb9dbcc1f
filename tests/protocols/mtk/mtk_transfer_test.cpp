// Download and erase end to end against the virtual logger: the logger's
// faults (late, doubled, short and broken replies) and every exit putting
// logging back on.
#include <gtest/gtest.h>

#include "mtk_rig.h"
#include "protocols/mtk/log_parser.h"

namespace skylode::mtk {
namespace {

using namespace testing;

sim::MtkSimConfig Demo() {
  sim::MtkSimConfig c;
  c.memory = sim::DemoMtkMemory();
  return c;
}

std::vector<TrackPoint> DemoPoints() {
  std::vector<uint8_t> image = sim::DemoMtkMemory();
  image.resize(2 * kSectorSize, 0xFF);
  return ParseMtkLog(image).points;
}

TEST(MtkDownload, ReadsTheMemoryAndSwitchesLoggingBackOn) {
  Screen screen;
  const MtkRun run = RunMtk(Demo(), AccessType::kReadTrackLog, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  const auto& log = std::get<TrackLogPayload>(run.result.payload).log;
  EXPECT_EQ(log.points.size(), 40u);
  EXPECT_EQ(log.points, DemoPoints());
  EXPECT_EQ(log.source, TrackLogSource::kMtk);
  EXPECT_EQ(log.instrumentText, "MTK");
  EXPECT_FALSE(log.hasBaroHeight);
  EXPECT_EQ(run.result.kind, static_cast<int32_t>(TrackLogSource::kMtk));
  EXPECT_EQ(screen.products, std::vector<std::string>{"Pentagram: AXN_1.30-B_2838,0001"});
  EXPECT_TRUE(screen.SawStatus("40 points received"));
  EXPECT_TRUE(screen.Messages().empty());
  const auto commands = run.log->Commands();
  // 65536 + 512 + 2 x 40 records of 30 bytes... read in whole chunks up to
  // the used size.
  const size_t used = sim::DemoMtkMemory().size();
  EXPECT_EQ(Count(commands, "PMTK182,7,00000000,00000100"), 1u);
  size_t chunks = 0;
  for (const auto& c : commands) chunks += c.rfind("PMTK182,7,", 0) == 0;
  EXPECT_EQ(chunks, (used + 255) / 256);
  EXPECT_EQ(commands.back(), "PMTK182,4");
  EXPECT_TRUE(run.log->LoggingStatus() & 2);
}

// The reply of one request may come late, twice, short or broken: it is
// never taken for the answer to another, and a chunk is asked again until
// it came whole.
TEST(MtkDownload, TakesOnlyTheAnswerToThePresentRequest) {
  struct Case {
    const char* what;
    std::function<void(sim::MtkSimConfig&)> set;
    const char* askedTwice;  // a request that had to go twice, if any
  };
  const Case cases[] = {
      {"every reply doubled", [](sim::MtkSimConfig& c) { c.doubleReplies = true; }, nullptr},
      {"the previous reply again first", [](sim::MtkSimConfig& c) { c.staleReplies = true; }, nullptr},
      {"both", [](sim::MtkSimConfig& c) { c.staleReplies = c.doubleReplies = true; }, nullptr},
      {"chunk unanswered once", [](sim::MtkSimConfig& c) { c.silentChunkOnce = 0x200; },
       "PMTK182,7,00000200,00000100"},
      {"chunk one byte short", [](sim::MtkSimConfig& c) { c.shortChunkOnce = 0x100; },
       "PMTK182,7,00000100,00000100"},
      {"chunk with a wrong checksum", [](sim::MtkSimConfig& c) { c.badChecksumChunkOnce = 0; },
       "PMTK182,7,00000000,00000100"},
  };
  for (const Case& c : cases) {
    sim::MtkSimConfig config = Demo();
    c.set(config);
    Screen screen;
    const MtkRun run = RunMtk(config, AccessType::kReadTrackLog, screen.Callbacks());
    ASSERT_TRUE(run.result.succeeded()) << c.what;
    EXPECT_EQ(std::get<TrackLogPayload>(run.result.payload).log.points, DemoPoints()) << c.what;
    if (c.askedTwice) {
      EXPECT_EQ(Count(run.log->Commands(), c.askedTwice), 2u) << c.what;
    }
    EXPECT_TRUE(run.log->LoggingStatus() & 2) << c.what;
  }
}

TEST(MtkDownload, ARepliesWithoutAnswerEndsWithItsStepsMessage) {
  sim::MtkSimConfig config = Demo();
  config.silentLoggingOn = true;
  Screen screen;
  const MtkRun run = RunMtk(config, AccessType::kReadTrackLog, screen.Callbacks());
  EXPECT_FALSE(run.result.succeeded());
  ASSERT_EQ(screen.Messages().size(), 1u);
  EXPECT_EQ(screen.Messages()[0].caption, "Turn on logging");
  EXPECT_EQ(screen.Messages()[0].text, "No response received");
}

TEST(MtkDownload, EmptyOrInvalidMemoryFailsWithLoggingBackOn) {
  struct Case {
    const char* what;
    std::vector<uint8_t> memory;
    const char* caption;
    const char* text;
  };
  sim::MtkMemoryBuilder invalid;
  invalid.BeginSector(0x1F);
  for (int i = 0; i < 3; ++i) invalid.Add({.utc = 1785672000, .valid = 1, .latitude = 45, .longitude = 6});
  const Case cases[] = {
      {"empty", {}, "Get memory used", "Zero used memory"},
      {"no fix at all", invalid.bytes(), "Parse log data", "No points detected"},
  };
  for (const Case& c : cases) {
    sim::MtkSimConfig config;
    config.memory = c.memory;
    Screen screen;
    const MtkRun run = RunMtk(config, AccessType::kReadTrackLog, screen.Callbacks());
    EXPECT_FALSE(run.result.succeeded()) << c.what;
    ASSERT_EQ(screen.Messages().size(), 1u) << c.what;
    EXPECT_EQ(screen.Messages()[0].caption, c.caption) << c.what;
    EXPECT_EQ(screen.Messages()[0].text, c.text) << c.what;
    EXPECT_EQ(Count(run.log->Commands(), "PMTK182,4"), 1u) << c.what;
    EXPECT_TRUE(run.log->LoggingStatus() & 2) << c.what;
  }
}

TEST(MtkDownload, LeavesLoggingOffWhenItWasOff) {
  sim::MtkSimConfig config = Demo();
  config.loggingStatus = 0x4;
  Screen screen;
  const MtkRun run = RunMtk(config, AccessType::kReadTrackLog, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  EXPECT_EQ(Count(run.log->Commands(), "PMTK182,4"), 0u);
  EXPECT_FALSE(run.log->LoggingStatus() & 2);
}

TEST(MtkErase, ErasesAndSwitchesLoggingBackOn) {
  for (int ticks : {0, 5}) {
    Screen screen;
    sim::MtkSimConfig config = Demo();
    config.eraseTicks = ticks;
    const MtkRun run = RunMtk(config, AccessType::kEraseTrackLog, screen.Callbacks());
    EXPECT_TRUE(run.result.succeeded()) << ticks;
    EXPECT_TRUE(run.log->Erased());
    EXPECT_TRUE(run.log->LoggingStatus() & 2);
    EXPECT_TRUE(screen.SawStatus("Erasing (30)"));
    EXPECT_EQ(screen.SawStatus("Erasing (29)"), ticks > 0);
    EXPECT_EQ(screen.Statuses().back(), "Erase completed");
  }
}

// An erase that never confirms still ends with logging asked back on: the
// logger should go on recording whatever became of the erase.
TEST(MtkErase, TimeOutShowsItsMessageAndStillRestoresLogging) {
  sim::MtkSimConfig config = Demo();
  config.eraseTicks = -1;
  Screen screen;
  const MtkRun run = RunMtk(config, AccessType::kEraseTrackLog, screen.Callbacks());
  EXPECT_FALSE(run.result.succeeded());
  ASSERT_EQ(screen.Messages().size(), 1u);
  EXPECT_EQ(screen.Messages()[0].caption, "Erase log");
  EXPECT_EQ(screen.Messages()[0].text, "No response received");
  EXPECT_TRUE(screen.SawStatus("Erasing (1)"));
  EXPECT_EQ(run.log->Commands().back(), "PMTK182,4");
}

TEST(MtkErrors, EveryCodeHasItsStepAndCause) {
  struct Case {
    int code;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {2, "Get product information", "COM port write error"},
      {4, "Get product information", "No product data received"},
      {8, "Get logging status", "No logging status response"},
      {13, "Turn off logging", "WaitForSingleObject() failed"},
      {15, "Get memory used", "COM port read error"},
      {19, "Get memory used", "More than 64MB...."},
      {23, "Read log data", "No response for data chunk"},
      {25, "Read log data", "Chunk data outside used memory"},
      {28, "Turn on logging", "No response received"},
      {32, "Erase log", "WaitForSingleObject() failed"},
      {33, "Erase log", "No response received"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(MtkErrorText(c.code).caption, c.caption) << c.code;
    EXPECT_STREQ(MtkErrorText(c.code).text, c.text) << c.code;
  }
}

}  // namespace
}  // namespace skylode::mtk
