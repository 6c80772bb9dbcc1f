// What the dispatcher needs from the program, taken from the UI interface:
// posting to the UI thread and its own error boxes (silent in a hidden run).
#pragma once

#include "access/dispatcher.h"
#include "shell/interface/ui_interface.h"

namespace skylode {

class AppState;

class ShellDispatcherHost : public DispatcherHost {
 public:
  explicit ShellDispatcherHost(UiInterface& ui) : ui_(ui) {}
  // The dispatcher is made before the application state that uses it;
  // once attached, boxes follow the state's hidden-run rule.
  void Attach(AppState* app) { app_ = app; }

  void Post(std::function<void()> task) override { ui_.Post(std::move(task)); }
  void ShowMessage(Caption caption, std::string_view text, MessageIcon icon) override;

 private:
  UiInterface& ui_;
  AppState* app_ = nullptr;
};

BoxIcon BoxIconOf(MessageIcon icon);

}  // namespace skylode
