#include "ui/ctr_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace skylode {

EditCtrDialog::EditCtrDialog(QWidget* parent, const CtrEditRequest& request) : QDialog(parent), request_(request) {
  setWindowTitle(QString::fromStdString(request.title));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  distance_ = new QLineEdit(QString::fromStdString(request.initial.warningDistance));
  distance_->setObjectName("warningDistance");
  distance_->setMaxLength(10);
  auto* label = new QLabel("&Warning distance (m)");
  label->setBuddy(distance_);
  form->addRow(label, distance_);
  layout->addLayout(form);
  text_ = new QPlainTextEdit(QString::fromStdString(request.initial.text));
  text_->setObjectName("text");
  // Columns of positions line up only in a fixed-width font.
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setMinimumSize(520, 320);
  layout->addWidget(text_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("&OK");
  connect(buttons, &QDialogButtonBox::accepted, this, &EditCtrDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

CtrEditForm EditCtrDialog::form() const {
  // The parser takes CR or LF as line ends; the box gives LF.
  return {distance_->text().toStdString(), text_->toPlainText().toStdString()};
}

void EditCtrDialog::accept() {
  if (request_.accept && !request_.accept(form())) return;
  QDialog::accept();
}

CtrNotificationDialog::CtrNotificationDialog(QWidget* parent, const QString& text, const QString& title)
    : QDialog(parent) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(text);
  label->setObjectName("text");
  layout->addWidget(label);
  skip_ = new QCheckBox("&Skip further notifications");
  skip_->setObjectName("skip");
  layout->addWidget(skip_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

bool CtrNotificationDialog::skipFurther() const { return skip_->isChecked(); }

}  // namespace skylode
