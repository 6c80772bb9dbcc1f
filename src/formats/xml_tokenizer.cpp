#include "formats/xml_tokenizer.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "records/calendar.h"
#include "records/text_encoding.h"

namespace skylode {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }


// Reads exactly `digits` decimal digits.
bool Digits(std::string_view& s, int digits, int& value) {
  if (s.size() < static_cast<size_t>(digits)) return false;
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const char c = s[static_cast<size_t>(i)];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  s.remove_prefix(static_cast<size_t>(digits));
  return true;
}

bool Expect(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

}  // namespace

XmlNext NextXmlTag(char*& cursor, XmlTag& tag) {
  tag = XmlTag{};
  char* p = cursor;
  while (*p != '\0' && *p != '<') {
    if (tag.text == nullptr && !IsBlank(*p)) tag.text = p;
    ++p;
  }
  if (*p == '\0') {
    cursor = p;
    return XmlNext::kEnd;
  }
  *p = '\0';
  tag.open = p;
  char* q = p + 1;
  if (std::strncmp(q, "!--", 3) == 0) {
    // Ends at two or more '-' followed by '>'.
    char* s = q + 3;
    for (;;) {
      s = std::strstr(s, "--");
      if (s == nullptr) {
        cursor = q + std::strlen(q);
        return XmlNext::kBroken;
      }
      while (*s == '-') ++s;
      if (*s == '>') break;
    }
    tag.kind = XmlTagKind::kComment;
    tag.name = "!--";
    cursor = s + 1;
    return XmlNext::kTag;
  }
  if (std::strncmp(q, "![CDATA[", 8) == 0) {
    char* end = std::strstr(q + 8, "]]>");
    if (end == nullptr) {
      cursor = q + std::strlen(q);
      return XmlNext::kBroken;
    }
    *end = '\0';
    tag.kind = XmlTagKind::kCData;
    tag.name = "![CDATA[";
    tag.content = q + 8;
    cursor = end + 3;
    return XmlNext::kTag;
  }
  char* s = q;
  while (*s != '\0' && *s != '>' && !IsBlank(*s)) ++s;
  if (*s == '\0') {
    cursor = s;
    return XmlNext::kBroken;
  }
  if (*s != '>') {
    *s++ = '\0';
    tag.attributes = s;
    // A '>' inside a quoted value does not end the tag.
    char quote = '\0';
    while (*s != '\0' && (quote != '\0' || *s != '>')) {
      if (quote != '\0') {
        if (*s == quote) quote = '\0';
      } else if (*s == '"' || *s == '\'') {
        quote = *s;
      }
      ++s;
    }
    if (*s == '\0') {
      cursor = s;
      return XmlNext::kBroken;
    }
  }
  // s points at the '>'.
  *s = '\0';
  tag.name = q;
  cursor = s + 1;
  if (s > q && s[-1] == '/') {
    s[-1] = '\0';
    return XmlNext::kEmptyTag;
  }
  return XmlNext::kTag;
}

std::optional<std::string> XmlAttributeText(const char* attributes, std::string_view name, size_t limit) {
  if (attributes == nullptr || name.empty()) return std::nullopt;
  const std::string_view all(attributes);
  size_t from = 0;
  while ((from = all.find(name, from)) != std::string_view::npos) {
    const size_t at = from;
    from += 1;
    if (at > 0 && !IsBlank(all[at - 1])) continue;
    size_t i = at + name.size();
    while (i < all.size() && IsBlank(all[i])) ++i;
    if (i >= all.size() || all[i] != '=') continue;
    ++i;
    while (i < all.size() && IsBlank(all[i])) ++i;
    if (i >= all.size() || (all[i] != '"' && all[i] != '\'')) return std::nullopt;
    const char quote = all[i++];
    const size_t close = all.find(quote, i);
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(all.substr(i, std::min(close - i, limit)));
  }
  return std::nullopt;
}

std::optional<int32_t> XmlAttributeInt(const char* attributes, std::string_view name) {
  const auto text = XmlAttributeText(attributes, name, 40);
  if (!text) return std::nullopt;
  std::string_view s(*text);
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int32_t v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc{} || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<double> XmlAttributeAngle(const char* attributes, std::string_view name) {
  const auto text = XmlAttributeText(attributes, name, 40);
  if (!text) return std::nullopt;
  std::string_view s(*text);
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc{} || r.ptr != s.data() + s.size() || !std::isfinite(v) ||
      std::fabs(v) > 360)
    return std::nullopt;
  return v * 0.01745329251994329577;
}

std::string XmlDecodeEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.push_back(text[i]);
      continue;
    }
    const size_t semi = text.find(';', i);
    if (semi == std::string_view::npos || semi - i > 10) {
      out.push_back('&');
      continue;
    }
    const std::string_view e = text.substr(i + 1, semi - i - 1);
    bool known = true;
    if (e == "lt") {
      out.push_back('<');
    } else if (e == "gt") {
      out.push_back('>');
    } else if (e == "amp") {
      out.push_back('&');
    } else if (e == "quot") {
      out.push_back('"');
    } else if (e == "apos") {
      out.push_back('\'');
    } else if (e.size() > 1 && e[0] == '#') {
      const bool hex = e[1] == 'x' || e[1] == 'X';
      const std::string_view digits = e.substr(hex ? 2 : 1);
      uint32_t cp = 0;
      const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
      known = !digits.empty() && r.ec == std::errc{} && r.ptr == digits.data() + digits.size() && cp > 0 &&
              cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
      if (known) AppendUtf8(out, cp);
    } else {
      known = false;
    }
    if (known) {
      i = semi;
    } else {
      out.push_back('&');
    }
  }
  return out;
}

std::optional<XmlTime> ParseXmlTime(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  CalendarTime t;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(s, 4, year) || !Expect(s, '-') || !Digits(s, 2, month) || !Expect(s, '-') || !Digits(s, 2, day) ||
      !Expect(s, 'T') || !Digits(s, 2, hour) || !Expect(s, ':') || !Digits(s, 2, minute) || !Expect(s, ':') ||
      !Digits(s, 2, second))
    return std::nullopt;
  if (Expect(s, '.')) {
    size_t n = 0;
    while (n < s.size() && s[n] >= '0' && s[n] <= '9') ++n;
    if (n == 0) return std::nullopt;
    s.remove_prefix(n);
  }
  XmlTime out;
  int64_t offset = 0;
  if (Expect(s, 'Z')) {
    out.zulu = true;
  } else if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    const int sign = s.front() == '-' ? -1 : 1;
    s.remove_prefix(1);
    int oh = 0, om = 0;
    if (!Digits(s, 2, oh)) return std::nullopt;
    Expect(s, ':');
    if (!s.empty() && !Digits(s, 2, om)) return std::nullopt;
    if (oh > 23 || om > 59) return std::nullopt;
    offset = sign * (oh * 3600 + om * 60);
  }
  if (!s.empty()) return std::nullopt;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(hour);
  t.minute = static_cast<uint16_t>(minute);
  t.second = static_cast<uint16_t>(second);
  const auto local = CalendarToTime(t);
  if (!local) return std::nullopt;
  const int64_t utc = static_cast<int64_t>(*local) - offset;
  if (utc < 0 || utc > static_cast<int64_t>(UINT32_MAX)) return std::nullopt;
  out.seconds = static_cast<uint32_t>(utc);
  return out;
}

namespace {

// Nothing when the walk ends well, else the rule broken.
std::optional<std::string> Walk(std::string& text, const XmlHandler& handler) {
  char* const base = text.data();
  char* cursor = base;
  if (text.size() >= 3 && static_cast<uint8_t>(text[0]) == 0xEF && static_cast<uint8_t>(text[1]) == 0xBB &&
      static_cast<uint8_t>(text[2]) == 0xBF) {
    cursor += 3;
  } else if (!text.empty() && (static_cast<uint8_t>(text[0]) == 0xFE || static_cast<uint8_t>(text[0]) == 0xFF ||
                               (text.size() > 1 && text[0] == '\0') ||
                               (text.size() > 1 && text[1] == '\0'))) {
    return "Unknown BOM before opening tag";
  }
  std::vector<std::string_view> stack;
  bool anyTag = false;
  std::string_view cdata;
  bool haveCdata = false;
  for (;;) {
    XmlTag tag;
    const XmlNext r = NextXmlTag(cursor, tag);
    if (r == XmlNext::kEnd) {
      if (!anyTag) return "No tags found";
      if (!stack.empty()) return "Nesting level not zero at end-of-file";
      if (tag.text != nullptr) return "Data found after last tag";
      return std::nullopt;
    }
    if (r == XmlNext::kBroken) return "End-of-file encountered within a tag";
    anyTag = true;
    if (tag.kind == XmlTagKind::kComment) continue;
    if (tag.kind == XmlTagKind::kCData) {
      if (stack.empty()) return "Data found before tag <![CDATA[>";
      cdata = tag.content;
      haveCdata = true;
      continue;
    }
    const std::string_view name(tag.name);
    XmlEvent ev;
    ev.attributes = tag.attributes;
    ev.tagOffset = static_cast<size_t>(tag.open - base);
    ev.endOffset = static_cast<size_t>(cursor - base);
    if (name.empty() || name == "/") return "Data found before tag <>";
    if (name.front() == '!') {
      // A document type declaration before the root is passed over, with an
      // internal subset if it has one; its entities are never expanded.
      if (!stack.empty() || tag.text != nullptr) return "Data found before tag <" + std::string(name) + ">";
      const std::string_view declared = tag.attributes ? std::string_view(tag.attributes) : std::string_view();
      if (const size_t open = declared.find('['); open != std::string_view::npos &&
                                                  declared.find(']', open) == std::string_view::npos) {
        // The subset's own declarations hold '>': it ends at "]" and the '>' after it.
        for (;;) {
          char* close = std::strchr(cursor, ']');
          if (close == nullptr) return "End-of-file encountered within a tag";
          char* after = close + 1;
          while (*after == ' ' || *after == '\t' || *after == '\r' || *after == '\n') ++after;
          cursor = after;
          if (*after == '>') {
            ++cursor;
            break;
          }
        }
      }
      haveCdata = false;
      continue;
    }
    if (name.front() == '?') {
      if (stack.empty() && tag.text != nullptr) return "Data found before tag <" + std::string(name) + ">";
      haveCdata = false;
      continue;
    }
    if (name.front() == '/') {
      if (stack.empty()) return "Terminating tag <" + std::string(name) + "> encountered at root level";
      if (stack.back() != name.substr(1))
        return "Tag <" + std::string(stack.back()) + "> is terminated by <" + std::string(name) + ">";
      ev.kind = XmlEvent::kEnd;
      ev.name = name.substr(1);
      ev.text = haveCdata ? cdata : (tag.text ? std::string_view(tag.text) : std::string_view());
      ev.depth = static_cast<int>(stack.size());
      stack.pop_back();
    } else {
      if (stack.empty() && tag.text != nullptr) return "Data found before tag <" + std::string(name) + ">";
      ev.kind = r == XmlNext::kEmptyTag ? XmlEvent::kEmpty : XmlEvent::kStart;
      ev.name = name;
      if (r != XmlNext::kEmptyTag) {
        if (static_cast<int>(stack.size()) >= kXmlNestingLimit)
          return "Nesting limit exceeded at tag <" + std::string(name) + "...";
        stack.push_back(name);
      }
      ev.depth = static_cast<int>(stack.size());
    }
    haveCdata = false;
    if (!handler(ev)) return std::nullopt;
  }
}

}  // namespace

Status WalkXml(std::string& text, const XmlHandler& handler) {
  if (auto broken = Walk(text, handler)) return Error::Content(std::move(*broken));
  return {};
}

}  // namespace skylode
