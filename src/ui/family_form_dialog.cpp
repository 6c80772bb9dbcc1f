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

// OK closes the form only when the shell takes what was typed, however OK
// was pressed.
class FormDialog final : public QDialog {
 public:
  FormDialog(QWidget* parent, const FamilyForm& form, const std::function<bool(const std::vector<std::string>&)>& check)
      : QDialog(parent), check_(check) {
    setWindowTitle(Q(form.title));
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    for (const FormField& field : form.fields) {
      auto* edit = new QLineEdit;
      edit->setObjectName(Q(field.label));
      if (field.maxLength > 0) edit->setMaxLength(static_cast<int>(field.maxLength));
      if (field.digitsOnly) edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
      fields->addRow(Q(field.label), edit);
      edits_.push_back(edit);
    }
    layout->addLayout(fields);
    if (!form.note.empty()) layout->addWidget(new QLabel(Q(form.note)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
  }

  void accept() override {
    values_.clear();
    for (QLineEdit* edit : edits_) values_.push_back(edit->text().toStdString());
    // A refusal has said why; the form stays open with what was typed.
    if (check_(values_)) QDialog::accept();
  }

  const std::vector<std::string>& values() const { return values_; }

 private:
  const std::function<bool(const std::vector<std::string>&)>& check_;
  std::vector<QLineEdit*> edits_;
  std::vector<std::string> values_;
};

}  // namespace

std::optional<std::vector<std::string>> RunFamilyFormDialog(
    QWidget* parent, const FamilyForm& form, const std::function<bool(const std::vector<std::string>&)>& accept) {
  FormDialog dialog(parent, form, accept);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.values();
}

}  // namespace skylode
