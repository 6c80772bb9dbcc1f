// The KML commands through the scripted UI: saving for the flight log, the
// existing-file choices, opening .kml tracks and waypoints, and the file
// question of the all-tracks download.
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
  // The dialog offers both track formats.
  ASSERT_FALSE(ui.fileQuestions.empty());
  EXPECT_EQ(ui.fileQuestions.back().filters.size(), 4u);
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

TEST_F(KmlCommandsTest, OpenLogDispatchesByExtension) {
  const std::string igc = dir / "FLIGHT.IGC";
  Spit(igc,
       "AXYZ001 test\r\nHFDTE311209\r\n"
       "B1200004703501N00800000WA0012301235\r\n"
       "B1200104703511N00800010WA0012401236\r\n");
  app.trackLog.saved = true;
  AnswerOpen(igc);
  app.RunCommand(cmd::kOpenLog);
  EXPECT_EQ(app.trackLog.points.size(), 2u) << (ui.messages.empty() ? "" : ui.messages[0].text);

  ui.messages.clear();
  Spit(dir / "track.txt", "whatever");
  AnswerOpen(dir / "track.txt");
  app.RunCommand(cmd::kOpenLog);
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Unsupported track log file extension"});
  EXPECT_EQ(app.trackLog.points.size(), 2u);
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

TEST_F(KmlCommandsTest, AllTracksOptionsAskOnTheUiThreadAndFollowTheSettings) {
  settings.SetNumber(SettingId::kLogFilter, 1);
  settings.SetNumber(SettingId::kLoopFlightGap, 1200);
  const flytec::AllTracksOptions options = MakeAllTracksOptions(app);
  EXPECT_TRUE(options.speedFilter);
  EXPECT_EQ(options.loopFlightGap, 1200u);
  ASSERT_TRUE(options.chooseFile);

  AnswerSave(dir / "sub/all");
  std::filesystem::create_directories(dir / "sub");
  std::optional<std::string> chosen;
  std::thread worker([&] { chosen = options.chooseFile(CancelToken{}); });
  // The worker's question arrives as a posted task.
  while (ui.RunPosted() == 0) std::this_thread::yield();
  worker.join();
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, dir / "sub/all.kml");
  EXPECT_EQ(ui.fileQuestions.back().title, "Save track for Aerodiary");
  EXPECT_EQ(settings.Text(SettingId::kTrackLogDir), dir / "sub");
}

TEST_F(KmlCommandsTest, AbortedWorkerStopsWaitingAndIsNeverAsked) {
  const flytec::AllTracksOptions options = MakeAllTracksOptions(app);
  std::atomic<bool> aborted{false};
  std::optional<std::string> chosen = "unchanged";
  std::thread worker([&] { chosen = options.chooseFile(CancelToken(&aborted)); });
  while (ui.PendingPosts() == 0) std::this_thread::yield();
  aborted = true;
  worker.join();
  EXPECT_FALSE(chosen.has_value());
  ui.RunPosted();
  EXPECT_TRUE(ui.fileQuestions.empty());
}

TEST_F(KmlCommandsTest, AllTracksWorkerIsRegisteredAndEndsCancelledWhenAborted) {
  DeviceAccessTable table;
  RegisterAllTracksWorker(table, app);
  const WorkerFn* worker =
      table.Find(static_cast<int>(AccessType::kReadTrackLog), static_cast<int>(ProtocolType::kFlytecAllTracks));
  ASSERT_NE(worker, nullptr);

  auto abort = std::make_shared<AbortSignal>();
  TransferRequest request;
  request.access = AccessType::kReadTrackLog;
  request.protocol = ProtocolType::kFlytecAllTracks;
  TransferContext ctx(request, {}, abort);
  std::optional<TransferResult> result;
  std::thread run([&] { result = (*worker)(ctx); });
  // The run waits for the settings the UI thread holds; it is aborted first.
  while (ui.PendingPosts() == 0) std::this_thread::yield();
  abort->Request();
  run.join();
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->outcome, TransferOutcome::kCancelled);
  ui.RunPosted();
  EXPECT_TRUE(ui.fileQuestions.empty());
}

}  // namespace
}  // namespace skylode::test
