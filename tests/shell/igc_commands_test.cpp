// The IGC commands through the scripted UI: the save dialog's checks, the file
// questions, the security check of what was written, and opening .igc files.
#include <gtest/gtest.h>

#include <filesystem>

#include "app_fixture.h"
#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/igc_commands.h"
#include "records/calendar.h"

namespace skylode::test {
namespace {

uint32_t At(int year, int month, int day, int hour, int minute, int second) {
  CalendarTime t;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(hour);
  t.minute = static_cast<uint16_t>(minute);
  t.second = static_cast<uint16_t>(second);
  return *CalendarToTime(t);
}

IgcSaveForm GoodForm() {
  IgcSaveForm f;
  f.pilot = "Jo Bloggs";
  f.flightNumber = "2";
  f.frSerial = "AB1";
  f.gliderType = "Alpha";
  f.gliderId = "D-1";
  f.site = "Hill";
  f.competitionClass = "Open";
  f.longName = true;
  f.gRecord = true;
  return f;
}

// A three-line flight; the text an instrument could have sent.
constexpr char kFlightText[] =
    "AXYZ001 test\r\n"
    "HFDTE311209\r\n"
    "B1200004703501N00800000WA0012301235\r\n"
    "B1200104703511N00800010WA0012401236\r\n"
    "B1200204703521N00800020WA0012501237\r\n";

class IgcCommandsTest : public AppFixture {
 protected:
  void SetUp() override {
    RegisterIgcCommands(app);
    for (int i = 0; i < 3; ++i) app.trackLog.points.push_back(Point(At(2009, 12, 31, 12, 0, 10 * i), 1000 + i));
    app.trackLog.source = TrackLogSource::kGarmin;
    app.trackLog.gRecordValid = true;
    ui.selection[ViewMode::kTrackLog] = {0, 1, 2};
  }

  void AnswerSave(const std::string& path) { ui.saveAnswers.push_back(FileAnswer{path, 1}); }
};

TEST_F(IgcCommandsTest, SavesSignedFileUnderProposedLongNameAndKeepsTheChoices) {
  ui.igcAnswers.push_back(GoodForm());
  AnswerSave(dir / "flight");
  app.RunCommand(cmd::kSaveIgc);

  ASSERT_EQ(ui.igcRequests.size(), 1u);
  EXPECT_FALSE(ui.igcRequests[0].rawLog);
  // The dialog opens with the stored choices: short name and G record.
  EXPECT_EQ(ui.igcRequests[0].form.pilot, "None");
  EXPECT_TRUE(ui.igcRequests[0].form.shortName);
  EXPECT_FALSE(ui.igcRequests[0].form.longName);
  EXPECT_TRUE(ui.igcRequests[0].form.gRecord);
  ASSERT_EQ(ui.fileQuestions.size(), 1u);
  EXPECT_EQ(ui.fileQuestions[0].defaultName, "2009-12-31-XKL-AB1-02.igc");
  EXPECT_EQ(ui.fileQuestions[0].title, "Save track log");

  const std::string path = dir / "flight.igc";
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(*VerifyIgcFile(path), IgcVerifyOutcome::kPassed);
  EXPECT_NE(ReadText(path).find("HOPLTPILOT: Jo Bloggs\r\n"), std::string::npos);
  EXPECT_TRUE(ui.MessageTexts().empty());
  EXPECT_TRUE(app.trackLog.saved);
  ASSERT_FALSE(ui.statusLines.empty());
  EXPECT_EQ(ui.statusLines.back(), "3 positions written");
  EXPECT_EQ(settings.Text(SettingId::kIgcPilotName), "Jo Bloggs");
  EXPECT_EQ(settings.Text(SettingId::kIgcContestId), "AB1");
  EXPECT_EQ(settings.Text(SettingId::kIgcFlightNo), "2");
  EXPECT_EQ(settings.Number(SettingId::kIgcSaveMask), 3);
  EXPECT_EQ(settings.Text(SettingId::kIgcDir), dir.str());

  // The next save proposes the long name again.
  ui.RunPosted();
  app.RunCommand(cmd::kSaveIgc);
  ASSERT_EQ(ui.igcRequests.size(), 2u);
  EXPECT_TRUE(ui.igcRequests[1].form.longName);
  EXPECT_EQ(ui.igcRequests[1].form.pilot, "Jo Bloggs");
}

TEST_F(IgcCommandsTest, RefusedParametersKeepTheDialogOpenWithWhatWasTyped) {
  struct Case {
    const char* name;
    void (*edit)(IgcSaveForm&);
    const char* message;
  };
  const Case cases[] = {
      {"no pilot", [](IgcSaveForm& f) { f.pilot.clear(); }, "Missing pilot name"},
      {"no flight", [](IgcSaveForm& f) { f.flightNumber.clear(); }, "Missing flight number"},
      {"letters", [](IgcSaveForm& f) { f.flightNumber = "2x"; }, "Bad flight number input"},
      {"flight 36", [](IgcSaveForm& f) { f.flightNumber = "36"; }, "Flight number out of range"},
      {"flight 0", [](IgcSaveForm& f) { f.flightNumber = " 0 "; }, "Flight number out of range"},
      {"no serial", [](IgcSaveForm& f) { f.frSerial.clear(); }, "Missing FR serial number"},
      {"short serial", [](IgcSaveForm& f) { f.frSerial = "A1"; }, "FR serial number string too short"},
      {"serial sign", [](IgcSaveForm& f) { f.frSerial = "A-1"; }, "FR serial number not alpha-numeric"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.messages.clear();
    ui.igcRequests.clear();
    ui.fileQuestions.clear();
    IgcSaveForm form = GoodForm();
    c.edit(form);
    ui.igcAnswers.push_back(form);  // then the queue is empty: Cancel
    app.RunCommand(cmd::kSaveIgc);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.message);
    EXPECT_EQ(ui.messages[0].caption, "Checking IGC parameters");
    EXPECT_EQ(ui.messages[0].icon, BoxIcon::kError);
    ASSERT_EQ(ui.igcRequests.size(), 2u);
    EXPECT_EQ(ui.igcRequests[1].form.flightNumber, form.flightNumber);
    EXPECT_EQ(ui.igcRequests[1].form.frSerial, form.frSerial);
    EXPECT_TRUE(ui.fileQuestions.empty());
  }
  EXPECT_FALSE(app.trackLog.saved);
  EXPECT_EQ(settings.Text(SettingId::kIgcPilotName), "None");
}

TEST_F(IgcCommandsTest, ExistingFileIsReplacedOnlyAfterOk) {
  const std::string path = dir / "old.igc";
  WriteText(path, "old flight");
  // Declined: back to the dialog, which is then cancelled.
  ui.igcAnswers.push_back(GoodForm());
  AnswerSave(path);
  ui.messageAnswers.push_back(MessageAnswer::kCancel);
  app.RunCommand(cmd::kSaveIgc);
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"File already exists, overwrite ?"}));
  EXPECT_EQ(ui.messages[0].caption, "File creation");
  EXPECT_EQ(ui.messages[0].defaultAnswer, MessageAnswer::kCancel);
  EXPECT_EQ(ui.igcRequests.size(), 2u);
  EXPECT_EQ(ReadText(path), "old flight");
  EXPECT_FALSE(app.trackLog.saved);

  ui.igcAnswers.push_back(GoodForm());
  AnswerSave(path);
  ui.messageAnswers.push_back(MessageAnswer::kOk);
  app.RunCommand(cmd::kSaveIgc);
  EXPECT_EQ(*VerifyIgcFile(path), IgcVerifyOutcome::kPassed);
  EXPECT_TRUE(app.trackLog.saved);
}

TEST_F(IgcCommandsTest, LogFromFileIsSavedWithoutSecurityRecordAndSaysSo) {
  app.trackLog.gRecordValid = false;
  ui.igcAnswers.push_back(GoodForm());
  AnswerSave(dir / "f.igc");
  app.RunCommand(cmd::kSaveIgc);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Track log source is not valid for G-record");
  EXPECT_EQ(ui.messages[0].caption, "Security record NOT included");
  EXPECT_EQ(*VerifyIgcFile(dir / "f.igc"), IgcVerifyOutcome::kNoSecurityRecord);
}

TEST_F(IgcCommandsTest, SelectionChecksBeforeTheDialog) {
  ui.selection[ViewMode::kTrackLog] = {};
  app.RunCommand(cmd::kSaveIgc);
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"No position(s) selected"}));
  EXPECT_EQ(ui.messages[0].caption, "Write IGC track log file");

  ui.messages.clear();
  ui.selection[ViewMode::kTrackLog] = {1};
  app.RunCommand(cmd::kSaveIgc);  // Cancel is the default answer
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Only one position selected"}));
  EXPECT_EQ(ui.messages[0].buttons, MessageButtons::kOkCancel);
  EXPECT_TRUE(ui.igcRequests.empty());

  app.trackLog.points.clear();
  ui.messages.clear();
  app.RunCommand(cmd::kSaveIgc);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.igcRequests.empty());
}

TEST_F(IgcCommandsTest, WrongViewIsRefused) {
  app.SetViewMode(ViewMode::kWaypoints, false);
  app.RunCommand(cmd::kSaveIgc);
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Incorrect view mode"}));
  EXPECT_TRUE(ui.igcRequests.empty());
}

TEST_F(IgcCommandsTest, RawLogIsWrittenByteForByte) {
  app.RunCommand(cmd::kSaveRawIgc);
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"No raw IGC log stored"}));
  EXPECT_EQ(ui.messages[0].caption, "Save IGC log");
  ui.messages.clear();

  const Result<AcceptedIgc> accepted = AcceptInstrumentIgc(kFlightText);
  ASSERT_TRUE(accepted.ok()) << accepted.error().text;
  app.rawIgc = accepted->raw;
  IgcSaveForm bad;
  bad.flightNumber = "99";
  bad.shortName = true;
  IgcSaveForm good;
  good.flightNumber = "7";
  good.shortName = true;
  ui.igcAnswers = {bad, good};
  AnswerSave(dir / "raw");
  app.RunCommand(cmd::kSaveRawIgc);

  ASSERT_EQ(ui.igcRequests.size(), 2u);
  EXPECT_TRUE(ui.igcRequests[0].rawLog);
  EXPECT_EQ(ui.igcRequests[0].form.flightNumber, "1");
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Flight number out of range"}));
  EXPECT_EQ(ui.messages[0].caption, "IGC file parameter check");
  ASSERT_EQ(ui.fileQuestions.size(), 1u);
  EXPECT_EQ(ui.fileQuestions[0].defaultName, "9CVX0017.igc");
  EXPECT_EQ(ReadText(dir / "raw.igc"), kFlightText);
  EXPECT_EQ(settings.Text(SettingId::kIgcFlightNo), "7");
  // The G-record bit belongs to the other dialog and stays.
  EXPECT_EQ(settings.Number(SettingId::kIgcSaveMask), 5);
  EXPECT_TRUE(app.trackLog.saved);
}

TEST_F(IgcCommandsTest, VerifyReportsEachOutcome) {
  IgcWriteOptions options;
  options.frSerial = "AB1";
  options.gRecordValid = true;
  options.wantGRecord = true;
  const std::string good = BuildIgcText(app.trackLog.points, options)->text;
  std::string tampered = good;
  const size_t b = tampered.find("\r\nB120010");
  ASSERT_NE(b, std::string::npos);
  tampered[b + 20] = tampered[b + 20] == '0' ? '1' : '0';
  options.wantGRecord = false;
  const std::string unsigned_ = BuildIgcText(app.trackLog.points, options)->text;

  struct Case {
    const char* name;
    std::string text;
    const char* message;
    BoxIcon icon;
  };
  const Case cases[] = {
      {"good", good, "Security check PASSED", BoxIcon::kNone},
      {"tampered", tampered, "Security check FAILED", BoxIcon::kError},
      {"unsigned", unsigned_, "No security record", BoxIcon::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.messages.clear();
    const std::string path = dir / (std::string(c.name) + ".igc");
    WriteText(path, c.text);
    ui.openAnswers.push_back(FileAnswer{path, 1});
    app.RunCommand(cmd::kVerifyIgc);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.message);
    EXPECT_EQ(ui.messages[0].caption, "Security check");
    EXPECT_EQ(ui.messages[0].icon, c.icon);
  }
  EXPECT_EQ(app.trackLog.count(), 3);

  ui.messages.clear();
  ui.openAnswers.push_back(FileAnswer{dir / "missing.igc", 1});
  app.RunCommand(cmd::kVerifyIgc);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Error opening track log file");
}

TEST_F(IgcCommandsTest, OpenInstallsTheFileAndKeepsItsText) {
  ASSERT_TRUE(app.IsCommandAvailable(cmd::kOpenLog));
  app.trackLog.saved = true;
  const std::string path = dir / "flight.igc";
  WriteText(path, kFlightText);
  ui.openAnswers.push_back(FileAnswer{path, 7});
  app.RunCommand(cmd::kOpenLog);

  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(app.trackLog.count(), 3);
  EXPECT_EQ(app.trackLog.points[1].time - app.trackLog.points[0].time, 10u);
  EXPECT_FALSE(app.trackLog.gRecordValid);
  EXPECT_EQ(app.trackLog.source, TrackLogSource::kFile);
  EXPECT_TRUE(app.trackLog.hasBaroHeight);
  EXPECT_EQ(app.rawIgc.text, kFlightText);
  EXPECT_EQ(app.rawIgc.manufacturer, "XYZ");
  EXPECT_EQ(app.rawIgc.loggerSerial, "001");
  // Unchanged from the file: replacing it needs no question.
  EXPECT_TRUE(app.trackLog.saved);
  EXPECT_EQ(ui.statusLines.back(), "3 positions read (Signature not ok or ignored)");
}

TEST_F(IgcCommandsTest, OpenFailuresKeepTheLoadedLog) {
  app.rawIgc.text = "instrument text";
  const std::vector<TrackPoint> before = app.trackLog.points;
  struct Case {
    const char* name;
    std::string text;  // empty: the file is not created at all
    const char* message;
    const char* caption;
  };
  const Case cases[] = {
      {"no date", "AXYZ001\r\nB1200004703501N00800000WA0012301235\r\n", "Missing date line", "Reading IGC log file"},
      {"bad minutes", "AXYZ001\r\nHFDTE311209\r\nB1200004760001N00800000WA0012301235\r\n", "Pos. error 10 on line 3",
       "Reading IGC log file"},
      {"empty", "", "File is empty", "Reading track log file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.messages.clear();
    const std::string path = dir / (std::string(c.name) + ".igc");
    WriteText(path, c.text);
    ASSERT_EQ(OpenIgcTrackLog(app, path), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.message);
    EXPECT_EQ(ui.messages[0].caption, c.caption);
    EXPECT_EQ(app.trackLog.points, before);
    EXPECT_EQ(app.rawIgc.text, "instrument text");
  }

  // An unsaved log is replaced only after OK.
  ui.messages.clear();
  WriteText(dir / "good.igc", kFlightText);
  ASSERT_EQ(OpenIgcTrackLog(app, dir / "good.igc"), -1);  // Cancel by default
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Continue without saving current track log ?"}));
  EXPECT_EQ(app.trackLog.points, before);
  ui.messageAnswers.push_back(MessageAnswer::kOk);
  ASSERT_EQ(OpenIgcTrackLog(app, dir / "good.igc"), 0);
  EXPECT_EQ(app.rawIgc.text, kFlightText);
}

// A file whose last B record was cut off keeps every whole fix, and the
// person hears about the one left out: the same words as the command line's.
TEST_F(IgcCommandsTest, OpenWarnsAboutACutOffLastFix) {
  const std::string text = std::string(kFlightText) + "B1200304703531N0080003";
  WriteText(dir / "cut.igc", text);
  app.trackLog.saved = true;
  ASSERT_EQ(OpenIgcTrackLog(app, dir / "cut.igc"), 0);
  EXPECT_EQ(app.trackLog.count(), 3);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Reading IGC log file");
  EXPECT_EQ(ui.messages[0].text, "Last position cut off: Pos. error 14 on line 6");
  EXPECT_EQ(ui.messages[0].icon, BoxIcon::kWarning);
  EXPECT_EQ(app.rawIgc.text, text);
}

TEST_F(IgcCommandsTest, OpenOffersToDropPositionsThatGoBackInTime) {
  const std::string text = std::string(kFlightText) + "B1159504703521N00800020WA0012501237\r\n";
  WriteText(dir / "back.igc", text);
  app.trackLog.saved = true;
  ui.messageAnswers.push_back(MessageAnswer::kYes);
  ASSERT_EQ(OpenIgcTrackLog(app, dir / "back.igc"), 0);
  EXPECT_EQ(ui.MessageTexts(),
            (std::vector<std::string>{"One or more positions (the first at pos. 4) go backwards in time. Remove ?"}));
  EXPECT_EQ(app.trackLog.count(), 3);
  EXPECT_FALSE(app.trackLog.saved);
  // The file's text stays whole for saving it unchanged.
  EXPECT_EQ(app.rawIgc.text, text);
}

}  // namespace
}  // namespace skylode::test
