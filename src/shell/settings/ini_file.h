// A small INI text model for the settings file. It keeps the lines it does
// not own (comments, other sections, unknown keys) so that a user's edits
// survive when the program writes its values back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

struct IniParseError {
  int line = 0;  // 1-based
  std::string reason;
};

class IniDocument {
 public:
  // Accepts "[section]", "key=value", comments starting with ';' or '#', and
  // blank lines; "\r\n" and "\n" line ends. Anything else is an error, so a
  // damaged file is never mistaken for settings.
  static std::optional<IniDocument> Parse(std::string_view text, IniParseError* error = nullptr);

  // Keys and sections compare case-insensitively; the last duplicate wins.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Replaces the value in place, or appends the key to its section (the
  // section is added at the end when missing).
  void Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Serialise() const;

  // Values with surrounding blanks, quotes or line breaks are written quoted
  // with backslash escapes; everything else as it stands.
  static std::string EncodeValue(std::string_view value);
  static std::string DecodeValue(std::string_view raw);

 private:
  struct Line {
    enum class Kind { kOther, kSection, kEntry } kind = Kind::kOther;
    std::string text;     // the line as read (kOther, kSection)
    std::string section;  // section the line belongs to
    std::string key;      // kEntry
    std::string value;    // kEntry, decoded
  };
  std::vector<Line> lines_;
};

}  // namespace skylode
