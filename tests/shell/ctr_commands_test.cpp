// The CTR menu's commands through the scripted UI: reading (keep or replace,
// equal names, DY notifications, parse errors that leave the list alone),
// writing, the Edit/New dialog's checks, deleting and showing an area as
// waypoints.
#include "shell/commands/ctr_commands.h"

#include <gtest/gtest.h>

#include "app_fixture.h"
#include "formats/file_io.h"
#include "formats/openair.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/waypoint_commands.h"

namespace skylode::test {
namespace {

constexpr char kTwoAreas[] =
    "AN Alpha\r\nAL GND\r\nAH FL100\r\nDP 47:00:00 N 8:00:00 E\r\nDP 47:10:00 N 8:00:00 E\r\n"
    "DP 47:10:00 N 8:10:00 E\r\n"
    "AN Beta\r\nV X=46:00:00 N 7:00:00 E\r\nDC 2\r\n";

class CtrCommandsTest : public AppFixture {
 protected:
  void SetUp() override {
    RegisterCtrCommands(app);
    app.Initialise();
  }
  std::string File(const std::string& name, const std::string& text) {
    WriteText(dir / name, text);
    return dir / name;
  }
  void Open(const std::string& path) { ui.openAnswers.push_back(FileAnswer{path, 1}); }
  void Select(std::vector<int32_t> rows) { ui.selection[ViewMode::kCtr] = std::move(rows); }
  std::vector<std::string> Names() const {
    std::vector<std::string> v;
    for (const CtrArea& a : app.ctrs.areas) v.push_back(a.name);
    return v;
  }
};

TEST_F(CtrCommandsTest, ReadKeepsOrReplacesAndFixesEqualNames) {
  const std::string path = File("a.txt", kTwoAreas);
  Open(path);
  app.RunCommand(cmd::kReadCtrFile);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Beta"}));
  EXPECT_EQ(ui.statusLines.back(), "2 CTRs read");
  EXPECT_EQ(app.viewMode(), ViewMode::kCtr);
  EXPECT_EQ(ui.fileQuestions.back().title, "Read CTR");
  ASSERT_FALSE(ui.fileQuestions.back().filters.empty());
  EXPECT_EQ(ui.fileQuestions.back().filters[0].pattern, "*.txt");

  // Keep: appended, and the equal names offered for fixing.
  Open(path);
  ui.messageAnswers = {MessageAnswer::kYes, MessageAnswer::kYes};
  app.RunCommand(cmd::kReadCtrFile);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Beta", "Alpha(1)", "Beta(1)"}));
  ASSERT_GE(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[ui.messages.size() - 2].text, "Keep current CTR list ?");
  EXPECT_EQ(ui.messages.back().caption, "Equal CTR name(s)");

  // Replace.
  Open(path);
  ui.messageAnswers = {MessageAnswer::kNo};
  app.RunCommand(cmd::kReadCtrFile);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Beta"}));
}

TEST_F(CtrCommandsTest, ParseErrorsAndBadFilesLeaveTheListAlone) {
  Open(File("a.txt", kTwoAreas));
  app.RunCommand(cmd::kReadCtrFile);
  const struct {
    std::string text;
    std::string caption;
    std::string message;
  } cases[] = {
      {"AN A\nDP 47:00:00 N\n", "Parsing CTR buffer", "Bad position format on line 2"},
      {"", "Reading CTR file", "File is empty"},
  };
  for (const auto& c : cases) {
    Open(File("bad.txt", c.text));
    app.RunCommand(cmd::kReadCtrFile);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().caption, c.caption);
    EXPECT_EQ(ui.messages.back().text, c.message);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Beta"}));
  }
  Open(dir / "missing.txt");
  app.RunCommand(cmd::kReadCtrFile);
  EXPECT_EQ(ui.messages.back().caption, "Error opening CTR file");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Beta"}));
}

TEST_F(CtrCommandsTest, DyAreasAreNotifiedUntilSkippedAndSkippedRecordsReported) {
  Open(File("dy.txt",
            "AN A\nDY 1\nAN B\nDY 2\nAN C\nAY TMZ\nDP 47:00:00 N 8:00:00 E\nAN D\nDY 3\n"));
  ui.ctrNotifyAnswers = {false, true};
  app.RunCommand(cmd::kReadCtrFile);
  EXPECT_EQ(Names(), (std::vector<std::string>{"C"}));
  EXPECT_EQ(ui.ctrNotifications, (std::vector<std::string>{"CTR at line 1:  DY record (not implemented)",
                                                            "CTR at line 3:  DY record (not implemented)"}));
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_NE(ui.messages.back().text.find("Record AY skipped (line 6)"), std::string::npos);
}

TEST_F(CtrCommandsTest, WriteSendsTheSelectedAreasOnly) {
  Open(File("a.txt", kTwoAreas));
  app.RunCommand(cmd::kReadCtrFile);
  Select({});
  app.RunCommand(cmd::kWriteCtrFile);
  EXPECT_EQ(ui.messages.back().text, "No CTR(s) selected");
  Select({1});
  ui.saveAnswers.push_back(FileAnswer{dir / "out.txt", 1});
  app.RunCommand(cmd::kWriteCtrFile);
  Result<std::string> written = ReadWholeFile(dir / "out.txt");
  ASSERT_TRUE(written.ok());
  Result<OpenAirText> back = ParseOpenAirText(*written);
  ASSERT_TRUE(back.ok());
  ASSERT_EQ(back->list.count(), 1);
  EXPECT_EQ(back->list.areas[0].name, "Beta");
  EXPECT_EQ(back->list.areas[0].segments, app.ctrs.areas[1].segments);
  EXPECT_EQ(ui.statusLines.back(), "1 CTR(s) written");
}

TEST_F(CtrCommandsTest, EditChecksTheFormAndKeepsTheDialogOpen) {
  Open(File("a.txt", kTwoAreas));
  app.RunCommand(cmd::kReadCtrFile);
  Select({0});
  const std::string good = "AN Gamma\nDP 46:00:00 N 7:00:00 E\nDP 46:10:00 N 7:00:00 E\nAN Extra\nDP 1:00 N 1:00 E\n";
  ui.ctrEditAnswers = {CtrEditForm{"", good},         CtrEditForm{"12a", good},
                       CtrEditForm{"10000", good},    CtrEditForm{"500", "  \r\n"},
                       CtrEditForm{"500", "AN X\nDP 1\n"}, CtrEditForm{" 500 ", good}};
  const CtrArea before = app.ctrs.areas[0];
  app.RunCommand(cmd::kEditCtr);
  ASSERT_EQ(ui.ctrEditDialogs.size(), 1u);
  EXPECT_EQ(ui.ctrEditDialogs[0].warningDistance, "200");
  EXPECT_EQ(ui.ctrEditDialogs[0].text, WriteOpenAirText(before));
  const std::vector<std::string> texts = ui.MessageTexts();
  ASSERT_GE(texts.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(texts.end() - 5, texts.end()),
            (std::vector<std::string>{"Missing warning distance input", "Bad warning distance format",
                                      "Bad warning distance format", "Missing text",
                                      "Bad position format on line 2"}));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Gamma", "Beta"}));
  EXPECT_EQ(app.ctrs.areas[0].warningDistance, 500);
  EXPECT_EQ(app.ctrs.areas[0].segments.size(), 2u);

  // Cancel changes nothing.
  ui.ctrEditAnswers = {std::nullopt};
  app.RunCommand(cmd::kEditCtr);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Gamma", "Beta"}));
}

TEST_F(CtrCommandsTest, NewPutsTheFirstAreaAtTheHeadAndDeleteRemovesTheSelection) {
  ui.ctrEditAnswers = {CtrEditForm{"200", std::string(kNewCtrTemplate)},
                       CtrEditForm{"300", std::string(kNewCtrTemplate) + "DP 47:00:00 N 8:00:00 E\r\n"}};
  app.RunCommand(cmd::kNewCtr);
  EXPECT_EQ(ui.ctrEditDialogs.back().text, std::string(kNewCtrTemplate));
  EXPECT_EQ(ui.MessageTexts().back(), "No segments in airspace (line 8)");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Put airspace name here"}));
  EXPECT_EQ(app.ctrs.areas[0].floor, "Put floor remark here");
  EXPECT_EQ(app.ctrs.areas[0].warningDistance, 300);

  Open(File("a.txt", kTwoAreas));
  ui.messageAnswers = {MessageAnswer::kYes};
  app.RunCommand(cmd::kReadCtrFile);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Put airspace name here", "Alpha", "Beta"}));
  Select({});
  app.RunCommand(cmd::kDeleteCtr);
  EXPECT_EQ(ui.messages.back().text, "No CTR(s) selected");
  Select({2, 0});
  app.RunCommand(cmd::kDeleteCtr);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha"}));
}

TEST_F(CtrCommandsTest, ShowAsWaypointsAppendsOrReplaces) {
  Open(File("a.txt", kTwoAreas));
  app.RunCommand(cmd::kReadCtrFile);
  Select({0, 1});
  app.RunCommand(cmd::kShowCtrAsWaypoints);
  EXPECT_EQ(ui.messages.back().text, "No CTR selected");
  EXPECT_EQ(ui.messages.back().caption, "Show CTR");

  Select({1});
  app.RunCommand(cmd::kShowCtrAsWaypoints);
  ASSERT_EQ(app.waypoints.count(), 37);
  EXPECT_EQ(app.waypoints.items[0].id, "CABAAA");
  EXPECT_EQ(app.viewMode(), ViewMode::kWaypoints);

  // Another area appended; the same area again replaces its own points.
  app.SetViewMode(ViewMode::kCtr, true);
  Select({0});
  ui.messageAnswers = {MessageAnswer::kYes};
  app.RunCommand(cmd::kShowCtrAsWaypoints);
  const int32_t both = app.waypoints.count();
  EXPECT_GT(both, 37);
  EXPECT_EQ(app.waypoints.items[37].id, "CAAAAA");
  app.SetViewMode(ViewMode::kCtr, true);
  ui.messageAnswers = {MessageAnswer::kYes};
  app.RunCommand(cmd::kShowCtrAsWaypoints);
  EXPECT_EQ(app.waypoints.count(), both);

  app.SetViewMode(ViewMode::kCtr, true);
  Select({1});
  ui.messageAnswers = {MessageAnswer::kNo};
  app.RunCommand(cmd::kShowCtrAsWaypoints);
  EXPECT_EQ(app.waypoints.count(), 37);
}

// The GPX airspace file: names and heights escaped, every outline drawn.
TEST_F(CtrCommandsTest, GpxOutputEscapesTextsAndDrawsTheOutline) {
  Open(File("a.txt", "AN A & <B> \"C\"\r\nAL 1000 ft <AGL>\r\nAH FL100\r\nV X=46:00:00 N 7:00:00 E\r\nDC 2\r\n"));
  app.RunCommand(cmd::kReadCtrFile);
  Select({0});
  ui.saveAnswers.push_back(FileAnswer{dir / "air.gpx", 1});
  WriteCtrGpxCommand(app);
  Result<std::string> gpx = ReadWholeFile(dir / "air.gpx");
  ASSERT_TRUE(gpx.ok());
  EXPECT_NE(gpx->find("<name>A &amp; &lt;B&gt; &quot;C&quot;</name>"), std::string::npos);
  EXPECT_EQ(gpx->find("<B>"), std::string::npos);
  size_t points = 0;
  for (size_t at = gpx->find("<trkpt "); at != std::string::npos; at = gpx->find("<trkpt ", at + 1)) ++points;
  EXPECT_EQ(points, 37u);
}

}  // namespace
}  // namespace skylode::test
