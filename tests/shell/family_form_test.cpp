// A family's form between the person (or a command line) and the transfer:
// refused answers keep the form open with the reason shown, accepted ones go
// with the transfer as they were typed, and a command line's values are made
// safe instead of refused. The Flymaster row supplies the forms here; the
// shell itself knows nothing of their fields.
#include <gtest/gtest.h>

#include <sstream>

#include "app_fixture.h"
#include "family_commands.h"
#include "shell/command_line/command_line.h"
#include "shell/command_line/command_line_run.h"

namespace skylode::test {
namespace {

using Values = std::vector<std::string>;

class FamilyFormTest : public AppFixture {
 protected:
  void SetUp() override {
    app.Initialise();
    ui.messages.clear();
  }
  const FormAnswers* Sent() {
    if (transfers.started.empty()) return nullptr;
    return std::get_if<FormAnswers>(&transfers.started.back().request.input);
  }
};

TEST_F(FamilyFormTest, RefusedAnswersKeepTheFormOpen) {
  ui.formAnswers = {Values{"Anna*", "17", "Ozone", "Zeno"}, Values{"Anna, B", "17", "Ozone", "Zeno"},
                    Values{"Anna\tB", "17", "Ozone", "Zeno"}, Values{"Anna", "17", "Ozone", ""}};
  app.RunCommand(cmd::kWriteFlymasterName);
  EXPECT_EQ(ui.formTitles, (std::vector<std::string>{"Set Flymaster Name"}));
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Pilot name contains '*'", "Pilot name contains ','",
                                                         "Pilot name contains a control character"}));
  for (const auto& m : ui.messages) EXPECT_EQ(m.caption, "Set Flymaster data");
  ASSERT_EQ(transfers.started.size(), 1u);
  const TransferRequest& request = transfers.started[0].request;
  EXPECT_EQ(request.access, AccessType::kWriteSettings);
  EXPECT_EQ(request.protocol, ProtocolType::kFlymaster);
  EXPECT_EQ(request.parameter, 0);
  ASSERT_NE(Sent(), nullptr);
  // Empty fields go as they are.
  EXPECT_EQ(Sent()->values, (Values{"Anna", "17", "Ozone", ""}));
}

TEST_F(FamilyFormTest, AltitudeAlarmChecks) {
  struct Case {
    std::string typed;
    std::string message;  // empty: accepted
    bool sent;
  };
  const std::vector<Case> cases = {
      {"", "Missing input", false},     {"  ", "Missing input", false},     {"12a", "Bad input format", false},
      {"-5", "Bad input format", false}, {"11001", "Altitude too high", false}, {" 2500 ", "", true},
      {"11000", "", true},
      // 0 leaves the alarm alone, like Cancel.
      {"0", "", false},
  };
  for (const Case& c : cases) {
    ui.messages.clear();
    transfers.started.clear();
    ui.formAnswers = {Values{c.typed}};
    app.RunCommand(cmd::kFlymasterAltitudeAlarm);
    if (!c.message.empty()) {
      ASSERT_EQ(ui.messages.size(), 1u) << c.typed;
      EXPECT_EQ(ui.messages[0].text, c.message) << c.typed;
      EXPECT_EQ(ui.messages[0].caption, "Set Flymaster data");
    } else {
      EXPECT_TRUE(ui.messages.empty()) << c.typed;
    }
    EXPECT_EQ(transfers.started.size(), c.sent ? 1u : 0u) << c.typed;
    if (c.sent) {
      EXPECT_EQ(transfers.started[0].request.parameter, 1);
      Deliver(TransferResult::Done());
    }
  }
}

TEST_F(FamilyFormTest, CancelAndBusySendNothing) {
  app.RunCommand(cmd::kWriteFlymasterIds);  // no answer: cancelled
  EXPECT_TRUE(transfers.started.empty());
  ASSERT_EQ(app.transfers().DownloadWaypoints(ProtocolType::kGarminSerial), 0);
  ui.formAnswers = {Values{"Anna", "1", "2"}};
  app.RunCommand(cmd::kWriteFlymasterIds);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Busy GPS driver");
  EXPECT_EQ(ui.messages[0].caption, "Set Flymaster IDs");
  EXPECT_EQ(ui.formTitles.size(), 1u);  // the busy program never showed the form
  EXPECT_EQ(transfers.started.size(), 1u);
}

// The owner-name form of a family that stores a name only: an empty name
// starts nothing, a long one stays in the form, an accepted one goes as typed.
TEST_F(FamilyFormTest, OwnerNameFormStartsTheWriteWithTheName) {
  ui.formAnswers = {Values{"   "}};
  app.RunCommand(cmd::kWriteGraviterName);
  EXPECT_TRUE(transfers.started.empty());
  EXPECT_TRUE(ui.messages.empty());
  ui.formAnswers = {Values{"Annabella"}, Values{"Anna"}};
  app.RunCommand(cmd::kWriteGraviterName);
  EXPECT_EQ(ui.formTitles, (std::vector<std::string>{"Write GPS name", "Write GPS name"}));
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Name: at most 8 characters"}));
  ASSERT_EQ(transfers.started.size(), 1u);
  EXPECT_EQ(transfers.started[0].request.access, AccessType::kWriteSettings);
  EXPECT_EQ(transfers.started[0].request.protocol, ProtocolType::kDigiflyGraviter);
  ASSERT_NE(Sent(), nullptr);
  EXPECT_EQ(Sent()->values, (Values{"Anna"}));
}

TEST_F(FamilyFormTest, CommandLineFillsTheIdsFormAndBlanksWhatItCannotTake) {
  struct Case {
    std::vector<std::string> args;
    Values sent;
  };
  const std::vector<Case> cases = {
      {{"/GPS=FLYMASTER", "/USERNAME=Anna Bell", "/COMPID=17", "/CIVLID=4711"}, {"Anna Bell", "17", "4711"}},
      // No ID given is no ID at all, never 0.
      {{"/GPS=FLYMASTER", "/USERNAME=Jo"}, {"Jo", "", ""}},
      {{"/GPS=FLYMASTER", "/USERNAME=A,B*C$D\x01"}, {"A B C D ", "", ""}},
      {{"/GPS=FLYMASTER", "/USERNAME=Maximilian Mustermann"}, {"Maximilian Mus", "", ""}},
  };
  for (const Case& c : cases) {
    transfers.started.clear();
    CmdParseResult parsed = ParseCommandLine(c.args);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    std::ostringstream report;
    CommandLineRunner runner(app, *parsed.run, report);
    runner.Begin();
    ASSERT_EQ(runner.RunCommandLine(), 0) << c.args[1];
    ASSERT_EQ(transfers.started.size(), 1u);
    const TransferRequest& request = transfers.started[0].request;
    EXPECT_EQ(request.access, AccessType::kWriteSettings);
    EXPECT_EQ(request.protocol, ProtocolType::kFlymaster);
    EXPECT_EQ(request.parameter, 2);
    ASSERT_NE(Sent(), nullptr);
    EXPECT_EQ(Sent()->values, c.sent) << c.args[1];
    Deliver(TransferResult::Done());
    EXPECT_TRUE(runner.done());
    app.EndCommandLineRun();
  }
}

}  // namespace
}  // namespace skylode::test
