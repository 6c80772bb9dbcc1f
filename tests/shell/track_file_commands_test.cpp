// Open log and Save log As with the other track files, and the command
// line's OZI_LOG, MPS_LOG, RD_LOG and DAT2KML: what is written reads back,
// and a bad file is a message that leaves the loaded log as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app_fixture.h"
#include "formats/file_io.h"
#include "formats/track_files.h"
#include "records/calendar.h"
#include "shell/command_line/command_line.h"
#include "shell/command_line/command_line_run.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/kml_commands.h"
#include "shell/commands/track_file_commands.h"
#include "shell/commands/waypoint_commands.h"

namespace skylode::test {
namespace {

namespace fs = std::filesystem;

void Spit(const std::string& path, std::string_view bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string Slurp(const std::string& path) {
  Result<std::string> file = ReadWholeFile(path);
  return file.ok() ? std::move(*file) : std::string();
}

uint32_t Day() { return *CalendarToTime(CalendarTime{2010, 5, 5, 11, 0, 0, 0}); }

std::vector<TrackPoint> Flight(size_t count = 12) {
  std::vector<TrackPoint> points;
  for (size_t i = 0; i < count; ++i) {
    TrackPoint p;
    p.time = Day() + static_cast<uint32_t>(i) * 5;
    p.latitude = 560000000 + 20000 * static_cast<int32_t>(i);
    p.longitude = 95000000 + 15000 * static_cast<int32_t>(i);
    p.gpsHeight = 10000 + 50 * static_cast<int32_t>(i);
    p.baroHeight = 990 + static_cast<int32_t>(i);
    points.push_back(p);
  }
  points[0].flags = kTrackPointStartsSegment;
  return points;
}

// The old .dat file with three words a point, zone 32T.
std::string DatFile(uint32_t count) {
  std::vector<uint32_t> w = {0, 0, count, 0x80000000u | (32u << 8) | 'T'};
  for (uint32_t k = 0; k < count; ++k) {
    w.push_back(Day() + k * 5);
    w.push_back(500000 + k * 30);
    w.push_back(5150000 + k * 40);
  }
  uint32_t sum = 0;
  for (uint32_t x : w) sum += x;
  w.push_back(0u - sum);
  std::string bytes;
  for (uint32_t x : w)
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(x >> shift));
  return bytes;
}

class TrackFileCommandsTest : public AppFixture {
 protected:
  void SetUp() override {
    RegisterWaypointCommands(app);
    RegisterKmlCommands(app);
    Install(Flight());
  }
  void Install(std::vector<TrackPoint> points) {
    app.trackLog.points = std::move(points);
    app.trackLog.hasBaroHeight = true;
    app.trackLog.saved = true;
    ui.selection[ViewMode::kTrackLog].clear();
    for (int32_t i = 0; i < app.trackLog.count(); ++i) ui.selection[ViewMode::kTrackLog].push_back(i);
    app.SetViewMode(ViewMode::kTrackLog, true);
  }
  // Save log As's rows: Ozi, MapSource, TopNavigator, GPX, CSV; the filter
  // of a row with its pattern is row + 1.
  void SaveAs(const std::string& path, int row) {
    ui.saveAnswers.push_back(FileAnswer{path, row + 1});
    app.RunCommand(cmd::kSaveLogAs);
  }
  // Opens under the Open log row of the file's extension.
  void Open(const std::string& path) {
    constexpr const char* kRows[] = {".kml", ".plt", ".dat", ".tnc", ".mps", ".log", ".igc", ".gpx", ".csv"};
    int filter = 0;
    for (int i = 0; i < 9; ++i)
      if (path.ends_with(kRows[i])) filter = i + 1;
    ASSERT_NE(filter, 0) << path;
    ui.openAnswers.push_back(FileAnswer{path, filter});
    app.RunCommand(cmd::kOpenLog);
  }
};

TEST_F(TrackFileCommandsTest, SavedFilesOpenAgain) {
  struct Case {
    const char* name;
    int row;
    int32_t heightStep;  // decimetres the format keeps
  };
  const Case cases[] = {{"track.plt", 0, 2}, {"track.mps", 1, 0}, {"track.csv", 4, 5}};
  const std::vector<TrackPoint> flight = Flight();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Install(flight);
    ui.messages.clear();
    const std::string path = dir / c.name;
    SaveAs(path, c.row);
    ASSERT_TRUE(fs::exists(path)) << ::testing::PrintToString(ui.MessageTexts());
    EXPECT_EQ(ui.statusLines.back(), "12 positions written");

    Install(Flight(3));
    Open(path);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    ASSERT_EQ(app.trackLog.count(), 12);
    EXPECT_EQ(ui.statusLines.back(), "12 positions read");
    EXPECT_EQ(app.viewMode(), ViewMode::kTrackLog);
    for (size_t i = 0; i < flight.size(); ++i) {
      EXPECT_EQ(app.trackLog.points[i].time, flight[i].time);
      EXPECT_NEAR(app.trackLog.points[i].latitude, flight[i].latitude, 12);
      EXPECT_NEAR(app.trackLog.points[i].gpsHeight, flight[i].gpsHeight, c.heightStep);
    }
    // Only CSV carries barometric heights.
    EXPECT_EQ(app.trackLog.hasBaroHeight, std::string(c.name) == "track.csv");
  }
}

// A Top Navigator log of `points` positions (at most 30) in one block.
std::string TncFile(int points) {
  std::string text = "@TN01123400000026080200000000FF" + std::string(11, '0') + std::string(28, 'A') + "00" +
                     "000000\r\n113000000A5AC0\r\n";
  for (int i = 0; i < points; ++i) text += "0431BD00926700C800000000000000\r\n";
  return text + "@EOF\r\n";
}

TEST_F(TrackFileCommandsTest, BadFilesAreMessagesAndTheLogStays) {
  std::string dat = DatFile(3);
  dat[20] ^= 0x10;
  struct Case {
    const char* name;
    std::string bytes;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {"bad.plt", "OziExplorer Track Point File Version 2.1\r\nNAD27\r\n", "Decoding track log file",
       "Bad map datum line (2)"},
      {"bad.dat", dat, "Decoding track log file", "Checksum verification failed"},
      {"bad.mps", std::string("MsRcd\0\x02\0\0\0Di\0\x50\0\0\0T", 19), "Decoding MapSource file", "File format error at 0000000dh"},
      {"bad.log", "$PMGNTRK,4630.000,N,00715.000,E,01500,M,120000.00,A,,050510*00\r\n", "Decoding track log file",
       "Bad line 1"},
      {"bad.csv", "Time;Lat;Lon\r\n", "Read CSV track log file", "Could not determine items from header"},
      {"empty.csv", "", "Reading track log file", "File is empty"},
      {"cut.tnc", TncFile(3).substr(0, TncFile(3).size() - 6), "Reading Top Navigator Log File",
       "Missing end-of-file record"},
  };
  const std::vector<TrackPoint> before = app.trackLog.points;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / c.name;
    Spit(path, c.bytes);
    ui.messages.clear();
    Open(path);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, c.caption);
    EXPECT_EQ(ui.messages[0].text, c.text);
    EXPECT_EQ(app.trackLog.points, before);
  }
}

TEST_F(TrackFileCommandsTest, OpenLogOffersTheNineFormats) {
  Spit(dir / "a.dat", DatFile(4));
  Open(dir / "a.dat");
  ASSERT_FALSE(ui.fileQuestions.empty());
  const auto& filters = ui.fileQuestions.back().filters;
  ASSERT_EQ(filters.size(), 18u);
  const char* names[] = {"Aerodiary files (*.kml)",   "Ozi files (*.plt)",      "Aerodiary (old) files (*.dat)",
                         "TopNavigator files (*.tnc)", "MapSource files (*.mps)", "Magellan files (*.log)",
                         "IGC files (*.igc)",          "GPX files (*.gpx)",       "CSV files (*.csv)"};
  for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(filters[i].name, names[i]);
  EXPECT_EQ(app.trackLog.count(), 4);
  EXPECT_EQ(ui.statusLines.back(), "4 positions read");
}

// --- The command line ----------------------------------------------------------------------

class TrackFileCommandLineTest : public AppFixture {
 protected:
  void Run(const std::vector<std::string>& args, std::optional<TransferResult> result) {
    CmdParseResult parsed = ParseCommandLine(args);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    runner = std::make_unique<CommandLineRunner>(app, *parsed.run, report);
    runner->Begin();
    app.Initialise();
    if (runner->RunCommandLine() == 0 && result && !transfers.started.empty()) {
      Deliver(std::move(*result));
      ui.RunPosted();
    }
  }
  void NextRun() {
    app.EndCommandLineRun();
    ClearTrackLog(app.trackLog, app.rawIgc);
    hiddenMessages.clear();
  }
  std::ostringstream report;
  std::unique_ptr<CommandLineRunner> runner;
};

TEST_F(TrackFileCommandLineTest, DownloadSavedAsOziOrMapSource) {
  const std::vector<TrackPoint> flight = Flight();
  struct Case {
    const char* keyword;
    const char* name;
  };
  for (const Case& c : {Case{"/OZI_LOG=", "flight-$date.plt"}, Case{"/MPS_LOG=", "flight-$date.mps"}}) {
    SCOPED_TRACE(c.keyword);
    Run({"/GPS=GARMIN", c.keyword + (dir / c.name), "/WIN=0"}, TrackResult(flight, TrackLogSource::kGarmin));
    EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
    std::string path = dir / c.name;
    path.replace(path.find("$date"), 5, "20100505");
    const std::string bytes = Slurp(path);
    const std::span<const uint8_t> raw(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    Result<std::vector<TrackPoint>> read =
        std::string(c.keyword) == "/OZI_LOG=" ? ReadOziTrack(bytes) : ReadMapSourceTrack(raw);
    ASSERT_TRUE(read.ok()) << read.error().text;
    EXPECT_EQ(read->size(), flight.size());
    EXPECT_NE(report.str().find("12 positions written"), std::string::npos);
    NextRun();

    // Again: the file exists, and a hidden run does not replace it unasked.
    Run({"/GPS=GARMIN", c.keyword + (dir / c.name), "/WIN=0"}, TrackResult(Flight(3), TrackLogSource::kGarmin));
    EXPECT_EQ(runner->exitCode(), 1);
    EXPECT_EQ(Slurp(path), bytes);
    NextRun();
    Run({"/GPS=GARMIN", c.keyword + (dir / c.name), "/WIN=0", "/OVERWRITE"},
        TrackResult(Flight(3), TrackLogSource::kGarmin));
    EXPECT_EQ(runner->exitCode(), 0);
    EXPECT_NE(Slurp(path), bytes);
    NextRun();
  }
  Run({"/GPS=GARMIN", "/OZI_LOG=" + (dir / "none.plt"), "/WIN=0"}, TrackResult({}, TrackLogSource::kGarmin));
  EXPECT_EQ(runner->exitCode(), 1);
  EXPECT_EQ(hiddenMessages.back(), "Save track log: No positions");
}

TEST_F(TrackFileCommandLineTest, ReadLogTakesTheOtherFormats) {
  Spit(dir / "a.csv", BuildCsvTrack(Flight(), true));
  Spit(dir / "a.dat", DatFile(5));
  Spit(dir / "a.tnc", TncFile(7));
  Spit(dir / "bad.csv", "Date,Longitude\r\n");
  for (const auto& [name, count] : {std::pair{"a.csv", 12}, std::pair{"a.dat", 5}, std::pair{"a.tnc", 7}}) {
    Run({"/RD_LOG=" + (dir / name), "/WIN=0"}, std::nullopt);
    EXPECT_EQ(runner->exitCode(), 0) << ::testing::PrintToString(hiddenMessages);
    EXPECT_EQ(app.trackLog.count(), count);
    NextRun();
  }
  app.trackLog.points = Flight(2);
  Run({"/RD_LOG=" + (dir / "bad.csv"), "/WIN=0"}, std::nullopt);
  EXPECT_EQ(runner->exitCode(), 1);
  EXPECT_EQ(hiddenMessages.back(), "Read CSV track log file: Could not determine items from header");
  EXPECT_EQ(app.trackLog.count(), 2);
}

TEST_F(TrackFileCommandLineTest, DatToKml) {
  Spit(dir / "flight.dat", DatFile(20));
  std::string bad = DatFile(20);
  bad.resize(bad.size() - 4);
  Spit(dir / "short.dat", bad);
  struct Case {
    std::string value;
    int code;
    const char* error;
  };
  const Case cases[] = {
      {dir / "flight", 0, ""},
      {dir / "flight.dat", 1, "Write GoogleEarth file: "},  // the .kml exists now and is not replaced unasked
      {dir / "short", 1, "Decoding track log file: File size not consistent with track positions"},
      {dir / "missing", 1, "Error opening .dat Log File: "},
      {std::string(259, 'a'), 1, "Reading .dat log file: File name too long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    CmdParseResult parsed = ParseCommandLine(std::vector<std::string>{"/DAT2KML=" + c.value});
    ASSERT_TRUE(parsed.ok());
    std::ostringstream out, errors;
    EXPECT_EQ(ConvertDatToKml(*parsed.run, settings, out, errors), c.code);
    EXPECT_EQ(errors.str().substr(0, std::string(c.error).size()), c.error) << errors.str();
  }
  EXPECT_NE(Slurp(dir / "flight.kml").find("<LineString>"), std::string::npos);
}

}  // namespace
}  // namespace skylode::test
