#include "shell/transfers/shell_dispatcher_host.h"

#include "shell/app_state.h"

namespace skylode {

BoxIcon BoxIconOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError: return BoxIcon::kError;
    case MessageIcon::kWarning: return BoxIcon::kWarning;
    case MessageIcon::kInfo: return BoxIcon::kInformation;
  }
  return BoxIcon::kError;
}

void ShellDispatcherHost::ShowMessage(Caption caption, std::string_view text, MessageIcon icon) {
  if (app_) {
    app_->ShowMessage(caption, text, BoxIconOf(icon));
    return;
  }
  ui_.ShowMessageBox(MessageRequest{std::string(caption.text), std::string(text), BoxIconOf(icon), MessageButtons::kOk,
                                    MessageAnswer::kOk});
}

}  // namespace skylode
