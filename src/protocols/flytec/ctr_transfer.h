// The uploads of the Flytec and Brauniger family (waypoints, airspaces) and
// the download of the instrument's airspace list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/flytec/link.h"
#include "records/ctr_list.h"
#include "records/waypoint.h"

namespace skylode::flytec {

inline constexpr std::string_view kCtrListCommand = "\x11$PBRCTR,*29\r\n";
inline constexpr size_t kInstrumentTextWidth = 17;

// `text` cut or padded with blanks to `width` characters. The sentence's own
// characters (',' '*' '$') and anything outside printable ASCII become a
// blank (one per character, however many bytes it took), so a name can
// never split or end the sentence it travels in.
std::string InstrumentField(std::string_view text, size_t width = kInstrumentTextWidth);

// "$PBRWPR,...*HH\r\n" for waypoint upload mode 0 or 1 (the name), 2 (ID and
// name) or 3 (the ID).
std::string WaypointSentence(const Waypoint& w, int mode);

// Every "$PBRCTRW" sentence of one area, checksums included; nothing, with
// `why`, when a number outgrows its field (more than 999 sentences, a
// radius of 100 km or more, a point that cannot be computed). The warning
// distance is sent within 0..9999.
std::optional<std::vector<std::string>> CtrSentences(const CtrArea& area, std::string& why);

// The acknowledgement after an area, fed byte by byte: 1 byte taken, 0
// complete (status() holds the status character), or a negative error.
class CtrAckParser {
 public:
  int Feed(uint8_t byte);
  char status() const { return status_; }

 private:
  int state_ = 0;
  size_t matched_ = 0;
  uint8_t xor_ = 0;
  uint8_t received_ = 0;
  char status_ = 0;
};

// The airspace list, one checked and split sentence at a time (field 0 is
// the sentence name with its '$').
class CtrListParser {
 public:
  // 1 taken, 0 the list is complete, or a negative error number.
  int Parse(const std::vector<std::string_view>& fields);
  CtrList Take() { return std::move(list_); }
  int complete() const { return complete_; }

 private:
  int state_ = 0;
  int total_ = 0;
  int next_ = 0;
  int complete_ = 0;
  CtrList list_;
};

TransferResult FlytecSendWaypoints(TransferContext& ctx, const FlytecTiming& timing);
TransferResult FlytecSendCtrs(TransferContext& ctx, const FlytecTiming& timing);
TransferResult FlytecReadCtrs(TransferContext& ctx, const FlytecTiming& timing);

}  // namespace skylode::flytec
