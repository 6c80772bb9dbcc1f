// A whole window program on a private settings file, with a watcher that
// answers modal boxes and dialogs the way a person would and notes what they
// said.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "shell/app_state.h"
#include "ui/main_window.h"
#include "ui/window_program.h"

namespace skylode::test {

struct SeenBox {
  std::string caption;
  std::string text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Polls for the active modal widget. A message box is noted and answered
// with the next scripted button (its default button when none is left); any
// other dialog goes to `onDialog` (accepted when that is empty).
class ModalWatcher {
 public:
  ModalWatcher() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  std::vector<SeenBox> boxes;
  std::deque<QMessageBox::StandardButton> answers;
  std::vector<std::string> dialogs;  // object names of the dialogs seen
  std::function<void(QDialog&)> onDialog;

  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& b : boxes) t.push_back(b.text);
    return t;
  }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      handled_ = nullptr;
      return;
    }
    // A box closes when answered; a dialog may stay open on purpose, so it
    // is handed over once each time it comes to the top.
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      handled_ = box;
      SeenBox seen;
      seen.caption = box->windowTitle().toStdString();
      seen.text = box->text().toStdString();
      seen.icon = box->icon();
      if (auto* def = box->defaultButton()) seen.defaultButton = box->standardButton(def);
      boxes.push_back(seen);
      QAbstractButton* press = box->defaultButton();
      if (!answers.empty()) {
        press = box->button(answers.front());
        answers.pop_front();
      }
      // Answered after this poll returns: a box opened from inside the
      // answer must find the watcher's timer free to fire again.
      if (press) {
        QMetaObject::invokeMethod(press, "click", Qt::QueuedConnection);
      } else {
        QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
      }
      return;
    }
    // A dialog opened right after another may take its address: the mark
    // tells the new one from the one already handed over.
    if (handled_ == modal && modal->property("watcherHandled").toBool()) return;
    handled_ = modal;
    modal->setProperty("watcherHandled", true);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialogs.push_back(dialog->objectName().toStdString());
      QTimer::singleShot(0, dialog, [this, dialog] {
        if (onDialog) {
          onDialog(*dialog);
        } else {
          dialog->accept();
        }
      });
    }
  }

  QTimer timer_;
  QWidget* handled_ = nullptr;
};

class WindowFixture : public ::testing::Test {
 protected:
  WindowFixture() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           (std::string("skylode_ui_") + info->test_suite_name() + "_" + info->name() + "_" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~WindowFixture() override {
    program_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  void Start(WindowProgramOptions options = Options()) {
    options.settingsPaths.userFile = (dir_ / "config/settings.ini").string();
    options.settingsPaths.defaultsFiles.clear();
    options.settingsPaths.documentsDir = dir_.string();
    options.registerVirtualInstruments = false;
    program_ = std::make_unique<WindowProgram>(options);
    window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
  }

  static WindowProgramOptions Options() {
    WindowProgramOptions o;
    o.tuning.waitScale = 0.3;
    return o;
  }

  // Runs events until `done` or the time is up.
  static bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    return QTest::qWaitFor(done, ms);
  }

  AppState& app() { return program_->app(); }
  MainWindow& window() { return program_->window(); }
  Dispatcher& dispatcher() { return program_->dispatcher(); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::unique_ptr<WindowProgram> program_;
  std::filesystem::path dir_;
};

}  // namespace skylode::test
