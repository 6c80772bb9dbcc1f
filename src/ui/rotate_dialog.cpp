#include "ui/rotate_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace skylode {

namespace {

// The shell reads at most 79 characters of each field.
constexpr int kFieldLength = 79;

QLineEdit* AddField(QFormLayout* form, const char* label, const char* name, const std::string& text) {
  auto* edit = new QLineEdit(QString::fromStdString(text));
  edit->setObjectName(name);
  edit->setMaxLength(kFieldLength);
  form->addRow(label, edit);
  return edit;
}

}  // namespace

RotateTrackDialog::RotateTrackDialog(QWidget* parent, const RotateTrackForm& initial) : QDialog(parent) {
  setWindowTitle("Rotate Track");
  auto* layout = new QVBoxLayout(this);
  auto* explain = new QLabel(
      "Select the vector determined by the start and end positions. This vector is rotated so that the start "
      "position is placed at latitude 0, longitude 0. The vector is then rotated so that it is placed along the "
      "equator and with direction eastwards.");
  explain->setWordWrap(true);
  layout->addWidget(explain);

  auto* start = new QGroupBox("Start position");
  auto* startForm = new QFormLayout(start);
  startLatitude_ = AddField(startForm, "lat.", "startLatitude", initial.startLatitude);
  startLongitude_ = AddField(startForm, "lon.", "startLongitude", initial.startLongitude);
  layout->addWidget(start);
  auto* end = new QGroupBox("End position");
  auto* endForm = new QFormLayout(end);
  endLatitude_ = AddField(endForm, "lat.", "endLatitude", initial.endLatitude);
  endLongitude_ = AddField(endForm, "lon.", "endLongitude", initial.endLongitude);
  layout->addWidget(end);

  auto* formats = new QLabel("Formats:\nN/S/E/W or +/-\nDDD.dddddd\nDDD MM.mmm\nDDD MM SS.ss");
  layout->addWidget(formats);
  auto* moved = new QLabel("The selected track is then moved using the same rotation constants.");
  moved->setWordWrap(true);
  layout->addWidget(moved);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

RotateTrackForm RotateTrackDialog::form() const {
  return {startLatitude_->text().toStdString(), startLongitude_->text().toStdString(),
          endLatitude_->text().toStdString(), endLongitude_->text().toStdString()};
}

std::optional<RotateTrackForm> RunRotateTrackDialog(QWidget* parent, const RotateTrackForm& initial) {
  RotateTrackDialog dialog(parent, initial);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.form();
}

}  // namespace skylode
