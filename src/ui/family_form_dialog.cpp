#include "ui/family_form_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace skylode {

namespace {
QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

std::optional<std::vector<std::string>> RunFamilyFormDialog(
    QWidget* parent, const FamilyForm& form, const std::function<bool(const std::vector<std::string>&)>& accept) {
  QDialog dialog(parent);
  dialog.setWindowTitle(Q(form.title));
  auto* layout = new QVBoxLayout(&dialog);
  auto* fields = new QFormLayout;
  std::vector<QLineEdit*> edits;
  for (const FormField& field : form.fields) {
    auto* edit = new QLineEdit;
    edit->setObjectName(Q(field.label));
    if (field.maxLength > 0) edit->setMaxLength(static_cast<int>(field.maxLength));
    if (field.digitsOnly)
      edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    fields->addRow(Q(field.label), edit);
    edits.push_back(edit);
  }
  layout->addLayout(fields);
  if (!form.note.empty()) layout->addWidget(new QLabel(Q(form.note)));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);

  std::vector<std::string> values;
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    values.clear();
    for (QLineEdit* edit : edits) values.push_back(edit->text().toStdString());
    // A refusal has said why; the form stays open with what was typed.
    if (accept(values)) dialog.accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return values;
}

}  // namespace skylode
