// What a command-line run does after the download: the file names, the
// exists rules, the flight numbers of the folder form, the exit code and the
// notify messages, with transfers the test delivers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
    app.competition = CompetitionState{};
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
  // A hidden run describes the flight as the window's save does.
  EXPECT_NE(text.find("Contest score        XContest: "), std::string::npos) << text;
  EXPECT_NE(text.find("Contest score        FFVL: "), std::string::npos);
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
  // A check-in with nowhere to put the files is refused before the download.
  transfers.startResult = 0;
  const size_t started = transfers.started.size();
  Run({"/GPS=GARMIN", "/COMP_LOG=KML", "/WIN=0"}, std::nullopt);
  EXPECT_EQ(startResult, -1);
  EXPECT_EQ(runner->exitCode(), 1);
  EXPECT_EQ(transfers.started.size(), started);
  EXPECT_EQ(hiddenMessages.back(), "Save log for competition: No competition output folder");
}

TEST_F(CommandLineRunTest, ReadLogByExtension) {
  struct Case {
    std::string name;
    int exitCode;
    std::string message;
  };
  WriteText(dir / "a.igc", "AXKL000\r\nHFDTE050510\r\nB1100004714567N00800123EA0100001200\r\n"
                           "B1100054714667N00800223EA0100501250\r\n");
  // Two segments: a hidden run asks nobody and takes the first.
  WriteText(dir / "a.gpx",
            "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\"><trk>"
            "<trkseg><trkpt lat=\"47.1\" lon=\"8.1\"><ele>1000</ele><time>2010-05-05T11:00:00Z</time></trkpt>"
            "<trkpt lat=\"47.2\" lon=\"8.2\"><ele>1010</ele><time>2010-05-05T11:00:05Z</time></trkpt>"
            "<trkpt lat=\"47.3\" lon=\"8.3\"><ele>1020</ele><time>2010-05-05T11:00:10Z</time></trkpt></trkseg>"
            "<trkseg><trkpt lat=\"46.0\" lon=\"7.0\"><ele>900</ele><time>2010-05-05T12:00:00Z</time></trkpt></trkseg>"
            "</trk></gpx>\n");
  WriteText(dir / "bad.gpx", "<gpx><trk><trkseg><trkpt lat=\"x\"");
  const std::vector<Case> cases = {
      {dir / "a.igc", 0, ""},
      {dir / "missing.igc", 1, ""},
      {dir / "a.gpx", 0, ""},
      {dir / "bad.gpx", 1, ""},
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
  Run({"/RD_LOG=" + (dir / "a.gpx"), "/WIN=0"}, std::nullopt);
  EXPECT_EQ(app.trackLog.count(), 3);
  NextRun();
  Run({"/RD_LOG=" + (dir / "a.igc"), "/WIN=0"}, std::nullopt);
  EXPECT_EQ(app.trackLog.count(), 2);
  EXPECT_NE(report.str().find("2 positions read (Signature ignored)"), std::string::npos);
}

// A file whose last B record was cut off (a copy that stopped short) keeps
// every whole fix; reading it says so, as opening it in the window does.
TEST_F(CommandLineRunTest, ReadLogWarnsAboutACutOffLastFix) {
  WriteText(dir / "cut.igc", "AXKL000\r\nHFDTE050510\r\nB1100004714567N00800123EA0100001200\r\n"
                             "B1100054714667N00800223EA0100501250\r\nB11001047146");
  Run({"/RD_LOG=" + (dir / "cut.igc"), "/WIN=0"}, std::nullopt);
  EXPECT_EQ(runner->exitCode(), 0);
  EXPECT_EQ(app.trackLog.count(), 2);
  EXPECT_EQ(hiddenMessages,
            std::vector<std::string>{"Reading IGC log file: Last position cut off: Pos. error 9 on line 5"});
}

// IGC2KML runs with the person's settings and says what a download or an
// opened file says about the track; the track is converted all the same.
TEST_F(CommandLineRunTest, IgcToKmlTakesTheSettingsAndWarnsAsADownloadDoes) {
  settings.SetNumber(SettingId::kLoopFlightGap, 1234);
  // Out, across and back to the start: a closed loop.
  const std::string flight =
      "AXKL000\r\nHFDTE050510\r\n"
      "B1100004714000N00800000EA0100001200\r\n"
      "B1101004715000N00800000EA0101001210\r\n"
      "B1102004715000N00801500EA0102001220\r\n"
      "B1103004714000N00800000EA0103001230\r\n";
  const struct {
    const char* name;
    std::string text;
    size_t positions;
    std::string warnings;
  } cases[] = {
      {"whole", flight, 4, ""},
      {"backwards", flight + "B1102304714500N00800700EA0103501235\r\n", 5,
       "Analyze track: One or more points (the first at pos. 5) go backwards in time\n"},
      {"cut", flight + "B1104004714", 4,
       "Reading IGC log file: Last position cut off: Pos. error 9 on line 7\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string base = dir / c.name;
    WriteText(base + ".igc", c.text);
    CmdParseResult parsed = ParseCommandLine(std::vector<std::string>{"/IGC2KML=" + base + ".igc"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    std::ostringstream out, errors;
    EXPECT_EQ(ConvertIgcToKml(*parsed.run, settings, out, errors), 0) << errors.str();
    EXPECT_EQ(errors.str(), c.warnings);
    EXPECT_NE(out.str().find(std::to_string(c.positions) + " positions written"), std::string::npos) << out.str();
    const std::string kml = Read(base + ".kml");
    EXPECT_NE(kml.find("(max allowable gap 1234)"), std::string::npos) << kml;
    EXPECT_EQ(kml.find("(max allowable gap 800)"), std::string::npos);
  }
}

// A log of one fix (an instrument switched off right after its first fix)
// is a flight all the same: the download saves it as IGC and as KML, and
// IGC2KML converts the saved file; nothing is refused on one path and taken
// on another.
TEST_F(CommandLineRunTest, AOnePointTrackIsSavedAndConvertedAlike) {
  Run({"/GPS=GARMIN", "/IGC_LOG=" + (dir / "one.igc"), "/WIN=0"}, TrackResult(Flight(1), TrackLogSource::kGarmin));
  EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
  NextRun();
  Run({"/GPS=GARMIN", "/KML_LOG=" + (dir / "download.kml"), "/WIN=0"}, TrackResult(Flight(1), TrackLogSource::kGarmin));
  EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
  EXPECT_NE(Read(dir / "download.kml").find("<Folder>"), std::string::npos);

  CmdParseResult parsed = ParseCommandLine(std::vector<std::string>{"/IGC2KML=" + (dir / "one")});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  std::ostringstream out, errors;
  EXPECT_EQ(ConvertIgcToKml(*parsed.run, settings, out, errors), 0) << errors.str();
  EXPECT_EQ(errors.str(), "");
  EXPECT_NE(out.str().find("1 positions written"), std::string::npos) << out.str();
  EXPECT_NE(Read(dir / "one.kml").find("<Folder>"), std::string::npos);
}

TEST_F(CommandLineRunTest, AVisibleRunHandsOverOnEveryPath) {
  fs::create_directories(dir / "config");
  WriteText(dir / "config/settings.ini", "[Skylode]\r\nPortName=/dev/ttyUser\r\nCompMode=1\r\n");
  WriteText(dir / "a.igc", "AXKL000\r\nHFDTE050510\r\nB1100004714567N00800123EA0100001200\r\n");
  const struct {
    const char* what;
    std::vector<std::string> args;
    int startResult;  // of the transfer, when one is started
    bool delivered;
  } cases[] = {
      {"opened by double-click", {dir / "a.igc"}, 0, false},
      {"read log", {"/RD_LOG=" + (dir / "a.igc"), "/PORT=/dev/ttyRun"}, 0, false},
      {"check-in refused", {"/GPS=GARMIN", "/COMP_LOG=KML", "/PORT=/dev/ttyRun"}, 0, false},
      {"start refused", {"/GPS=GARMIN", "/KML_LOG=" + (dir / "r.kml"), "/PORT=/dev/ttyRun"}, -1, false},
      {"download", {"/GPS=GARMIN", "/KML_LOG=" + (dir / "k.kml"), "/PORT=/dev/ttyRun", "/NOSPLIT"}, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    transfers.startResult = c.startResult;
    Run(c.args, c.delivered ? std::optional(TrackResult(Flight(), TrackLogSource::kGarmin)) : std::nullopt);
    if (c.delivered) {
      ASSERT_EQ(transfers.started.size(), 1u);
      // The run worked with its own port and without the person's
      // competition mode.
      EXPECT_EQ(transfers.started[0].request.portName, "/dev/ttyRun");
      EXPECT_FALSE(transfers.started[0].request.settings.competitionMode);
    }
    EXPECT_TRUE(runner->done());
    // The window is the person's now: their settings and competition state.
    EXPECT_FALSE(app.commandLineRunActive());
    EXPECT_TRUE(app.settings().writable());
    EXPECT_EQ(app.settings().Text(SettingId::kPortName), "/dev/ttyUser");
    EXPECT_TRUE(app.competition.competitionMode);
    EXPECT_FALSE(endedWith.has_value());
    // A second end (a late transfer message) changes nothing.
    EXPECT_FALSE(runner->NextCommandLineStep(false));
    EXPECT_EQ(runner->exitCode(), c.startResult == 0 && std::string(c.what) != "check-in refused" ? 0 : 1);
    transfers.started.clear();
    NextRun();
  }
  app.Exit();
  EXPECT_NE(Read(dir / "config/settings.ini").find("PortName=/dev/ttyUser"), std::string::npos);
}

// A log of two flights: a person watching the run picks the flights to save,
// for the IGC file as for the KML; NOSPLIT or a hidden run saves them all.
TEST_F(CommandLineRunTest, AVisibleSaveOffersTheFlightsOfTheLog) {
  std::vector<TrackPoint> log = Flight(10);
  for (TrackPoint p : Flight(6)) {
    p.time += 4 * 3600;
    p.flags = 0;
    log.push_back(p);
  }
  auto positionsIn = [](const std::string& path) -> size_t {
    const Result<IgcParse> r = ReadIgcFile(path.substr(0, path.size() - 4));
    return r.ok() ? r->points.size() : 0;
  };
  const struct {
    const char* what;
    const char* keyword;
    const char* file;
    std::vector<std::string> extra;
    bool asked;
    size_t positions;  // read back from the IGC file
  } cases[] = {
      {"igc, visible", "/IGC_LOG=", "v.igc", {}, true, 6},
      {"igc, nosplit", "/IGC_LOG=", "n.igc", {"/NOSPLIT"}, false, 16},
      {"igc, hidden", "/IGC_LOG=", "h.igc", {"/WIN=0"}, false, 16},
      {"kml, visible", "/KML_LOG=", "v.kml", {}, true, 0},
      {"kml, nosplit", "/KML_LOG=", "n.kml", {"/NOSPLIT"}, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.splitRequests.clear();
    ui.splitAnswers = {std::vector<int>{0}};  // the top row: the newest flight
    std::vector<std::string> args = {"/GPS=GARMIN", c.keyword + (dir / c.file)};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    Run(args, TrackResult(log, TrackLogSource::kGarmin));
    EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
    ASSERT_EQ(ui.splitRequests.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(ui.splitRequests[0].entries.size(), 2u);
    }
    if (c.positions > 0) {
      EXPECT_EQ(positionsIn(dir / c.file), c.positions);
    }
    const std::string written = (c.asked ? "6" : "16") + std::string(" positions written");
    EXPECT_NE(report.str().find(written), std::string::npos) << report.str();
    report.str("");
    transfers.started.clear();
    NextRun();
  }
}

TEST_F(CommandLineRunTest, TheOutputFolderIsCheckedBeforeTheDownload) {
  WriteText(dir / "plain", "x");
  const struct {
    std::string value;
    std::string message;
  } cases[] = {
      {"/IGC_LOG=" + (dir / "missing/"), "Save IGC log: Output folder " + (dir / "missing/") + " does not exist"},
      {"/IGC_LOG=" + (dir / "missing/a.igc"), "Save IGC log: Output folder " + (dir / "missing") + " does not exist"},
      {"/KML_LOG=" + (dir / "missing/a.kml"),
       "Save log for Aerodiary: Output folder " + (dir / "missing") + " does not exist"},
      {"/KML_LOG=" + (dir / "plain/a.kml"), "Save log for Aerodiary: Output folder " + (dir / "plain") + " is not a folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    hiddenMessages.clear();
    Run({"/GPS=GARMIN", c.value, "/WIN=0", "/EXIT"}, std::nullopt);
    EXPECT_EQ(startResult, -1);
    EXPECT_TRUE(transfers.started.empty());
    EXPECT_EQ(runner->exitCode(), 1);
    EXPECT_EQ(hiddenMessages, std::vector<std::string>{c.message});
    NextRun();
  }
  // A folder that is there lets the download start.
  Run({"/GPS=GARMIN", "/IGC_LOG=" + dir.str() + "/", "/WIN=0"}, std::nullopt);
  EXPECT_EQ(startResult, 0);
  EXPECT_EQ(transfers.started.size(), 1u);
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

// A fix logged without a 3-D position carries a GPS height of 0: the calling
// program gets the stand-in the statistics take, from the last measured fix
// (reported or not) moved with the pressure height.
TEST_F(CommandLineRunTest, NotifiedPositionsNeverCarryAnUnmeasuredHeight) {
  NotifyEnvironment env(dir.str());
  NotifyListener listener;
  ASSERT_FALSE(listener.Listen("station2").has_value());
  std::vector<std::string> texts;
  std::thread reader([&] { listener.ServeOne([&](const NotifyMessage& m) { texts.push_back(m.text); }); });
  Run({"/GPS=GARMIN", "/KML_LOG=" + (dir / "n.kml"), "/WIN=0", "/NOTIFY=station2", "/SENDLOG=10"}, std::nullopt);
  ASSERT_EQ(transfers.started.size(), 1u);
  const TransferCallbacks& cb = transfers.started[0].callbacks;
  auto fix = [](uint32_t t, int32_t gps, int32_t baro, bool measured) {
    TrackPoint p = Point(Day() + t, gps, measured ? 0 : kTrackPointNoGpsHeight);
    p.baroHeight = baro;
    return p;
  };
  cb.notifyPosition(fix(0, 0, 1200, false));      // nothing measured yet: the pressure height
  cb.notifyPosition(fix(10, 12345, 1230, true));  // measured
  cb.notifyPosition(fix(15, 13000, 1250, true));  // not reported, still the last measured
  cb.notifyPosition(fix(20, 0, 1262, false));     // 1300 m + 12 m climbed
  cb.notifyPosition(fix(30, 0, 0, false));        // no pressure height: the last measured as it was
  runner.reset();  // closes the channel
  reader.join();
  const std::vector<std::string> expected = {"Transfer started", "Pos=47.250000,8.000000,1200",
                                             "Pos=47.250000,8.000000,1235", "Pos=47.250000,8.000000,1312",
                                             "Pos=47.250000,8.000000,1300"};
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

// A listener that took the connection's place in its backlog and never
// reads: what a stopped or stalled scoring program looks like.
class StalledListener {
 public:
  explicit StalledListener(const std::string& name) {
    fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = NotifySocketPath(name);
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(fd_, 1), 0);
  }
  ~StalledListener() { ::close(fd_); }

 private:
  int fd_ = -1;
};

TEST_F(CommandLineRunTest, AStalledListenerCostsTheRunOnlyItsTimeOut) {
  NotifyEnvironment env(dir.str());
  StalledListener stalled("stall");
  CmdParseResult parsed = ParseCommandLine(
      std::vector<std::string>{"/GPS=GARMIN", "/KML_LOG=" + (dir / "s.kml"), "/WIN=0", "/NOTIFY=stall", "/SENDLOG=0"});
  ASSERT_TRUE(parsed.ok());
  runner = std::make_unique<CommandLineRunner>(app, *parsed.run, report);
  runner->notifyLimits.timeout = std::chrono::milliseconds(300);
  const auto start = std::chrono::steady_clock::now();
  runner->Begin();
  app.Initialise();
  ASSERT_EQ(runner->RunCommandLine(), 0);
  // A long flight reported point by point.
  const TransferCallbacks& cb = transfers.started[0].callbacks;
  for (uint32_t t = 0; t < 40000; ++t) cb.notifyPosition(Point(Day() + t, 1000));
  Deliver(TrackResult(Flight(), TrackLogSource::kGarmin));
  ui.RunPosted();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(runner->done());
  EXPECT_EQ(runner->exitCode(), 0);
  EXPECT_TRUE(fs::exists(dir / "s.kml"));
  // Said once, with what was lost.
  size_t said = 0;
  for (const std::string& m : hiddenMessages) {
    if (m.rfind("Command line: Notify listener stall stopped reading: channel dropped, ", 0) == 0) ++said;
  }
  EXPECT_EQ(said, 1u) << ::testing::PrintToString(hiddenMessages);
}

TEST(CommandLineNotify, SendsNeverWaitAndTheChannelIsDroppedOnce) {
  TempDir dir;
  NotifyEnvironment env(dir.str());
  StalledListener stalled("stalled");
  NotifySender sender;
  std::vector<std::string> dropped;
  sender.onDropped = [&](std::string_view text) { dropped.emplace_back(text); };
  NotifyLimits limits;
  limits.timeout = std::chrono::milliseconds(200);
  ASSERT_TRUE(sender.Connect("stalled", limits));
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2000; ++i) sender.Send(1, "Pos=47.250000,8.000000,1235");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_TRUE(sender.connected());
  EXPECT_GT(sender.queued(), 0u);
  sender.Flush();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(sender.connected());
  sender.Send(1, "after the drop");
  sender.Flush();
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_NE(dropped[0].find("messages not sent"), std::string::npos) << dropped[0];

  // A queue that outgrows its bound drops the channel at once.
  NotifySender small;
  limits.maxQueued = 50;
  limits.timeout = std::chrono::seconds(60);
  dropped.clear();
  small.onDropped = [&](std::string_view text) { dropped.emplace_back(text); };
  ASSERT_TRUE(small.Connect("stalled", limits));
  for (int i = 0; i < 500; ++i) small.Send(2, "Progress 1/?");
  EXPECT_FALSE(small.connected());
  EXPECT_EQ(dropped.size(), 1u);
}

TEST(CommandLineNotify, OneStuckSenderHoldsUpNoOther) {
  TempDir dir;
  NotifyEnvironment env(dir.str());
  NotifyListener listener;
  ASSERT_FALSE(listener.Listen("station").has_value());
  std::vector<std::string> received;
  std::mutex mutex;
  std::thread serving([&] {
    listener.ServeOne([&](const NotifyMessage& m) {
      std::lock_guard lock(mutex);
      received.push_back(m.text);
    });
  });
  NotifySender stuck;
  ASSERT_TRUE(stuck.Connect("station"));
  stuck.Send(1, "stuck run started");
  {
    NotifySender other;
    ASSERT_TRUE(other.Connect("station"));
    other.Send(2, "other run finished");
  }  // closes: the first run to end
  serving.join();
  std::lock_guard lock(mutex);
  EXPECT_NE(std::find(received.begin(), received.end(), "other run finished"), received.end());
}

TEST(CommandLineNotify, ANameHeldByALiveListenerIsRefused) {
  TempDir dir;
  NotifyEnvironment env(dir.str());
  NotifyListener first;
  ASSERT_FALSE(first.Listen("scoring").has_value());
  NotifyListener second;
  const auto refused = second.Listen("scoring");
  ASSERT_TRUE(refused.has_value());
  EXPECT_NE(refused->find("in use"), std::string::npos) << *refused;
  {
    // A listener that holds the socket without our lock is just as alive.
    StalledListener other("other");
    NotifyListener third;
    EXPECT_TRUE(third.Listen("other").has_value());
  }
  // The socket of a listener that died is taken over.
  NotifyListener heir;
  EXPECT_FALSE(heir.Listen("other").has_value());
  std::string got;
  std::thread serving([&] { heir.ServeOne([&](const NotifyMessage& m) { got = m.text; }); });
  {
    NotifySender sender;
    ASSERT_TRUE(sender.Connect("other"));
    sender.Send(3, "reached the heir");
  }
  serving.join();
  EXPECT_EQ(got, "reached the heir");
}

TEST(CommandLineNotify, TheFallbackFolderMustBeOurOwnAndPrivate) {
  TempDir dir;
  const std::string made = dir / "made";
  EXPECT_FALSE(PrepareNotifyFolder(made, true).has_value());
  struct stat st;
  ASSERT_EQ(::stat(made.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  const std::string open = dir / "open";
  ::mkdir(open.c_str(), 0700);
  ::chmod(open.c_str(), 0777);
  const std::string link = dir / "link";
  ASSERT_EQ(::symlink(made.c_str(), link.c_str()), 0);
  const std::string file = dir / "file";
  WriteText(file, "x");
  const std::string foreign = dir / "foreign";
  ::mkdir(foreign.c_str(), 0700);
  const bool canGiveAway = ::chown(foreign.c_str(), ::getuid() + 1, static_cast<gid_t>(-1)) == 0;
  const struct {
    std::string path;
    std::string says;
  } refused[] = {
      {open, "open to other users"},
      {link, "is a link"},
      {file, "not a folder"},
      {foreign, "another user"},
  };
  for (const auto& c : refused) {
    if (c.path == foreign && !canGiveAway) continue;  // only root can hand a folder to someone else
    const auto text = PrepareNotifyFolder(c.path, true);
    ASSERT_TRUE(text.has_value()) << c.path;
    EXPECT_NE(text->find(c.says), std::string::npos) << *text;
  }
}

// WR_CTR reads the file, marks every area for the upload and starts it on
// the instrument's column; a file that does not parse starts nothing.
TEST_F(CommandLineRunTest, WriteCtrUploadsEveryAreaOfTheFile) {
  const std::string file = dir / "air.txt";
  WriteText(file, "AN A\r\nDP 47:00:00 N 8:00:00 E\r\nAN A\r\nV X=46:00:00 N 7:00:00 E\r\nDC 2\r\n");
  for (const char* gps : {"/GPS=IQCOMPEO", "/GPS=GARMIN"}) {
    transfers.started.clear();
    Run({gps, "/WR_CTR=" + file, "/WIN=0"}, TransferResult::Done());
    ASSERT_EQ(transfers.started.size(), 1u) << gps;
    const TransferRequest& req = transfers.started[0].request;
    EXPECT_EQ(req.access, AccessType::kUploadAirspaces);
    EXPECT_EQ(req.protocol, std::string(gps) == "/GPS=GARMIN" ? ProtocolType::kGarminSerial : ProtocolType::kFlytec);
    const CtrList& sent = std::get<CtrList>(req.input);
    ASSERT_EQ(sent.count(), 2);
    EXPECT_TRUE(sent.areas[0].selected && sent.areas[1].selected);
    // Equal names are fixed the way the window's default answer has it.
    EXPECT_EQ(sent.areas[1].name, "A(1)");
    EXPECT_EQ(endedWith, 0);
    NextRun();
  }
  transfers.started.clear();
  WriteText(file, "AN A\r\nDP 47:00:00 N\r\n");
  Run({"/GPS=IQCOMPEO", "/WR_CTR=" + file, "/WIN=0"}, std::nullopt);
  EXPECT_TRUE(transfers.started.empty());
  EXPECT_NE(startResult, 0);
  ASSERT_FALSE(hiddenMessages.empty());
  EXPECT_EQ(hiddenMessages.back(), "Parsing CTR buffer: Bad position format on line 2");
}

}  // namespace
}  // namespace skylode::test
