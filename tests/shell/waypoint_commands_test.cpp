// The waypoint and GPX commands of the File menu through the scripted UI:
// Save wpts. As in every format of its list, Open wpts. by the file's first
// bytes, the GPX rows of Save log As and Open log, the airspaces as GPX, and
// the name rule of the command line's waypoint uploads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app_fixture.h"
#include "formats/file_io.h"
#include "formats/gpx_reader.h"
#include "formats/gpx_writer.h"
#include "formats/waypoint_files.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "shell/command_line/waypoint_steps.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/waypoint_commands.h"

namespace skylode::test {
namespace {

std::string Slurp(const std::string& path) {
  Result<std::string> text = ReadWholeFile(path);
  return text.ok() ? std::move(*text) : std::string();
}

size_t Count(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

uint32_t At(int hour, int minute, int second) {
  return *CalendarToTime(CalendarTime{2024, 6, 15, static_cast<uint16_t>(hour), static_cast<uint16_t>(minute),
                                      static_cast<uint16_t>(second), 0});
}

Waypoint MakeWaypoint(const std::string& id, const std::string& name, double lat, double lon, int32_t height) {
  Waypoint w;
  w.id = id;
  w.name = name;
  w.latitude = *DegreesToLatitude(lat);
  w.longitude = *DegreesToLongitude(lon);
  w.height = height;
  w.time = At(10, 0, 0);
  w.symbol = kDefaultWaypointSymbol;
  return w;
}

class WaypointCommandsFileTest : public AppFixture {
 protected:
  void SetUp() override {
    RegisterWaypointCommands(app);
    app.waypoints.items = {MakeWaypoint("FORCLA", "FORCLAZ TAKE-OFF", 45.8129, 6.2459, 1250),
                           MakeWaypoint("DOUSS", "DOUSSARD LANDING", 45.7780, 6.2210, 450),
                           MakeWaypoint("PLANF", "PLANFAIT", 45.8640, 6.2010, 1140)};
    app.SetViewMode(ViewMode::kWaypoints, true);
    ui.selection[ViewMode::kWaypoints] = {0, 1, 2};
  }
  void AnswerSave(const std::string& path, int filter) { ui.saveAnswers.push_back(FileAnswer{path, filter}); }
  void AnswerOpen(const std::string& path, int filter = 1) { ui.openAnswers.push_back(FileAnswer{path, filter}); }
  std::vector<std::string> Ids() const {
    std::vector<std::string> ids;
    for (const Waypoint& w : app.waypoints.items) ids.push_back(w.id);
    return ids;
  }
};

// Every row of the export list writes its own format under its own
// extension, and the file reads back as the same waypoints. The row's
// "All files" twin writes the same format under the name as typed.
TEST_F(WaypointCommandsFileTest, SaveWaypointsAsWritesEveryFormatThatReadsBack) {
  ui.selection[ViewMode::kWaypoints] = {2, 0, 2};  // the list's order is kept, each once
  const struct {
    const char* row;
    int filter;
    const char* file;  // as written
    bool names;        // the format carries the description
  } cases[] = {
      {"Ozi", 1, "w.wpt", true},
      {"UTM", 2, "u.wpt", true},
      {"Geographical", 3, "g.wpt", true},
      {"MapSource", 4, "m.mps", true},
      {"SeeYou", 5, "s.cup", true},
      {"GPX", 6, "x.gpx", true},
      {"GoogleEarth", 7, "k.kml", true},
      {"WinPilot", 8, "p.dat", false},  // the name is cut to 12 characters
      {"Ozi, all files", 9, "typed.txt", true},
      {"GPX, all files", 14, "typed", true},
      {"MapSource, all files", 12, "typed.bin", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    const std::string file = dir / c.file;
    const std::string typed = c.filter <= 8 ? file.substr(0, file.rfind('.')) : file;
    AnswerSave(typed, c.filter);
    app.RunCommand(cmd::kSaveWaypointsAs);
    ASSERT_TRUE(std::filesystem::exists(file)) << ::testing::PrintToString(ui.MessageTexts());
    EXPECT_EQ(ui.statusLines.back(), "2 waypoints written");
    EXPECT_EQ(ui.productLines.back(), "File written");
    EXPECT_EQ(settings.Text(SettingId::kWaypointDir), dir.str());
    // The row is kept, whichever of its two filters was used.
    EXPECT_EQ(settings.Number(SettingId::kWptExportExt), (c.filter - 1) % 8 + 1);

    WaypointReadOptions options;
    Result<WaypointList> back = ReadWaypointText(Slurp(file), options);
    ASSERT_TRUE(back.ok()) << back.error().Describe();
    ASSERT_EQ(back->items.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      const Waypoint& want = app.waypoints.items[i == 0 ? 0 : 2];
      const Waypoint& got = back->items[i];
      EXPECT_EQ(got.id, want.id);
      if (c.names) {
        EXPECT_EQ(got.name, want.name);
      }
      EXPECT_NEAR(SemicirclesToDegrees(got.latitude), SemicirclesToDegrees(want.latitude), 1e-4);
      EXPECT_NEAR(SemicirclesToDegrees(got.longitude), SemicirclesToDegrees(want.longitude), 1e-4);
      EXPECT_NEAR(got.height, want.height, 1);
    }
  }
  EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.MessageTexts());
}

TEST_F(WaypointCommandsFileTest, SaveWaypointsAsRefusesAndAsks) {
  // An existing file is replaced only after OK.
  WriteText(dir / "old.cup", "kept");
  AnswerSave(dir / "old", 5);
  app.RunCommand(cmd::kSaveWaypointsAs);  // Cancel by default
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"File already exists, overwrite ?"});
  EXPECT_EQ(Slurp(dir / "old.cup"), "kept");
  ui.messageAnswers.push_back(MessageAnswer::kOk);
  AnswerSave(dir / "old", 5);
  app.RunCommand(cmd::kSaveWaypointsAs);
  EXPECT_TRUE(Slurp(dir / "old.cup").starts_with("Title,Code,Country"));

  // Nothing selected, nothing in the list.
  ui.messages.clear();
  ui.selection[ViewMode::kWaypoints] = {};
  app.RunCommand(cmd::kSaveWaypointsAs);
  app.waypoints.items.clear();
  app.RunCommand(cmd::kSaveWaypointsAs);
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"No waypoints selected", "No waypoints"}));
  EXPECT_TRUE(ui.saveAnswers.empty());
}

// The reader trusts the first bytes, not the name or the filter chosen.
TEST_F(WaypointCommandsFileTest, OpenWaypointsRecognisesTheFileByItsFirstBytes) {
  const struct {
    const char* what;
    const char* file;
    std::string text;
    std::vector<std::string> ids;
  } cases[] = {
      {"UTM under the Ozi name", "utm.wpt",
       "$FormatUTM\r\nFORCLA   32T   0284500   5077000   1250  FORCLAZ\r\n", {"FORCLA"}},
      {"SeeYou with a quoted comma and a byte-order mark", "task.cup",
       "\xEF\xBB\xBFname,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n"
       "\"Col, north\",COLN,FR,4548.774N,00614.754E,1200ft,1,,,,\r\n",
       {"COLN"}},
      {"GPX named .wpt", "gpx.wpt",
       "<?xml version=\"1.0\"?><gpx><wpt lat=\"45.8\" lon=\"6.2\"><name>GPX1</name></wpt></gpx>", {"GPX1"}},
      {"WinPilot", "wp.dat", "1,45:30.000N,006:10.000E,1200M,T,PEAK,Summit\r\n", {"PEAK"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    app.waypoints.items.clear();
    ui.messages.clear();
    WriteText(dir / c.file, c.text);
    AnswerOpen(dir / c.file);
    app.RunCommand(cmd::kOpenWaypoints);
    EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.MessageTexts());
    EXPECT_EQ(Ids(), c.ids);
    EXPECT_EQ(ui.statusLines.back(), std::to_string(c.ids.size()) + " waypoints read");
    EXPECT_EQ(ui.productLines.back(), dir / c.file);
  }
  // The 1200 ft of the SeeYou line are metres in the list.
  WriteText(dir / "ft.cup", std::string(cases[1].text));
  app.waypoints.items.clear();
  AnswerOpen(dir / "ft.cup");
  app.RunCommand(cmd::kOpenWaypoints);
  ASSERT_EQ(app.waypoints.count(), 1);
  EXPECT_EQ(app.waypoints.items[0].height, 366);
  EXPECT_EQ(app.waypoints.items[0].name, "Col, north");
}

TEST_F(WaypointCommandsFileTest, OpenWaypointsFailuresKeepTheList) {
  const std::vector<std::string> before = Ids();
  const struct {
    const char* what;
    const char* file;
    std::optional<std::string> text;  // none: no such file
    std::string message;
  } cases[] = {
      {"missing", "none.wpt", std::nullopt, ""},
      {"empty", "empty.wpt", "", "File is empty"},
      {"bad line", "bad.wpt", "$FormatGEO\r\nX N 99 00 00.00 E 008 00 00.00 0\r\n", "Bad line 2"},
      {"no waypoints", "none.cup", "Title,Code,Country,Latitude,Longitude,Elevation\r\n", "No waypoints found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.messages.clear();
    if (c.text) WriteText(dir / c.file, *c.text);
    AnswerOpen(dir / c.file);
    app.RunCommand(cmd::kOpenWaypoints);
    ASSERT_EQ(ui.messages.size(), 1u);
    if (!c.message.empty()) {
      EXPECT_EQ(ui.messages[0].text, c.message);
    }
    EXPECT_EQ(Ids(), before);
  }
}

class LogAsGpxTest : public WaypointCommandsFileTest {
 protected:
  void SetUp() override {
    WaypointCommandsFileTest::SetUp();
    for (int i = 0; i < 5; ++i) {
      TrackPoint p = Point(At(10, 0, 10 * i), 12345 + 10 * i, i == 0 ? kTrackPointStartsSegment : 0);
      p.latitude += 10000 * i;
      app.trackLog.points.push_back(p);
    }
    app.SetViewMode(ViewMode::kTrackLog, true);
    ui.selection[ViewMode::kTrackLog] = {0, 1, 2, 3, 4};
  }
};

// The GPX row of Save log As writes one segment that reads back.
TEST_F(LogAsGpxTest, SaveLogAsGpxWritesWhatReadsBack) {
  AnswerSave(dir / "track", 4);  // GPX, the fourth format
  app.RunCommand(cmd::kSaveLogAs);
  EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.MessageTexts());
  const std::string text = Slurp(dir / "track.gpx");
  EXPECT_EQ(Count(text, "<trkseg>"), 1u);
  EXPECT_NE(text.find("<ele>1234.5</ele>"), std::string::npos);
  Result<std::vector<TrackPoint>> back = ReadGpxTrack(text);
  ASSERT_TRUE(back.ok()) << back.error().Describe();
  ASSERT_EQ(back->size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ((*back)[i].time, app.trackLog.points[i].time);
    EXPECT_EQ((*back)[i].gpsHeight, app.trackLog.points[i].gpsHeight);
  }
  EXPECT_TRUE(app.trackLog.saved);
  EXPECT_EQ(ui.statusLines.back(), "5 positions written");
  EXPECT_EQ(ui.productLines.back(), dir / "track.gpx");
  EXPECT_EQ(settings.Number(SettingId::kLogExportExt), 4);
  EXPECT_EQ(settings.Text(SettingId::kTrackLogDir), dir.str());
}

// A GPX file of several segments offers them by their first times; the one
// chosen becomes the log, Cancel keeps the old one.
TEST_F(LogAsGpxTest, OpenLogOffersTheSegmentsOfAGpxFile) {
  std::string text =
      "<?xml version=\"1.0\"?>\n<gpx><trk><trkseg>\n"
      "<trkpt lat=\"45.8\" lon=\"6.2\"><ele>1000</ele><time>2024-06-15T09:00:00Z</time></trkpt>\n"
      "<trkpt lat=\"45.81\" lon=\"6.2\"><ele>1010</ele><time>2024-06-15T09:00:10Z</time></trkpt>\n"
      "</trkseg><trkseg>\n"
      "<trkpt lat=\"45.9\" lon=\"6.3\"><ele>900</ele><time>2024-06-15T14:00:00+02:00</time></trkpt>\n"
      "</trkseg></trk></gpx>\n";
  WriteText(dir / "two.gpx", text);
  app.trackLog.saved = true;
  ui.trackAnswers.push_back(std::nullopt);
  EXPECT_EQ(OpenGpxTrackLog(app, dir / "two.gpx"), -1);
  ASSERT_EQ(ui.trackRequests.size(), 1u);
  EXPECT_EQ(ui.trackRequests[0].entries,
            (std::vector<std::string>{"2024-06-15   09:00:00", "2024-06-15   12:00:00"}));
  EXPECT_EQ(app.trackLog.count(), 5);
  EXPECT_TRUE(ui.messages.empty());

  ui.trackAnswers.push_back(std::vector<int>{1});
  EXPECT_EQ(OpenGpxTrackLog(app, dir / "two.gpx"), 0);
  ASSERT_EQ(app.trackLog.count(), 1);
  EXPECT_EQ(app.trackLog.points[0].time, At(12, 0, 0));
  EXPECT_EQ(app.trackLog.points[0].gpsHeight, 9000);
  EXPECT_EQ(ui.statusLines.back(), "1 positions read");
}

// The selected airspaces, each walked into a closed line of points, with
// the ceiling as the height and the floor as the depth of every point.
TEST_F(WaypointCommandsFileTest, WriteCtrGpxExpandsTheSelectedAreas) {
  CtrArea circle;
  circle.name = "CTR <Z> & \"T\"";
  circle.ceiling = "2500 ft";
  circle.floor = "GND";
  CtrSegment c;
  c.kind = CtrSegmentKind::kCircle;
  c.centre = {47.0, 8.0};
  c.radius = 5000;
  circle.segments = {c};

  CtrArea triangle;
  triangle.name = "TRIANGLE";
  triangle.ceiling = "FL95";
  triangle.floor = "1500M";
  for (LatLonDegrees p : {LatLonDegrees{46.0, 7.0}, LatLonDegrees{46.1, 7.0}, LatLonDegrees{46.0, 7.1}}) {
    CtrSegment s;
    s.centre = p;
    triangle.segments.push_back(s);
  }
  CtrArea other = triangle;
  other.name = "NOT SELECTED";
  app.ctrs.areas = {circle, other, triangle};
  app.SetViewMode(ViewMode::kCtr, true);

  ui.selection[ViewMode::kCtr] = {};
  app.RunCommand(cmd::kWriteCtrGpx);
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"No CTR selected"});

  ui.messages.clear();
  ui.selection[ViewMode::kCtr] = {0, 2};
  AnswerSave(dir / "ctrs", 1);
  app.RunCommand(cmd::kWriteCtrGpx);
  EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.MessageTexts());
  const std::string text = Slurp(dir / "ctrs.gpx");
  EXPECT_EQ(Count(text, "<trk>"), 2u);
  EXPECT_NE(text.find("<name>CTR &lt;Z&gt; &amp; &quot;T&quot;</name>"), std::string::npos) << text;
  EXPECT_EQ(text.find("NOT SELECTED"), std::string::npos);
  // The circle: 37 points, the last the first again; 2500 ft over the ground.
  const size_t second = text.find("<trk>", text.find("<trk>") + 1);
  const std::string first = text.substr(0, second), rest = text.substr(second);
  EXPECT_EQ(Count(first, "<trkpt"), 37u);
  EXPECT_EQ(Count(first, "<ele>762.000000</ele>"), 37u);
  EXPECT_EQ(Count(first, "<gpxx:Depth>0.000000</gpxx:Depth>"), 37u);
  // The triangle is closed: its first point is added again. FL95 is
  // 9500 ft, 1500M are metres.
  EXPECT_EQ(Count(rest, "<trkpt"), 4u);
  EXPECT_EQ(Count(rest, "<ele>2895.600000</ele>"), 4u);
  EXPECT_EQ(Count(rest, "<gpxx:Depth>1500.000000</gpxx:Depth>"), 4u);
  EXPECT_EQ(Count(rest, "<trkpt lat=\"46.000000\" lon=\"7.000000\">"), 2u);
  EXPECT_EQ(ui.productLines.back(), dir / "ctrs.gpx");
}

// WR_WPT and WR_WPT2 for an instrument that shows names only: WR_WPT names
// a nameless waypoint by its ID, WR_WPT2 puts the ID in front of every name,
// cut to the longest name the list keeps.
TEST(WaypointUploadNames, IdsGoIntoTheNames) {
  const std::string longName(kWaypointNameMax, 'N');
  const struct {
    std::string id, name;
    std::string plain, idFirst;  // the name after WR_WPT, after WR_WPT2
  } cases[] = {
      {"FORCLA", "FORCLAZ", "FORCLAZ", "FORCLA FORCLAZ"},
      {"DOUSS", "", "DOUSS", "DOUSS"},
      {"ABC", longName, longName, "ABC " + longName.substr(0, kWaypointNameMax - 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    for (const bool idBeforeName : {false, true}) {
      WaypointList list;
      Waypoint w;
      w.id = c.id;
      w.name = c.name;
      list.items = {w};
      ApplyUploadNameRule(list, idBeforeName);
      EXPECT_EQ(list.items[0].name, idBeforeName ? c.idFirst : c.plain);
      EXPECT_EQ(list.items[0].id, c.id);
      EXPECT_LE(list.items[0].name.size(), kWaypointNameMax);
    }
  }
}

// Only the instruments whose row says so get the rule; the list is the file's
// otherwise.
TEST_F(WaypointCommandsFileTest, WaypointUploadShapesNamesForTheInstrument) {
  const std::string path = dir / "up.wpt";
  WaypointList file;
  file.items = {MakeWaypoint("FORCLA", "FORCLAZ", 45.8, 6.2, 1250), MakeWaypoint("DOUSS", "", 45.7, 6.2, 450)};
  WriteText(path, BuildOziWaypointFile(file));
  const struct {
    std::string_view gps;
    CmdOperation operation;
    std::vector<std::string> names;
  } cases[] = {
      {"IQCOMPEO", CmdOperation::kWriteWaypoints2, {"FORCLA FORCLAZ", "DOUSS"}},
      {"IQCOMPEO", CmdOperation::kWriteWaypoints, {"FORCLAZ", "DOUSS"}},
      {"GARMIN", CmdOperation::kWriteWaypoints2, {"FORCLAZ", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.gps));
    CmdRun run;
    run.gpsName = c.gps;
    run.operation = c.operation;
    run.fileName = path;
    ASSERT_FALSE(PrepareWaypointUpload(app, run).has_value());
    std::vector<std::string> names;
    for (const Waypoint& w : app.waypoints.items) names.push_back(w.name);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(ui.statusLines.back(), "2 waypoints read");
  }
  CmdRun missing;
  missing.gpsName = "IQCOMPEO";
  missing.operation = CmdOperation::kWriteWaypoints2;
  missing.fileName = dir / "missing.wpt";
  const auto failure = PrepareWaypointUpload(app, missing);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->text, "File not read: " + missing.fileName);
}

}  // namespace
}  // namespace skylode::test
