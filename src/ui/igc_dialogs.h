// The two IGC save dialogs: "IGC File Format" for the track log and "Save
// IGC track log from GPS" for the instrument's own text. They only collect
// what is typed; the shell checks it and reopens the dialog after a refusal.
#pragma once

#include <QDialog>
#include <optional>

#include "shell/interface/ui_interface.h"

class QCheckBox;
class QLineEdit;

namespace skylode {

class IgcSaveDialog final : public QDialog {
  Q_OBJECT
 public:
  IgcSaveDialog(QWidget* parent, const IgcSaveRequest& request);
  IgcSaveForm form() const;

 private:
  bool raw_;
  IgcSaveForm initial_;
  QLineEdit* pilot_ = nullptr;
  QLineEdit* flight_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QLineEdit* gliderType_ = nullptr;
  QLineEdit* gliderId_ = nullptr;
  QLineEdit* site_ = nullptr;
  QLineEdit* class_ = nullptr;
  QCheckBox* longName_ = nullptr;
  QCheckBox* shortName_ = nullptr;
  QCheckBox* gRecord_ = nullptr;
  QCheckBox* enl_ = nullptr;
};

// Modal; the form on "Save", nothing on cancel or close.
std::optional<IgcSaveForm> RunIgcSaveDialog(QWidget* parent, const IgcSaveRequest& request);

}  // namespace skylode
