// One pilot's check-in: the naming rule, the competition window, who flew,
// and the output files, which must each land exactly once and verify.
#include "competition/check_in.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/track_fixtures.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "formats/kml_reader.h"
#include "records/calendar.h"
#include "shell/temp_dir.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;

uint32_t At(int year, int month, int day, int hour, int minute, int second) {
  CalendarTime t{};
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  return *CalendarToTime(t);
}

CheckInPilot Pilot(std::string name, int32_t comp, int32_t civl) { return CheckInPilot{std::move(name), comp, civl}; }

TEST(CheckInNames, NamingRule) {
  const uint32_t t = At(2010, 5, 5, 14, 3, 9);
  const struct {
    CheckInPilot pilot;
    const char* base;
  } cases[] = {
      {Pilot("", 17, -1), "[pilot name].20100505-140309.[CIVLID].17"},
      {Pilot("Anna-Maria Öz", 17, 12345), "Anna_Maria__z.20100505-140309.12345.17"},
      {Pilot("O'Brien, Seán", -1, 40211), "O_Brien__Se_n.20100505-140309.40211.[COMPID]"},
      {Pilot("Łukasz 李", 0, 0), "_ukasz__.20100505-140309.0.0"},
      {Pilot("../etc/x", -1, -1), "___etc_x.20100505-140309.[CIVLID].[COMPID]"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompetitionBaseName(c.pilot, t), c.base) << c.pilot.name;

  const Result<std::string> joined = CompetitionBasePath("out", Pilot("", 17, -1), t);
  ASSERT_TRUE(joined.ok());
  EXPECT_EQ(*joined, (fs::path("out") / "[pilot name].20100505-140309.[CIVLID].17").string());
  const Result<std::string> empty = CompetitionBasePath("", Pilot("", 17, -1), t);
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().text, "No competition output folder");
  const Result<std::string> tooLong = CompetitionBasePath(std::string(230, 'd'), Pilot("", 17, -1), t);
  ASSERT_FALSE(tooLong.ok());
  EXPECT_EQ(tooLong.error().text, "Too long filename");
}

TEST(CheckInIdentification, WhoFlew) {
  PilotList list;
  list.items = {PilotEntry{"Anna-Maria Öz", 12345, 17, {}}, PilotEntry{"Jo Lee", 77001, 101, {}},
                PilotEntry{"No Civl", -1, 8, {}}};
  const struct {
    const char* what;
    PilotIds instrument, commandLine;
    const char* name;
    bool withList;
    CheckInPilot expected;
  } cases[] = {
      {"instrument IDs name the listed pilot", {17, -1}, {-1, -1}, "", true, Pilot("Anna-Maria Öz", 17, 12345)},
      {"CIVL ID alone finds the pilot", {-1, 77001}, {-1, -1}, "", true, Pilot("Jo Lee", 101, 77001)},
      {"a given COMPID wins, the instrument's CIVL ID stays", {17, 555}, {101, -1}, "", true,
       Pilot("Jo Lee", 101, 555)},
      {"a given CIVLID alone keeps the instrument's comp. ID", {17, -1}, {-1, 999}, "X", false, Pilot("X", 17, 999)},
      {"nobody in the list: the command line's name", {55, -1}, {-1, -1}, "Guest", true, Pilot("Guest", 55, -1)},
      {"nothing known", {-1, -1}, {-1, -1}, "", true, Pilot("", -1, -1)},
      {"a listed pilot without CIVL ID", {8, -1}, {-1, -1}, "", true, Pilot("No Civl", 8, -1)},
  };
  for (const auto& c : cases) {
    UnattendedIdentification in;
    in.instrument = c.instrument;
    in.commandLine = c.commandLine;
    in.commandLineName = c.name;
    in.pilots = c.withList ? &list : nullptr;
    const CheckInPilot got = IdentifyUnattended(in);
    EXPECT_EQ(got.name, c.expected.name) << c.what;
    EXPECT_EQ(got.compId, c.expected.compId) << c.what;
    EXPECT_EQ(got.civlId, c.expected.civlId) << c.what;
  }
  EXPECT_EQ(PilotNotifyText(Pilot("Anna", 17, 3)), "Pilot [17] Anna");
  EXPECT_EQ(PilotNotifyText(Pilot(std::string(100, 'x'), -1, -1)).size(), 79u);
  // Cut before a character that would not fit whole.
  EXPECT_EQ(PilotNotifyText(Pilot(std::string(68, 'x') + "Ö", 1, -1)), "Pilot [1] " + std::string(68, 'x'));
  EXPECT_EQ(FoundIdsStatus({17, 12345}), "Comp ID = 17, CIVL ID = 12345");
  EXPECT_EQ(FoundIdsStatus({-1, 12345}), "CIVL ID = 12345");
  EXPECT_EQ(FoundIdsStatus({17, -1}), "Comp ID = 17");
}

TEST(CheckInIdentification, DialogFieldsFollowTheList) {
  PilotList list;
  list.items = {PilotEntry{"Anna", 12345, 17, {}}, PilotEntry{"Jo Lee", -1, 101, {}}};
  auto fields = [](std::string comp, std::string civl, std::string name) {
    return PilotFields{std::move(comp), std::move(civl), std::move(name), -1};
  };
  // Typing a listed competition ID fills the rest.
  auto f = FieldsAfterIdEdit(list, fields("17", "", ""), true);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->civlId, "12345");
  EXPECT_EQ(f->name, "Anna");
  EXPECT_EQ(f->row, 0);
  f = FieldsAfterIdEdit(list, fields("", "12345", "x"), false);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->compId, "17");
  // An unlisted one clears the other fields.
  f = FieldsAfterIdEdit(list, fields("18", "12345", "Anna"), true);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->civlId, "");
  EXPECT_EQ(f->name, "");
  EXPECT_EQ(f->row, -1);
  // A CIVL ID no listed pilot has: the person types a pilot of their own.
  EXPECT_FALSE(FieldsAfterIdEdit(list, fields("17", "999", "Guest"), true));
  EXPECT_FALSE(FieldsAfterIdEdit(PilotList{}, fields("17", "", ""), true));

  EXPECT_EQ(PilotChoiceText(list.items[0]), "Anna (comp. 17, CIVL 12345)");
  EXPECT_EQ(PilotChoiceText(list.items[1]), "Jo Lee (comp. 101)");
  EXPECT_EQ(PilotChoiceText(PilotEntry{"C", 5, -1, {}}), "C (CIVL 5)");
  EXPECT_EQ(PilotChoiceText(PilotEntry{"D", -1, -1, {}}), "D");

  const Result<CheckInPilot> ok = CheckPilotFields(fields(" 17 ", "", "Anna\n"));
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok->compId, 17);
  EXPECT_EQ(ok->civlId, -1);
  EXPECT_EQ(ok->name, "Anna");
  EXPECT_EQ(CheckPilotFields(fields("1o", "", "")).error().text, "Bad comp. pilot ID");
  EXPECT_EQ(CheckPilotFields(fields("", "-4", "")).error().text, "Bad CIVL pilot ID");
}

TEST(CheckInWindow, Boundaries) {
  std::vector<TrackPoint> points(6);
  const uint32_t times[] = {100, 0, 200, 0xFFFFFFFFu, 300, 0x7FFFFFFFu};
  for (size_t i = 0; i < points.size(); ++i) points[i].time = times[i];
  const struct {
    CompetitionWindow window;
    size_t kept;
    bool filtered;
  } cases[] = {
      {{0, 0}, 3, false},     {{0, 200}, 2, true},    // a point exactly at the stop stays
      {{200, 0}, 2, true},    {{200, 200}, 3, false},  // start = stop filters nothing
      {{150, 250}, 1, true},  {{301, 400}, 0, true},  {{300, 200}, 3, false},
  };
  for (const auto& c : cases) {
    const SelectedPositions s = SelectCompetitionPositions(points, c.window);
    EXPECT_EQ(s.points.size(), c.kept) << c.window.start << "-" << c.window.stop;
    EXPECT_TRUE(s.badTime);
    EXPECT_EQ(s.timeFiltered, c.filtered) << c.window.start << "-" << c.window.stop;
  }
  const SelectedPositions none = SelectCompetitionPositions(points, {301, 400});
  EXPECT_EQ(NoPositionsText(none),
            "No positions found\r\nSome removed due to bad timestamp\r\nSome removed due to time filtering");
  EXPECT_EQ(RefusalNotifyText(NoPositionsText(none)),
            "Not saved: No positions found; Some removed due to bad timestamp; Some removed due to time filtering");
}

struct Heard {
  std::vector<std::string> messages, notices, products, statuses;
  CompetitionSaveEvents Events() {
    CompetitionSaveEvents e;
    e.message = [this](std::string_view t, bool) { messages.emplace_back(t); };
    e.notify = [this](std::string_view t) { notices.emplace_back(t); };
    e.product = [this](std::string_view t) { products.emplace_back(t); };
    e.status = [this](std::string_view t) { statuses.emplace_back(t); };
    return e;
  }
};

class CheckInSaveTest : public ::testing::Test {
 protected:
  CheckInSaveTest() {
    log_.points = fixtures::Straight(120, 15.0);
    log_.gRecordValid = true;
    log_.sourceClassFlag = true;
    log_.instrumentText = "Virtual instrument";
  }
  CompetitionSaveRequest Request(CheckInPilot pilot, bool igc = true) {
    CompetitionSaveRequest r;
    r.points = log_.points;
    r.log = &log_;
    r.pilot = std::move(pilot);
    r.folder = dir_.str();
    r.writeIgc = igc;
    r.clock = [this] { return now_; };
    return r;
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.str())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir_;
  TrackLog log_;
  uint32_t now_ = At(2010, 5, 5, 14, 3, 9);
};

TEST_F(CheckInSaveTest, FilesVerifyAndAreReported) {
  Heard heard;
  const CompetitionSaveOutcome out = SaveCompetitionLog(Request(Pilot("Anna-Maria Öz", 17, 12345)), heard.Events());
  ASSERT_EQ(out.end, CompetitionSaveEnd::kSaved) << (heard.messages.empty() ? "" : heard.messages[0]);
  const std::string base = dir_ / "Anna_Maria__z.20100505-140309.12345.17";
  EXPECT_EQ(out.igcPath, base + ".igc");
  EXPECT_EQ(out.kmlPath, base + ".kml");
  EXPECT_EQ(heard.notices,
            (std::vector<std::string>{"File \"" + base + ".igc\" written", "File \"" + base + ".kml\" written"}));
  EXPECT_EQ(heard.statuses.back(), "File saved, signature OK");
  EXPECT_EQ(heard.products.back(), base + ".kml");

  const Result<std::string> igc = ReadWholeFile(out.igcPath);
  ASSERT_TRUE(igc.ok());
  EXPECT_EQ(VerifyIgcText(*igc), IgcVerifyOutcome::kPassed);
  EXPECT_NE(igc->find("HOPLTPILOT: Anna-Maria Öz"), std::string::npos);
  EXPECT_NE(igc->find("HOCIDCOMPETITIONID: 17"), std::string::npos);
  const Result<std::string> kml = ReadWholeFile(out.kmlPath);
  ASSERT_TRUE(kml.ok());
  EXPECT_NE(kml->find("Tracklog from Skylode competition mode"), std::string::npos);
  EXPECT_NE(kml->find("civl_pilot_id=\"12345\" comp_pilot_id=\"17\""), std::string::npos);
  const Result<KmlTrack> back = ReadKmlTrack(*kml);
  ASSERT_TRUE(back.ok());
  EXPECT_TRUE(back->signatureValid);
  EXPECT_EQ(back->points.size(), log_.points.size());
}

TEST_F(CheckInSaveTest, TwoUnidentifiedPilotsInOneSecondBothLand) {
  Heard first, second;
  CompetitionSaveRequest a = Request(Pilot("", -1, -1));
  ASSERT_EQ(SaveCompetitionLog(a, first.Events()).end, CompetitionSaveEnd::kSaved);
  const Result<std::string> before = ReadWholeFile(dir_ / "[pilot name].20100505-140309.[CIVLID].[COMPID].kml");
  ASSERT_TRUE(before.ok());

  CompetitionSaveRequest b = Request(Pilot("", -1, -1));
  b.points = fixtures::Straight(80, 20.0, 120);
  const CompetitionSaveOutcome out = SaveCompetitionLog(b, second.Events());
  ASSERT_EQ(out.end, CompetitionSaveEnd::kSaved);
  EXPECT_EQ(out.kmlPath, dir_ / "[pilot name].20100505-140310.[CIVLID].[COMPID].kml");
  EXPECT_EQ(Files(), (std::vector<std::string>{"[pilot name].20100505-140309.[CIVLID].[COMPID].igc",
                                               "[pilot name].20100505-140309.[CIVLID].[COMPID].kml",
                                               "[pilot name].20100505-140310.[CIVLID].[COMPID].igc",
                                               "[pilot name].20100505-140310.[CIVLID].[COMPID].kml"}));
  EXPECT_EQ(*ReadWholeFile(dir_ / "[pilot name].20100505-140309.[CIVLID].[COMPID].kml"), *before);

  // KML only: the same.
  Heard third;
  CompetitionSaveRequest c = Request(Pilot("", -1, -1), false);
  ASSERT_EQ(SaveCompetitionLog(c, third.Events()).end, CompetitionSaveEnd::kSaved);
  EXPECT_EQ(third.notices.back(), "File \"" + (dir_ / "[pilot name].20100505-140311.[CIVLID].[COMPID].kml") + "\" written");
}

TEST_F(CheckInSaveTest, AnIdentifiedPilotsFileIsAlreadyProcessed) {
  Heard first, again;
  ASSERT_EQ(SaveCompetitionLog(Request(Pilot("Jo Lee", 101, 77001), false), first.Events()).end,
            CompetitionSaveEnd::kSaved);
  const std::string kml = dir_ / "Jo_Lee.20100505-140309.77001.101.kml";
  const Result<std::string> before = ReadWholeFile(kml);
  ASSERT_TRUE(before.ok());
  CompetitionSaveRequest r = Request(Pilot("Jo Lee", 101, 77001), false);
  r.points = fixtures::Straight(50, 30.0);
  EXPECT_EQ(SaveCompetitionLog(r, again.Events()).end, CompetitionSaveEnd::kAlreadyProcessed);
  EXPECT_EQ(again.notices, (std::vector<std::string>{"File \"" + kml + "\" already processed"}));
  EXPECT_EQ(*ReadWholeFile(kml), *before);
  EXPECT_EQ(Files().size(), 1u);

  // A person saving again replaces the file.
  r.createNew = false;
  EXPECT_EQ(SaveCompetitionLog(r, again.Events()).end, CompetitionSaveEnd::kSaved);
  EXPECT_NE(*ReadWholeFile(kml), *before);
}

TEST_F(CheckInSaveTest, KmlFailureAfterTheIgcIsReportedAndTheIgcStays) {
  // Something else holds the KML's name: the IGC is written, the KML is not.
  fs::create_directory(dir_ / "Jo_Lee.20100505-140309.77001.101.kml");
  Heard heard;
  const CompetitionSaveOutcome out = SaveCompetitionLog(Request(Pilot("Jo Lee", 101, 77001)), heard.Events());
  EXPECT_NE(out.end, CompetitionSaveEnd::kSaved);
  ASSERT_EQ(heard.notices.size(), 2u);
  EXPECT_EQ(heard.notices[0], "File \"" + (dir_ / "Jo_Lee.20100505-140309.77001.101.igc") + "\" written");
  EXPECT_NE(heard.notices[1].find("Jo_Lee.20100505-140309.77001.101.kml\""), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(dir_ / "Jo_Lee.20100505-140309.77001.101.igc"));
}

TEST_F(CheckInSaveTest, RefusalsWriteNothingAndAreHeard) {
  const struct {
    const char* what;
    size_t points;
    std::string folder;
    const char* message;
  } cases[] = {
      {"nine points", 9, "", "Too few positions for statistics analysis"},
      {"no folder", 50, "-", "No competition output folder"},
      {"folder that is not there", 50, "missing/deeper", ""},
  };
  for (const auto& c : cases) {
    Heard heard;
    CompetitionSaveRequest r = Request(Pilot("A", 1, 2));
    r.points.resize(c.points);
    if (c.folder == "-") r.folder.clear();
    else if (!c.folder.empty()) r.folder = dir_ / c.folder;
    EXPECT_NE(SaveCompetitionLog(r, heard.Events()).end, CompetitionSaveEnd::kSaved) << c.what;
    ASSERT_FALSE(heard.notices.empty()) << c.what;
    if (*c.message) {
      EXPECT_EQ(heard.messages, std::vector<std::string>{c.message}) << c.what;
      EXPECT_EQ(heard.notices, std::vector<std::string>{"Not saved: " + std::string(c.message)}) << c.what;
    }
    EXPECT_TRUE(Files().empty()) << c.what;
  }
}

TEST_F(CheckInSaveTest, SpeedCheck) {
  // Every other point jumps far away: the filter leaves too few.
  CompetitionSaveRequest r = Request(Pilot("A", 1, 2));
  r.points = fixtures::Straight(14, 15.0);
  for (size_t i = 1; i < r.points.size(); i += 2) r.points[i].latitude += 20000000;
  Heard heard;
  EXPECT_EQ(SaveCompetitionLog(r, heard.Events()).end, CompetitionSaveEnd::kRefused);
  EXPECT_EQ(heard.messages, std::vector<std::string>{"Too few positions left after track speed analysis"});
  EXPECT_TRUE(Files().empty());

  // NOCHECK: the same points are saved as they are.
  r.speedCheck = false;
  Heard unchecked;
  EXPECT_EQ(SaveCompetitionLog(r, unchecked.Events()).end, CompetitionSaveEnd::kSaved);
}

}  // namespace
}  // namespace skylode
