// OpenAir airspace text: the reader (files and the Edit CTR box), the writer
// (files and the edit box), the template of a new area and the renaming of
// areas that share a name.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/ctr_list.h"
#include "records/error.h"

namespace skylode {

struct OpenAirReadOptions {
  // An airspace holds a DY record, which the program cannot draw; it is left
  // out. Called with the line the airspace began on; returns false once the
  // person asked for no further notifications during this read. Unset: the
  // airspace is left out silently.
  std::function<bool(int line)> notifyDy;
};

struct OpenAirText {
  CtrList list;
  // Records of other programs' exports that were skipped, one line each:
  // "Record AY skipped (line 12)".
  std::vector<std::string> warnings;
};

// The whole text or an Error (kBadContent) whose text is the message to show
// under "Parsing CTR buffer", e.g. "Bad position format on line 12", and
// whose line is the line being read. Nothing of a failed read survives.
Result<OpenAirText> ParseOpenAirText(std::string_view text, const OpenAirReadOptions& options = {});

// One coordinate at `text[pos]` (leading blanks allowed) up to and including
// its hemisphere letter: "47:30:15.5 N", "8.25E", "008:15,25 e". `pos`
// moves past it; nothing when it is not a position or out of range.
std::optional<double> ParseOpenAirCoordinate(std::string_view text, size_t& pos, bool latitude);

// A DC radius in metres: "2" nautical miles, "2 km"; more than 0 and below
// 10000 of the unit; only blanks or a '*' comment may follow.
std::optional<int32_t> ParseOpenAirRadius(std::string_view text);

// File mode: every selected area, a blank line between areas.
std::string WriteOpenAirText(const CtrList& list);
// Edit mode: one area with the explaining comments of the Edit CTR box.
std::string WriteOpenAirText(const CtrArea& area);

// What the Edit CTR box shows for a new area.
extern const std::string_view kNewCtrTemplate;

// After every read: later areas with the name of an earlier one get "(1)",
// "(2)" ... appended, if `askFix` (asked once, at the first duplicate)
// agrees. A number whose name is taken already is passed over, so no new
// duplicate is made. Returns the number of areas renamed.
int FixEqualCtrNames(CtrList& list, const std::function<bool()>& askFix);

// `text` cut to at most `max` bytes without splitting a UTF-8 sequence.
std::string CutCtrText(std::string_view text, size_t max = kCtrTextMax);

}  // namespace skylode
