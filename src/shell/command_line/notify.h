// The notify channel of command-line runs: (tag, text) messages, in order, to
// a listener the calling program opened as a local socket in the user's
// runtime folder. Nobody listening is normal: the messages are then dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skylode {

// $XDG_RUNTIME_DIR, else /tmp/skylode-<uid>.
std::string NotifyFolder();
// The socket a name stands for.
std::string NotifySocketPath(std::string_view name);

// One message on the wire: the tag in decimal, a blank and the text, as one
// record of a sequenced-packet socket.
std::string EncodeNotifyMessage(uint32_t tag, std::string_view text);
struct NotifyMessage {
  uint32_t tag = 0;
  std::string text;
};
std::optional<NotifyMessage> DecodeNotifyMessage(std::string_view record);

class NotifySender {
 public:
  NotifySender() = default;
  ~NotifySender();
  NotifySender(const NotifySender&) = delete;
  NotifySender& operator=(const NotifySender&) = delete;

  // Connects to the named listener; false (and later sends dropped) when
  // there is none.
  bool Connect(std::string_view name);
  // Sends one message; a listener that went away stops further sends.
  void Send(uint32_t tag, std::string_view text);
  bool connected() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The receiving end, for skylode-notify and the tests.
class NotifyListener {
 public:
  NotifyListener() = default;
  ~NotifyListener();
  NotifyListener(const NotifyListener&) = delete;
  NotifyListener& operator=(const NotifyListener&) = delete;

  // Creates the folder when needed and binds the name; a stale socket of an
  // earlier listener is replaced. The error text on failure.
  std::optional<std::string> Listen(std::string_view name);
  // Waits for a sender and reads its messages until it closes, handing each
  // to `received`. False on a failure of the socket itself.
  template <typename Fn>
  bool ServeOne(Fn&& received) {
    const int client = Accept();
    if (client < 0) return false;
    std::string record;
    while (Receive(client, record)) {
      if (auto message = DecodeNotifyMessage(record)) received(*message);
    }
    Close(client);
    return true;
  }

 private:
  int Accept();
  static bool Receive(int client, std::string& record);
  static void Close(int fd);

  int fd_ = -1;
  std::string path_;
};

}  // namespace skylode
