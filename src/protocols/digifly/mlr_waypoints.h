// MLR waypoints as "$GPWPL" sentences: the instrument's own cycle read
// back, and the upload.
#pragma once

#include <optional>
#include <string>

#include "access/transfer_context.h"
#include "protocols/digifly/mlr_link.h"
#include "records/waypoint.h"

namespace skylode::mlr {

// One "$GPWPL" sentence, a byte at a time.
class WplParser {
 public:
  enum class Feed { kMore, kComplete, kError };
  Feed Add(uint8_t byte);
  // After kError: the format error number (1 to 17).
  int error() const { return error_; }
  // After kComplete: the position in semicircles and the name text.
  int32_t latitude() const { return latitude_; }
  int32_t longitude() const { return longitude_; }
  const std::string& name() const { return name_; }

 private:
  Feed Fail(int error);
  bool ParseBody();

  std::string prefix_;
  std::string body_;  // from after "$GPWPL," to before '*'
  int state_ = 0;     // 0 prefix, 1 body, 2 first check digit, 3 second, 4 CR, 5 LF
  uint8_t xor_ = 0;
  uint8_t check_ = 0;
  int error_ = 0;
  int32_t latitude_ = 0, longitude_ = 0;
  std::string name_;
};

// The ID and description the upload put into the name text. Empty with
// `error` set ("E305 Bad waypoint ID character", "E306 Missing waypoint ID").
std::optional<Waypoint> WaypointFromName(const std::string& name, std::string& error);

// "$GPWPL,DDMM.mmm,N,DDDMM.mmm,E,<ID padded to 6>0<description padded to 22>*XX\r\n"
std::string WplSentence(const Waypoint& w);

TransferResult MlrReadWaypointSentences(TransferContext& ctx, const MlrTiming& timing);
TransferResult MlrSendWaypoints(TransferContext& ctx, const MlrTiming& timing);

}  // namespace skylode::mlr
