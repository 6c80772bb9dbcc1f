#include "shell/settings/settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "formats/file_io.h"
#include "shell/settings/ini_file.h"

namespace skylode {

namespace {

constexpr int64_t kU32Max = 4294967295LL;

constexpr SettingSpec Folder(std::string_view name) {
  return {name, SettingKind::kFolder, 260, "", 0, 0, 0};
}
constexpr SettingSpec Text(std::string_view name, size_t size, std::string_view def) {
  return {name, SettingKind::kText, size, def, 0, 0, 0};
}
constexpr SettingSpec Number(std::string_view name, int64_t def, int64_t min, int64_t max) {
  return {name, SettingKind::kNumber, 4, "", def, min, max};
}

// The file-dialog indices count each format's own filter and its "All Files"
// companion.
constexpr std::array<SettingSpec, kSettingCount> kSpecs = {{
    // The pilot-list file has no sensible folder default: an empty name keeps
    // competition mode from trying to read a folder as a pilot list.
    Text("PilotListName", 260, ""),
    Folder("PilotListDir"),
    Folder("GoogleDir"),
    Folder("CompDir"),
    Folder("OziDir"),
    Folder("TrackLogDir"),
    Folder("WaypointDir"),
    Folder("CtrDir"),
    Folder("TraceDir"),
    Text("Baudrate", 10, "9600"),
    Text("PortName", 80, "COM1"),
    Number("Port", 1, 0, 255),
    Number("LogFilter", 1, 0, 1),
    Number("LogExportExt", 1, 1, 10),
    Number("LogImportExt", 1, 1, 18),
    Number("WptExportExt", 1, 1, 8),
    Number("WptImportExt", 1, 1, 6),
    Number("CompTimeStart", 555674400, 0, kU32Max),
    Number("CompTimeStop", 0, 0, kU32Max),
    Number("CompWptNNN", 0, 0, 1),
    Number("CompMode", 0, 0, 1),
    Number("CompSpecial", 0, 0, 1),
    Number("TrackGapTime", 1200, 0, 31536000),
    Number("AddIgcToCompOut", 0, 0, 1),
    Number("LoopFlightGap", 800, 0, 1000000),
    Folder("IgcDir"),
    Text("IgcPilotName", 80, "None"),
    Text("IgcFlightNo", 80, "1"),
    Text("IgcContestId", 4, "1"),
    Text("IgcGliderType", 80, "None"),
    Text("IgcGliderId", 80, "None"),
    Text("IgcSite", 80, "None"),
    Text("IgcClass", 80, "None"),
    Number("IgcSaveMask", 5, 0, 7),
    Number("IgcAddEnl", 0, 0, 1),
    Folder("OlcDir"),
    Text("OlcFirstName", 80, ""),
    Text("OlcLastName", 80, ""),
    Text("OlcBirthDate", 80, ""),
    Text("OlcGliderClass", 80, ""),
    Text("OlcGliderType", 80, ""),
    Text("OlcCallSign", 80, ""),
    Text("OlcStartPlace", 80, ""),
    Text("OlcRegion", 8, ""),
    Number("OlcLongFileName", 0, 0, 1),
    Number("DsxDataMode", 0, 0, 1),
    // The map's tile server; a club may run its own. A template the map
    // cannot use falls back to this default when the map reads it.
    Text("MapTileUrl", 512, "https://tile.openstreetmap.org/{z}/{x}/{y}.png"),
}};

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::optional<int64_t> ParseInteger(std::string_view s) {
  s = TrimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int64_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

std::string FormatInteger(int64_t v) {
  char buf[24];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;
  return std::string(buf, p);
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// The settings file through the program's one file path: a missing file is
// told apart from one that cannot be read, and an empty file is empty text.
std::optional<std::string> ReadSettingsFile(const std::string& path, bool& missing, std::string& error) {
  missing = false;
  Result<std::string> file = ReadWholeFile(path);
  if (file.ok()) return std::move(*file);
  if (file.error().kind == ErrorKind::kEmpty) return std::string();
  missing = file.error().kind == ErrorKind::kCannotOpen && file.error().osError == ENOENT;
  error = file.error().Describe();
  return std::nullopt;
}

// Written beside the target and renamed, so that a failed write never leaves
// a half-written settings file where a good one stood. The folder is made on
// the first run.
std::optional<std::string> WriteSettingsFile(const std::string& path, const std::string& text) {
  std::error_code ec;
  const std::filesystem::path target(path);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  if (ec) return path + ": " + ec.message();
  if (const Status written = WriteFileAtomically(path, text); !written.ok()) return written.error().Describe();
  return std::nullopt;
}

}  // namespace

std::string HomeFolder() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

const std::array<SettingSpec, kSettingCount>& SettingSpecs() { return kSpecs; }
const SettingSpec& SpecOf(SettingId id) { return kSpecs[static_cast<size_t>(id)]; }

std::string DocumentsFolder(std::string_view home, std::string_view configHome) {
  const std::string homeDir(home);
  std::ifstream dirs(std::string(configHome) + "/user-dirs.dirs");
  std::string line;
  while (std::getline(dirs, line)) {
    std::string_view l = TrimBlanks(line);
    constexpr std::string_view key = "XDG_DOCUMENTS_DIR=";
    if (l.substr(0, key.size()) != key) continue;
    std::string_view value = l.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    std::string path;
    if (value.substr(0, 5) == "$HOME") {
      path = homeDir + std::string(value.substr(5));
    } else if (!value.empty() && value.front() == '/') {
      path = std::string(value);
    }
    // user-dirs.dirs points a disabled folder at $HOME itself.
    if (!path.empty()) return path;
  }
  const std::string documents = homeDir + "/Documents";
  if (IsDirectory(documents)) return documents;
  return homeDir;
}

SettingsPaths SettingsPaths::FromEnvironment() {
  SettingsPaths paths;
  const std::string home = HomeFolder();
  std::string configHome = Env("XDG_CONFIG_HOME");
  if (configHome.empty() || configHome.front() != '/') configHome = home + "/.config";
  paths.userFile = configHome + "/skylode/settings.ini";
  std::string dirs = Env("XDG_CONFIG_DIRS");
  if (dirs.empty()) dirs = "/etc/xdg";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && dir.front() == '/') paths.defaultsFiles.push_back(dir + "/skylode/defaults.ini");
    start = end + 1;
  }
  paths.documentsDir = DocumentsFolder(home, configHome);
  return paths;
}

SettingsStore::SettingsStore(SettingsPaths paths) : paths_(std::move(paths)) {
  for (int i = 0; i < kSettingCount; ++i) {
    values_[i] = DefaultOf(static_cast<SettingId>(i));
    shadows_[i] = values_[i];
  }
}

SettingsStore::Value SettingsStore::DefaultOf(SettingId id) const {
  const SettingSpec& spec = SpecOf(id);
  Value v;
  switch (spec.kind) {
    case SettingKind::kFolder: v.text = paths_.documentsDir; break;
    case SettingKind::kText: v.text = std::string(spec.defaultText); break;
    case SettingKind::kNumber: v.number = spec.defaultNumber; break;
  }
  return v;
}

std::optional<SettingsStore::Value> SettingsStore::Validate(SettingId id, std::string_view raw) const {
  const SettingSpec& spec = SpecOf(id);
  Value v;
  if (spec.kind == SettingKind::kNumber) {
    auto n = ParseInteger(raw);
    if (!n || *n < spec.min || *n > spec.max) return std::nullopt;
    v.number = *n;
    return v;
  }
  if (raw.size() + 1 > spec.size) return std::nullopt;
  for (char c : raw) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
  }
  if (id == SettingId::kBaudrate) {
    auto n = ParseInteger(raw);
    if (!n || *n <= 0) return std::nullopt;
  }
  v.text = std::string(raw);
  return v;
}

std::optional<std::string> SettingsStore::Load() {
  loaded_ = true;
  bool missing = false;
  std::string error;
  std::optional<std::string> text = ReadSettingsFile(paths_.userFile, missing, error);
  std::string source = paths_.userFile;
  if (!text) {
    if (!missing) {
      usable_ = false;
      return error;
    }
    // First run: take the system-wide defaults if there are any, and write
    // every value at exit.
    created_ = true;
    for (const auto& file : paths_.defaultsFiles) {
      bool defaultsMissing = false;
      std::string defaultsError;
      text = ReadSettingsFile(file, defaultsMissing, defaultsError);
      if (text) {
        source = file;
        break;
      }
    }
    if (!text) return std::nullopt;
  }
  IniParseError parseError;
  std::optional<IniDocument> doc = IniDocument::Parse(*text, &parseError);
  if (!doc) {
    // Damaged text: run on the defaults and leave the file for the user to
    // mend rather than overwrite it.
    usable_ = false;
    created_ = false;
    return source + ": line " + FormatInteger(parseError.line) + ": " + parseError.reason;
  }
  for (int i = 0; i < kSettingCount; ++i) {
    const auto id = static_cast<SettingId>(i);
    std::optional<Value> v;
    if (auto raw = doc->Get(kSettingsSection, kSpecs[i].name)) v = Validate(id, *raw);
    // An absent, over-long or out-of-range value falls back to the default,
    // and the shadow copy keeps the default too.
    values_[i] = v ? *v : DefaultOf(id);
    shadows_[i] = values_[i];
  }
  return std::nullopt;
}

SettingsStore::SaveResult SettingsStore::Save() {
  SaveResult result;
  if (!writable()) return result;
  std::vector<int> changed;
  for (int i = 0; i < kSettingCount; ++i) {
    if (created_ || !(values_[i] == shadows_[i])) changed.push_back(i);
  }
  if (changed.empty()) return result;

  // Start from the file as it is now, so that comments and keys we do not
  // know survive.
  IniDocument doc;
  bool missing = false;
  std::string error;
  if (auto text = ReadSettingsFile(paths_.userFile, missing, error)) {
    auto parsed = IniDocument::Parse(*text);
    if (!parsed) {
      result.error = paths_.userFile + ": damaged while the program ran; settings not saved";
      return result;
    }
    doc = std::move(*parsed);
  } else if (!missing) {
    result.error = error;
    return result;
  } else {
    doc = *IniDocument::Parse("# Skylode settings\n");
  }
  for (int i : changed) {
    const SettingSpec& spec = kSpecs[i];
    doc.Set(kSettingsSection, spec.name,
            spec.kind == SettingKind::kNumber ? FormatInteger(values_[i].number) : values_[i].text);
  }
  if (auto writeError = WriteSettingsFile(paths_.userFile, doc.Serialise())) {
    result.error = *writeError;
    return result;
  }
  for (int i : changed) shadows_[i] = values_[i];
  created_ = false;
  result.written = static_cast<int>(changed.size());
  return result;
}

const std::string& SettingsStore::Text(SettingId id) const { return values_[Index(id)].text; }

bool SettingsStore::SetText(SettingId id, std::string_view value) {
  if (SpecOf(id).kind == SettingKind::kNumber) return false;
  auto v = Validate(id, value);
  if (!v) return false;
  values_[Index(id)] = *v;
  return true;
}

int64_t SettingsStore::Number(SettingId id) const { return values_[Index(id)].number; }

bool SettingsStore::SetNumber(SettingId id, int64_t value) {
  const SettingSpec& spec = SpecOf(id);
  if (spec.kind != SettingKind::kNumber || value < spec.min || value > spec.max) return false;
  values_[Index(id)].number = value;
  return true;
}

bool SettingsStore::Changed(SettingId id) const { return !(values_[Index(id)] == shadows_[Index(id)]); }

}  // namespace skylode
