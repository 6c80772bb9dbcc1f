// skylode-notify <name> [--once]: prints every message a command-line run
// sends to the notify channel <name>, one line each: the tag, a blank, the
// text. Organisers' scripts read these lines; --once ends after the first
// run has closed its channel. Every run connected at the same time is
// served at once, so one that never closes holds up no other.
#include <cstdio>
#include <cstring>
#include <string>

#include "shell/command_line/notify.h"

int main(int argc, char** argv) {
  const char* name = nullptr;
  bool once = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--once") == 0) {
      once = true;
    } else if (name == nullptr) {
      name = argv[i];
    } else {
      name = nullptr;
      break;
    }
  }
  if (name == nullptr) {
    std::fputs("usage: skylode-notify <name> [--once]\n", stderr);
    return 2;
  }
  skylode::NotifyListener listener;
  if (auto error = listener.Listen(name)) {
    std::fprintf(stderr, "skylode-notify: %s\n", error->c_str());
    return 1;
  }
  // A script waiting for this line knows the channel is open.
  std::printf("listening on %s\n", skylode::NotifySocketPath(name).c_str());
  std::fflush(stdout);
  const bool served = listener.Serve(
      [](const skylode::NotifyMessage& m) {
        std::printf("%u %s\n", m.tag, m.text.c_str());
        std::fflush(stdout);
      },
      once);
  return served ? 0 : 1;
}
