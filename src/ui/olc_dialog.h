// The "OLC statistics" dialog over the shell's session: the optimisation's
// progress and result table, halt, the pilot's fields and the two saves.
#pragma once

#include <QDialog>

#include "shell/commands/olc_commands.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;

namespace skylode {

class OlcDialog final : public QDialog {
  Q_OBJECT
 public:
  OlcDialog(QWidget* parent, OlcSession& session);
  // Takes the progress, the status and, once there, the results. The timer
  // calls it; tests call it directly.
  void Refresh();
  // The fields as they stand.
  OlcForm Form() const;

 protected:
  void done(int result) override;

 private:
  OlcSession& session_;
  QLabel* status_ = nullptr;
  QLabel* progress_ = nullptr;
  QPlainTextEdit* results_ = nullptr;
  QLabel* contest_ = nullptr;
  QLineEdit* firstName_ = nullptr;
  QLineEdit* lastName_ = nullptr;
  QLineEdit* birthDate_ = nullptr;
  QLineEdit* gliderType_ = nullptr;
  QLineEdit* callSign_ = nullptr;
  QLineEdit* startPlace_ = nullptr;
  QLineEdit* flightNumber_ = nullptr;
  QComboBox* gliderClass_ = nullptr;
  QComboBox* region_ = nullptr;
  QCheckBox* longFileName_ = nullptr;
  QTimer* timer_ = nullptr;
  bool shown_ = false;
  bool contestShown_ = false;
};

// Modal; returns when the person closes the dialog.
void RunOlcDialog(QWidget* parent, OlcSession& session);

}  // namespace skylode
