// The four format dialogs: which filter index chooses which format, whether
// the format's extension is added, and what the setting keeps. Settings files
// written by earlier runs hold these numbers, so they are pinned here.
#include <gtest/gtest.h>

#include <functional>

#include "app_fixture.h"
#include "shell/app_state.h"
#include "shell/commands/kml_commands.h"
#include "shell/commands/waypoint_commands.h"

namespace skylode {
namespace {

using test::AppFixture;

struct Dialog {
  const char* name;
  std::function<FileDialogSpec()> spec;
  SettingId setting;
};

const Dialog kSaveWpts{"Save wpts. As", SaveWaypointsDialog, SettingId::kWptExportExt};
const Dialog kOpenWpts{"Open wpts.", OpenWaypointsDialog, SettingId::kWptImportExt};
const Dialog kOpenLog{"Open log", OpenLogDialog, SettingId::kLogImportExt};
const Dialog kSaveLogAs{"Save log As", SaveLogAsDialog, SettingId::kLogExportExt};

class FileDialogsTest : public AppFixture {
 protected:
  void SetUp() override { app.Initialise(); }
};

TEST_F(FileDialogsTest, FilterListsShowEachFormatThenAllFiles) {
  const struct {
    const Dialog& dialog;
    std::vector<std::string> labels;
  } cases[] = {
      {kSaveWpts,
       {"Ozi files (*.wpt)", "UTM files (*.wpt)", "Geographical files (*.wpt)", "MapSource files (*.mps)",
        "SeeYou files (*.cup)", "GPX files (*.gpx)", "GoogleEarth files (*.kml)", "WinPilot files (*.dat)",
        "Ozi files (*.*)", "UTM files (*.*)", "Geographical files (*.*)", "MapSource files (*.*)",
        "SeeYou files (*.*)", "GPX files (*.*)", "GoogleEarth files (*.*)", "WinPilot files (*.*)"}},
      {kOpenWpts,
       {"Ozi/Skylode (*.wpt)", "MapSource (*.mps)", "SeeYou (*.cup)", "GPS exchange (*.gpx)", "GoogleEarth (*.kml)",
        "WinPilot (*.dat)", "All files (*.*)"}},
      {kOpenLog,
       {"Aerodiary files (*.kml)", "Ozi files (*.plt)", "Aerodiary (old) files (*.dat)", "TopNavigator files (*.tnc)",
        "MapSource files (*.mps)", "Magellan files (*.log)", "IGC files (*.igc)", "GPX files (*.gpx)",
        "CSV files (*.csv)", "Aerodiary files (*.*)", "Ozi files (*.*)", "Aerodiary (old) files (*.*)",
        "TopNavigator files (*.*)", "MapSource files (*.*)", "Magellan files (*.*)", "IGC files (*.*)",
        "GPX files (*.*)", "CSV files (*.*)"}},
      {kSaveLogAs,
       {"Ozi files (*.plt)", "MapSource files (*.mps)", "TopNavigator files (*.tnc)", "GPX files (*.gpx)",
        "CSV files (*.csv)", "Ozi files (*.*)", "MapSource files (*.*)", "TopNavigator files (*.*)",
        "GPX files (*.*)", "CSV files (*.*)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dialog.name);
    ui.openAnswers.push_back(std::nullopt);
    EXPECT_FALSE(app.AskOpenFile(c.dialog.spec()));
    const FileQuestion& q = ui.fileQuestions.back();
    std::vector<std::string> labels;
    for (const FileFilter& f : q.filters) {
      labels.push_back(f.name);
      const bool all = f.name.ends_with("(*.*)");
      EXPECT_EQ(f.pattern, all ? "*.*" : f.name.substr(f.name.rfind('(') + 1, f.name.size() - f.name.rfind('(') - 2));
    }
    EXPECT_EQ(labels, c.labels);
  }
}

TEST_F(FileDialogsTest, FilterIndexChoosesFormatExtensionAndStoredValue) {
  const struct {
    const Dialog& dialog;
    int index;
    const char* extension;  // of the format chosen
    bool appended;          // added to a name typed without one
    int stored;             // 0: the setting keeps its earlier value
  } cases[] = {
      {kSaveWpts, 1, ".wpt", true, 1},
      {kSaveWpts, 4, ".mps", true, 4},
      {kSaveWpts, 8, ".dat", true, 8},
      {kSaveWpts, 9, ".wpt", false, 1},
      {kSaveWpts, 12, ".mps", false, 4},
      {kSaveWpts, 16, ".dat", false, 8},
      {kOpenWpts, 1, ".wpt", true, 1},
      {kOpenWpts, 6, ".dat", true, 6},
      {kOpenWpts, 7, ".wpt", false, 0},  // all files: the reader looks at the bytes
      {kOpenLog, 1, ".kml", true, 1},
      {kOpenLog, 9, ".csv", true, 9},
      {kOpenLog, 10, ".kml", false, 10},
      {kOpenLog, 16, ".igc", false, 16},
      {kOpenLog, 18, ".csv", false, 18},
      {kSaveLogAs, 2, ".mps", true, 2},
      {kSaveLogAs, 5, ".csv", true, 5},
      {kSaveLogAs, 6, ".plt", false, 6},
      {kSaveLogAs, 10, ".csv", false, 10},
      // Indices the dialog cannot show read as the first row.
      {kSaveLogAs, 11, ".plt", true, 1},
      {kOpenWpts, 0, ".wpt", true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.dialog.name) + " " + std::to_string(c.index));
    constexpr int kEarlier = 3;
    ASSERT_TRUE(settings.SetNumber(c.dialog.setting, kEarlier));
    const FileDialogSpec spec = c.dialog.spec();
    const std::string typed = dir / "name";
    ui.saveAnswers.push_back(FileAnswer{typed, c.index});
    const auto chosen = app.AskSaveFile(spec);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(spec.formats[static_cast<size_t>(chosen->format)].extension, c.extension);
    EXPECT_EQ(chosen->path, c.appended ? typed + c.extension : typed);
    EXPECT_EQ(settings.Number(c.dialog.setting), c.stored == 0 ? kEarlier : c.stored);
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FileDialogsTest, DialogOpensOnTheStoredFilterWithinItsRange) {
  const struct {
    const Dialog& dialog;
    int stored;
    int shown;
  } cases[] = {
      {kSaveWpts, 8, 8},
      {kOpenWpts, 6, 6},
      {kOpenLog, 18, 18},
      {kSaveLogAs, 10, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dialog.name);
    ASSERT_TRUE(settings.SetNumber(c.dialog.setting, c.stored));
    ui.openAnswers.push_back(std::nullopt);
    app.AskOpenFile(c.dialog.spec());
    EXPECT_EQ(ui.fileQuestions.back().filterIndex, c.shown);
    // One past what the dialog keeps is no stored value at all.
    EXPECT_FALSE(settings.SetNumber(c.dialog.setting, c.stored + 1));
  }
}

}  // namespace
}  // namespace skylode
