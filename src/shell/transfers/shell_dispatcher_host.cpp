#include "shell/transfers/shell_dispatcher_host.h"

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
  if (show_) {
    show_(caption, text, icon);
    return;
  }
  ui_.ShowMessageBox(MessageRequest{std::string(caption.text), std::string(text), BoxIconOf(icon), MessageButtons::kOk,
                                    MessageAnswer::kOk});
}

}  // namespace skylode
