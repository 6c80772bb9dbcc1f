#include "formats/pilot_list_file.h"

#include <cstdio>
#include <vector>

#include "formats/xml_text.h"
#include "formats/xml_tokenizer.h"

namespace skylode {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view WithoutUtf8Bom(std::string_view text) {
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  return text;
}

std::string Numbered(const char* format, size_t number) {
  char text[96];
  std::snprintf(text, sizeof text, format, static_cast<int>(number));
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool AllBlank(const char* text) {
  if (text == nullptr) return true;
  for (; *text; ++text) {
    if (!IsBlank(*text)) return false;
  }
  return true;
}

// An attribute's text, entities decoded and cleaned.
std::optional<std::string> Attribute(const char* attributes, std::string_view name, size_t maxCharacters) {
  // Entities take more bytes than the characters they stand for: read the
  // raw value whole and cut after decoding.
  const auto raw = XmlAttributeText(attributes, name, 4096);
  if (!raw) return std::nullopt;
  return CleanPilotText(XmlDecodeEntities(*raw), maxCharacters);
}

// An ID attribute: nothing when absent; "" and "0" stand for "no ID" in the
// scoring program's files. `bad` when it is there and not a number.
struct IdField {
  bool present = false;
  bool bad = false;
  int32_t value = -1;
};

IdField IdAttribute(const char* attributes, std::string_view name) {
  IdField f;
  const auto raw = XmlAttributeText(attributes, name, 64);
  if (!raw) return f;
  f.present = true;
  std::string_view v = *raw;
  while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsBlank(v.back())) v.remove_suffix(1);
  if (v.empty()) return f;
  const auto n = ParsePilotId(v);
  if (!n) {
    f.bad = true;
    return f;
  }
  f.value = *n;
  return f;
}

Result<PilotList> Finished(PilotList list) {
  if (list.empty()) return Error::Content("No pilots found");
  return list;
}

// CSV fields split at commas; a field that starts with a double quote runs
// to the closing one, "" standing for a quote inside.
std::vector<std::string> SplitCsvLine(std::string_view line, size_t maxFields) {
  std::vector<std::string> fields;
  size_t i = 0;
  while (fields.size() < maxFields) {
    std::string field;
    size_t j = i;
    while (j < line.size() && line[j] == ' ') ++j;
    if (j < line.size() && line[j] == '"') {
      ++j;
      while (j < line.size()) {
        if (line[j] == '"') {
          if (j + 1 < line.size() && line[j + 1] == '"') {
            field += '"';
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        field += line[j++];
      }
      // Whatever follows the closing quote up to the comma belongs to the field.
      while (j < line.size() && line[j] != ',') field += line[j++];
    } else {
      j = i;
      while (j < line.size() && line[j] != ',') field += line[j++];
    }
    fields.push_back(std::move(field));
    if (j >= line.size()) break;
    i = j + 1;  // past the comma
    if (fields.size() == maxFields) break;
    if (i == line.size()) {
      fields.emplace_back();
      break;
    }
  }
  return fields;
}

std::string CsvField(std::string_view text) {
  const bool quote = text.find_first_of(",\"") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace

std::optional<int32_t> ParsePilotId(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
    if (n > INT32_MAX) return std::nullopt;
  }
  return static_cast<int32_t>(n);
}

std::string CleanPilotText(std::string_view text, size_t maxCharacters) {
  std::string out;
  size_t characters = 0;
  for (size_t i = 0; i < text.size() && characters < maxCharacters;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      // A line break or tab inside a name joins its parts with one blank.
      if ((c == '\n' || c == '\r' || c == '\t') && !out.empty() && out.back() != ' ') {
        out += ' ';
        ++characters;
      }
      ++i;
      continue;
    }
    uint32_t cp = 0;
    size_t n = Utf8SequenceLength(text, i, cp);
    if (n == 0) n = 1;  // a stray byte of another encoding passes as it is
    out.append(text.substr(i, n));
    i += n;
    ++characters;
  }
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

Result<PilotListKind> RecognisePilotList(std::string_view text) {
  const bool foreignBom = text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF";
  text = WithoutUtf8Bom(text);
  const size_t open = text.find('<');
  if (open == std::string_view::npos) return PilotListKind::kCsv;
  // The tag's name, read past the NULs of a UTF-16 text.
  std::string name;
  for (size_t i = open + 1; i < text.size() && name.size() < 4; ++i) {
    if (text[i] != '\0') name += text[i];
  }
  const bool race = name == "RACE";
  bool junkBefore = foreignBom;
  for (size_t i = 0; i < open && !junkBefore; ++i) junkBefore = !IsBlank(text[i]) && text[i] != '\0';
  if (foreignBom || (junkBefore && (race || name == "?xml"))) {
    if (foreignBom || static_cast<unsigned char>(text[0]) >= 0x80)
      return Error::Content(race ? "Unknown BOM before opening tag '<RACE>'" : "Unknown BOM before opening tag '<?xml>'");
  }
  // Text before the first tag that is no mark at all: a CSV list whose
  // names hold a '<'.
  if (junkBefore) return PilotListKind::kCsv;
  if (race) return PilotListKind::kRace;
  if (name == "?xml") return PilotListKind::kFs;
  return Error::Content("Missing opening tag '<?xml>'");
}

Result<PilotList> ReadPilotListText(std::string_view text) {
  const Result<PilotListKind> kind = RecognisePilotList(text);
  if (!kind.ok()) return kind.error();
  switch (*kind) {
    case PilotListKind::kFs: return ReadFsDatabase(text);
    case PilotListKind::kRace: return ReadRaceDatabase(text);
    case PilotListKind::kCsv: return ReadPilotCsv(text);
  }
  return Error::Content("Missing opening tag '<?xml>'");
}

Result<PilotList> ReadFsDatabase(std::string_view input) {
  std::string text(WithoutUtf8Bom(input));
  PilotList list;
  std::string error;
  int participantsDepth = 0;  // depth of the open FsParticipants, 0 outside
  int tasksDepth = 0;
  bool inParticipant = false;
  bool civlFromAttribute = false;
  auto finishParticipant = [&] { inParticipant = false; };
  const Status walked = WalkXml(text, [&](const XmlEvent& e) {
    const bool starts = e.kind != XmlEvent::kEnd;
    if (e.name == "FsTasks") {
      if (e.kind == XmlEvent::kStart) tasksDepth = e.depth;
      if (e.kind == XmlEvent::kEnd && e.depth + 1 == tasksDepth) tasksDepth = 0;
      return true;
    }
    if (tasksDepth != 0) return true;
    if (e.name == "FsParticipants") {
      if (e.kind == XmlEvent::kStart) participantsDepth = e.depth;
      if (e.kind == XmlEvent::kEnd) participantsDepth = 0;
      return true;
    }
    if (participantsDepth == 0) return true;
    if (e.name == "FsParticipant" && starts) {
      const size_t number = list.items.size() + 1;
      if (AllBlank(e.attributes)) {
        error = Numbered("Missing data for pilot %d in list", number);
        return false;
      }
      PilotEntry p;
      p.name = Attribute(e.attributes, "name", kPilotNameMax).value_or("");
      if (p.name.empty()) {
        error = Numbered("Missing name for pilot %d in list", number);
        return false;
      }
      const IdField id = IdAttribute(e.attributes, "id");
      if (!id.present || id.bad || id.value < 0) {
        error = Numbered("Bad/missing comp. ID for pilot %d in list", number);
        return false;
      }
      p.compId = id.value;
      const IdField civl = IdAttribute(e.attributes, "CIVLID");
      if (civl.bad) {
        error = Numbered("Bad CIVL ID for pilot %d in list", number);
        return false;
      }
      p.civlId = civl.value > 0 ? civl.value : -1;
      civlFromAttribute = civl.value > 0;
      list.items.push_back(std::move(p));
      inParticipant = e.kind == XmlEvent::kStart;
      return true;
    }
    if (e.name == "FsParticipant" && e.kind == XmlEvent::kEnd) {
      finishParticipant();
      return true;
    }
    if (e.name == "FsCivlPilot" && starts && inParticipant && !civlFromAttribute) {
      const IdField civl = IdAttribute(e.attributes, "id");
      if (civl.bad) {
        error = Numbered("Bad CIVL ID for pilot %d in list", list.items.size());
        return false;
      }
      list.items.back().civlId = civl.value > 0 ? civl.value : -1;
    }
    return true;
  });
  if (!error.empty()) return Error::Content(error);
  if (!walked.ok()) return walked.error();
  return Finished(std::move(list));
}

Result<PilotList> ReadRaceDatabase(std::string_view input) {
  std::string text(WithoutUtf8Bom(input));
  PilotList list;
  std::string error;
  const Status walked = WalkXml(text, [&](const XmlEvent& e) {
    if (e.name != "tblPilot" || e.kind == XmlEvent::kEnd) return true;
    const size_t number = list.items.size() + 1;
    if (AllBlank(e.attributes)) {
      error = Numbered("Missing data for pilot %d in list", number);
      return false;
    }
    const std::string first = Attribute(e.attributes, "pilFirstName", 99).value_or("");
    const std::string last = Attribute(e.attributes, "pilLastName", 4096).value_or("");
    std::string name = first.empty() ? last : last.empty() ? first : first + " " + last;
    if (name.empty()) {
      error = Numbered("Missing name for pilot %d in list", number);
      return false;
    }
    if (CleanPilotText(name, kPilotNameMax + 1) != CleanPilotText(name, kPilotNameMax)) {
      error = Numbered("Name too long for pilot %d in list", number);
      return false;
    }
    PilotEntry p;
    p.name = std::move(name);
    const IdField id = IdAttribute(e.attributes, "pilNumber");
    if (!id.present || id.bad || id.value < 0) {
      error = Numbered("Bad/missing pilot ID for pilot %d in list", number);
      return false;
    }
    p.compId = id.value;
    const IdField civl = IdAttribute(e.attributes, "pilIDGlobal");
    if (!civl.present || civl.bad) {
      error = Numbered("Bad/missing CIVL ID for pilot %d in list", number);
      return false;
    }
    p.civlId = civl.value > 0 ? civl.value : -1;
    list.items.push_back(std::move(p));
    return true;
  });
  if (!error.empty()) return Error::Content(error);
  if (!walked.ok()) return walked.error();
  return Finished(std::move(list));
}

Result<PilotList> ReadPilotCsv(std::string_view text) {
  text = WithoutUtf8Bom(text);
  PilotList list;
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++lineNumber;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.empty()) continue;
    std::vector<std::string> f = SplitCsvLine(line, 7);
    f.resize(7);
    const std::string name = CleanPilotText(f[0], kPilotNameMax);
    if (name.size() == 4 && (name[0] | 0x20) == 'n' && (name[1] | 0x20) == 'a' &&
        (name[2] | 0x20) == 'm' && (name[3] | 0x20) == 'e')
      continue;  // the header
    if (name.empty()) continue;  // nothing to identify anybody by
    PilotEntry p;
    p.name = name;
    const std::string comp = CleanPilotText(f[1], 32);
    const std::string civl = CleanPilotText(f[2], 32);
    if (!comp.empty()) {
      const auto n = ParsePilotId(comp);
      if (!n) return Error::Content("Bad CompId number", lineNumber);
      p.compId = *n;
    }
    if (!civl.empty()) {
      const auto n = ParsePilotId(civl);
      if (!n) return Error::Content("Bad CivlId number", lineNumber);
      p.civlId = *n > 0 ? *n : -1;
    }
    for (size_t d = 0; d < 4; ++d) p.devices[d] = CleanPilotText(f[3 + d], kPilotDeviceMax);
    list.items.push_back(std::move(p));
  }
  return Finished(std::move(list));
}

std::string BuildPilotCsv(const PilotList& list) {
  std::string out = "Name,CompId,CivlId";
  for (int d = 1; d <= 4; ++d) out += ",Device" + std::to_string(d);
  out += "\r\n";
  for (const PilotEntry& p : list.items) {
    out += CsvField(p.name);
    for (int32_t id : {p.compId, p.civlId}) {
      out += ',';
      if (id >= 0) out += std::to_string(id);
    }
    for (const std::string& device : p.devices) {
      out += ',';
      out += CsvField(device);
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace skylode
