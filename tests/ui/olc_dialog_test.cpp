// The "OLC statistics" dialog offscreen: it opens with the stored pilot
// fields, shows the results once the thread has them, saves the claim with
// what was typed, and ignores the saves after a halt.
#include "ui/olc_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <thread>

#include "analysis/contest_score_text.h"
#include "analysis/track_fixtures.h"
#include "shell/app_fixture.h"
#include "shell/commands/olc_commands.h"

namespace skylode::test {
namespace {

template <typename T>
T* Child(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

void Type(QWidget& dialog, const char* name, const QString& text) {
  if (auto* edit = Child<QLineEdit>(dialog, name)) {
    edit->clear();
    QTest::keyClicks(edit, text);
  }
}

// The contest line once its search has ended, refreshed as the timer would.
QString ContestShown(OlcSession& session, OlcDialog& dialog, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (session.ContestText().empty() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  dialog.Refresh();
  auto* label = Child<QLabel>(dialog, "contestScores");
  return label ? label->text() : QString();
}

class OlcDialogTest : public AppFixture {
 protected:
  static std::vector<TrackPoint> Closed() {
    return fixtures::Flight(500, {{14000, 6000}, {5000, 19000}, {-6000, 8000}}, 21);
  }
};

TEST_F(OlcDialogTest, OpensWithStoredFieldsShowsResultsAndSavesWhatWasTyped) {
  settings.SetText(SettingId::kOlcFirstName, "Anna");
  settings.SetText(SettingId::kOlcGliderClass, "4");
  settings.SetText(SettingId::kOlcRegion, "DE");
  OlcSession session(app, Closed(), false);
  session.Start();
  OlcDialog dialog(nullptr, session);
  EXPECT_EQ(dialog.windowTitle(), "OLC statistics");
  EXPECT_EQ(Child<QLineEdit>(dialog, "firstName")->text(), "Anna");
  EXPECT_EQ(Child<QComboBox>(dialog, "gliderClass")->currentText(), "Paraglider (sport)");
  EXPECT_EQ(Child<QComboBox>(dialog, "region")->currentText(), "DE Germany / Deutchland");
  EXPECT_EQ(Child<QComboBox>(dialog, "region")->count(), 38);

  ASSERT_TRUE(session.WaitEnded(std::chrono::seconds(60)));
  dialog.Refresh();
  EXPECT_TRUE(Child<QPlainTextEdit>(dialog, "results")->toPlainText().contains("FREE TRIANGLE"));
  EXPECT_TRUE(Child<QLabel>(dialog, "status")->text().startsWith("Best result is "));
  // Beside the optimisation's own results: the exact scores the contest
  // servers give for the same positions.
  const ContestScores exact = ScoreContests(Closed());
  ASSERT_TRUE(exact[ContestRules::kXContest].found());
  EXPECT_EQ(ContestShown(session, dialog, std::chrono::seconds(60)).toStdString(),
            ContestSummary(ContestRules::kXContest, exact[ContestRules::kXContest]) + "\n" +
                ContestSummary(ContestRules::kFfvl, exact[ContestRules::kFfvl]));

  Type(dialog, "lastName", "Berg");
  Type(dialog, "birthDate", "1.2.1970");
  Type(dialog, "gliderType", "Alpha");
  Type(dialog, "startPlace", "Hill");
  Type(dialog, "flightNumber", "3");
  Child<QComboBox>(dialog, "region")->setCurrentIndex(0);  // "   Unknown"
  ui.saveAnswers.push_back(FileAnswer{dir / "claim", 1});
  Child<QPushButton>(dialog, "saveOlc")->click();
  const std::string text = ReadText(dir / "claim.olc");
  EXPECT_TRUE(text.starts_with(
      "OLCvnolc=Anna&na=Berg&geb=01.02.70&gty=Alpha&sta=Hill&gid=&klasse=4&igcfn="))
      << text;
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"File written"}));
  EXPECT_EQ(settings.Text(SettingId::kOlcRegion), "");
}

TEST_F(OlcDialogTest, SavesAreIgnoredAfterHalt) {
  OlcSession session(app, Closed(), false);
  session.Start();
  OlcDialog dialog(nullptr, session);
  Child<QPushButton>(dialog, "halt")->click();
  // A small flight may be optimised before the halt arrives; what the halt
  // found on the screen stays, and nothing later is added to it.
  const QString shownAtHalt = Child<QPlainTextEdit>(dialog, "results")->toPlainText();
  Child<QPushButton>(dialog, "saveOlc")->click();
  Child<QPushButton>(dialog, "saveIgc")->click();
  EXPECT_TRUE(ui.fileQuestions.empty());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(Child<QPlainTextEdit>(dialog, "results")->toPlainText(), shownAtHalt);
  // The halt stops the contest search too: its best so far comes at once.
  EXPECT_TRUE(ContestShown(session, dialog, std::chrono::seconds(10)).startsWith("XContest: "));
}

}  // namespace
}  // namespace skylode::test
