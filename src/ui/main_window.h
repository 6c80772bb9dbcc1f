// The main window: the Product and Status lines, the list view, the
// instrument buttons, the UTM box, Abort transfer and Exit, and the menu bar
// built from the shell's menu table. Every menu entry, shortcut and button
// sends its command number to AppState::RunCommand.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

#include "shell/interface/view_mode.h"
#include "ui/dialogs.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;

namespace skylode {

class AppState;
class ListModel;

class MainWindow final : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(AppState& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Runs a command as a menu entry would, then closes the window if it was Exit.
  void Run(int commandId);

  // What the UI interface reaches.
  void SetStatusLine(const QString& text);
  void SetProductLine(const QString& text);
  void ShowView(ViewMode view, bool utm, int rowCount);
  void RefreshList(ViewMode view, int rowCount);
  std::vector<int32_t> SelectedRows(ViewMode view) const;
  void SelectRows(ViewMode view, const std::vector<int32_t>& rows);
  void SetListSize(ListSize size);
  void SetChecked(int commandId, bool checked);
  // Enables what the shell can run now; called whenever that may have changed.
  void UpdateCommands();

  // Opens the "Track view" of the given points, closing one that is open.
  void ShowTrackWindow(TrackViewWindow* window);
  TrackViewWindow* trackWindow() const { return trackWindow_; }

  // For tests and the program's own wiring.
  QAction* action(int commandId) const;
  std::vector<QAction*> actions(int commandId) const;
  QTableView* table() const { return table_; }
  ListModel* model() const { return model_; }
  QLabel* statusLine() const { return status_; }
  QLabel* productLine() const { return product_; }
  QCheckBox* utmBox() const { return utm_; }
  QPushButton* abortButton() const { return abort_; }
  QPushButton* button(int commandId) const;
  // The list height in pixels a list size gives with the current font.
  int ListHeightFor(ListSize size) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildCentre();
  void ApplyColumnWidths();

  AppState& app_;
  ListModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* product_ = nullptr;
  QLabel* status_ = nullptr;
  QCheckBox* utm_ = nullptr;
  QPushButton* abort_ = nullptr;
  std::multimap<int, QAction*> actions_;
  std::map<int, QPushButton*> buttons_;
  // Cleared by Qt when the window goes, also while this one is destroyed.
  QPointer<TrackViewWindow> trackWindow_;
  ListSize listSize_ = ListSize::kDefault;
  bool closing_ = false;
};

}  // namespace skylode
