#include "shell/settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "shell/settings/ini_file.h"
#include "temp_dir.h"

namespace skylode {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsPaths Paths() const {
    SettingsPaths p;
    p.userFile = dir / "config/skylode/settings.ini";
    p.defaultsFiles = {dir / "etc/skylode/defaults.ini"};
    p.documentsDir = dir / "Docs";
    return p;
  }
  static int KeysIn(const std::string& text) {
    auto doc = IniDocument::Parse(text);
    int n = 0;
    for (const auto& spec : SettingSpecs()) n += doc && doc->Get(kSettingsSection, spec.name) ? 1 : 0;
    return n;
  }
  TempDir dir;
};

TEST_F(SettingsTest, FirstRunUsesDefaultsAndWritesAllValues) {
  SettingsStore store(Paths());
  EXPECT_FALSE(store.Load().has_value());
  EXPECT_TRUE(store.firstRun());
  EXPECT_EQ(store.Text(SettingId::kPortName), "COM1");
  EXPECT_EQ(store.Number(SettingId::kLogFilter), 1);
  EXPECT_EQ(store.Number(SettingId::kTrackGapTime), 1200);
  EXPECT_EQ(store.Number(SettingId::kLoopFlightGap), 800);
  EXPECT_EQ(store.Number(SettingId::kCompTimeStart), 555674400);
  EXPECT_EQ(store.Text(SettingId::kIgcDir), dir / "Docs");
  EXPECT_EQ(store.Text(SettingId::kIgcPilotName), "None");

  const auto saved = store.Save();
  EXPECT_FALSE(saved.error.has_value());
  EXPECT_EQ(saved.written, kSettingCount);
  EXPECT_EQ(KeysIn(ReadText(Paths().userFile)), kSettingCount);
}

TEST_F(SettingsTest, UnchangedRunWritesNothingAndLeavesFileAlone) {
  {
    SettingsStore first(Paths());
    first.Load();
    ASSERT_EQ(first.Save().written, kSettingCount);
  }
  struct stat before {};
  ASSERT_EQ(stat(Paths().userFile.c_str(), &before), 0);
  const std::string text = ReadText(Paths().userFile);

  SettingsStore second(Paths());
  EXPECT_FALSE(second.Load().has_value());
  EXPECT_FALSE(second.firstRun());
  EXPECT_EQ(second.Save().written, 0);

  struct stat after {};
  ASSERT_EQ(stat(Paths().userFile.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced by a rename
  EXPECT_EQ(ReadText(Paths().userFile), text);
}

TEST_F(SettingsTest, OnlyChangedValuesAreWrittenAndForeignLinesSurvive) {
  WriteText(Paths().userFile,
            "# my notes\n[Skylode]\nPortName=/dev/ttyUSB0\nFutureKey=keep me\n[Other]\nx=1\n");
  SettingsStore store(Paths());
  ASSERT_FALSE(store.Load().has_value());
  EXPECT_EQ(store.Text(SettingId::kPortName), "/dev/ttyUSB0");
  ASSERT_TRUE(store.SetNumber(SettingId::kTrackGapTime, 600));
  ASSERT_TRUE(store.SetText(SettingId::kPortName, "/dev/ttyUSB0"));  // same value: not a change
  EXPECT_EQ(store.Save().written, 1);

  const std::string text = ReadText(Paths().userFile);
  auto doc = IniDocument::Parse(text);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->Get("Skylode", "TrackGapTime"), "600");
  EXPECT_EQ(doc->Get("Skylode", "FutureKey"), "keep me");
  EXPECT_EQ(doc->Get("Other", "x"), "1");
  EXPECT_NE(text.find("# my notes"), std::string::npos);
  EXPECT_EQ(KeysIn(text), 2);
}

struct BadValueCase {
  const char* line;
  SettingId id;
};

TEST_F(SettingsTest, ValuesThatDoNotFitFallBackToDefaults) {
  const std::string tooLongPort(80, 'P');  // the field holds 79 characters
  const BadValueCase cases[] = {
      {"LogFilter=2", SettingId::kLogFilter},
      {"LogFilter=yes", SettingId::kLogFilter},
      {"TrackGapTime=-5", SettingId::kTrackGapTime},
      {"TrackGapTime=99999999999999999999", SettingId::kTrackGapTime},
      {"LoopFlightGap=12abc", SettingId::kLoopFlightGap},
      {"IgcSaveMask=8", SettingId::kIgcSaveMask},
      {"IgcContestId=ABCD", SettingId::kIgcContestId},
      {"Baudrate=fast", SettingId::kBaudrate},
      {"OlcRegion=12345678", SettingId::kOlcRegion},
  };
  std::string text = "[Skylode]\nPortName=" + tooLongPort + "\n";
  for (const auto& c : cases) text += std::string(c.line) + "\n";
  WriteText(Paths().userFile, text);

  SettingsStore store(Paths());
  EXPECT_FALSE(store.Load().has_value());
  EXPECT_EQ(store.Text(SettingId::kPortName), "COM1");
  const SettingsStore defaults(Paths());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(store.Number(c.id), defaults.Number(c.id));
    EXPECT_EQ(store.Text(c.id), defaults.Text(c.id));
  }
  // A fallback is not a change: nothing is written back over the user's text.
  EXPECT_EQ(store.Save().written, 0);
}

TEST_F(SettingsTest, ValuesAtTheirLimitsAreKept) {
  const std::string port(79, 'P');
  WriteText(Paths().userFile, "[skylode]\nportname=" + port +
                                  "\nCompTimeStart=4294967295\nIgcContestId=ABC\nIgcSite= Col du Mont \n");
  SettingsStore store(Paths());
  ASSERT_FALSE(store.Load().has_value());
  EXPECT_EQ(store.Text(SettingId::kPortName), port);
  EXPECT_EQ(store.Number(SettingId::kCompTimeStart), 4294967295LL);
  EXPECT_EQ(store.Text(SettingId::kIgcContestId), "ABC");
  // Unquoted surrounding blanks are not part of the value.
  EXPECT_EQ(store.Text(SettingId::kIgcSite), "Col du Mont");
}

TEST_F(SettingsTest, SettersRefuseWhatTheFieldCannotHold) {
  SettingsStore store(Paths());
  store.Load();
  EXPECT_FALSE(store.SetText(SettingId::kPortName, std::string(80, 'x')));
  EXPECT_FALSE(store.SetText(SettingId::kIgcSite, "two\nlines"));
  EXPECT_FALSE(store.SetNumber(SettingId::kLogFilter, 3));
  EXPECT_FALSE(store.SetText(SettingId::kLogFilter, "1"));
  EXPECT_FALSE(store.SetNumber(SettingId::kPortName, 1));
  EXPECT_EQ(store.Text(SettingId::kPortName), "COM1");
  EXPECT_EQ(store.Number(SettingId::kLogFilter), 1);
}

TEST_F(SettingsTest, TextsSurviveARoundTripUnchanged) {
  const std::string tricky[] = {" leading blank", "trailing blank ", "\"quoted\"", R"(c:\My Documents\)",
                                "a=b;c # d", ""};
  const SettingId ids[] = {SettingId::kIgcPilotName, SettingId::kIgcGliderType, SettingId::kIgcGliderId,
                           SettingId::kTraceDir, SettingId::kIgcSite, SettingId::kOlcCallSign};
  {
    SettingsStore store(Paths());
    store.Load();
    for (size_t i = 0; i < std::size(ids); ++i) ASSERT_TRUE(store.SetText(ids[i], tricky[i]));
    ASSERT_EQ(store.Save().written, kSettingCount);
  }
  SettingsStore again(Paths());
  ASSERT_FALSE(again.Load().has_value());
  for (size_t i = 0; i < std::size(ids); ++i) EXPECT_EQ(again.Text(ids[i]), tricky[i]);
}

TEST_F(SettingsTest, DamagedFileGivesOneMessageDefaultsAndIsNeverOverwritten) {
  const std::string damaged = "[Skylode]\nPortName=COM7\nthis line is not a setting\n";
  WriteText(Paths().userFile, damaged);
  SettingsStore store(Paths());
  const auto message = store.Load();
  ASSERT_TRUE(message.has_value());
  EXPECT_NE(message->find("line 3"), std::string::npos);
  EXPECT_EQ(store.Text(SettingId::kPortName), "COM1");
  EXPECT_FALSE(store.writable());
  store.SetNumber(SettingId::kTrackGapTime, 60);
  const auto saved = store.Save();
  EXPECT_EQ(saved.written, 0);
  EXPECT_FALSE(saved.error.has_value());  // the one message was given at load
  EXPECT_EQ(ReadText(Paths().userFile), damaged);
}

TEST_F(SettingsTest, UnreadableFileGivesMessageAndDefaults) {
  std::filesystem::create_directories(Paths().userFile);  // a folder where the file should be
  SettingsStore store(Paths());
  const auto message = store.Load();
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(store.Text(SettingId::kPortName), "COM1");
  store.SetText(SettingId::kPortName, "COM2");
  EXPECT_EQ(store.Save().written, 0);
  EXPECT_TRUE(std::filesystem::is_directory(Paths().userFile));
}

TEST_F(SettingsTest, BinaryGarbageIsDamage) {
  WriteText(Paths().userFile, std::string("[Skylode]\nPort=1\0\x01\x02", 19));
  SettingsStore store(Paths());
  EXPECT_TRUE(store.Load().has_value());
  EXPECT_EQ(store.Number(SettingId::kPort), 1);
}

TEST_F(SettingsTest, FirstRunTakesSystemDefaultsAndStillWritesEverything) {
  WriteText(Paths().defaultsFiles[0], "[Skylode]\nPortName=/dev/ttyS1\nLogFilter=0\nLoopFlightGap=-1\n");
  SettingsStore store(Paths());
  ASSERT_FALSE(store.Load().has_value());
  EXPECT_TRUE(store.firstRun());
  EXPECT_EQ(store.Text(SettingId::kPortName), "/dev/ttyS1");
  EXPECT_EQ(store.Number(SettingId::kLogFilter), 0);
  EXPECT_EQ(store.Number(SettingId::kLoopFlightGap), 800);
  EXPECT_EQ(store.Save().written, kSettingCount);
  auto doc = IniDocument::Parse(ReadText(Paths().userFile));
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->Get("Skylode", "PortName"), "/dev/ttyS1");
  // The system file is only read.
  EXPECT_EQ(ReadText(Paths().defaultsFiles[0]).find("TrackGapTime"), std::string::npos);
}

TEST_F(SettingsTest, CommandLineRunWritesNothing) {
  SettingsStore store(Paths());
  store.Load();
  store.SetReadOnly(true);
  store.SetText(SettingId::kPortName, "COM4");
  EXPECT_EQ(store.Save().written, 0);
  EXPECT_FALSE(std::filesystem::exists(Paths().userFile));
}

TEST_F(SettingsTest, FailedWriteIsReportedAndKeepsTheChange) {
  SettingsStore store(Paths());
  store.Load();
  // A file where the settings folder should be.
  WriteText(dir / "config/skylode", "x");
  const auto saved = store.Save();
  EXPECT_EQ(saved.written, 0);
  EXPECT_TRUE(saved.error.has_value());
  EXPECT_TRUE(store.firstRun());
}

TEST(DocumentsFolderTest, FollowsUserDirsThenDocumentsThenHome) {
  TempDir dir;
  const std::string home = dir / "home";
  const std::string config = dir / "home/.config";
  std::filesystem::create_directories(config);
  EXPECT_EQ(DocumentsFolder(home, config), home);
  std::filesystem::create_directories(home + "/Documents");
  EXPECT_EQ(DocumentsFolder(home, config), home + "/Documents");
  WriteText(config + "/user-dirs.dirs", "# xdg\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(DocumentsFolder(home, config), home + "/Dokumente");
  WriteText(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
  EXPECT_EQ(DocumentsFolder(home, config), "/srv/docs");
}

TEST(SettingSpecsTest, NamesAreUniqueAndDefaultsLieInTheirRanges) {
  const auto& specs = SettingSpecs();
  for (size_t i = 0; i < specs.size(); ++i) {
    SCOPED_TRACE(std::string(specs[i].name));
    for (size_t j = i + 1; j < specs.size(); ++j) EXPECT_NE(specs[i].name, specs[j].name);
    if (specs[i].kind == SettingKind::kNumber) {
      EXPECT_GE(specs[i].defaultNumber, specs[i].min);
      EXPECT_LE(specs[i].defaultNumber, specs[i].max);
    } else {
      EXPECT_LT(specs[i].defaultText.size(), specs[i].size);
    }
  }
  EXPECT_EQ(specs[0].name, "PilotListName");
  EXPECT_EQ(specs[10].name, "PortName");
  EXPECT_EQ(specs[45].name, "DsxDataMode");
  EXPECT_EQ(specs[46].name, "MapTileUrl");
}

TEST_F(SettingsTest, TileServerUrlIsKeptBetweenRuns) {
  // A club's server with a long path and a key in its query.
  const std::string club = "https://tiles.club.example:8443/" + std::string(300, 'p') + "/{z}/{x}/{y}.png?k=1";
  {
    SettingsStore store(Paths());
    store.Load();
    EXPECT_EQ(store.Text(SettingId::kMapTileUrl), "https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    ASSERT_TRUE(store.SetText(SettingId::kMapTileUrl, club));
    ASSERT_FALSE(store.Save().error.has_value());
  }
  SettingsStore again(Paths());
  EXPECT_FALSE(again.Load().has_value());
  EXPECT_EQ(again.Text(SettingId::kMapTileUrl), club);
}

}  // namespace
}  // namespace skylode

namespace skylode {
namespace {

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(SettingsPathsTest, FollowTheXdgVariables) {
  ScopedEnv env;
  env.Set("HOME", "/home/pilot");
  env.Set("XDG_CONFIG_HOME", "/cfg");
  env.Set("XDG_CONFIG_DIRS", "/opt/xdg:relative/dir:/etc/xdg");
  SettingsPaths p = SettingsPaths::FromEnvironment();
  EXPECT_EQ(p.userFile, "/cfg/skylode/settings.ini");
  EXPECT_EQ(p.defaultsFiles,
            (std::vector<std::string>{"/opt/xdg/skylode/defaults.ini", "/etc/xdg/skylode/defaults.ini"}));

  // Relative or empty values are not to be used.
  env.Set("XDG_CONFIG_HOME", "cfg");
  env.Set("XDG_CONFIG_DIRS", nullptr);
  p = SettingsPaths::FromEnvironment();
  EXPECT_EQ(p.userFile, "/home/pilot/.config/skylode/settings.ini");
  EXPECT_EQ(p.defaultsFiles, std::vector<std::string>{"/etc/xdg/skylode/defaults.ini"});
  EXPECT_EQ(p.documentsDir, "/home/pilot");
}

}  // namespace
}  // namespace skylode
