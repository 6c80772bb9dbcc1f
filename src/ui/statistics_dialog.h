// The Flight statistics dialog over the shell's session: the figures, the
// trip search's progress and results, halt, save and exit.
#pragma once

#include <QDialog>
#include <array>
#include <string_view>

#include "shell/interface/ui_interface.h"

class QLabel;
class QPlainTextEdit;
class QTimer;

namespace skylode {

class FlightStatisticsDialog final : public QDialog {
  Q_OBJECT
 public:
  FlightStatisticsDialog(QWidget* parent, FlightStatisticsSession& session);
  // Takes the search's progress and, once there, its results. The dialog's
  // timer calls it; tests call it directly.
  void Refresh();
  QString description() const;

 protected:
  void done(int result) override;

 private:
  FlightStatisticsSession& session_;
  QLabel* status_ = nullptr;
  std::array<QLabel*, 7> trips_{};
  std::array<QLabel*, 2> contest_{};
  QPlainTextEdit* description_ = nullptr;
  QTimer* timer_ = nullptr;
};

// Modal; returns when the person closes the dialog.
void RunFlightStatisticsDialog(QWidget* parent, FlightStatisticsSession& session);

// "File already exists" with "&Append", "&Overwrite" and "&Cancel".
ExistingFileAnswer AskExistingFileBox(QWidget* parent, std::string_view path);

}  // namespace skylode
