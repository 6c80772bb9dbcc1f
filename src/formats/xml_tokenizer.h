// A small XML tokenizer that works in place on a NUL-terminated copy of a
// file, and the shared rules of our XML readers: attribute lookup, time
// values and the nesting of tags.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/error.h"

namespace skylode {

enum class XmlTagKind { kElement, kComment, kCData };

struct XmlTag {
  XmlTagKind kind = XmlTagKind::kElement;
  // The text before the tag from its first character that is not a blank,
  // CR, LF or TAB, NUL-terminated in place; null when there is none.
  char* text = nullptr;
  const char* name = "";     // "!--" and "![CDATA[" for comments and CDATA
  char* attributes = nullptr;  // after the name; null when there are none
  char* content = nullptr;     // CDATA content, NUL-terminated in place
  char* open = nullptr;        // where the '<' stood (now the NUL ending `text`)
};

enum class XmlNext {
  kTag,       // a tag (end tags are tags whose name begins with '/')
  kEmptyTag,  // <name ... />
  kEnd,       // the text ended before any '<'
  kBroken,    // the text ended inside a tag
};

// From `cursor`, skips the text up to the next '<' and cuts out the tag
// there. The cursor moves past the tag.
XmlNext NextXmlTag(char*& cursor, XmlTag& tag);

// The value of attribute `name` in an attribute text: the name as a whole
// word, optional blanks, '=', optional blanks and a value in " or '.
// Values longer than `limit` are cut. Nothing when missing or unquoted.
std::optional<std::string> XmlAttributeText(const char* attributes, std::string_view name, size_t limit);
std::optional<int32_t> XmlAttributeInt(const char* attributes, std::string_view name);
// A value in decimal degrees, as radians.
std::optional<double> XmlAttributeAngle(const char* attributes, std::string_view name);

// &lt; &gt; &amp; &quot; &apos; and numeric references back to their
// characters (numeric ones as UTF-8); anything else is left as it stands.
std::string XmlDecodeEntities(std::string_view text);

struct XmlTime {
  uint32_t seconds = 0;  // program time scale, UTC when an offset or 'Z' was given
  bool zulu = false;     // the value ended in 'Z'
};
// "YYYY-MM-DDThh:mm:ss[.fff]" then 'Z', nothing, or "+hh:mm" / "-hh:mm".
std::optional<XmlTime> ParseXmlTime(std::string_view text);

// Walks a whole document under the nesting rules of our readers and reports
// each element to `handler`. The first rule broken ends the walk with its
// message.
struct XmlEvent {
  enum Kind { kStart, kEmpty, kEnd } kind = kStart;
  std::string_view name;  // without the '/' of an end tag
  const char* attributes = nullptr;
  // For kEnd: the text just before the end tag (an element's own text when
  // it has no children), entities not yet decoded; CDATA contents are
  // passed as the text of their element.
  std::string_view text;
  size_t tagOffset = 0;  // offset of the '<'
  size_t endOffset = 0;  // offset just after the '>'
  int depth = 0;         // open tags, this one included for kStart
};

inline constexpr int kXmlNestingLimit = 19;

// Handler result: true to go on, false to stop (the walk then succeeds).
using XmlHandler = std::function<bool(const XmlEvent&)>;

// `text` is modified in place. The first rule broken is a kBadContent error
// whose text says which.
Status WalkXml(std::string& text, const XmlHandler& handler);

}  // namespace skylode
