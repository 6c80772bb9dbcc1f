// The "OLC statistics" dialog's session through the scripted UI: opening
// checks, the thread's results, halt, and the claim file with and without
// the IGC text.
#include "shell/commands/olc_commands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "analysis/track_fixtures.h"
#include "app_fixture.h"
#include "formats/file_io.h"
#include "formats/igc_writer.h"
#include "shell/commands/command_ids.h"

namespace skylode::test {
namespace {

constexpr auto kWait = std::chrono::seconds(60);

std::vector<int32_t> AllRows(size_t n) {
  std::vector<int32_t> rows(n);
  for (size_t i = 0; i < n; ++i) rows[i] = static_cast<int32_t>(i);
  return rows;
}

OlcForm GoodForm() {
  OlcForm f;
  f.pilot.firstName = "Anna";
  f.pilot.lastName = "Berg & Co";
  f.pilot.birthDate = "3.4.1981";
  f.pilot.gliderType = "Alpha+";
  f.pilot.startPlace = "Hill";
  f.pilot.gliderClass = 3;
  f.pilot.region = "CH";
  f.flightNumber = "2";
  return f;
}

std::string Read(const std::string& p) {
  Result<std::string> text = ReadWholeFile(p);
  return text.ok() ? *text : std::string();
}

class OlcCommandsTest : public AppFixture {
 protected:
  void SetUp() override { RegisterOlcCommands(app); }
  void Load(std::vector<TrackPoint> points, bool gRecordValid = true) {
    app.trackLog.points = std::move(points);
    app.trackLog.source = TrackLogSource::kGarmin;
    app.trackLog.gRecordValid = gRecordValid;
    app.trackLog.instrumentText = "unit";
    ui.selection[ViewMode::kTrackLog] = AllRows(app.trackLog.points.size());
  }
  static std::vector<TrackPoint> Closed() {
    return fixtures::Flight(600, {{14000, 6000}, {5000, 19000}, {-6000, 8000}}, 21);
  }
};

TEST_F(OlcCommandsTest, OpeningRefusesWithoutPositions) {
  struct Case {
    const char* name;
    int command;
    size_t points;
    size_t selected;
    const char* caption;
    const char* text;  // nullptr: nothing said
  } cases[] = {
      {"no IGC buffer", cmd::kOlcIgcBuffer, 50, 50, "OLC statistics", "No raw IGC buffer stored"},
      {"no track log", cmd::kOlcSelected, 0, 0, "", nullptr},
      {"nothing selected", cmd::kOlcSelected, 50, 0, "Initialize OLC statistics",
       "No position(s) selected"},
      {"four selected", cmd::kOlcSelected, 50, 4, "Initialize OLC statistics",
       "Number of positions must be 5 or more"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.messages.clear();
    Load(fixtures::Straight(c.points, 100));
    ui.selection[ViewMode::kTrackLog] = AllRows(c.selected);
    const int before = ui.olcDialogs;
    app.RunCommand(c.command);
    EXPECT_EQ(ui.olcDialogs, before);
    if (c.text == nullptr) {
      EXPECT_TRUE(ui.messages.empty());
    } else {
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0].caption, c.caption);
      EXPECT_EQ(ui.messages[0].text, c.text);
    }
  }
}

TEST_F(OlcCommandsTest, ResultsThenClaimFilesWithAndWithoutIgc) {
  for (bool gRecord : {true, false}) {
    SCOPED_TRACE(gRecord ? "signed log" : "unsigned log");
    Load(Closed(), gRecord);
    ui.messages.clear();
    const auto olcOnly = dir / (gRecord ? "a" : "c"), withIgc = dir / (gRecord ? "b" : "d");
    ui.saveAnswers.push_back(FileAnswer{olcOnly, 1});
    ui.saveAnswers.push_back(FileAnswer{withIgc, 1});
    std::string table;
    OlcClaim claim;
    ui.olcScript = [&](OlcSession& s) {
      ASSERT_TRUE(s.WaitEnded(kWait));
      ASSERT_TRUE(s.ResultsReady());
      table = s.ResultText();
      claim = BestOlcClaim(*s.Results());
      char best[96];
      std::snprintf(best, sizeof best, OlcBestResultText(claim.kind), claim.points);
      EXPECT_EQ(s.StatusText(), best);
      EXPECT_EQ(s.ProgressText(), "Done:");  // every triple counted, skipped or not
      EXPECT_TRUE(s.Save(GoodForm(), false));
      EXPECT_TRUE(s.Save(GoodForm(), true));
    };
    app.RunCommand(cmd::kOlcSelected);
    EXPECT_NE(table.find("FAI TRIANGLE (Triangle ABC. Start point D, end point E)"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("MAX. DISTANCE (Start point A, turnpoints BCD, end point E)"),
              std::string::npos);
    EXPECT_GT(claim.points, 0);

    const std::string alone = Read(olcOnly + ".olc");
    const std::string both = Read(withIgc + ".olc");
    EXPECT_TRUE(alone.starts_with(
        "OLCvnolc=Anna&na=Berg%20%26%20Co&geb=03.04.81&gty=Alpha%2B&sta=Hill&region=CH"))
        << alone;
    EXPECT_NE(alone.find("&klasse=3&igcfn="), std::string::npos);
    EXPECT_EQ(alone.find("IGCigcIGC"), std::string::npos);
    ASSERT_TRUE(both.starts_with(alone + "&IGCigcIGC=A")) << both.substr(0, 400);
    EXPECT_NE(both.find("HOPLTPILOT: Anna Berg & Co"), std::string::npos);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].caption, "Save OLC data");
    EXPECT_EQ(ui.messages[0].text, "File written");
    EXPECT_EQ(ui.messages[1].text, gRecord ? "File written" : "File written. NO security record");
    EXPECT_EQ(settings.Text(SettingId::kOlcLastName), "Berg & Co");
    EXPECT_EQ(settings.Text(SettingId::kOlcBirthDate), "03.04.81");
  }
}

TEST_F(OlcCommandsTest, SavesThatMustNotHappen) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
    bool halt;
    void (*spoil)(OlcForm&);
    const char* message;  // nullptr: ignored without a word
  } cases[] = {
      {"after halt", Closed(), true, [](OlcForm&) {}, nullptr},
      {"nothing to claim", fixtures::Still(30), false, [](OlcForm&) {}, "No result to claim"},
      {"missing glider", Closed(), false, [](OlcForm& f) { f.pilot.gliderType.clear(); },
       "Missing glider type"},
      {"flight number 0", Closed(), false, [](OlcForm& f) { f.flightNumber = "0"; },
       "Flight number out of range"},
      {"flight number empty", Closed(), false, [](OlcForm& f) { f.flightNumber = " "; },
       "Missing flight number"},
      {"region not in the list", Closed(), false, [](OlcForm& f) { f.pilot.region = "XX"; },
       "Combo box read error"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Load(c.points);
    ui.messages.clear();
    ui.fileQuestions.clear();
    bool saved = true;
    ui.olcScript = [&](OlcSession& s) {
      if (c.halt) {
        s.Halt();
      } else {
        ASSERT_TRUE(s.WaitEnded(kWait));
      }
      OlcForm form = GoodForm();
      c.spoil(form);
      saved = s.Save(form, false);
    };
    app.RunCommand(cmd::kOlcSelected);
    EXPECT_FALSE(saved);
    EXPECT_TRUE(ui.fileQuestions.empty());
    if (c.message == nullptr) {
      EXPECT_TRUE(ui.messages.empty());
    } else {
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0].text, c.message);
    }
  }
}

}  // namespace
}  // namespace skylode::test
