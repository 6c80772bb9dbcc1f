#include "shell/settings/ini_file.h"

#include <algorithm>
#include <cctype>

namespace skylode {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<IniDocument> IniDocument::Parse(std::string_view text, IniParseError* error) {
  IniDocument doc;
  std::string section;
  int lineNo = 0;
  auto fail = [&](std::string reason) -> std::optional<IniDocument> {
    if (error) *error = IniParseError{lineNo, std::move(reason)};
    return std::nullopt;
  };
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    for (char c : raw) {
      if (c == '\0' || c == '\r') return fail("control character in line");
    }
    const std::string_view line = Trim(raw);
    Line entry;
    entry.text = std::string(raw);
    entry.section = section;
    if (line.empty() || line.front() == ';' || line.front() == '#') {
      entry.kind = Line::Kind::kOther;
    } else if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) return fail("bad section header");
      section = std::string(Trim(line.substr(1, line.size() - 2)));
      entry.kind = Line::Kind::kSection;
      entry.section = section;
    } else {
      const size_t eq = line.find('=');
      if (eq == std::string_view::npos || eq == 0) return fail("not a key=value line");
      entry.kind = Line::Kind::kEntry;
      entry.key = std::string(Trim(line.substr(0, eq)));
      if (entry.key.empty()) return fail("empty key");
      entry.value = DecodeValue(Trim(line.substr(eq + 1)));
    }
    doc.lines_.push_back(std::move(entry));
  }
  return doc;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
    if (it->kind == Line::Kind::kEntry && EqualNoCase(it->section, section) && EqualNoCase(it->key, key))
      return it->value;
  }
  return std::nullopt;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
    if (it->kind == Line::Kind::kEntry && EqualNoCase(it->section, section) && EqualNoCase(it->key, key)) {
      it->value = std::string(value);
      it->text.clear();
      return;
    }
  }
  // Append after the last entry (or header) of the section, or open the
  // section at the end.
  size_t insertAt = 0;
  bool found = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != Line::Kind::kOther && EqualNoCase(lines_[i].section, section)) {
      found = true;
      insertAt = i + 1;
    }
  }
  if (!found) {
    if (!lines_.empty()) lines_.push_back(Line{Line::Kind::kOther, "", lines_.back().section, "", ""});
    lines_.push_back(Line{Line::Kind::kSection, "[" + std::string(section) + "]", std::string(section), "", ""});
    insertAt = lines_.size();
  }
  Line entry{Line::Kind::kEntry, "", std::string(section), std::string(key), std::string(value)};
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
}

std::string IniDocument::Serialise() const {
  std::string out;
  for (const auto& line : lines_) {
    if (line.kind == Line::Kind::kEntry) {
      out += line.key;
      out += '=';
      out += EncodeValue(line.value);
    } else {
      out += line.text;
    }
    out += '\n';
  }
  return out;
}

std::string IniDocument::EncodeValue(std::string_view value) {
  bool quote = !value.empty() &&
               (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                value.back() == '\t' || value.front() == '"');
  for (char c : value) {
    if (c == '\n' || c == '\r' || c == '\0') quote = true;
  }
  if (!quote) return std::string(value);
  std::string out = "\"";
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\0': out += "\\0"; break;
      default: out += c;
    }
  }
  out += '"';
  return out;
}

std::string IniDocument::DecodeValue(std::string_view raw) {
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return std::string(raw);
  std::string out;
  const std::string_view inner = raw.substr(1, raw.size() - 2);
  for (size_t i = 0; i < inner.size(); ++i) {
    char c = inner[i];
    if (c == '\\' && i + 1 < inner.size()) {
      const char n = inner[++i];
      switch (n) {
        case 'n': c = '\n'; break;
        case 'r': c = '\r'; break;
        case '0': c = '\0'; break;
        default: c = n;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace skylode
