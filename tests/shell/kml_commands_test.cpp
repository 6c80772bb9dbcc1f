// The KML commands through the scripted UI: saving for the flight log, the
// existing-file choices, opening .kml tracks and waypoints, and the file of
// the all-tracks download.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app_fixture.h"
#include "access/dispatcher.h"
#include "access/transfer_context.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/file_messages.h"
#include "shell/commands/kml_commands.h"
#include "records/calendar.h"
#include "family_commands.h"

namespace skylode::test {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const std::string& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

size_t Count(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

constexpr uint32_t kStart = 900000000;  // a real UTC time, so the file gets times with 'Z'

class KmlCommandsTest : public AppFixture {
 protected:
  void SetUp() override {
    RegisterKmlCommands(app);
    // A short climb heading north-east: distances and heights that differ.
    for (int i = 0; i < 12; ++i) {
      TrackPoint p = Point(kStart + 10 * static_cast<uint32_t>(i), 10000 + 50 * i);
      p.latitude = 560000000 + 20000 * i;
      p.longitude = 95000000 + 15000 * i;
      p.baroHeight = 990 + i;
      app.trackLog.points.push_back(p);
    }
    app.trackLog.gRecordValid = true;
    app.trackLog.sourceClassFlag = true;
    app.trackLog.hasBaroHeight = true;
    ui.selection[ViewMode::kTrackLog].clear();
    for (int32_t i = 0; i < 12; ++i) ui.selection[ViewMode::kTrackLog].push_back(i);
  }

  void AnswerSave(const std::string& path) { ui.saveAnswers.push_back(FileAnswer{path, 1}); }
  void AnswerOpen(const std::string& path) { ui.openAnswers.push_back(FileAnswer{path, 1}); }

  // Writes the current selection to `path` through the Save log command.
  void SaveLogTo(const std::string& path) {
    AnswerSave(path);
    app.RunCommand(cmd::kSaveLog);
  }
};

TEST_F(KmlCommandsTest, SaveLogWritesSignedFileThatReadsBack) {
  SaveLogTo(dir / "flight");  // ".kml" comes from the first filter
  const std::string path = dir / "flight.kml";
  ASSERT_TRUE(std::filesystem::exists(path));
  ASSERT_FALSE(ui.fileQuestions.empty());
  EXPECT_EQ(ui.fileQuestions.back().title, "Save track for Aerodiary");
  EXPECT_EQ(ui.fileQuestions.back().defaultName, AerodiaryFileName([&] {
              FlightStatistics s;
              s.points = app.trackLog.points;
              return s;
            }()));
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Track saved (Signature OK)"});
  EXPECT_TRUE(app.trackLog.saved);
  EXPECT_EQ(settings.Text(SettingId::kTrackLogDir), dir.str());

  const Result<KmlTrack> back_read = ReadKmlTrack(Slurp(path));
  ASSERT_TRUE(back_read.ok()) << back_read.error().text;
  const KmlTrack& back = *back_read;
  EXPECT_TRUE(back.signatureValid);
  EXPECT_EQ(KmlTrackStatusText(back), "12 positions read (Signature ok)");
  ASSERT_EQ(back.points.size(), 12u);
  EXPECT_EQ(back.points.front().time, kStart);
  EXPECT_EQ(back.points.back().baroHeight, 1001);
}

TEST_F(KmlCommandsTest, LogWithoutSecurityRecordIsSavedWithoutSignature) {
  app.trackLog.gRecordValid = false;
  SaveLogTo(dir / "plain.kml");
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Track saved (NO signature)"});
  const Result<KmlTrack> back_read = ReadKmlTrack(Slurp(dir / "plain.kml"));
  ASSERT_TRUE(back_read.ok()) << back_read.error().text;
  const KmlTrack& back = *back_read;
  EXPECT_FALSE(back.signatureValid);
}

TEST_F(KmlCommandsTest, ExistingFileChoices) {
  struct Case {
    ExistingFileAnswer answer;
    size_t folders;      // in the file afterwards
    bool keepsOldBytes;  // the file is byte for byte what stood there
  };
  const Case cases[] = {
      {ExistingFileAnswer::kCancel, 1, true},
      {ExistingFileAnswer::kAppend, 2, false},
      {ExistingFileAnswer::kOverwrite, 1, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const std::string path = dir / ("day" + std::to_string(n++) + ".kml");
    SaveLogTo(path);
    const std::string before = Slurp(path);
    ASSERT_EQ(Count(before, "<Folder>"), 1u);
    app.trackLog.saved = false;
    ui.messages.clear();

    // A shorter track the second time, so a replaced file cannot match the old one.
    ui.selection[ViewMode::kTrackLog].pop_back();
    ui.existingFileAnswers.push_back(c.answer);
    SaveLogTo(path);
    const std::string after = Slurp(path);
    EXPECT_EQ(Count(after, "<Folder>"), c.folders);
    EXPECT_EQ(Count(after, "<Document>"), 1u);
    EXPECT_EQ(after == before, c.keepsOldBytes);
    EXPECT_EQ(app.trackLog.saved, !c.keepsOldBytes);
    EXPECT_EQ(ui.messages.empty(), c.keepsOldBytes);
    // Both tracks of an appended file still carry a good hash.
    if (c.answer == ExistingFileAnswer::kAppend) {
      KmlTrackHooks hooks;
      hooks.chooseTrack = [](const std::vector<std::string>& labels) -> std::optional<size_t> {
        return labels.size() - 1;
      };
      const Result<KmlTrack> back_read = ReadKmlTrack(after, hooks);
      ASSERT_TRUE(back_read.ok()) << back_read.error().text;
      const KmlTrack& back = *back_read;
      EXPECT_TRUE(back.signatureValid);
    }
  }
}

TEST_F(KmlCommandsTest, SaveLogRefusesWithoutPositionsAndAsksNothing) {
  struct Case {
    const char* name;
    std::function<void()> setUp;
    const char* message;
  };
  const Case cases[] = {
      {"empty log", [&] { app.trackLog.points.clear(); }, "No positions"},
      {"nothing selected", [&] { ui.selection[ViewMode::kTrackLog].clear(); }, "No position(s) selected"},
      {"busy elsewhere", [&] { app.SetViewMode(ViewMode::kWaypoints, true); }, "Incorrect view mode"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ui.messages.clear();
    ui.fileQuestions.clear();
    c.setUp();
    app.RunCommand(cmd::kSaveLog);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(ui.fileQuestions.empty());
    app.SetViewMode(ViewMode::kTrackLog, true);
    app.trackLog.points.clear();
  }
}

TEST_F(KmlCommandsTest, SaveButtonRunsSaveLog) {
  AnswerSave(dir / "button.kml");
  app.RunCommand(cmd::kSaveLogButton);
  EXPECT_TRUE(std::filesystem::exists(dir / "button.kml"));
}

TEST_F(KmlCommandsTest, OpenLogReadsKmlAndReplacesTheLog) {
  SaveLogTo(dir / "saved.kml");
  const std::vector<TrackPoint> written = app.trackLog.points;
  app.trackLog.points.resize(3);
  app.trackLog.saved = true;
  ui.statusLines.clear();

  AnswerOpen(dir / "saved.kml");
  app.RunCommand(cmd::kOpenLog);
  ASSERT_EQ(app.trackLog.points.size(), written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(app.trackLog.points[i].time, written[i].time);
    EXPECT_NEAR(app.trackLog.points[i].latitude, written[i].latitude, 12);  // six decimals of a degree
    EXPECT_NEAR(app.trackLog.points[i].longitude, written[i].longitude, 12);
  }
  EXPECT_TRUE(app.trackLog.sourceClassFlag);
  EXPECT_TRUE(app.trackLog.hasBaroHeight);
  EXPECT_FALSE(app.trackLog.gRecordValid);
  ASSERT_FALSE(ui.statusLines.empty());
  EXPECT_EQ(ui.statusLines.back(), "12 positions read (Signature ok)");
  EXPECT_EQ(app.viewMode(), ViewMode::kTrackLog);
  // The dialog offers the nine track formats, each with and without its pattern.
  ASSERT_FALSE(ui.fileQuestions.empty());
  EXPECT_EQ(ui.fileQuestions.back().filters.size(), 18u);
}

TEST_F(KmlCommandsTest, BrokenKmlShowsReadersMessageAndKeepsTheLog) {
  struct Case {
    const char* name;
    const char* text;
  };
  const Case cases[] = {
      {"no track", "<?xml version=\"1.0\"?>\r\n<Document>\r\n</Document>\r\n"},
      {"cut short", "<Document>\r\n<Folder>\r\n<Placemark"},
      {"mismatched tags", "<Document><Folder></Document>"},
  };
  const std::vector<TrackPoint> before = app.trackLog.points;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / "broken.kml";
    Spit(path, c.text);
    const std::string expected = ReadKmlTrack(c.text).error().text;
    ASSERT_FALSE(expected.empty());
    ui.messages.clear();
    AnswerOpen(path);
    app.RunCommand(cmd::kOpenLog);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, expected);
    EXPECT_EQ(ui.messages[0].caption, kKmlTrackCaption);
    EXPECT_EQ(app.trackLog.points.size(), before.size());
  }
}

TEST_F(KmlCommandsTest, OpenLogReadsWithTheReaderOfTheFilter) {
  const std::string kIgc =
      "AXYZ001 test\r\nHFDTE311209\r\n"
      "B1200004703501N00800000WA0012301235\r\n"
      "B1200104703511N00800010WA0012401236\r\n";
  const struct {
    const char* name;
    int filter;
    bool read;  // as IGC
  } cases[] = {
      {"FLIGHT.IGC", 7, true},
      {"flight.txt", 16, true},   // IGC's all-files row: the name does not matter
      {"other.kml", 7, true},     // nor under IGC's own row
      {"FLIGHT.IGC", 1, false},   // the Aerodiary row reads KML, whatever the name
      {"FLIGHT.IGC", 10, false},  // and so does its all-files row
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.filter));
    app.trackLog.points.clear();
    app.trackLog.saved = true;
    ui.messages.clear();
    Spit(dir / c.name, kIgc);
    ui.openAnswers.push_back(FileAnswer{dir / c.name, c.filter});
    app.RunCommand(cmd::kOpenLog);
    if (c.read) {
      EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
      EXPECT_EQ(app.trackLog.points.size(), 2u);
    } else {
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0].caption, kKmlTrackCaption);
      EXPECT_TRUE(app.trackLog.points.empty());
    }
  }
}

Waypoint MakeWaypoint(const std::string& id, const std::string& name) {
  Waypoint w;
  w.id = id;
  w.name = name;
  w.latitude = 560000000;
  w.longitude = 95000000;
  return w;
}

TEST_F(KmlCommandsTest, WaypointOpenInsertsByTheSharedRule) {
  WaypointList file;
  file.items = {MakeWaypoint("A01", "NEW HILL"), MakeWaypoint("B02", "LANDING")};
  const std::string path = dir / "wpts.kml";
  Spit(path, BuildKmlWaypointDocument(file));

  struct Case {
    const char* name;
    std::vector<MessageAnswer> answers;  // append?, then overwrite A01?
    std::vector<std::string> names;      // the list afterwards
  };
  const Case cases[] = {
      {"append, replace", {MessageAnswer::kYes, MessageAnswer::kYes}, {"NEW HILL", "LANDING"}},
      {"append, keep both", {MessageAnswer::kYes, MessageAnswer::kNo}, {"OLD HILL", "NEW HILL", "LANDING"}},
      {"replace the list", {MessageAnswer::kNo}, {"NEW HILL", "LANDING"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app.waypoints.items = {MakeWaypoint("A01", "OLD HILL")};
    ui.messages.clear();
    for (MessageAnswer a : c.answers) ui.messageAnswers.push_back(a);
    AnswerOpen(path);
    app.RunCommand(cmd::kOpenWaypoints);
    std::vector<std::string> names;
    for (const Waypoint& w : app.waypoints.items) names.push_back(w.name);
    EXPECT_EQ(names, c.names);
    ASSERT_EQ(ui.messages.size(), c.answers.size());
    EXPECT_EQ(ui.messages[0].text, "Append new waypoints to existing list ?");
    if (c.answers.size() > 1) {
      EXPECT_EQ(ui.messages[1].text, "Waypoint A01 already exists, overwrite ?");
    }
    EXPECT_EQ(ui.statusLines.back(), "2 waypoints read");
  }
}

TEST_F(KmlCommandsTest, BrokenWaypointFileKeepsTheList) {
  app.waypoints.items = {MakeWaypoint("A01", "OLD HILL")};
  const std::string text = "<kml><Document><Placemark><name>A01</name></Placemark></Document></kml>";
  Spit(dir / "bad.kml", text);
  const Result<WaypointList> expected = ReadKmlWaypoints(text, 0);
  ASSERT_FALSE(expected.ok());
  AnswerOpen(dir / "bad.kml");
  app.RunCommand(cmd::kOpenWaypoints);
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{expected.error().text});
  ASSERT_EQ(app.waypoints.items.size(), 1u);
  EXPECT_EQ(app.waypoints.items[0].name, "OLD HILL");
}

TEST_F(KmlCommandsTest, WaypointSaveWritesAFileThatReadsBack) {
  app.waypoints.items = {MakeWaypoint("A01", "HILL <north>"), MakeWaypoint("B02", "LANDING")};
  app.SetViewMode(ViewMode::kWaypoints, true);
  AnswerSave(dir / "out");
  app.RunCommand(cmd::kSaveWaypointsAs);
  const Result<WaypointList> back = ReadKmlWaypoints(Slurp(dir / "out.kml"), 0);
  ASSERT_TRUE(back.ok()) << back.error().text;
  ASSERT_EQ(back->items.size(), 2u);
  EXPECT_EQ(back->items[0].id, "A01");
  EXPECT_EQ(back->items[0].name, NormaliseDescription("HILL <north>"));
  EXPECT_EQ(ui.statusLines.back(), "2 waypoints written");
}

// --- The all-tracks download ---------------------------------------------

class AllTracksTest : public KmlCommandsTest {
 protected:
  // A straight flight of `count` fixes ten seconds apart, as the instrument
  // hands it over.
  static TrackLog Flight(uint32_t start, int count, bool signedByInstrument = true) {
    TrackLog log;
    for (int i = 0; i < count; ++i) {
      TrackPoint p = Point(start + 10 * static_cast<uint32_t>(i), 10000 + 50 * i, i == 0 ? 1 : 0);
      p.latitude = 560000000 + 20000 * i;
      p.longitude = 95000000 + 15000 * i;
      p.baroHeight = 990 + i;
      log.points.push_back(p);
    }
    log.source = TrackLogSource::kFlytec;
    log.sourceProtocol = ProtocolType::kFlytecAllTracks;
    log.hasBaroHeight = true;
    log.gRecordValid = signedByInstrument;
    return log;
  }

  // Runs the menu command with `file` answered in the save dialog; true when
  // a transfer started.
  bool Start(std::optional<std::string> file) {
    ui.saveAnswers.push_back(file ? std::optional<FileAnswer>(FileAnswer{*file, 1}) : std::nullopt);
    const size_t before = transfers.started.size();
    app.RunCommand(cmd::kReadAllFlytecTracks);
    return transfers.started.size() > before;
  }
  // The worker's result arrives.
  void Deliver(TransferResult result) { transfers.started.back().done(std::move(result)); }
  static TransferResult Flights(std::vector<TrackLog> flights) {
    return TransferResult::Flights({std::move(flights)}, TrackLogSource::kFlytec);
  }
};

TEST_F(AllTracksTest, TheFileIsAskedForFirstAndEveryLongEnoughFlightLandsInIt) {
  const std::string path = dir / "season";
  ASSERT_TRUE(Start(path));
  // The question came before the download, with nothing on the line yet.
  ASSERT_EQ(ui.fileQuestions.size(), 1u);
  EXPECT_EQ(ui.fileQuestions[0].title, "Save track for Aerodiary");
  EXPECT_EQ(transfers.started.back().request.access, AccessType::kReadTrackLog);
  EXPECT_EQ(transfers.started.back().request.protocol, ProtocolType::kFlytecAllTracks);
  EXPECT_TRUE(app.transferBusy());
  const std::vector<TrackPoint> loaded = app.trackLog.points;

  Deliver(Flights({Flight(kStart, 40), Flight(kStart + 86400, 8), Flight(kStart + 2 * 86400, 25, false)}));
  EXPECT_FALSE(app.transferBusy());
  EXPECT_FALSE(app.transferFailed());
  for (std::string_view s : {"Analysing track log 1 of 3", "Analysing track log 3 of 3"})
    EXPECT_NE(std::find(ui.statusLines.begin(), ui.statusLines.end(), s), ui.statusLines.end()) << s;
  // The eight-point flight is too short to analyse and is left out.
  EXPECT_EQ(std::find(ui.statusLines.begin(), ui.statusLines.end(), "Analysing track log 2 of 3"),
            ui.statusLines.end());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Save Aerodiary track");
  EXPECT_EQ(ui.messages[0].text, "File written");
  EXPECT_EQ(ui.productLines.back(), path + ".kml");
  // The loaded log is not the download's business.
  EXPECT_EQ(app.trackLog.points.size(), loaded.size());

  const std::string text = Slurp(path + ".kml");
  ASSERT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n<open>1</open>\r\n", 0), 0u);
  const size_t sizes[] = {40, 25};
  for (size_t pick = 0; pick < 2; ++pick) {
    SCOPED_TRACE(pick);
    KmlTrackHooks hooks;
    hooks.chooseTrack = [&](const std::vector<std::string>& labels) {
      EXPECT_EQ(labels.size(), 2u);
      return std::optional<size_t>(pick);
    };
    const Result<KmlTrack> r_read = ReadKmlTrack(text, hooks);
    ASSERT_TRUE(r_read.ok()) << r_read.error().text;
    const KmlTrack& r = *r_read;
    EXPECT_TRUE(r.timesUtc);
    // Only the flight the instrument signed carries the file's hash.
    EXPECT_EQ(r.signatureValid, pick == 0);
    ASSERT_EQ(r.points.size(), sizes[pick]);
    EXPECT_EQ(r.points.front().time, kStart + 2 * 86400 * pick);
    EXPECT_EQ(r.points.back().baroHeight, 990 + static_cast<int>(sizes[pick]) - 1);
  }
}

TEST_F(AllTracksTest, TheSpeedFilterSettingIsFollowed) {
  // One fix of sixty is a wild jump; the filter drops it when switched on.
  TrackLog jumpy = Flight(kStart, 60);
  jumpy.points[30].latitude += 100000000;
  for (const bool filter : {false, true}) {
    SCOPED_TRACE(filter);
    settings.SetNumber(SettingId::kLogFilter, filter ? 1 : 0);
    const std::string path = dir / (filter ? "filtered.kml" : "raw.kml");
    ASSERT_TRUE(Start(path));
    Deliver(Flights({jumpy}));
    const Result<KmlTrack> r_read = ReadKmlTrack(Slurp(path));
    ASSERT_TRUE(r_read.ok()) << r_read.error().text;
    const KmlTrack& r = *r_read;
    EXPECT_EQ(r.points.size(), filter ? 59u : 60u);
  }
}

TEST_F(AllTracksTest, AnExistingFileIsReplacedOnlyWhenThePersonAgrees) {
  const std::string path = dir / "season.kml";
  for (const bool agree : {false, true}) {
    SCOPED_TRACE(agree);
    Spit(path, "old");
    ui.messages.clear();
    ui.messageAnswers.push_back(agree ? MessageAnswer::kYes : MessageAnswer::kNo);
    ASSERT_TRUE(Start(path));
    Deliver(Flights({Flight(kStart, 20)}));
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages[0].caption, "Save track for Aerodiary");
    EXPECT_EQ(ui.messages[0].text, "File already exists. Overwrite ?");
    EXPECT_EQ(app.transferFailed(), !agree);
    if (agree) {
      EXPECT_TRUE(ReadKmlTrack(Slurp(path)).ok());
      EXPECT_EQ(ui.MessageTexts().back(), "File written");
    } else {
      EXPECT_EQ(Slurp(path), "old");
      EXPECT_EQ(ui.messages.size(), 1u);
    }
  }
}

TEST_F(AllTracksTest, NothingStartsWithoutAFileOrWhileBusy) {
  EXPECT_FALSE(Start(std::nullopt));
  EXPECT_TRUE(ui.messages.empty());

  ASSERT_TRUE(Start(dir / "first.kml"));
  ui.fileQuestions.clear();
  EXPECT_FALSE(Start(dir / "second.kml"));
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{std::string(kTextBusy)});
  EXPECT_TRUE(ui.fileQuestions.empty()) << "no file is asked for while a transfer runs";
  ui.saveAnswers.clear();
}

TEST_F(AllTracksTest, AFailedOrAbortedDownloadWritesNothing) {
  const std::string path = dir / "season.kml";
  ASSERT_TRUE(Start(path));
  Deliver(TransferResult::Failure());
  EXPECT_TRUE(app.transferFailed());
  EXPECT_FALSE(app.transferBusy());

  ASSERT_TRUE(Start(path));
  app.AbortButton();
  Deliver(Flights({Flight(kStart, 20)}));  // late: dropped with its flights
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace skylode::test
