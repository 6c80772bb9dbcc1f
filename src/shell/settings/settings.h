// The per-user settings store: 47 named values kept in an INI file under
// $XDG_CONFIG_HOME/skylode/. Each value has a shadow copy holding what was
// loaded (or the default), so that only values that changed are written back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

enum class SettingId : int {
  kPilotListName, kPilotListDir, kGoogleDir, kCompDir, kOziDir, kTrackLogDir, kWaypointDir,
  kCtrDir, kTraceDir, kBaudrate, kPortName, kPort, kLogFilter, kLogExportExt, kLogImportExt,
  kWptExportExt, kWptImportExt, kCompTimeStart, kCompTimeStop, kCompWptNNN, kCompMode,
  kCompSpecial, kTrackGapTime, kAddIgcToCompOut, kLoopFlightGap, kIgcDir, kIgcPilotName,
  kIgcFlightNo, kIgcContestId, kIgcGliderType, kIgcGliderId, kIgcSite, kIgcClass, kIgcSaveMask,
  kIgcAddEnl, kOlcDir, kOlcFirstName, kOlcLastName, kOlcBirthDate, kOlcGliderClass,
  kOlcGliderType, kOlcCallSign, kOlcStartPlace, kOlcRegion, kOlcLongFileName, kDsxDataMode,
  kMapTileUrl,
};
inline constexpr int kSettingCount = 47;

enum class SettingKind { kText, kNumber, kFolder };

struct SettingSpec {
  std::string_view name;
  SettingKind kind;
  size_t size;  // text: bytes including the terminator the field always had
  std::string_view defaultText;
  int64_t defaultNumber;
  int64_t min;
  int64_t max;
};

// The table, in the order the values have always been kept.
const std::array<SettingSpec, kSettingCount>& SettingSpecs();
const SettingSpec& SpecOf(SettingId id);

// Where the settings live. FromEnvironment follows the XDG base directories.
struct SettingsPaths {
  std::string userFile;                   // read and written
  std::vector<std::string> defaultsFiles; // first existing one is the first-run fallback
  std::string documentsDir;               // default of every folder setting
  static SettingsPaths FromEnvironment();
};

// The user's home folder: $HOME, else the account's entry, else "/".
std::string HomeFolder();

// The user's documents folder: XDG_DOCUMENTS_DIR from user-dirs.dirs, else
// ~/Documents when it exists, else the home folder.
std::string DocumentsFolder(std::string_view home, std::string_view configHome);

inline constexpr std::string_view kSettingsSection = "Skylode";
inline constexpr std::string_view kSettingsErrorCaption = "Registry access error";

class SettingsStore {
 public:
  explicit SettingsStore(SettingsPaths paths);

  // Loads the user file, or on a first run the defaults file. Returns the text
  // to show (once, captioned kSettingsErrorCaption) when the file cannot be
  // read or is damaged; the program then runs on defaults and never writes.
  std::optional<std::string> Load();

  struct SaveResult {
    int written = 0;                  // values written
    std::optional<std::string> error; // text to show when the file could not be written
  };
  // Writes every value after a first run, otherwise only those that differ
  // from their shadow copy. Nothing changed: the file is not touched.
  SaveResult Save();

  const std::string& Text(SettingId id) const;
  // False (and nothing changed) when the text does not fit its field or
  // holds a control character.
  bool SetText(SettingId id, std::string_view value);
  int64_t Number(SettingId id) const;
  // False (and nothing changed) when the value is outside the entry's range.
  bool SetNumber(SettingId id, int64_t value);

  // Whether the value differs from what was loaded.
  bool Changed(SettingId id) const;
  // Every value back to what was loaded: what a command-line run set (its
  // port, say) is not the person's to keep.
  void DiscardChanges() { values_ = shadows_; }
  bool loaded() const { return loaded_; }
  bool firstRun() const { return created_; }
  bool writable() const { return usable_ && !readOnly_; }
  // A command-line run loads the settings but never writes them.
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  const SettingsPaths& paths() const { return paths_; }

 private:
  struct Value {
    std::string text;
    int64_t number = 0;
    bool operator==(const Value&) const = default;
  };
  Value DefaultOf(SettingId id) const;
  std::optional<Value> Validate(SettingId id, std::string_view raw) const;
  static int Index(SettingId id) { return static_cast<int>(id); }

  SettingsPaths paths_;
  std::array<Value, kSettingCount> values_;
  std::array<Value, kSettingCount> shadows_;
  bool loaded_ = false;
  bool created_ = false;  // no user file existed: write everything at exit
  bool usable_ = true;    // false after a read failure: never overwrite the user's file
  bool readOnly_ = false;
};

}  // namespace skylode
