// The window's dialogs and boxes end to end: what they show, what they
// refuse and what they leave behind.
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <fstream>

#include "access/dispatcher.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/waypoint_commands.h"
#include "formats/waypoint_files.h"
#include "records/angles.h"
#include "ui/dialogs.h"
#include "family_commands.h"
#include "ui/list_model.h"
#include "window_fixture.h"

namespace skylode::test {
namespace {

QLineEdit* EditLabelled(QDialog& dialog, const QString& buddyText) {
  // Form rows: the field whose label reads `buddyText`.
  for (auto* label : dialog.findChildren<QLabel*>()) {
    if (label->text() == buddyText) return qobject_cast<QLineEdit*>(label->buddy());
  }
  return nullptr;
}

class DialogTest : public WindowFixture {
 protected:
  void LoadTrack(std::initializer_list<std::pair<double, double>> degrees) {
    app().trackLog.points.clear();
    uint32_t t = 1000;
    for (auto [lat, lon] : degrees) {
      TrackPoint p;
      p.time = t++;
      p.latitude = *DegreesToLatitude(lat);
      p.longitude = *DegreesToLongitude(lon);
      app().trackLog.points.push_back(p);
    }
    app().SetViewMode(ViewMode::kTrackLog, true);
  }
};

TEST_F(DialogTest, MessageBoxesCarryCaptionIconAndDefault) {
  Start();
  ModalWatcher watcher;
  const struct {
    BoxIcon icon;
    MessageButtons buttons;
    MessageAnswer defaultAnswer;
    QMessageBox::Icon shownIcon;
    QMessageBox::StandardButton shownDefault;
  } cases[] = {
      {BoxIcon::kError, MessageButtons::kOk, MessageAnswer::kOk, QMessageBox::Critical, QMessageBox::Ok},
      {BoxIcon::kQuestion, MessageButtons::kOkCancel, MessageAnswer::kCancel, QMessageBox::Question,
       QMessageBox::Cancel},
      {BoxIcon::kWarning, MessageButtons::kYesNo, MessageAnswer::kNo, QMessageBox::Warning, QMessageBox::No},
      {BoxIcon::kInformation, MessageButtons::kYesNo, MessageAnswer::kYes, QMessageBox::Information,
       QMessageBox::Yes},
  };
  for (const auto& c : cases) {
    watcher.boxes.clear();
    // Untouched, the box gives its default answer.
    EXPECT_EQ(app().ShowMessage(Caption{"File creation"}, "File already exists, overwrite ?", c.icon, c.buttons,
                                c.defaultAnswer),
              c.defaultAnswer);
    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_EQ(watcher.boxes[0].caption, "File creation");
    EXPECT_EQ(watcher.boxes[0].text, "File already exists, overwrite ?");
    EXPECT_EQ(watcher.boxes[0].icon, c.shownIcon);
    EXPECT_EQ(watcher.boxes[0].defaultButton, c.shownDefault);
  }
  watcher.answers = {QMessageBox::Yes};
  EXPECT_EQ(app().ShowMessage(Caption{"Insert waypoint"}, "Waypoint A already exists, overwrite ?", BoxIcon::kQuestion,
                              MessageButtons::kYesNo, MessageAnswer::kNo),
            MessageAnswer::kYes);
}

TEST_F(DialogTest, ShowTrackNeedsTwoPointsAndDrawsASpot) {
  Start();
  ModalWatcher watcher;
  LoadTrack({{45.8, 6.25}, {45.8, 6.25}, {45.8, 6.25}});
  window().Run(cmd::kShowTrack);
  window().SelectRows(ViewMode::kTrackLog, {1});
  window().Run(cmd::kShowTrack);
  EXPECT_EQ(watcher.Texts(), (std::vector<std::string>{"No positions selected", "Less than 2 positions selected"}));
  EXPECT_EQ(window().trackWindow(), nullptr);

  // Every point at one spot: drawn, not divided by zero.
  window().SelectRows(ViewMode::kTrackLog, {0, 1, 2});
  window().Run(cmd::kShowTrack);
  TrackViewWindow* view = window().trackWindow();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), QStringLiteral("Track view"));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
  view->resize(300, 200);
  QApplication::processEvents();
  EXPECT_EQ(view->picture().size(), QSize(300, 200));
  EXPECT_EQ(view->picture().format(), QImage::Format_Mono);
  EXPECT_EQ(view->picture().pixelIndex(150, 100), 1);

  // Opening it again replaces the open one.
  window().Run(cmd::kShowTrack);
  QApplication::processEvents();
  EXPECT_NE(window().trackWindow(), nullptr);
  EXPECT_EQ(window().findChildren<TrackViewWindow*>().size(), 1);
}

TEST_F(DialogTest, NewWaypointRefusesBadFieldsAndStaysOpen) {
  Start();
  ModalWatcher watcher;
  app().SetViewMode(ViewMode::kWaypoints, false);
  int opened = 0;
  watcher.onDialog = [&](QDialog& dialog) {
    ++opened;
    EditLabelled(dialog, QStringLiteral("Waypoint &ID:"))->setText(QStringLiteral("forcla"));
    EditLabelled(dialog, QStringLiteral("&Comment:"))->setText(QStringLiteral("Forclaz deco"));
    // The first attempt has a bad height, the second is right.
    EditLabelled(dialog, QStringLiteral("&Height (m):"))
        ->setText(opened == 1 ? QStringLiteral("12a") : QStringLiteral("1250"));
    EditLabelled(dialog, QStringLiteral("&Latitude:"))->setText(QStringLiteral("N 45 48 46.44"));
    EditLabelled(dialog, QStringLiteral("Lo&ngitude:"))->setText(QStringLiteral("E 6 14 45.24"));
    dialog.accept();
  };
  window().Run(cmd::kNewWaypoint);
  EXPECT_EQ(opened, 2);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, "Edit waypoint");
  EXPECT_EQ(watcher.boxes[0].text, "Bad height");
  ASSERT_EQ(app().waypoints.count(), 1);
  EXPECT_EQ(app().waypoints.items[0].id, "FORCLA");
  EXPECT_EQ(app().waypoints.items[0].height, 1250);
  EXPECT_EQ(app().waypoints.items[0].symbol, 18);
  EXPECT_EQ(window().model()->rowCount(), 1);
}

TEST_F(DialogTest, FamilyFormRefusesAndStaysOpen) {
  Start();
  ModalWatcher watcher;
  int opened = 0;
  watcher.onDialog = [&](QDialog& dialog) {
    ++opened;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set Flymaster altitude alarm"));
    auto* altitude = dialog.findChild<QLineEdit*>(QStringLiteral("Altitude (m)"));
    if (!altitude) {
      ADD_FAILURE() << "no altitude field";
      dialog.reject();
      return;
    }
    // 0 leaves the alarm alone: the form closes and nothing is sent.
    altitude->setText(opened == 1 ? QStringLiteral("12a") : opened == 2 ? QStringLiteral("12000") : QStringLiteral("0"));
    dialog.accept();
  };
  window().Run(cmd::kFlymasterAltitudeAlarm);
  EXPECT_EQ(opened, 3);
  EXPECT_EQ(watcher.Texts(), (std::vector<std::string>{"Bad input format", "Altitude too high"}));
  EXPECT_FALSE(app().transferBusy());
  // The watcher tells dialogs apart by address: let it see the first one gone.
  QTest::qWait(60);

  // Digits-only fields take no other characters as they are typed.
  watcher.onDialog = [&](QDialog& dialog) {
    dialog.reject();
    auto* civl = dialog.findChild<QLineEdit*>(QStringLiteral("CIVL ID"));
    ASSERT_NE(civl, nullptr);
    EXPECT_EQ(civl->maxLength(), 7);
    ASSERT_NE(civl->validator(), nullptr);
    QString typed = QStringLiteral("12a");
    int at = 0;
    EXPECT_EQ(civl->validator()->validate(typed, at), QValidator::Invalid);
  };
  window().Run(cmd::kWriteFlymasterIds);
  EXPECT_FALSE(app().transferBusy());
}

TEST_F(DialogTest, ComPortDialogChecksTheTypedNumber) {
  Start();
  ModalWatcher watcher;
  int opened = 0;
  watcher.onDialog = [&](QDialog& dialog) {
    ++opened;
    auto* number = dialog.findChild<QLineEdit*>();
    ASSERT_NE(number, nullptr);
    number->setText(opened == 1 ? QStringLiteral("21") : QStringLiteral("10"));
    dialog.accept();
  };
  window().Run(cmd::kSetComPort);
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(watcher.Texts(), std::vector<std::string>{"User port out of range (1-20)"});
  EXPECT_EQ(app().settings().Text(SettingId::kPortName), "\\\\.\\COM10");
  EXPECT_EQ(window().windowTitle(), QStringLiteral("Skylode 4.49, \\\\.\\COM10"));
}

TEST_F(DialogTest, CalculateDistanceBetweenWaypoints) {
  Start();
  ModalWatcher watcher;
  Waypoint a, b;
  a.id = "EQ";
  b.id = "NORTH";
  b.latitude = *DegreesToLatitude(1.0);
  app().waypoints.items = {a, b};
  QString first, second;
  watcher.onDialog = [&](QDialog& dialog) {
    auto* d = qobject_cast<DistanceDialog*>(&dialog);
    ASSERT_NE(d, nullptr);
    first = d->DistanceShown();  // both lists start on the first waypoint
    d->to().list->setCurrentIndex(1);
    second = d->DistanceShown();
    d->from().first->clear();
    EXPECT_FALSE(d->Calculate());
    d->reject();
  };
  window().Run(cmd::kCalculateDistance);
  EXPECT_EQ(first, QStringLiteral("0.00"));
  EXPECT_EQ(second, QStringLiteral("110574.39"));
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, "Reading FROM latitude");
  EXPECT_EQ(watcher.boxes[0].text, "Missing input");
}

TEST_F(DialogTest, ConversionDialogFillsTheOtherForm) {
  Start();
  ModalWatcher watcher;
  QString zone, latitude;
  watcher.onDialog = [&](QDialog& dialog) {
    auto* d = qobject_cast<ConversionDialog*>(&dialog);
    ASSERT_NE(d, nullptr);
    d->latitude->setText(QStringLiteral("N 45 48 46.44"));
    d->longitude->setText(QStringLiteral("E 6 14 45.24"));
    d->ToUtm();
    zone = d->zone->text();
    d->latitude->clear();
    d->ToDegrees();
    latitude = d->latitude->text();
    d->reject();
  };
  window().Run(cmd::kConvertPosition);
  EXPECT_TRUE(watcher.boxes.empty());
  EXPECT_EQ(zone, QStringLiteral("32T"));
  EXPECT_TRUE(latitude.startsWith(QStringLiteral("N 45 48 46.44"))) << latitude.toStdString();
}

// A waypoint file with IDs the strict check refuses: the window asks about
// each, showing the ID as the file has it, and does what the button says.
TEST_F(DialogTest, ModifyWaypointIdAsksAboutEachRefusedId) {
  Start();
  ModalWatcher watcher;
  WaypointList file;
  for (const char* id : {"TOOLONG", "GOOD", "A.B"}) {
    Waypoint w;
    w.id = id;
    w.name = "SOMEWHERE";
    w.latitude = 546000000;
    w.longitude = 74000000;
    file.items.push_back(w);
  }
  const std::string path = Path("ids.wpt");
  std::ofstream(path, std::ios::binary) << BuildOziWaypointFile(file);

  const struct {
    const char* what;
    std::vector<ModifyIdAnswer> answers;  // in the order the dialogs come
    std::vector<std::string> shownIds;
    std::vector<std::string> ids;  // the list afterwards; empty: nothing read
  } cases[] = {
      {"yes, yes", {ModifyIdAnswer::kYes, ModifyIdAnswer::kYes}, {"TOOLONG", "A.B"}, {"TOOLON", "GOOD", "A-B"}},
      {"yes to all", {ModifyIdAnswer::kYesToAll}, {"TOOLONG"}, {"TOOLON", "GOOD", "A-B"}},
      {"skip, yes", {ModifyIdAnswer::kSkip, ModifyIdAnswer::kYes}, {"TOOLONG", "A.B"}, {"GOOD", "A-B"}},
      {"cancel", {ModifyIdAnswer::kCancel}, {"TOOLONG"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    app().waypoints.items.clear();
    watcher.boxes.clear();
    std::vector<std::string> shown;
    size_t next = 0;
    watcher.onDialog = [&](QDialog& dialog) {
      auto* ask = qobject_cast<ModifyWaypointIdDialog*>(&dialog);
      ASSERT_NE(ask, nullptr);
      EXPECT_EQ(ask->windowTitle(), QStringLiteral("Modify waypoint ID"));
      auto* id = ask->findChild<QLineEdit*>(QStringLiteral("id"));
      ASSERT_NE(id, nullptr);
      shown.push_back(id->text().toStdString());
      // The default button modifies this one.
      EXPECT_TRUE(ask->button(ModifyIdAnswer::kYes)->isDefault());
      ASSERT_LT(next, c.answers.size());
      ask->button(c.answers[next++])->click();
    };
    const int result = OpenWaypointFile(app(), path);
    EXPECT_EQ(shown, c.shownIds);
    std::vector<std::string> ids;
    for (const Waypoint& w : app().waypoints.items) ids.push_back(w.id);
    EXPECT_EQ(ids, c.ids);
    EXPECT_EQ(result, c.ids.empty() ? -1 : 0);
    if (c.ids.empty()) {
      ASSERT_EQ(watcher.boxes.size(), 1u);
      EXPECT_EQ(watcher.boxes[0].text, "Bad line 5");
    }
  }

  // Closed without a button, the read stops as with Cancel.
  watcher.onDialog = [](QDialog& dialog) { dialog.reject(); };
  EXPECT_EQ(app().ui().AskModifyWaypointId("abc"), ModifyIdAnswer::kCancel);
}

TEST_F(DialogTest, AboutBoxShowsTheVersion) {
  Start();
  ModalWatcher watcher;
  window().Run(cmd::kAbout);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, "About Skylode");
  EXPECT_NE(watcher.boxes[0].text.find("Version 4.49"), std::string::npos);
}

TEST_F(DialogTest, DebugDumpWritesTheTraceOrSaysItIsEmpty) {
  Start();
  ModalWatcher watcher;
  window().Run(cmd::kDumpDebug);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].text, "Buffer is empty");
  EXPECT_EQ(watcher.boxes[0].caption, "Save debug buffer");

  const auto trace = dispatcher().lastTrace();
  trace->Text("$PBRSNP,*21\r\n");
  const std::string typed = Path("trace");  // no extension: ".log" is added
  watcher.onDialog = [&](QDialog& dialog) {
    auto* files = qobject_cast<QFileDialog*>(&dialog);
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->windowTitle(), QStringLiteral("Save debug buffer"));
    files->setDirectory(QString::fromStdString(std::filesystem::path(typed).parent_path().string()));
    // Typed into the name field, as a person does.
    auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QStringLiteral("trace"));
    static_cast<QDialog*>(files)->done(QDialog::Accepted);
  };
  window().Run(cmd::kDumpDebug);
  ASSERT_EQ(watcher.boxes.size(), 2u);
  EXPECT_EQ(watcher.boxes[1].text, "File written");
  std::ifstream in(typed + ".log", std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, "$PBRSNP,*21\r\n") << [this] {
    std::string names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_)) names += e.path().string() + " ";
    return names;
  }();

  window().Run(cmd::kClearDebug);
  EXPECT_TRUE(trace->Empty());
}

}  // namespace
}  // namespace skylode::test
