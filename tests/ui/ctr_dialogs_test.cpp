// The Edit CTR dialog and the CTR notification offscreen: the dialog opens
// with the shell's form, stays open while the check refuses what was typed
// and closes once it accepts; the notification reports its box.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <vector>

#include "ui/ctr_dialogs.h"

namespace skylode::test {
namespace {

TEST(EditCtrDialogTest, ClosesOnlyWhenTheCheckAccepts) {
  std::vector<CtrEditForm> checked;
  CtrEditRequest request;
  request.initial = {"200", "AN A\r\nDP 47:00:00 N 8:00:00 E\r\n"};
  request.accept = [&checked](const CtrEditForm& f) {
    checked.push_back(f);
    return f.warningDistance == "350";
  };
  EditCtrDialog dialog(nullptr, request);
  EXPECT_EQ(dialog.windowTitle(), "Edit CTR");
  auto* distance = dialog.findChild<QLineEdit*>("warningDistance");
  auto* text = dialog.findChild<QPlainTextEdit*>("text");
  ASSERT_NE(distance, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(distance->text(), "200");
  EXPECT_EQ(text->toPlainText().toStdString(), "AN A\nDP 47:00:00 N 8:00:00 E\n");

  dialog.setResult(QDialog::Rejected);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  distance->clear();
  QTest::keyClicks(distance, "350");
  text->setPlainText("AN B\nDP 1:00 N 1:00 E\n");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(checked.size(), 2u);
  EXPECT_EQ(checked[0].warningDistance, "200");
  EXPECT_EQ(checked[1].text, "AN B\nDP 1:00 N 1:00 E\n");
}

TEST(CtrNotificationDialogTest, ReportsTheSkipBox) {
  CtrNotificationDialog dialog(nullptr, "CTR at line 3:  DY record (not implemented)");
  EXPECT_FALSE(dialog.skipFurther());
  auto* skip = dialog.findChild<QCheckBox*>("skip");
  ASSERT_NE(skip, nullptr);
  EXPECT_EQ(skip->text(), "&Skip further notifications");
  skip->setChecked(true);
  EXPECT_TRUE(dialog.skipFurther());
}

}  // namespace
}  // namespace skylode::test
