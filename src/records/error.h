// How every layer reports a failure: the data asked for, or an Error that
// says what kind of failure it was, which file (or port) it was about, where
// in it, and the system's or the reader's own account. Cancelling is an
// outcome of its own, never shown as a failure. Captions, message texts and
// questions belong to the shell, which decides from the kind what to say.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace skylode {

enum class ErrorKind : uint8_t {
  kCancelled,  // the person or the program called it off; nothing to report

  // Reading a file.
  kCannotOpen,  // missing, no permission, a folder
  kEmpty,       // the file holds no bytes
  kTooLarge,    // larger than the caller accepts
  kReadError,   // a read failed part way
  // Saving a file.
  kCannotCreate,   // no temporary file could be made in the target's folder
  kWriteError,     // writing the bytes failed (disk full, I/O error)
  kSyncError,      // the bytes could not be flushed to disk
  kCloseError,     // closing the temporary file failed
  kCannotReplace,  // the finished file could not take the target's place
  kExists,         // the target exists and was not to be replaced
  kNameTooLong,    // the name is longer than the program accepts

  // What was read is not what it should be; `text` says how.
  kBadContent,
  // Nothing to write: no points, too few points, an empty log.
  kNothingToWrite,
  // Memory ran out.
  kNoMemory,

  // Talking to an instrument; `text` is the protocol's own account.
  kTimeout,    // no answer in time
  kPortError,  // the port failed or the line went away
  kProtocol,   // an answer we cannot use
  kUnsupported,  // the instrument lacks what the operation needs
};

struct Error {
  ErrorKind kind = ErrorKind::kBadContent;
  std::string path;    // the file (or port) the operation was about; may be empty
  int line = 0;        // where in the file, counted from 1; 0 when it is not known
  int osError = 0;     // errno of the failing call, 0 where there is none
  std::string osText;  // the system's text for osError, empty when there is none
  std::string text;    // a reader's or instrument's own account (kBadContent, protocol errors)

  bool cancelled() const { return kind == ErrorKind::kCancelled; }
  // A failure of reading or saving a file: kCannotOpen .. kNameTooLong.
  bool isFileError() const { return kind >= ErrorKind::kCannotOpen && kind <= ErrorKind::kNameTooLong; }
  // The system's text when there is one, else Describe(): what a box shows
  // under the program's own message as caption.
  std::string SystemText() const { return osText.empty() ? Describe() : osText; }

  // One line for a log or stderr: what failed, the file and the system's
  // reason, e.g. "Cannot write file /x/y.igc: No space left on device". For
  // a content or instrument error, its own account.
  std::string Describe() const;

  static Error Cancelled() { return Error{ErrorKind::kCancelled, {}, 0, 0, {}, {}}; }
  static Error NoMemory() { return Error{ErrorKind::kNoMemory, {}, 0, 0, {}, "Memory allocation error"}; }
  // `osError` 0 leaves the system's text empty.
  static Error System(ErrorKind kind, int osError, std::string path);
  static Error Content(std::string text, int line = 0) {
    return Error{ErrorKind::kBadContent, {}, line, 0, {}, std::move(text)};
  }
  static Error Of(ErrorKind kind, std::string text = {}) { return Error{kind, {}, 0, 0, {}, std::move(text)}; }
};

// The system's text for an errno value (thread-safe, unlike strerror).
std::string SystemErrorText(int osError);

// The value, or the Error. There is deliberately no conversion to bool: ask
// ok(), so that code written for a "nothing means success" result cannot
// compile against it with the meaning turned round.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  bool cancelled() const { return !ok() && error().cancelled(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const Error& error() const { return std::get<1>(v_); }
  Error& error() { return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

// Success without a value, or the Error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  bool cancelled() const { return !ok() && error_->cancelled(); }
  const Error& error() const { return *error_; }
  Error& error() { return *error_; }

 private:
  std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace skylode
