// The main window as a person uses it: the menus and shortcuts, a download
// from the virtual Flytec, Abort, the busy refusal and the look of it.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <map>
#include <set>

#include "shell/commands/command_ids.h"
#include "shell/commands/menu_table.h"
#include "records/calendar.h"
#include "sim/flytec/flytec_instrument.h"
#include "ui/list_model.h"
#include "window_fixture.h"
#include "family_commands.h"

namespace skylode::test {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A flight of `count` fixes, one a second from 2026-07-14 11:00:00, starting
// at 45 48.000 N, 6 15.000 E at 1200 m and drifting north-east.
sim::SimFlight TestFlight(int count) {
  sim::SimFlight flight;
  const uint32_t start = *CalendarToTime({2026, 7, 14, 11, 0, 0, 0});
  for (int i = 0; i < count; ++i) {
    TrackPoint p;
    p.time = start + static_cast<uint32_t>(i);
    // A thousandth of a minute is 1/60000 degree: whole steps survive IGC.
    p.latitude = static_cast<int32_t>((45.8 + i * 3 / 60000.0) / 180.0 * 2147483648.0 + 0.5);
    p.longitude = static_cast<int32_t>((6.25 + i * 2 / 60000.0) / 180.0 * 2147483648.0 + 0.5);
    p.gpsHeight = 12000 + i * 10;
    p.baroHeight = 1190 + i;
    flight.points.push_back(p);
  }
  return flight;
}

void RegisterFlytec(std::vector<sim::SimFlight> flights, bool paced) {
  sim::FlytecSimConfig config;
  config.flights = std::move(flights);
  sim::InstrumentOptions options;
  options.pace = paced;
  sim::RegisterVirtualFlytec("flytec", config, options);
}

class WindowTest : public WindowFixture {
 protected:
  void StartOnVirtualFlytec() {
    Start();
    ASSERT_TRUE(app().settings().SetText(SettingId::kPortName, "sim:flytec"));
    app().RefreshTitle();
  }

  QString Cell(int row, int column) const {
    auto* model = program_->window().model();
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
  }

  // Starts Logs > Read Flytec 50xx/60xx and waits for its end.
  void DownloadFromMenu(ModalWatcher& watcher) {
    QAction* read = window().action(cmd::kReadFlytec);
    ASSERT_NE(read, nullptr);
    ASSERT_TRUE(read->isEnabled());
    read->trigger();
    ASSERT_TRUE(app().transferBusy());
    ASSERT_TRUE(WaitFor([&] { return !app().transferBusy(); })) << "download did not end";
    (void)watcher;
  }
};

// --- Menus and shortcuts ------------------------------------------------------------

TEST_F(WindowTest, MenuBarHoldsEveryEntryOfTheTableInOrder) {
  Start();
  const auto menus = window().menuBar()->actions();
  const auto table = MainMenus();
  ASSERT_EQ(menus.size(), static_cast<qsizetype>(table.size()));
  for (size_t m = 0; m < table.size(); ++m) {
    SCOPED_TRACE(std::string(table[m].title));
    EXPECT_EQ(menus[static_cast<qsizetype>(m)]->text(), Q(table[m].title));
    QMenu* menu = menus[static_cast<qsizetype>(m)]->menu();
    ASSERT_NE(menu, nullptr);
    const auto entries = menu->actions();
    ASSERT_EQ(entries.size(), static_cast<qsizetype>(table[m].items.size()));
    for (size_t i = 0; i < table[m].items.size(); ++i) {
      const MenuItem& item = table[m].items[i];
      QAction* a = entries[static_cast<qsizetype>(i)];
      SCOPED_TRACE(std::string(item.text));
      if (item.id == 0) {
        EXPECT_TRUE(a->isSeparator());
        continue;
      }
      EXPECT_EQ(a->data().toInt(), item.id);
      EXPECT_EQ(a->text(), Q(item.text));
      EXPECT_EQ(a->shortcut(), QKeySequence(Q(item.shortcut)));
      EXPECT_EQ(a->isCheckable(), item.checkable);
      if (item.alwaysDisabled) {
        EXPECT_FALSE(a->isEnabled());
      }
    }
  }
}

TEST_F(WindowTest, AcceleratorsReachTheirCommands) {
  Start();
  // Keys and commands as pilots know them from the menus' labels.
  const struct {
    const char* keys;
    int id;
  } cases[] = {
      {"Ctrl+S", cmd::kSaveLog},         {"Ctrl+O", cmd::kOpenLog},        {"Ctrl+W", cmd::kOpenWaypoints},
      {"Ctrl+I", cmd::kSaveIgc},         {"Ctrl+V", cmd::kVerifyIgc},      {"Ctrl+A", cmd::kSelectAll},
      {"Ctrl+G", cmd::kReadGarmin},      {"Ctrl+U", cmd::kReadGarminUsb}, {"Ctrl+E", cmd::kReadCompeo},
      {"Ctrl+F", cmd::kReadFlytec},      {"Ctrl+X", cmd::kReadXcTrainerMxp}, {"Ctrl+T", cmd::kReadTopNavMxp},
      {"Ctrl+Alt+T", cmd::kReadTopNavigator}, {"Ctrl+L", cmd::kReadLogIt57600}, {"Ctrl+M", cmd::kReadMlr},
      {"Ctrl+R", cmd::kReadLeonardo},    {"Ctrl+N", cmd::kReadMagellan},   {"Ctrl+Y", cmd::kReadFlymaster},
      {"Ctrl+1", cmd::kViewTrackLog},    {"Ctrl+2", cmd::kViewWaypoints},  {"Ctrl+3", cmd::kViewPilots},
      {"Ctrl+4", cmd::kViewCtr},         {"Ctrl+Alt+0", cmd::kListSmall},  {"Ctrl+Alt+1", cmd::kListDefault},
      {"Ctrl+Alt+2", cmd::kListLarge},   {"Ctrl+C", cmd::kCopyTrackPoints}, {"Ctrl+Alt+C", cmd::kToggleCompSpecial},
      {"Ctrl+Shift+C", cmd::kToggleCompSpecial},
  };
  // Every shortcut of the window, by key.
  std::multimap<QKeySequence, int> bound;
  for (QAction* a : window().findChildren<QAction*>()) {
    if (!a->shortcut().isEmpty()) bound.emplace(a->shortcut(), a->data().toInt());
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    const auto [lo, hi] = bound.equal_range(QKeySequence(QString::fromLatin1(c.keys)));
    ASSERT_EQ(std::distance(lo, hi), 1) << "each key has exactly one command";
    EXPECT_EQ(lo->second, c.id);
  }
}

TEST_F(WindowTest, KeysPressedInTheListRunTheWindowsCommands) {
  Start();
  ModalWatcher watcher;
  window().table()->setFocus();
  QTest::keyClick(window().table(), Qt::Key_2, Qt::ControlModifier);
  EXPECT_EQ(app().viewMode(), ViewMode::kWaypoints);
  EXPECT_EQ(window().model()->view(), ViewMode::kWaypoints);
  QTest::keyClick(window().table(), Qt::Key_1, Qt::ControlModifier);
  EXPECT_EQ(app().viewMode(), ViewMode::kTrackLog);
  // The list's own copy must not swallow the window's: with nothing
  // selected the window's command answers.
  QTest::keyClick(window().table(), Qt::Key_C, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([&] { return !watcher.boxes.empty(); }, 3000));
  EXPECT_EQ(watcher.boxes[0].text, "No position(s) selected");
  EXPECT_EQ(watcher.boxes[0].caption, "Copy track to clip board");
}

TEST_F(WindowTest, OptionMarksFollowTheirCommands) {
  Start();
  QAction* filter = window().action(cmd::kLogFilter);
  ASSERT_NE(filter, nullptr);
  EXPECT_TRUE(filter->isChecked()) << "the speed filter is on by default";
  filter->trigger();
  EXPECT_FALSE(filter->isChecked());
  EXPECT_EQ(app().settings().Number(SettingId::kLogFilter), 0);
  filter->trigger();
  EXPECT_TRUE(filter->isChecked());
  QAction* power = window().action(cmd::kPowerOffFlymaster);
  ASSERT_NE(power, nullptr);
  EXPECT_FALSE(power->isChecked());
  power->trigger();
  EXPECT_TRUE(power->isChecked());
  EXPECT_TRUE(app().IsCommandChecked(cmd::kPowerOffFlymaster));
}

TEST_F(WindowTest, TitleNamesPortAndCompetitionForms) {
  Start();
  ASSERT_TRUE(app().settings().SetText(SettingId::kPortName, "/dev/ttyUSB0"));
  app().RefreshTitle();
  EXPECT_EQ(window().windowTitle(), QStringLiteral("Skylode 4.49, /dev/ttyUSB0"));
  app().competition.competitionMode = true;
  app().RefreshTitle();
  EXPECT_EQ(window().windowTitle(), QStringLiteral("Skylode 4.49, /dev/ttyUSB0, Competition mode"));
  QTest::keyClick(&window(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(window().windowTitle(), QStringLiteral("Skylode 4.49, /dev/ttyUSB0, Comp. mode"));
}

TEST_F(WindowTest, ListSizesChangeTheListHeightAndKeepTheRows) {
  Start();
  app().trackLog.points.resize(50);
  app().SetViewMode(ViewMode::kTrackLog, true);
  app().SelectAll();
  const int defaultHeight = window().table()->height();
  window().action(cmd::kListSmall)->trigger();
  QApplication::processEvents();
  const int smallHeight = window().table()->height();
  EXPECT_LT(smallHeight, defaultHeight);
  EXPECT_NEAR(smallHeight, window().ListHeightFor(ListSize::kSmall), 4);
  window().action(cmd::kListDefault)->trigger();
  QApplication::processEvents();
  EXPECT_NEAR(window().table()->height(), defaultHeight, 4);
  EXPECT_EQ(window().model()->rowCount(), 50);
  EXPECT_EQ(window().SelectedRows(ViewMode::kTrackLog).size(), 50u);
}

// --- Transfers --------------------------------------------------------------------------

TEST_F(WindowTest, DownloadFromVirtualFlytecFillsTheTrackView) {
  RegisterFlytec({TestFlight(120), TestFlight(30)}, false);
  StartOnVirtualFlytec();
  ModalWatcher watcher;
  DownloadFromMenu(watcher);
  EXPECT_EQ(watcher.dialogs, std::vector<std::string>{"TrackList"});
  EXPECT_TRUE(watcher.boxes.empty()) << watcher.boxes.front().text;
  EXPECT_FALSE(app().transferFailed());
  // The Track List starts on the newest flight.
  ASSERT_EQ(window().model()->view(), ViewMode::kTrackLog);
  ASSERT_EQ(window().model()->rowCount(), 120);
  EXPECT_EQ(Cell(0, 0), QStringLiteral("2026-07-14"));
  EXPECT_EQ(Cell(0, 1), QStringLiteral("11:00:00"));
  EXPECT_EQ(Cell(0, 2), QStringLiteral("N 45  48  00.00"));
  EXPECT_EQ(Cell(0, 3), QStringLiteral("E 006  15  00.00"));
  EXPECT_EQ(Cell(0, 4), QStringLiteral("1200"));
  EXPECT_EQ(Cell(119, 1), QStringLiteral("11:01:59"));
  EXPECT_EQ(Cell(119, 4), QStringLiteral("1319"));
  EXPECT_EQ(Cell(120, 0), QString()) << "no row past the end";
  EXPECT_FALSE(window().productLine()->text().isEmpty());
}

TEST_F(WindowTest, AbortDuringDownloadKeepsThePreviousLog) {
  RegisterFlytec({TestFlight(40)}, false);
  StartOnVirtualFlytec();
  ModalWatcher watcher;
  DownloadFromMenu(watcher);
  ASSERT_EQ(window().model()->rowCount(), 40);
  const std::vector<TrackPoint> previous = app().trackLog.points;
  app().trackLog.saved = true;  // no question about replacing it

  // A long flight at the line's real speed: minutes, unless aborted.
  RegisterFlytec({TestFlight(20000)}, true);
  window().action(cmd::kReadFlytec)->trigger();
  ASSERT_TRUE(app().transferBusy());
  ASSERT_TRUE(WaitFor([&] { return watcher.dialogs.size() == 2; })) << "the Track List never came";
  QTest::qWait(500);
  ASSERT_TRUE(app().transferBusy());
  EXPECT_TRUE(window().abortButton()->isEnabled());
  QTest::mouseClick(window().abortButton(), Qt::LeftButton);
  EXPECT_FALSE(app().transferBusy());
  EXPECT_TRUE(app().transferFailed());
  QTest::qWait(300);  // anything the worker still sends is dropped
  EXPECT_EQ(app().trackLog.points, previous);
  EXPECT_EQ(window().model()->rowCount(), 40);
  EXPECT_EQ(Cell(0, 1), QStringLiteral("11:00:00"));
  EXPECT_EQ(window().statusLine()->text(), QStringLiteral("Transfer aborted"));
}

TEST_F(WindowTest, ViewChangeDuringDownloadIsRefused) {
  RegisterFlytec({TestFlight(20000)}, true);
  StartOnVirtualFlytec();
  ModalWatcher watcher;
  window().action(cmd::kReadFlytec)->trigger();
  ASSERT_TRUE(app().transferBusy());
  window().table()->setFocus();
  QTest::keyClick(window().table(), Qt::Key_4, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([&] { return !watcher.boxes.empty(); }, 3000));
  EXPECT_EQ(watcher.boxes[0].text, "Busy GPS driver");
  EXPECT_EQ(watcher.boxes[0].caption, "Change view mode");
  EXPECT_EQ(app().viewMode(), ViewMode::kTrackLog);
  EXPECT_EQ(window().model()->view(), ViewMode::kTrackLog);
  window().abortButton()->click();
  EXPECT_FALSE(app().transferBusy());
}

// --- Look -----------------------------------------------------------------------------

TEST_F(WindowTest, ScreenshotOfLoadedTrack) {
  RegisterFlytec({TestFlight(600)}, false);
  StartOnVirtualFlytec();
  ModalWatcher watcher;
  DownloadFromMenu(watcher);
  ASSERT_EQ(window().model()->rowCount(), 600);
  app().SetViewMode(ViewMode::kTrackLog, true);
  window().SelectRows(ViewMode::kTrackLog, {2, 3, 4});
  window().resize(1000, window().height());
  QApplication::processEvents();
  const QString folder = QStringLiteral(SKYLODE_BINARY_DIR "/artifacts");
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString file = folder + QStringLiteral("/main-window.png");
  const QPixmap shot = window().grab();
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(file, "PNG"));
  // Every column title fits its column.
  const auto* header = window().table()->horizontalHeader();
  for (int c = 0; c + 1 < window().model()->columnCount(); ++c) {
    const QString title = window().model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_GE(header->sectionSize(c), window().table()->fontMetrics().horizontalAdvance(title)) << c;
  }
}

}  // namespace
}  // namespace skylode::test
