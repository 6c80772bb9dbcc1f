// What the dispatcher needs from the program, taken from the UI interface:
// posting to the UI thread and its own error boxes (silent in a hidden run).
#pragma once

#include <functional>

#include "access/dispatcher.h"
#include "shell/interface/ui_interface.h"

namespace skylode {

class ShellDispatcherHost : public DispatcherHost {
 public:
  using ShowFn = std::function<void(Caption caption, std::string_view text, MessageIcon icon)>;

  explicit ShellDispatcherHost(UiInterface& ui) : ui_(ui) {}
  // The dispatcher is made before the application state that shows its
  // messages; once that state is there, boxes follow its hidden-run rule.
  void SetMessageSink(ShowFn show) { show_ = std::move(show); }

  void Post(std::function<void()> task) override { ui_.Post(std::move(task)); }
  void ShowMessage(Caption caption, std::string_view text, MessageIcon icon) override;

 private:
  UiInterface& ui_;
  ShowFn show_;
};

BoxIcon BoxIconOf(MessageIcon icon);

}  // namespace skylode
