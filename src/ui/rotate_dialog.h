// The "Rotate Track" dialog: start and end position of the rotation, as typed.
#pragma once

#include <QDialog>
#include <optional>

#include "shell/interface/ui_interface.h"

class QLineEdit;

namespace skylode {

class RotateTrackDialog final : public QDialog {
  Q_OBJECT
 public:
  RotateTrackDialog(QWidget* parent, const RotateTrackForm& initial);
  RotateTrackForm form() const;

 private:
  QLineEdit* startLatitude_ = nullptr;
  QLineEdit* startLongitude_ = nullptr;
  QLineEdit* endLatitude_ = nullptr;
  QLineEdit* endLongitude_ = nullptr;
};

// Modal; the four fields on OK, nothing on cancel or close.
std::optional<RotateTrackForm> RunRotateTrackDialog(QWidget* parent, const RotateTrackForm& initial);

}  // namespace skylode
