#include "records/error.h"

#include <cstring>

namespace skylode {

namespace {

// strerror_r comes in two shapes (GNU returns the text, XSI fills the
// buffer); overloads pick whichever the C library declares.
[[maybe_unused]] std::string StrErrorResult(char* result, const char*) { return result; }
[[maybe_unused]] std::string StrErrorResult(int result, const char* buffer) {
  return result == 0 ? std::string(buffer) : std::string();
}

}  // namespace

std::string SystemErrorText(int osError) {
  char buffer[256] = {};
  return StrErrorResult(strerror_r(osError, buffer, sizeof buffer), buffer);
}

Error Error::System(ErrorKind kind, int osError, std::string path) {
  Error e{kind, std::move(path), 0, osError, {}, {}};
  if (osError != 0) e.osText = SystemErrorText(osError);
  return e;
}

std::string Error::Describe() const {
  const char* what = nullptr;
  switch (kind) {
    case ErrorKind::kCannotOpen: what = "Cannot open file"; break;
    case ErrorKind::kEmpty: what = "Empty file"; break;
    case ErrorKind::kTooLarge: what = "File too large"; break;
    case ErrorKind::kReadError: what = "Cannot read file"; break;
    case ErrorKind::kCannotCreate: what = "Cannot create file"; break;
    case ErrorKind::kWriteError:
    case ErrorKind::kSyncError:
    case ErrorKind::kCloseError: what = "Cannot write file"; break;
    case ErrorKind::kCannotReplace: what = "Cannot replace file"; break;
    case ErrorKind::kExists: what = "File already exists"; break;
    case ErrorKind::kNameTooLong: what = "File name too long"; break;
    case ErrorKind::kCancelled: return text.empty() ? "Cancelled" : text;
    default: break;
  }
  if (what == nullptr) {
    std::string s = text.empty() ? std::string("Error") : text;
    if (!osText.empty()) s += ": " + osText;
    return s;
  }
  std::string s = std::string(what) + " " + path;
  if (!osText.empty()) s += ": " + osText;
  return s;
}

}  // namespace skylode
