// The notify channel of command-line runs: (tag, text) messages, in order, to
// a listener the calling program opened as a local socket in the user's
// runtime folder. Nobody listening is normal: the messages are then dropped.
//
// A check-in station runs one download per instrument, each reporting to the
// same scoring program, so no side may ever wait on the other: the sender
// never blocks (a listener that stops reading costs the run at most the
// time-out, then the channel is dropped with one message), and the listener
// serves every sender at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

// $XDG_RUNTIME_DIR, else /tmp/skylode-<uid>.
std::string NotifyFolder();
// The socket a name stands for.
std::string NotifySocketPath(std::string_view name);
// The folder is fit to hold our sockets: the runtime folder as the system
// gave it, or the fallback folder created private to this user. A fallback
// that is a link, not a folder, someone else's or open to others is refused
// (anyone could otherwise read the reports or pose as the listener). The
// refusal's text, or nothing.
std::optional<std::string> PrepareNotifyFolder(const std::string& folder, bool create);

// One message on the wire: the tag in decimal, a blank and the text, as one
// record of a sequenced-packet socket.
std::string EncodeNotifyMessage(uint32_t tag, std::string_view text);
struct NotifyMessage {
  uint32_t tag = 0;
  std::string text;
};
std::optional<NotifyMessage> DecodeNotifyMessage(std::string_view record);

struct NotifyLimits {
  // How long the listener may take no message at all while some wait.
  std::chrono::milliseconds timeout{10000};
  // Messages held for a slow listener; one more drops the channel.
  size_t maxQueued = 65536;
};

class NotifySender {
 public:
  NotifySender() = default;
  ~NotifySender();
  NotifySender(const NotifySender&) = delete;
  NotifySender& operator=(const NotifySender&) = delete;

  // Receives the one text that says the channel was dropped.
  std::function<void(std::string_view text)> onDropped;

  // Connects to the named listener; false (and later sends dropped) when
  // there is none. A listener too busy to take the connection is waited for
  // up to the time-out.
  bool Connect(std::string_view name, NotifyLimits limits = {});
  // Queues one message and sends what the listener will take now; never
  // waits.
  void Send(uint32_t tag, std::string_view text);
  // Waits, at most until the time-out since the listener last took a
  // message, for everything queued to go out. The end of a run.
  void Flush();
  bool connected() const { return fd_ >= 0; }
  size_t queued() const { return queue_.size(); }

 private:
  // Sends queued messages until the socket is full. False when the
  // listener went away.
  bool SendQueued();
  void Drop(std::string_view why);

  int fd_ = -1;
  std::string name_;
  NotifyLimits limits_;
  std::deque<std::string> queue_;
  // Since when the listener has taken nothing while messages waited.
  std::optional<std::chrono::steady_clock::time_point> stalledSince_;
};

// The receiving end, for skylode-notify and the tests.
class NotifyListener {
 public:
  NotifyListener() = default;
  ~NotifyListener();
  NotifyListener(const NotifyListener&) = delete;
  NotifyListener& operator=(const NotifyListener&) = delete;

  // Creates the folder when needed and binds the name. A name that a live
  // listener holds is refused; the socket of one that died is taken over.
  // The error text on failure.
  std::optional<std::string> Listen(std::string_view name);

  using Received = std::function<void(const NotifyMessage&)>;
  // Serves every sender at once, each one's messages in order, handing each
  // to `received`; with `once` it returns after the first sender closed.
  // False on a failure of the socket itself.
  bool Serve(const Received& received, bool once);
  // Waits for the first sender and reads until it closes.
  bool ServeOne(const Received& received) { return Serve(received, true); }

 private:
  int fd_ = -1;
  int lockFd_ = -1;
  std::string path_;
};

}  // namespace skylode
