#include "shell/command_line/command_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "protocols/family.h"
#include "records/calendar.h"

namespace skylode {
namespace {

struct Token {
  std::string keyword;  // upper-cased
  std::string value;
  bool hasValue = false;
  size_t position = 0;  // 1-based position of the '/'
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string Format(const char* format, long long value) {
  char text[96];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A decimal number with an optional sign; digits beyond what 64 bits hold
// saturate, so that a huge TIMEOUT is clipped like any other large one.
std::optional<int64_t> ParseDecimal(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    if (value > (INT64_MAX - 9) / 10) {
      value = INT64_MAX / 2;
    } else {
      value = value * 10 + (c - '0');
    }
  }
  return negative ? -value : value;
}

constexpr std::string_view kKeywords[] = {
    "COM",       "USB",       "GPS",          "KML_LOG",   "OZI_LOG",  "MPS_LOG",  "RD_LOG",
    "LOGFILE",   "IGC_LOG",   "PILOT",        "ID",        "RD_WPT",   "RD_GEO_WPT", "WR_WPT",
    "WR_WPT2",   "WR_CTR",    "EXIT",         "OVERWRITE", "WIN",      "IGC2KML",  "DAT2KML",
    "COMP_LOG",  "COMP_SPECIAL", "COMP_DIR",  "COMP_FS",   "COMPID",   "CIVLID",   "FILTER",
    "FILTEREND", "NOTIFY",    "NOSPLIT",      "SESSION",   "NOCHECK",  "PWROFF",   "SENDLOG",
    "POSX",      "POSY",      "USERNAME",     "TIMEOUT",   "PORT",
};

bool IsKeyword(std::string_view upper) {
  if (upper.empty()) return false;
  return std::find(std::begin(kKeywords), std::end(kKeywords), upper) != std::end(kKeywords);
}

// FILTER and FILTEREND: exactly 14 digits of a valid date and time.
std::optional<uint32_t> ParseFilterTime(std::string_view v) {
  if (v.size() != 14) return std::nullopt;
  for (char c : v) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  auto num = [&](size_t at, size_t n) {
    int x = 0;
    for (size_t i = 0; i < n; ++i) x = x * 10 + (v[at + i] - '0');
    return x;
  };
  CalendarTime t;
  t.year = static_cast<uint16_t>(num(0, 4));
  t.month = static_cast<uint16_t>(num(4, 2));
  t.day = static_cast<uint16_t>(num(6, 2));
  t.hour = static_cast<uint16_t>(num(8, 2));
  t.minute = static_cast<uint16_t>(num(10, 2));
  t.second = static_cast<uint16_t>(num(12, 2));
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 59)
    return std::nullopt;
  const auto seconds = CalendarToTime(t);
  if (!seconds) return std::nullopt;
  return *seconds;
}

class Parser {
 public:
  Parser() {
    run_.notifyTag = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now().time_since_epoch())
                                               .count());
  }

  // The message of the first fault, or empty.
  std::string Handle(const Token& t);
  std::string Finish();
  CmdRun& run() { return run_; }

 private:
  std::string TooLong(const Token& t, size_t max) const {
    char text[128];
    std::snprintf(text, sizeof text, "Value of /%s too long (at most %zu characters)", t.keyword.c_str(), max);
    return text;
  }
  // An operation's file value: present and within the field.
  std::string SetFile(const Token& t, CmdOperation op, std::string_view missing) {
    if (t.value.empty()) return std::string(missing);
    if (t.value.size() > kCmdFileNameMax) return TooLong(t, kCmdFileNameMax);
    run_.operation = op;
    run_.fileName = t.value;
    return {};
  }

  CmdRun run_;
};

std::string Parser::Handle(const Token& t) {
  const std::string& k = t.keyword;
  const std::string& v = t.value;
  if (k == "COM") {
    const auto n = ParseDecimal(v);
    if (!n || *n <= 0 || *n > 255) return "Bad COM port";
    run_.portName = ComPortName(static_cast<int>(*n));
  } else if (k == "PORT") {
    if (v.empty()) return "Missing port name";
    if (v.size() > kCmdPortNameMax) return TooLong(t, kCmdPortNameMax);
    run_.portName = v;
  } else if (k == "USB") {
    run_.useUsb = true;
  } else if (k == "GPS") {
    const CommandLineName* name = FindCommandLineName(v);
    if (!name) return "Bad GPS type";
    run_.gpsName = name->name;
  } else if (k == "KML_LOG") {
    return SetFile(t, CmdOperation::kKmlLog, "Missing log file name");
  } else if (k == "OZI_LOG") {
    return SetFile(t, CmdOperation::kOziLog, "Missing log file name");
  } else if (k == "MPS_LOG") {
    return SetFile(t, CmdOperation::kMpsLog, "Missing log file name");
  } else if (k == "RD_LOG" || k == "LOGFILE") {
    return SetFile(t, CmdOperation::kReadLog, "Missing track log file name");
  } else if (k == "IGC_LOG") {
    return SetFile(t, CmdOperation::kIgcLog, "Missing log file directory name");
  } else if (k == "PILOT") {
    if (v.size() > kCmdPilotNameMax) return TooLong(t, kCmdPilotNameMax);
    run_.pilotName = v;
  } else if (k == "ID") {
    if (v.size() > kCmdIdTextMax) return TooLong(t, kCmdIdTextMax);
    run_.idText = v;
  } else if (k == "RD_WPT") {
    return SetFile(t, CmdOperation::kReadWaypoints, "Missing wpt file name");
  } else if (k == "RD_GEO_WPT") {
    return SetFile(t, CmdOperation::kReadGeoWaypoints, "Missing wpt file name");
  } else if (k == "WR_WPT") {
    return SetFile(t, CmdOperation::kWriteWaypoints, "Missing wpt file name");
  } else if (k == "WR_WPT2") {
    return SetFile(t, CmdOperation::kWriteWaypoints2, "Missing wpt file name");
  } else if (k == "WR_CTR") {
    return SetFile(t, CmdOperation::kWriteCtr, "Missing CTR file name");
  } else if (k == "EXIT") {
    run_.exitWhenDone = true;
  } else if (k == "OVERWRITE") {
    run_.overwrite = true;
  } else if (k == "WIN") {
    if (v != "0" && v != "1" && v != "2") return "Bad window size";
    run_.showState = static_cast<WindowShow>(v[0] - '0');
  } else if (k == "IGC2KML") {
    return SetFile(t, CmdOperation::kIgcToKml, "Missing IGC/KML file name");
  } else if (k == "DAT2KML") {
    return SetFile(t, CmdOperation::kDatToKml, "Missing DAT/KML file name");
  } else if (k == "COMP_LOG") {
    const std::string up = Upper(v);
    if (up != "IGC" && up != "KML") return "Bad competition fle type";
    run_.operation = CmdOperation::kCompetitionLog;
    run_.compIgc = up == "IGC";
  } else if (k == "COMP_SPECIAL") {
    run_.compSpecial = true;
  } else if (k == "COMP_DIR") {
    if (v.empty()) return "Missing competition directory name";
    if (v.size() > kCmdFileNameMax) return TooLong(t, kCmdFileNameMax);
    run_.compDir = v;
  } else if (k == "COMP_FS") {
    if (v.empty()) return "Missing flight score file name";
    if (v.size() > kCmdFileNameMax) return TooLong(t, kCmdFileNameMax);
    run_.compPilotFile = v;
  } else if (k == "COMPID" || k == "CIVLID") {
    const auto n = ParseDecimal(v);
    if (!n || *n < 0 || *n > INT32_MAX) return k == "COMPID" ? "Bad COMPID value" : "Bad CIVLID value";
    (k == "COMPID" ? run_.compId : run_.civlId) = static_cast<int32_t>(*n);
  } else if (k == "FILTER") {
    const auto time = ParseFilterTime(v);
    if (!time) return "Bad track log start filter time";
    if (*time != 0 && run_.filterStop != 0 && run_.filterStop <= *time) return "Comp. stop time before start time";
    run_.filterStart = *time;
  } else if (k == "FILTEREND") {
    const auto time = ParseFilterTime(v);
    if (!time) return "Bad track log stop filter time";
    if (*time != 0 && run_.filterStart != 0 && *time <= run_.filterStart) return "Comp. start time after end time";
    run_.filterStop = *time;
  } else if (k == "NOTIFY") {
    if (v.empty()) return "Missing window class name";
    if (v.size() > kCmdNotifyNameMax) return TooLong(t, kCmdNotifyNameMax);
    // The name becomes a file in the runtime folder: nothing that leaves it.
    if (v.find('/') != std::string::npos || v == "." || v == "..") return "Bad notify name";
    run_.notifyName = v;
  } else if (k == "NOSPLIT") {
    run_.noSplit = true;
  } else if (k == "SESSION") {
    if (v.empty()) return "Missing session number";
    const auto n = ParseDecimal(v);
    if (!n || *n < 0 || *n > UINT32_MAX) return "Bad session number";
    run_.sessionNumber = static_cast<uint32_t>(*n);
    run_.sessionGiven = true;
  } else if (k == "NOCHECK") {
    run_.noCheck = true;
  } else if (k == "PWROFF") {
    run_.powerOff = true;
  } else if (k == "SENDLOG") {
    const auto n = ParseDecimal(v);
    if (!n || *n < 0 || *n > INT32_MAX) return "Bad SENDLOG value";
    run_.sendLog = static_cast<int32_t>(*n);
  } else if (k == "POSX" || k == "POSY") {
    const auto n = ParseDecimal(v);
    if (!n || *n < INT32_MIN || *n > INT32_MAX) return "Bad POSX value";
    (k == "POSX" ? run_.posX : run_.posY) = static_cast<int32_t>(*n);
  } else if (k == "USERNAME") {
    if (v.empty()) return "Missing username";
    if (v.size() > kCmdPilotNameMax) return TooLong(t, kCmdPilotNameMax);
    run_.operation = CmdOperation::kUserName;
    run_.pilotName = v;
  } else if (k == "TIMEOUT") {
    const auto n = ParseDecimal(v);
    if (!n) return "Bad TIMEOUT value";
    run_.timeout = static_cast<int32_t>(std::clamp<int64_t>(*n, 0, kCmdTimeoutMax));
  } else {
    return "Unrecognized command";
  }
  return {};
}

std::string Parser::Finish() {
  const CommandLineName* gps = FindCommandLineName(run_.gpsName);
  if (!gps) return "Bad GPS type";
  // What the instrument can do is what its family registered.
  const ProtocolType protocol = run_.useUsb && gps->usb ? *gps->usb : gps->protocol;
  auto can = [protocol](AccessType access) { return FamilyCapabilities().Has(access, protocol); };
  switch (run_.operation) {
    case CmdOperation::kKmlLog:
    case CmdOperation::kOziLog:
    case CmdOperation::kMpsLog:
    case CmdOperation::kCompetitionLog:
      if (!can(AccessType::kReadTrackLog)) return "Unsupported GPS for track log download";
      break;
    case CmdOperation::kIgcLog:
      if (!gps->igcLog || !can(AccessType::kReadTrackLog)) return "Unsupported GPS for IGC track log download";
      break;
    case CmdOperation::kReadWaypoints:
    case CmdOperation::kReadGeoWaypoints:
      if (!can(AccessType::kReadWaypoints)) return "Unsupported GPS for waypoint download";
      break;
    case CmdOperation::kWriteWaypoints:
    case CmdOperation::kWriteWaypoints2:
      if (!can(AccessType::kSendWaypoints)) return "Unsupported GPS for track log upload";
      break;
    case CmdOperation::kWriteCtr:
      if (!can(AccessType::kUploadAirspaces)) return "Unsupported GPS for CTR upload";
      break;
    case CmdOperation::kUserName:
      if (!can(AccessType::kWriteSettings)) return "Unsupported GPS for username upload";
      break;
    default:
      break;
  }
  if (run_.useUsb && !gps->usb) return "USB is not supported";
  return {};
}

CmdParseResult Failed(std::string error) {
  CmdParseResult r;
  r.error = std::move(error);
  return r;
}

CmdParseResult BareFile(std::string_view name) {
  if (name.size() > kCmdFileNameMax) {
    char text[96];
    std::snprintf(text, sizeof text, "File name too long (at most %zu characters)", kCmdFileNameMax);
    return Failed(text);
  }
  Parser p;
  p.run().operation = CmdOperation::kReadLog;
  p.run().fileName = std::string(name);
  CmdParseResult r;
  r.run = std::move(p.run());
  return r;
}

}  // namespace

std::string ComPortName(int number) {
  char text[32];
  std::snprintf(text, sizeof text, number < 10 ? "COM%d" : "\\\\.\\COM%d", number);
  return text;
}

CmdParseResult ParseCommandLine(std::string_view text) {
  if (text.empty()) return {};
  if (text.front() == '"') {
    const size_t close = text.find('"', 1);
    if (close == std::string_view::npos) return Failed("Bad double apostrophe (\") balance");
    text = text.substr(1, close - 1);
  }
  if (text.empty() || text.front() != '/') return BareFile(text);

  enum class State { kBetween, kKeyword, kValue, kQuoted };
  State state = State::kBetween;
  Parser parser;
  Token token;
  auto finishToken = [&]() -> std::string {
    if (token.hasValue && token.value.size() > kCmdFileNameMax) {
      // Every field is at most this long; the field's own limit follows.
      char msg[128];
      std::snprintf(msg, sizeof msg, "Value of /%s too long (at most %zu characters)", token.keyword.c_str(),
                    kCmdFileNameMax);
      return msg;
    }
    return parser.Handle(token);
  };
  // The terminating NUL ends the last token, as a blank does.
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '\0';
    const size_t position = i + 1;
    switch (state) {
      case State::kBetween:
        if (c == '/') {
          token = Token{};
          token.position = position;
          state = State::kKeyword;
        } else if (c != ' ' && c != '\0') {
          return Failed(Format("Error at position %d", static_cast<long long>(position)));
        }
        break;
      case State::kKeyword:
        if (c == ' ' || c == '\0') {
          if (auto e = finishToken(); !e.empty()) return Failed(std::move(e));
          state = State::kBetween;
        } else if (c == '=') {
          token.hasValue = true;
          state = State::kValue;
        } else {
          token.keyword += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
        break;
      case State::kValue:
        if (c == ' ' || c == '\0') {
          if (auto e = finishToken(); !e.empty()) return Failed(std::move(e));
          state = State::kBetween;
        } else if (c == '"' && token.value.empty()) {
          state = State::kQuoted;
        } else {
          token.value += c;
        }
        break;
      case State::kQuoted:
        if (c == '"' || c == '\0') {
          if (auto e = finishToken(); !e.empty()) return Failed(std::move(e));
          state = State::kBetween;
        } else {
          token.value += c;
        }
        break;
    }
  }
  if (auto e = parser.Finish(); !e.empty()) return Failed(std::move(e));
  CmdParseResult r;
  r.run = std::move(parser.run());
  return r;
}

CmdParseResult ParseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return {};
  auto keywordOf = [](const std::string& arg) -> std::optional<Token> {
    if (arg.size() < 2 || arg.front() != '/') return std::nullopt;
    const size_t eq = arg.find('=');
    Token t;
    t.keyword = Upper(std::string_view(arg).substr(1, eq == std::string::npos ? std::string::npos : eq - 1));
    if (!IsKeyword(t.keyword)) return std::nullopt;
    if (eq != std::string::npos) {
      t.hasValue = true;
      t.value = arg.substr(eq + 1);
      // A script written for a single command line may still quote the value.
      if (t.value.size() >= 2 && t.value.front() == '"' && t.value.back() == '"')
        t.value = t.value.substr(1, t.value.size() - 2);
    }
    return t;
  };
  if (arguments.size() == 1 && !keywordOf(arguments[0])) return BareFile(arguments[0]);

  Parser parser;
  size_t position = 1;
  for (const std::string& arg : arguments) {
    auto token = keywordOf(arg);
    if (!token) return Failed(Format("Error at position %d", static_cast<long long>(position)));
    token->position = position;
    if (auto e = parser.Handle(*token); !e.empty()) return Failed(std::move(e));
    position += arg.size() + 1;
  }
  if (auto e = parser.Finish(); !e.empty()) return Failed(std::move(e));
  CmdParseResult r;
  r.run = std::move(parser.run());
  return r;
}

std::optional<std::string> ReplaceDate(std::string_view name, uint32_t time, size_t maxLength) {
  const CalendarTime t = SecondsToDateTime(time);
  char date[16];
  std::snprintf(date, sizeof date, "%d%02d%02d", t.year, t.month, t.day);
  std::string out;
  constexpr std::string_view kDate = "$date";
  size_t at = 0;
  while (true) {
    const size_t found = name.find(kDate, at);
    out.append(name.substr(at, found == std::string_view::npos ? std::string_view::npos : found - at));
    if (found == std::string_view::npos) break;
    out += date;
    at = found + kDate.size();
  }
  if (out.size() > maxLength) return std::nullopt;
  return out;
}

bool IsFolderValue(std::string_view value) {
  return !value.empty() && (value.back() == '/' || value.back() == '\\');
}

std::optional<CmdDownloadTarget> DownloadTargetFor(std::string_view gpsName, bool usb) {
  const CommandLineName* gps = FindCommandLineName(gpsName);
  if (!gps) return std::nullopt;
  if (usb) {
    if (!gps->usb) return std::nullopt;
    return CmdDownloadTarget{*gps->usb, 0};
  }
  return CmdDownloadTarget{gps->protocol, gps->trackLogBaudRate};
}

bool IsOperationAvailable(CmdOperation operation) {
  switch (operation) {
    case CmdOperation::kNone:
    case CmdOperation::kKmlLog:
    case CmdOperation::kIgcLog:
    case CmdOperation::kIgcToKml:
    case CmdOperation::kReadLog:
      return true;
    default:
      return false;
  }
}

}  // namespace skylode
