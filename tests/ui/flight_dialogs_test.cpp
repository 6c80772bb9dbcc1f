// The IGC save, Rotate Track and Flight statistics dialogs offscreen: each
// opens with what the shell hands it, is filled in, and gives back the answer.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "shell/commands/analysis_commands.h"
#include "shell/app_fixture.h"
#include "records/calendar.h"
#include "ui/igc_dialogs.h"
#include "ui/rotate_dialog.h"
#include "ui/statistics_dialog.h"

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

TEST(IgcSaveDialogTest, OpensWithTheStoredValuesAndGivesBackWhatWasTyped) {
  IgcSaveRequest request;
  request.form.pilot = "None";
  request.form.flightNumber = "1";
  request.form.frSerial = "1";
  request.form.shortName = true;
  request.form.gRecord = true;
  IgcSaveDialog dialog(nullptr, request);
  EXPECT_EQ(dialog.windowTitle(), "IGC File Format");
  EXPECT_EQ(Child<QLineEdit>(dialog, "pilot")->text(), "None");
  EXPECT_TRUE(Child<QCheckBox>(dialog, "shortName")->isChecked());

  Type(dialog, "pilot", "Jo Bloggs");
  Type(dialog, "flight", "1x2");  // the field takes digits only
  Type(dialog, "serial", "AB1Z");  // three characters at most
  Type(dialog, "gliderType", "Alpha");
  Type(dialog, "site", "Hill");
  auto* longName = Child<QCheckBox>(dialog, "longName");
  auto* shortName = Child<QCheckBox>(dialog, "shortName");
  longName->click();
  EXPECT_FALSE(shortName->isChecked());  // ticking one clears the other
  Child<QCheckBox>(dialog, "addEnl")->click();
  Child<QCheckBox>(dialog, "gRecord")->click();

  IgcSaveForm f = dialog.form();
  EXPECT_EQ(f.pilot, "Jo Bloggs");
  EXPECT_EQ(f.flightNumber, "12");
  EXPECT_EQ(f.frSerial, "AB1");
  EXPECT_EQ(f.gliderType, "Alpha");
  EXPECT_EQ(f.site, "Hill");
  EXPECT_TRUE(f.longName);
  EXPECT_FALSE(f.shortName);
  EXPECT_TRUE(f.addEnl);
  EXPECT_FALSE(f.gRecord);

  longName->click();  // a ticked box may be cleared: neither name
  f = dialog.form();
  EXPECT_FALSE(f.longName);
  EXPECT_FALSE(f.shortName);
}

TEST(IgcSaveDialogTest, RawLogDialogShowsOnlyFlightAndNames) {
  IgcSaveRequest request;
  request.rawLog = true;
  request.form.flightNumber = "3";
  request.form.longName = true;
  IgcSaveDialog dialog(nullptr, request);
  EXPECT_EQ(dialog.windowTitle(), "Save IGC track log from GPS");
  EXPECT_EQ(dialog.findChild<QLineEdit*>("pilot"), nullptr);
  EXPECT_EQ(dialog.findChild<QCheckBox*>("gRecord"), nullptr);
  Type(dialog, "flight", "12345678");
  Child<QCheckBox>(dialog, "shortName")->click();
  const IgcSaveForm f = dialog.form();
  EXPECT_EQ(f.flightNumber, "1234567");
  EXPECT_TRUE(f.shortName);
  EXPECT_FALSE(f.longName);
}

TEST(RotateTrackDialogTest, OpensWithThePositionsAndGivesBackTheFields) {
  const RotateTrackForm initial = RotateTrackFormFor(RotationPositions{});
  RotateTrackDialog dialog(nullptr, initial);
  EXPECT_EQ(dialog.windowTitle(), "Rotate Track");
  EXPECT_EQ(Child<QLineEdit>(dialog, "startLatitude")->text().toStdString(), initial.startLatitude);
  EXPECT_EQ(Child<QLineEdit>(dialog, "endLongitude")->text().toStdString(), initial.endLongitude);
  Type(dialog, "startLatitude", "N 47 12.500");
  Type(dialog, "endLongitude", "-8.25");
  const RotateTrackForm f = dialog.form();
  EXPECT_EQ(f.startLatitude, "N 47 12.500");
  EXPECT_EQ(f.startLongitude, initial.startLongitude);
  EXPECT_EQ(f.endLatitude, initial.endLatitude);
  EXPECT_EQ(f.endLongitude, "-8.25");
}

class StatisticsDialogTest : public AppFixture {
 protected:
  static FlightStatistics Glide() {
    const uint32_t start = *CalendarToTime(CalendarTime{2009, 12, 31, 12, 0, 0, 0});
    FlightStatistics stats;
    for (int i = 0; i < 60; ++i) {
      TrackPoint p;
      p.time = start + 10u * static_cast<uint32_t>(i);
      p.latitude = 563714457;
      p.longitude = 95443718 + i * 15700;
      p.gpsHeight = 15000;
      stats.points.push_back(p);
    }
    ComputeFlightStatistics(stats);
    return stats;
  }
};

TEST_F(StatisticsDialogTest, ShowsFiguresThenTripsAndSavesTheDescription) {
  FlightStatisticsSession session(app, Glide(), {});
  session.Start();
  FlightStatisticsDialog dialog(nullptr, session);
  EXPECT_EQ(dialog.windowTitle(), "Flight statistics");
  EXPECT_EQ(Child<QLabel>(dialog, "date")->text(), "2009-12-31");
  EXPECT_EQ(Child<QLabel>(dialog, "duration")->text(), "0 : 09 : 50");

  ASSERT_TRUE(session.WaitFinished(std::chrono::seconds(30)));
  dialog.Refresh();
  const auto trips = session.TripTexts();
  ASSERT_TRUE(trips);
  EXPECT_EQ(Child<QLabel>(dialog, "trip0")->text().toStdString(), (*trips)[0]);
  EXPECT_FALSE(Child<QLabel>(dialog, "trip0")->text().isEmpty());

  QTest::keyClicks(Child<QPlainTextEdit>(dialog, "description"), "Thermals");
  ui.saveAnswers.push_back(FileAnswer{dir / "day", 1});
  Child<QPushButton>(dialog, "save")->click();
  ASSERT_TRUE(std::filesystem::exists(dir / "day.kml"));
  EXPECT_NE(ReadText(dir / "day.kml").find("Thermals"), std::string::npos);
  EXPECT_TRUE(app.trackLog.saved);

  Child<QPushButton>(dialog, "exit")->click();
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(StatisticsDialogTest, DescriptionIsCutAtItsLimitAndHaltIsShown) {
  FlightStatisticsSession session(app, Glide(), {});
  // Not started: the search never finishes, so halt shows its text.
  FlightStatisticsDialog dialog(nullptr, session);
  Child<QPlainTextEdit>(dialog, "description")->setPlainText(QString(9000, 'x'));
  EXPECT_EQ(dialog.description().size(), 8000);
  Child<QPushButton>(dialog, "halt")->click();
  EXPECT_EQ(Child<QLabel>(dialog, "status")->text(), "Computation halted");
  Child<QPushButton>(dialog, "save")->click();
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Statistics not yet finished"}));
}

}  // namespace
}  // namespace skylode::test
