// The Edit CTR dialog (warning distance and the area's OpenAir text) and the
// CTR notification with its "Skip further notifications" box.
#pragma once

#include <QDialog>

#include "shell/interface/ui_interface.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace skylode {

class EditCtrDialog final : public QDialog {
  Q_OBJECT
 public:
  EditCtrDialog(QWidget* parent, const CtrEditRequest& request);
  CtrEditForm form() const;
  // "OK": closes only when the request's check accepts what was typed.
  void accept() override;

 private:
  const CtrEditRequest& request_;
  QLineEdit* distance_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
};

class CtrNotificationDialog final : public QDialog {
  Q_OBJECT
 public:
  CtrNotificationDialog(QWidget* parent, const QString& text, const QString& title = "CTR");
  bool skipFurther() const;

 private:
  QCheckBox* skip_ = nullptr;
};

}  // namespace skylode
