// The competition dialogs as a person uses them: the drop-down and the ID
// fields fill each other from the pilot list, the buttons act at once.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include "ui/competition_dialogs.h"
#include "window_fixture.h"

namespace skylode::test {
namespace {

TEST(CompetitionDialogs, IdentifyPilotFollowsTheList) {
  PilotList list;
  list.items = {PilotEntry{"Anna-Maria Öz", 12345, 17, {}}, PilotEntry{"Jo Lee", -1, 101, {}}};
  IdentifyPilotRequest request;
  request.title = "Save competition log (sim:flytec, Compeo+)";
  request.initial.folder = "/tmp/out";
  request.initial.pilot.compId = "";
  for (const PilotEntry& p : list.items) request.pilotRows.push_back(PilotChoiceText(p));
  request.pilotChosen = [&](int row) { return FieldsOfPilot(list, row); };
  request.idEdited = [&](const PilotFields& now, bool comp) { return FieldsAfterIdEdit(list, now, comp); };

  ModalWatcher watcher;
  std::string title;
  std::vector<std::string> seen;
  watcher.onDialog = [&](QDialog& dialog) {
    title = dialog.windowTitle().toStdString();
    auto* pilots = dialog.findChild<QComboBox*>("pilots");
    auto* comp = dialog.findChild<QLineEdit*>("compId");
    auto* civl = dialog.findChild<QLineEdit*>("civlId");
    auto* name = dialog.findChild<QLineEdit*>("pilotName");
    ASSERT_TRUE(pilots && comp && civl && name);
    EXPECT_TRUE(pilots->isEnabled());
    EXPECT_EQ(pilots->currentIndex(), -1);
    pilots->setCurrentIndex(0);
    seen = {comp->text().toStdString(), civl->text().toStdString(), name->text().toStdString()};
    // Typing another listed number picks that pilot.
    comp->clear();
    civl->clear();
    QTest::keyClicks(comp, "101");
    EXPECT_EQ(name->text().toStdString(), "Jo Lee");
    EXPECT_EQ(pilots->currentIndex(), 1);
    dialog.accept();
  };
  const auto form = RunIdentifyPilotDialog(nullptr, request);
  ASSERT_TRUE(form);
  EXPECT_EQ(title, request.title);
  EXPECT_EQ(seen, (std::vector<std::string>{"17", "12345", "Anna-Maria Öz"}));
  EXPECT_EQ(form->pilot.compId, "101");
  EXPECT_EQ(form->pilot.civlId, "");
  EXPECT_EQ(form->pilot.name, "Jo Lee");
  EXPECT_EQ(form->folder, "/tmp/out");
}

TEST(CompetitionDialogs, SelectPilotShowsTheIdsAndTheDashBox) {
  IdentifyPilotRequest request;
  request.title = "Select pilot (sim:flytec)";
  request.selectForUpload = true;
  request.initial.pilot.compId = "17";
  ModalWatcher watcher;
  bool nameShown = true, dashShown = false, folderShown = true;
  watcher.onDialog = [&](QDialog& dialog) {
    nameShown = dialog.findChild<QLineEdit*>("pilotName")->isVisible();
    folderShown = dialog.findChild<QLineEdit*>("folder")->isVisible();
    auto* dash = dialog.findChild<QCheckBox*>("dashId");
    dashShown = dash->isVisible();
    dash->setChecked(true);
    dialog.accept();
  };
  const auto form = RunIdentifyPilotDialog(nullptr, request);
  ASSERT_TRUE(form);
  EXPECT_FALSE(nameShown);
  EXPECT_FALSE(folderShown);
  EXPECT_TRUE(dashShown);
  EXPECT_TRUE(form->dashId);
  EXPECT_EQ(form->pilot.compId, "17");
}

TEST(CompetitionDialogs, ModeButtonsActAtOnce) {
  CompetitionModeRequest request;
  request.enabled = false;
  request.startText = "No start time";
  request.stopText = "No stop time";
  int reads = 0;
  request.readPilotList = [&] { return std::to_string(++reads * 10) + " pilots"; };
  request.setTimes = [] { return std::pair<std::string, std::string>{"2026-07-05  10:00:00", "No stop time"}; };
  ModalWatcher watcher;
  std::vector<std::string> labels;
  watcher.onDialog = [&](QDialog& dialog) {
    dialog.findChild<QPushButton*>("readPilotList")->click();
    dialog.findChild<QPushButton*>("setTimes")->click();
    labels = {dialog.findChild<QLabel*>("pilots")->text().toStdString(),
              dialog.findChild<QLabel*>("start")->text().toStdString()};
    dialog.findChild<QCheckBox*>("enabled")->setChecked(true);
    dialog.accept();
  };
  const auto enabled = RunCompetitionModeDialog(nullptr, request);
  ASSERT_TRUE(enabled);
  EXPECT_TRUE(*enabled);
  EXPECT_EQ(labels, (std::vector<std::string>{"10 pilots", "2026-07-05  10:00:00"}));
}

}  // namespace
}  // namespace skylode::test
