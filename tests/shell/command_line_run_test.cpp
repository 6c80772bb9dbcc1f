// What a command-line run does after the download: the file names, the
// exists rules, the flight numbers of the folder form, the exit code and the
// notify messages, with transfers the test delivers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "app_fixture.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "shell/command_line/command_line.h"
#include "shell/command_line/command_line_run.h"
#include "shell/command_line/notify.h"
#include "records/calendar.h"

namespace skylode::test {
namespace {

namespace fs = std::filesystem;

class CommandLineRunTest : public AppFixture {
 protected:
  static uint32_t Day(int hour = 11) {
    return CalendarToTime(CalendarTime{2010, 5, 5, static_cast<uint16_t>(hour), 0, 0, 0}).value();
  }
  static std::vector<TrackPoint> Flight(size_t count = 20) {
    std::vector<TrackPoint> points;
    for (size_t i = 0; i < count; ++i) {
      TrackPoint p = Point(Day() + static_cast<uint32_t>(i) * 5, 10000 + static_cast<int32_t>(i) * 30);
      p.latitude += static_cast<int32_t>(i) * 20000;
      p.longitude += static_cast<int32_t>(i) * 10000;
      points.push_back(p);
    }
    return points;
  }

  // Parses, starts and, when a transfer started, delivers `result`.
  void Run(const std::vector<std::string>& args, std::optional<TransferResult> result) {
    CmdParseResult parsed = ParseCommandLine(args);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    runner = std::make_unique<CommandLineRunner>(app, *parsed.run, report);
    runner->endProgram = [this](int code) { endedWith = code; };
    runner->Begin();
    app.Initialise();
    startResult = runner->RunCommandLine();
    if (startResult == 0 && result && !transfers.started.empty()) {
      Deliver(std::move(*result));
      ui.RunPosted();
    }
  }

  // The next run of the same program state: as a fresh start would have it.
  void NextRun() {
    app.EndCommandLineRun();
    ClearTrackLog(app.trackLog, app.rawIgc);
  }

  static std::string Read(const std::string& path) {
    Result<std::string> file = ReadWholeFile(path);
    return file.ok() ? std::move(*file) : std::string();
  }

  std::ostringstream report;
  std::unique_ptr<CommandLineRunner> runner;
  int startResult = 0;
  std::optional<int> endedWith;
};

TEST_F(CommandLineRunTest, IgcFolderTakesTheFirstFreeFlightNumber) {
  const std::string out = dir / "out/";
  fs::create_directories(out);
  WriteText(out + "2010-05-05-xkl-000-01.igc", "kept");
  WriteText(out + "2010-05-04-xkl-000-02.igc", "other day");
  Run({"/GPS=GARMIN", "/IGC_LOG=" + out, "/WIN=0", "/EXIT"}, TrackResult(Flight(), TrackLogSource::kGarmin));
  ASSERT_TRUE(runner->done());
  EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
  EXPECT_EQ(endedWith, 0);
  EXPECT_EQ(Read(out + "2010-05-05-xkl-000-01.igc"), "kept");
  const Result<IgcVerifyOutcome> check = VerifyIgcFile(out + "2010-05-05-xkl-000-02.igc");
  ASSERT_TRUE(check.ok()) << check.error().Describe();
  EXPECT_EQ(*check, IgcVerifyOutcome::kPassed);
  EXPECT_NE(report.str().find("20 positions written"), std::string::npos) << report.str();
}

TEST_F(CommandLineRunTest, IgcFolderWithAllNumbersTakenFails) {
  const std::string out = dir / "full";  // without the separator: added by the folder form below
  fs::create_directories(out);
  char name[64];
  for (int n = 1; n <= 35; ++n) {
    std::snprintf(name, sizeof name, "/2010-05-05-xkl-000-%02d.igc", n);
    WriteText(out + name, "taken");
  }
  Run({"/GPS=GARMIN", "/IGC_LOG=" + out + "\\", "/WIN=0"}, TrackResult(Flight(), TrackLogSource::kGarmin));
  EXPECT_EQ(runner->exitCode(), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 35);
  ASSERT_FALSE(hiddenMessages.empty());
  EXPECT_EQ(hiddenMessages.back(), "Save IGC log: No free flight number available");
}

// OVERWRITE replaces a numbered file only when it holds this very flight
// (the same download again); another flight of the day keeps its number.
TEST_F(CommandLineRunTest, IgcFolderWithOverwriteReplacesOnlyTheSameFlight) {
  const std::string out = dir / "out/";
  fs::create_directories(out);
  WriteText(out + "2010-05-05-xkl-000-01.igc", "the morning flight");
  Run({"/GPS=GARMIN", "/IGC_LOG=" + out, "/WIN=0", "/OVERWRITE"}, TrackResult(Flight(), TrackLogSource::kGarmin));
  EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
  EXPECT_EQ(Read(out + "2010-05-05-xkl-000-01.igc"), "the morning flight");
  const std::string second = Read(out + "2010-05-05-xkl-000-02.igc");
  ASSERT_FALSE(second.empty());
  NextRun();

  // The same flight again, with a changed last fix: number 2 is replaced.
  std::vector<TrackPoint> again = Flight(25);
  Run({"/GPS=GARMIN", "/IGC_LOG=" + out, "/WIN=0", "/OVERWRITE"}, TrackResult(again, TrackLogSource::kGarmin));
  EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
  EXPECT_NE(Read(out + "2010-05-05-xkl-000-02.igc"), second);
  EXPECT_NE(report.str().find("25 positions written"), std::string::npos) << report.str();
  EXPECT_FALSE(fs::exists(out + "2010-05-05-xkl-000-03.igc"));
  NextRun();

  // A later flight the same day, from the same recorder: a new number.
  std::vector<TrackPoint> later = Flight();
  for (TrackPoint& p : later) p.time += 3 * 3600;
  Run({"/GPS=GARMIN", "/IGC_LOG=" + out, "/WIN=0", "/OVERWRITE"}, TrackResult(later, TrackLogSource::kGarmin));
  EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
  EXPECT_TRUE(fs::exists(out + "2010-05-05-xkl-000-03.igc"));
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);
}

TEST_F(CommandLineRunTest, ExistingFileIsLeftAloneWithoutOverwrite) {
  for (const char* keyword : {"/IGC_LOG=", "/KML_LOG="}) {
    const std::string path = dir / (std::string(keyword).substr(1, 3) + "-$date.out");
    const std::string named = dir / (std::string(keyword).substr(1, 3) + "-20100505.out");
    WriteText(named, "precious");
    hiddenMessages.clear();
    Run({"/GPS=GARMIN", keyword + path, "/WIN=0"}, TrackResult(Flight(), TrackLogSource::kGarmin));
    EXPECT_EQ(runner->exitCode(), 1) << keyword;
    EXPECT_EQ(Read(named), "precious") << keyword;
    EXPECT_TRUE(ui.MessageTexts().empty()) << "a hidden run shows nothing";
    // What happened, not the window's question.
    ASSERT_FALSE(hiddenMessages.empty());
    EXPECT_NE(hiddenMessages.back().find(named + " exists, not replaced; use /OVERWRITE"), std::string::npos)
        << hiddenMessages.back();
    EXPECT_EQ(::testing::PrintToString(hiddenMessages).find("overwrite ?"), std::string::npos);
    NextRun();

    Run({"/GPS=GARMIN", keyword + path, "/WIN=0", "/OVERWRITE"}, TrackResult(Flight(), TrackLogSource::kGarmin));
    EXPECT_EQ(runner->exitCode(), 0) << keyword << ::testing::PrintToString(hiddenMessages);
    EXPECT_NE(Read(named), "precious") << keyword;
    NextRun();
  }
}

TEST_F(CommandLineRunTest, KmlNameKeepsBlanksAndGetsTheDate) {
  Run({"/GPS=IQCOMPEO", "/KML_LOG=" + (dir / "my flight $date.kml"), "/WIN=0", "/EXIT"},
      TrackResult(Flight(), TrackLogSource::kFlytec));
  EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
  const std::string text = Read(dir / "my flight 20100505.kml");
  EXPECT_NE(text.find("<Folder>"), std::string::npos);
  EXPECT_NE(text.find("FsInfo"), std::string::npos);
  EXPECT_EQ(transfers.started.at(0).request.protocol, ProtocolType::kFlytec);
}

TEST_F(CommandLineRunTest, FailuresEndWithExitCodeOne) {
  // The transfer fails.
  Run({"/GPS=GARMIN", "/KML_LOG=" + (dir / "a.kml"), "/WIN=0", "/EXIT"}, TransferResult::Failure());
  EXPECT_EQ(runner->exitCode(), 1);
  EXPECT_EQ(endedWith, 1);
  EXPECT_FALSE(fs::exists(dir / "a.kml"));
  NextRun();
  // An empty track.
  Run({"/GPS=GARMIN", "/KML_LOG=" + (dir / "a.kml"), "/WIN=0"}, TrackResult({}, TrackLogSource::kGarmin));
  EXPECT_EQ(runner->exitCode(), 1);
  EXPECT_EQ(hiddenMessages.back(), "Save log for Aerodiary: No positions");
  NextRun();
  // The start is refused.
  transfers.startResult = -1;
  Run({"/GPS=GARMIN", "/IGC_LOG=" + (dir / "a.igc"), "/WIN=0", "/EXIT"}, std::nullopt);
  EXPECT_EQ(startResult, -1);
  EXPECT_TRUE(runner->done());
  EXPECT_EQ(runner->exitCode(), 1);
  NextRun();
  // An operation this build does not carry out.
  Run({"/GPS=GARMIN", "/OZI_LOG=" + (dir / "w.plt"), "/WIN=0"}, std::nullopt);
  EXPECT_EQ(startResult, -1);
  EXPECT_EQ(runner->exitCode(), 1);
  EXPECT_EQ(hiddenMessages.back(), "Command line: Operation not available in this build");
}

TEST_F(CommandLineRunTest, ReadLogByExtension) {
  struct Case {
    std::string name;
    int exitCode;
    std::string message;
  };
  WriteText(dir / "a.igc", "AXKL000\r\nHFDTE050510\r\nB1100004714567N00800123EA0100001200\r\n"
                           "B1100054714667N00800223EA0100501250\r\n");
  const std::vector<Case> cases = {
      {dir / "a.igc", 0, ""},
      {dir / "missing.igc", 1, ""},
      {dir / "a.gpx", 1, "Read track log file: Operation not available in this build"},
      {dir / "a.xyz", 1, "Read track log file: Unsupported track log file extension"},
      {dir / "noext", 1, "Read track log file: Missing track log file extension"},
  };
  for (const Case& c : cases) {
    hiddenMessages.clear();
    Run({"/RD_LOG=" + c.name, "/WIN=0"}, std::nullopt);
    EXPECT_TRUE(runner->done());
    EXPECT_EQ(runner->exitCode(), c.exitCode) << c.name;
    if (!c.message.empty()) {
      ASSERT_FALSE(hiddenMessages.empty()) << c.name;
      EXPECT_EQ(hiddenMessages.back(), c.message);
    }
    NextRun();
  }
  Run({"/RD_LOG=" + (dir / "a.igc"), "/WIN=0"}, std::nullopt);
  EXPECT_EQ(app.trackLog.count(), 2);
  EXPECT_NE(report.str().find("2 positions read (Signature ignored)"), std::string::npos);
}

class NotifyEnvironment {
 public:
  explicit NotifyEnvironment(const std::string& folder) {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  }
  ~NotifyEnvironment() {
    if (saved_) {
      ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(CommandLineRunTest, NotifyMessagesArriveInOrderWithTheSessionTag) {
  NotifyEnvironment env(dir.str());
  NotifyListener listener;
  ASSERT_FALSE(listener.Listen("station1").has_value());
  std::vector<NotifyMessage> received;
  std::thread reader([&] { listener.ServeOne([&](const NotifyMessage& m) { received.push_back(m); }); });
  Run({"/GPS=GARMIN", "/KML_LOG=" + (dir / "n.kml"), "/WIN=0", "/NOTIFY=station1", "/SESSION=42", "/SENDLOG=10"},
      std::nullopt);
  ASSERT_EQ(transfers.started.size(), 1u);
  const TransferCallbacks& cb = transfers.started[0].callbacks;
  for (uint32_t t : {0u, 5u, 10u, 12u, 20u}) cb.notifyPosition(Point(Day() + t, 12345));
  cb.notify("Progress 3/?");
  Deliver(TrackResult(Flight(), TrackLogSource::kGarmin));
  ui.RunPosted();
  runner.reset();  // closes the channel
  reader.join();
  std::vector<std::string> texts;
  for (const NotifyMessage& m : received) {
    EXPECT_EQ(m.tag, 42u);
    texts.push_back(m.text);
  }
  const std::vector<std::string> expected = {"Transfer started",
                                             "Pos=47.250000,8.000000,1235",
                                             "Pos=47.250000,8.000000,1235",
                                             "Pos=47.250000,8.000000,1235",
                                             "Progress 3/?",
                                             "Transfer completed",
                                             "20 positions written"};
  EXPECT_EQ(texts, expected);
}

TEST(CommandLineNotify, NoListenerIsNoError) {
  NotifySender sender;
  EXPECT_FALSE(sender.Connect("nobody-listens-here-" + std::to_string(::getpid())));
  sender.Send(1, "dropped");  // must not fail or block
  EXPECT_FALSE(sender.connected());
}

TEST(CommandLineNotify, RecordsRoundTrip) {
  const std::vector<std::pair<uint32_t, std::string>> cases = {
      {0, ""}, {42, "Transfer started"}, {4294967295u, "Pilot [3] Anna Bell"}, {7, "a b  c"}};
  for (const auto& [tag, text] : cases) {
    const auto decoded = DecodeNotifyMessage(EncodeNotifyMessage(tag, text));
    ASSERT_TRUE(decoded.has_value()) << text;
    EXPECT_EQ(decoded->tag, tag);
    EXPECT_EQ(decoded->text, text);
  }
  for (const char* bad : {"", " text", "12", "x1 text", "99999999999 text"})
    EXPECT_FALSE(DecodeNotifyMessage(bad).has_value()) << bad;
}

}  // namespace
}  // namespace skylode::test
