#include "shell/command_line/command_line.h"

#include <algorithm>
#include <array>
#include <cctype>
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


using Apply = std::string (*)(CmdRun&, std::string_view);

// The operation keywords: the value is the file, its presence and length
// are checked before.
template <CmdOperation op>
std::string SetFile(CmdRun& run, std::string_view v) {
  run.operation = op;
  run.fileName = v;
  return {};
}

template <std::string CmdRun::*field>
std::string SetText(CmdRun& run, std::string_view v) {
  run.*field = v;
  return {};
}

template <bool CmdRun::*flag>
std::string SetFlag(CmdRun& run, std::string_view) {
  run.*flag = true;
  return {};
}

// A decimal in [min, max] into `field`, or the message `bad`.
template <int32_t CmdRun::*field, int64_t min, int64_t max, const char* bad>
std::string SetNumber(CmdRun& run, std::string_view v) {
  const auto n = ParseDecimal(v);
  if (!n || *n < min || *n > max) return bad;
  run.*field = static_cast<int32_t>(*n);
  return {};
}
constexpr char kBadPos[] = "Bad POSX value";  // for POSY too
constexpr char kBadCompId[] = "Bad COMPID value";
constexpr char kBadCivlId[] = "Bad CIVLID value";
constexpr char kBadSendLog[] = "Bad SENDLOG value";

constexpr size_t kFile = kCmdFileNameMax;
using V = CmdValueUse;

// Ordered as the help lists them: instrument and port, operations, output,
// competition, notify.
constexpr CmdKeyword kKeywordTable[] = {
    {"GPS", V::kRequired, "name", "Bad GPS type", kFile,
     [](CmdRun& run, std::string_view v) -> std::string {
       const CommandLineName* name = FindCommandLineName(v);
       if (!name || v.empty()) return "Bad GPS type";
       run.gpsName = name->name;
       return {};
     },
     "the instrument (names below)"},
    {"PORT", V::kRequired, "path", "Missing port name", kCmdPortNameMax, SetText<&CmdRun::portName>,
     "the serial device (/dev/ttyUSB0) or a virtual instrument (sim:<instrument>)"},
    {"COM", V::kRequired, "n", "Bad COM port", kFile,
     [](CmdRun& run, std::string_view v) -> std::string {
       const auto n = ParseDecimal(v);
       if (!n || *n <= 0 || *n > 255) return "Bad COM port";
       run.portName = ComPortName(static_cast<int>(*n));
       return {};
     },
     "the port by its number (1 to 255), as older scripts give it"},
    {"USB", V::kRefused, "", "", 0, SetFlag<&CmdRun::useUsb>, "the instrument on USB"},
    {"TIMEOUT", V::kRequired, "n", "Bad TIMEOUT value", kFile,
     [](CmdRun& run, std::string_view v) -> std::string {
       const auto n = ParseDecimal(v);
       if (!n) return "Bad TIMEOUT value";
       run.timeout = static_cast<int32_t>(std::clamp<int64_t>(*n, 0, kCmdTimeoutMax));
       return {};
     },
     "connection attempts, one per second (0 to 86400)"},

    {"KML_LOG", V::kRequired, "file", "Missing log file name", kFile, SetFile<CmdOperation::kKmlLog>,
     "download the track log, save it as KML for the online flight log"},
    {"IGC_LOG", V::kRequired, "file", "Missing log file directory name", kFile, SetFile<CmdOperation::kIgcLog>,
     "download the track log, save it as IGC (a value ending in / is a folder)"},
    {"OZI_LOG", V::kRequired, "file", "Missing log file name", kFile, SetFile<CmdOperation::kOziLog>,
     "download the track log, save it as an OziExplorer track"},
    {"MPS_LOG", V::kRequired, "file", "Missing log file name", kFile, SetFile<CmdOperation::kMpsLog>,
     "download the track log, save it as a MapSource file"},
    {"RD_LOG", V::kRequired, "file", "Missing track log file name", kFile, SetFile<CmdOperation::kReadLog>,
     "read a track file into the window (a file name alone does the same)"},
    {"LOGFILE", V::kRequired, "file", "Missing track log file name", kFile, SetFile<CmdOperation::kReadLog>,
     "the same as /RD_LOG"},
    {"IGC2KML", V::kRequired, "file", "Missing IGC/KML file name", kFile, SetFile<CmdOperation::kIgcToKml>,
     "convert an IGC file to KML without a window"},
    {"SCORE", V::kRequired, "file", "Missing IGC file name", kFile, SetFile<CmdOperation::kScore>,
     "print the contest scores of an IGC file without a window"},
    {"DAT2KML", V::kRequired, "file", "Missing DAT/KML file name", kFile, SetFile<CmdOperation::kDatToKml>,
     "convert a .dat track file to KML without a window"},
    {"OLC", V::kRequired, "file", "Missing IGC file name", kFile, SetFile<CmdOperation::kOlc>,
     "print the online contest results of an IGC file without a window"},
    {"RD_WPT", V::kRequired, "file", "Missing wpt file name", kFile, SetFile<CmdOperation::kReadWaypoints>,
     "download the waypoints, save them as an OziExplorer waypoint file"},
    {"RD_GEO_WPT", V::kRequired, "file", "Missing wpt file name", kFile,
     SetFile<CmdOperation::kReadGeoWaypoints>, "download the waypoints, save them in the geographical column format"},
    {"WR_WPT", V::kRequired, "file", "Missing wpt file name", kFile, SetFile<CmdOperation::kWriteWaypoints>,
     "read a waypoint file and upload it"},
    {"WR_WPT2", V::kRequired, "file", "Missing wpt file name", kFile, SetFile<CmdOperation::kWriteWaypoints2>,
     "the same, each name led by the waypoint's ID where the instrument shows only names"},
    {"WR_CTR", V::kRequired, "file", "Missing CTR file name", kFile, SetFile<CmdOperation::kWriteCtr>,
     "read an OpenAir airspace file and upload the airspaces"},
    {"USERNAME", V::kRequired, "name", "Missing username", kCmdPilotNameMax,
     [](CmdRun& run, std::string_view v) -> std::string {
       run.operation = CmdOperation::kUserName;
       run.pilotName = v;
       return {};
     },
     "write the pilot name and IDs into the instrument"},
    {"COMP_LOG", V::kRequired, "IGC|KML", "Bad competition fle type", kFile,
     [](CmdRun& run, std::string_view v) -> std::string {
       const std::string up = Upper(v);
       if (up != "IGC" && up != "KML") return "Bad competition fle type";
       run.operation = CmdOperation::kCompetitionLog;
       run.compIgc = up == "IGC";
       return {};
     },
     "competition check-in: download, identify the pilot, save"},

    {"OVERWRITE", V::kRefused, "", "", 0, SetFlag<&CmdRun::overwrite>, "replace existing output files"},
    {"NOSPLIT", V::kRefused, "", "", 0, SetFlag<&CmdRun::noSplit>,
     "never ask which part of a split track to save"},
    {"EXIT", V::kRefused, "", "", 0, SetFlag<&CmdRun::exitWhenDone>, "end the program after the operation"},
    {"WIN", V::kRequired, "0|1|2", "Bad window size", kFile,
     [](CmdRun& run, std::string_view v) -> std::string {
       if (v != "0" && v != "1" && v != "2") return "Bad window size";
       run.showState = static_cast<WindowShow>(v[0] - '0');
       return {};
     },
     "window hidden (no display needed), minimised or normal"},
    {"POSX", V::kRequired, "x", kBadPos, kFile,
     SetNumber<&CmdRun::posX, INT32_MIN, INT32_MAX, kBadPos>,
     "window position, left"},
    {"POSY", V::kRequired, "y", kBadPos, kFile,
     SetNumber<&CmdRun::posY, INT32_MIN, INT32_MAX, kBadPos>,
     "window position, top"},

    {"PILOT", V::kOptional, "name", "", kCmdPilotNameMax, SetText<&CmdRun::pilotName>,
     "the pilot's name (may be empty)"},
    {"ID", V::kOptional, "text", "", kCmdIdTextMax, SetText<&CmdRun::idText>,
     "an identification text (may be empty; kept, not used)"},
    {"COMPID", V::kRequired, "n", kBadCompId, kFile,
     SetNumber<&CmdRun::compId, 0, INT32_MAX, kBadCompId>,
     "the pilot's competition number"},
    {"CIVLID", V::kRequired, "n", kBadCivlId, kFile,
     SetNumber<&CmdRun::civlId, 0, INT32_MAX, kBadCivlId>,
     "the pilot's CIVL ID"},
    {"COMP_DIR", V::kRequired, "folder", "Missing competition directory name", kFile, SetText<&CmdRun::compDir>,
     "the folder of the competition files"},
    {"COMP_FS", V::kRequired, "file", "Missing flight score file name", kFile, SetText<&CmdRun::compPilotFile>,
     "the pilot list that identifies the pilots"},
    {"COMP_SPECIAL", V::kRefused, "", "", 0, SetFlag<&CmdRun::compSpecial>, "the special competition variant"},
    {"FILTER", V::kRequired, "YYYYMMDDhhmmss", "Bad track log start filter time", kFile,
     [](CmdRun& run, std::string_view v) -> std::string {
       const auto time = ParseFilterTime(v);
       if (!time) return "Bad track log start filter time";
       if (*time != 0 && run.filterStop != 0 && run.filterStop <= *time) return "Comp. stop time before start time";
       run.filterStart = *time;
       return {};
     },
     "start of the competition time window"},
    {"FILTEREND", V::kRequired, "YYYYMMDDhhmmss", "Bad track log stop filter time", kFile,
     [](CmdRun& run, std::string_view v) -> std::string {
       const auto time = ParseFilterTime(v);
       if (!time) return "Bad track log stop filter time";
       if (*time != 0 && run.filterStart != 0 && *time <= run.filterStart) return "Comp. start time after end time";
       run.filterStop = *time;
       return {};
     },
     "end of the competition time window"},
    {"NOCHECK", V::kRefused, "", "", 0, SetFlag<&CmdRun::noCheck>, "no speed check in the competition save"},
    {"PWROFF", V::kRefused, "", "", 0, SetFlag<&CmdRun::powerOff>, "switch the instrument off after the transfer"},

    {"NOTIFY", V::kRequired, "name", "Missing window class name", kCmdNotifyNameMax,
     [](CmdRun& run, std::string_view v) -> std::string {
       // The name becomes a file in the runtime folder: nothing that leaves it.
       if (v.find('/') != std::string_view::npos || v == "." || v == "..") return "Bad notify name";
       run.notifyName = v;
       return {};
     },
     "send progress messages to the listener of that name"},
    {"SESSION", V::kRequired, "n", "Missing session number", kFile,
     [](CmdRun& run, std::string_view v) -> std::string {
       const auto n = ParseDecimal(v);
       if (!n || *n < 0 || *n > UINT32_MAX) return "Bad session number";
       run.sessionNumber = static_cast<uint32_t>(*n);
       run.sessionGiven = true;
       return {};
     },
     "the tag of the notify messages"},
    {"SENDLOG", V::kRequired, "n", kBadSendLog, kFile,
     SetNumber<&CmdRun::sendLog, 0, INT32_MAX, kBadSendLog>,
     "with NOTIFY: a position message at most every n seconds of the flight"},
};

// A row that breaks the table's own rules is a build error, not a
// surprise at a check-in desk.
constexpr bool TableIsSound() {
  for (size_t i = 0; i < std::size(kKeywordTable); ++i) {
    const CmdKeyword& k = kKeywordTable[i];
    if (k.name.empty() || !k.apply || k.help.empty()) return false;
    for (char c : k.name) {
      if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    if ((k.value == CmdValueUse::kRefused) != k.valueName.empty()) return false;
    if ((k.value == CmdValueUse::kRequired) == k.missing.empty()) return false;
    if (k.value != CmdValueUse::kRefused && (k.maxLength == 0 || k.maxLength > kCmdFileNameMax)) return false;
    for (size_t j = 0; j < i; ++j) {
      if (kKeywordTable[j].name == k.name) return false;
    }
  }
  return true;
}
static_assert(TableIsSound());

const CmdKeyword* FindKeyword(std::string_view upper) {
  for (const CmdKeyword& k : kKeywordTable) {
    if (k.name == upper) return &k;
  }
  return nullptr;
}

// '/' and a name of letters, digits and '_', up to '=' or the end: what a
// keyword looks like, known or not. Paths have other characters.
bool HasKeywordShape(std::string_view arg) {
  if (arg.size() < 2 || arg.front() != '/') return false;
  const std::string_view name = arg.substr(1, arg.find('=') == std::string_view::npos ? std::string_view::npos
                                                                                       : arg.find('=') - 1);
  if (name.empty()) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

// A keyword as typed, fit for a message on the terminal.
std::string Shown(std::string_view keyword) {
  constexpr size_t kMax = 32;
  std::string out = "/";
  for (char c : keyword.substr(0, kMax)) {
    const auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7f) ? '?' : c;
  }
  if (keyword.size() > kMax) out += "...";
  return out;
}

bool IsHelp(std::string_view arg) { return arg == "-h" || arg == "--help"; }
bool IsVersion(std::string_view arg) { return arg == "--version"; }

// The help wins over the version when both are asked for.
std::optional<CmdParseResult> AskedForText(std::span<const std::string_view> arguments) {
  CmdParseResult r;
  r.help = std::any_of(arguments.begin(), arguments.end(), IsHelp);
  r.version = !r.help && std::any_of(arguments.begin(), arguments.end(), IsVersion);
  if (!r.help && !r.version) return std::nullopt;
  return r;
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
  CmdRun run_;
};

std::string Parser::Handle(const Token& t) {
  const CmdKeyword* k = FindKeyword(t.keyword);
  if (!k) return "Unrecognized command " + Shown(t.keyword);
  if (k->value == CmdValueUse::kRefused) {
    if (t.hasValue) return "/" + std::string(k->name) + " takes no value";
    return k->apply(run_, {});
  }
  if (t.value.size() > k->maxLength) {
    char text[128];
    std::snprintf(text, sizeof text, "Value of /%s too long (at most %zu characters)", t.keyword.c_str(),
                  k->maxLength);
    return text;
  }
  if (k->value == CmdValueUse::kRequired && t.value.empty()) return std::string(k->missing);
  return k->apply(run_, t.value);
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
      if (gps->userNameCommand == 0 || !can(AccessType::kWriteSettings))
        return "Unsupported GPS for username upload";
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
  p.run().fileAlone = true;
  CmdParseResult r;
  r.run = std::move(p.run());
  return r;
}

}  // namespace

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
  if (auto asked = AskedForText(std::span<const std::string_view>(&text, 1))) return *asked;
  if (text.empty() || text.front() != '/') return BareFile(text);

  enum class State { kBetween, kKeyword, kValue, kQuoted };
  State state = State::kBetween;
  Parser parser;
  Token token;
  auto finishToken = [&]() -> std::string { return parser.Handle(token); };
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
  const std::vector<std::string_view> views(arguments.begin(), arguments.end());
  if (auto asked = AskedForText(views)) return *asked;
  if (arguments.size() == 1 && !HasKeywordShape(arguments[0])) return BareFile(arguments[0]);

  Parser parser;
  size_t position = 1;
  for (const std::string& arg : arguments) {
    const std::string at = Format("Error at position %d", static_cast<long long>(position));
    if (!HasKeywordShape(arg)) return Failed(at);
    const size_t eq = arg.find('=');
    Token t;
    t.keyword = Upper(std::string_view(arg).substr(1, eq == std::string::npos ? std::string::npos : eq - 1));
    t.position = position;
    if (!FindKeyword(t.keyword)) return Failed(at + ": unknown keyword " + Shown(t.keyword));
    if (eq != std::string::npos) {
      t.hasValue = true;
      t.value = arg.substr(eq + 1);
      // A script written for a single command line may still quote the value.
      if (t.value.size() >= 2 && t.value.front() == '"' && t.value.back() == '"')
        t.value = t.value.substr(1, t.value.size() - 2);
    }
    if (auto e = parser.Handle(t); !e.empty()) return Failed(std::move(e));
    position += arg.size() + 1;
  }
  if (auto e = parser.Finish(); !e.empty()) return Failed(std::move(e));
  CmdParseResult r;
  r.run = std::move(parser.run());
  return r;
}

std::span<const CmdKeyword> CommandLineKeywords() { return kKeywordTable; }

std::string CommandLineHelp() {
  auto form = [](const CmdKeyword& k) {
    std::string f = "/" + std::string(k.name);
    if (k.value != CmdValueUse::kRefused) f += "=" + std::string(k.valueName);
    return f;
  };
  size_t width = 0;
  for (const CmdKeyword& k : kKeywordTable) width = std::max(width, form(k).size());
  std::string out =
      "Usage: skylode [file]\n"
      "       skylode /KEYWORD[=value] ...\n"
      "       skylode --help | --version\n"
      "Downloads flight instruments and converts their tracks, waypoints and airspaces.\n"
      "Without arguments the window opens. A file given alone opens in it: a track,\n"
      "a waypoint file (.wpt, .cup) or an OpenAir airspace file (.air, .openair).\n"
      "  -h, --help  print this text\n"
      "  --version   print the program's name and version\n"
      "Keywords, in upper or lower case (a value with blanks goes in double quotes):\n";
  for (const CmdKeyword& k : kKeywordTable) {
    const std::string f = form(k);
    out += "  " + f + std::string(width - f.size() + 2, ' ') + std::string(k.help) + "\n";
  }
  out += "Instruments for /GPS:";
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const CommandLineName& name : family->commandLineNames) out += " " + std::string(name.name);
  }
  out += "\n";
  return out;
}

bool ArgumentsAskForNoWindow(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || argument[0] != '/') continue;
    const size_t equals = argument.find('=');
    std::string keyword = argument.substr(1, equals == std::string::npos ? std::string::npos : equals - 1);
    for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string_view value =
        equals == std::string::npos ? std::string_view() : std::string_view(argument).substr(equals + 1);
    if (keyword == "WIN" && value == "0") return true;
    if (keyword == "IGC2KML" || keyword == "DAT2KML" || keyword == "SCORE") return true;
  }
  return false;
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
    case CmdOperation::kOziLog:
    case CmdOperation::kMpsLog:
    case CmdOperation::kIgcLog:
    case CmdOperation::kIgcToKml:
    case CmdOperation::kDatToKml:
    case CmdOperation::kOlc:
    case CmdOperation::kReadLog:
    case CmdOperation::kReadWaypoints:
    case CmdOperation::kReadGeoWaypoints:
    case CmdOperation::kWriteWaypoints:
    case CmdOperation::kWriteWaypoints2:
    case CmdOperation::kUserName:
    case CmdOperation::kCompetitionLog:
    case CmdOperation::kWriteCtr:
    case CmdOperation::kScore:
      return true;
    default:
      return false;
  }
}

}  // namespace skylode
