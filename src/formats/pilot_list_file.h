// Competition pilot lists: the scoring program's database (FS), the RACE
// export and plain CSV, read into a PilotList; the list saved as CSV.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/error.h"
#include "records/pilot_list.h"

namespace skylode {

enum class PilotListKind { kFs, kRace, kCsv };

// Which reader a file's first tag asks for. A byte-order mark other than
// UTF-8's, or a first tag no reader knows, is a kBadContent error with the
// text to show.
Result<PilotListKind> RecognisePilotList(std::string_view text);

// The whole file: recognised, read, and refused as "No pilots found" when it
// names nobody. Errors are kBadContent with the text to show (caption
// "Decoding pilot list file").
Result<PilotList> ReadPilotListText(std::string_view text);

Result<PilotList> ReadFsDatabase(std::string_view text);
Result<PilotList> ReadRaceDatabase(std::string_view text);
Result<PilotList> ReadPilotCsv(std::string_view text);

// Header "Name,CompId,CivlId,Device1,...,Device4", then one line per pilot;
// an absent ID or device is an empty field. A field holding a comma, a
// double quote or a leading/trailing blank is quoted, quotes doubled.
std::string BuildPilotCsv(const PilotList& list);

// A pilot ID as the lists write it: decimal digits only, blanks around them
// allowed, at most INT32_MAX. Empty text is nothing.
std::optional<int32_t> ParsePilotId(std::string_view text);

// A name as a list may carry it: control characters (a decoded &#10; among
// them) dropped, blanks at the ends trimmed, cut to `maxCharacters` UTF-8
// characters without splitting one.
std::string CleanPilotText(std::string_view text, size_t maxCharacters);

}  // namespace skylode
