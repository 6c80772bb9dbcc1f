#include "ui/igc_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace skylode {

namespace {

QLineEdit* AddEdit(QFormLayout* form, const char* label, const char* name, const std::string& text, int maxLength) {
  auto* edit = new QLineEdit(QString::fromStdString(text));
  edit->setObjectName(name);
  edit->setMaxLength(maxLength);
  form->addRow(QString::fromUtf8(label), edit);
  return edit;
}

// Two boxes of which at most one is ticked: ticking one clears the other,
// and a ticked one may be cleared, leaving neither.
void MakeExclusive(QCheckBox* a, QCheckBox* b) {
  QObject::connect(a, &QCheckBox::toggled, b, [b](bool on) {
    if (on) b->setChecked(false);
  });
  QObject::connect(b, &QCheckBox::toggled, a, [a](bool on) {
    if (on) a->setChecked(false);
  });
}

std::string Text(const QLineEdit* edit) { return edit ? edit->text().toStdString() : std::string(); }

}  // namespace

IgcSaveDialog::IgcSaveDialog(QWidget* parent, const IgcSaveRequest& request)
    : QDialog(parent), raw_(request.rawLog), initial_(request.form) {
  setWindowTitle(raw_ ? "Save IGC track log from GPS" : "IGC File Format");
  auto* layout = new QVBoxLayout(this);
  auto* fields = new QFormLayout;
  layout->addLayout(fields);
  const IgcSaveForm& f = request.form;
  if (!raw_) pilot_ = AddEdit(fields, "&Pilot", "pilot", f.pilot, 80);
  flight_ = AddEdit(fields, "&Flight # (1-35)", "flight", f.flightNumber, raw_ ? 7 : 10);
  // Digits only, as the number field of the dialog has always been.
  flight_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), flight_));
  if (!raw_) {
    serial_ = AddEdit(fields, "FR serial no.", "serial", f.frSerial, 3);
    serial_->setPlaceholderText("3 alpha/num");
    serial_->setToolTip("3 alpha/num");
    gliderType_ = AddEdit(fields, "&Glider Type", "gliderType", f.gliderType, 80);
    gliderId_ = AddEdit(fields, "Glider &ID", "gliderId", f.gliderId, 80);
    site_ = AddEdit(fields, "&Site", "site", f.site, 80);
    class_ = AddEdit(fields, "&Class", "class", f.competitionClass, 80);
  }
  longName_ = new QCheckBox(raw_ ? "Save with IGC &long file name" : "Save with IGC long file name");
  shortName_ = new QCheckBox(raw_ ? "Save with IGC &short file name" : "Save with IGC short file name");
  longName_->setObjectName("longName");
  shortName_->setObjectName("shortName");
  longName_->setChecked(f.longName);
  shortName_->setChecked(f.shortName && !f.longName);
  MakeExclusive(longName_, shortName_);
  layout->addWidget(longName_);
  layout->addWidget(shortName_);
  if (!raw_) {
    gRecord_ = new QCheckBox("Save with G Security record");
    gRecord_->setObjectName("gRecord");
    gRecord_->setChecked(f.gRecord);
    enl_ = new QCheckBox("Add ENL from trk depth");
    enl_->setObjectName("addEnl");
    enl_->setChecked(f.addEnl);
    layout->addWidget(gRecord_);
    layout->addWidget(enl_);
  }
  auto* buttons = new QDialogButtonBox;
  auto* save = buttons->addButton("&Save", QDialogButtonBox::AcceptRole);
  save->setObjectName("save");
  save->setDefault(true);
  buttons->addButton(raw_ ? "&Cancel" : "Cancel", QDialogButtonBox::RejectRole)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

IgcSaveForm IgcSaveDialog::form() const {
  // The raw-log dialog leaves what it does not show as it came.
  IgcSaveForm f = initial_;
  if (!raw_) {
    f.pilot = Text(pilot_);
    f.frSerial = Text(serial_);
    f.gliderType = Text(gliderType_);
    f.gliderId = Text(gliderId_);
    f.site = Text(site_);
    f.competitionClass = Text(class_);
    f.gRecord = gRecord_->isChecked();
    f.addEnl = enl_->isChecked();
  }
  f.flightNumber = Text(flight_);
  f.longName = longName_->isChecked();
  f.shortName = shortName_->isChecked();
  return f;
}

std::optional<IgcSaveForm> RunIgcSaveDialog(QWidget* parent, const IgcSaveRequest& request) {
  IgcSaveDialog dialog(parent, request);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.form();
}

}  // namespace skylode
