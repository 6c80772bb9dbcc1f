// The operation (row) and instrument family (column) of a transfer.
#pragma once

#include <cstdint>

namespace skylode {

enum class AccessType : int32_t {
  kReadWaypoints = 0,
  kReadTrackLog = 1,
  kReadLoggerData = 2,
  kSendWaypoints = 3,
  kEraseTrackLog = 4,
  kWriteSettings = 5,
  kUploadTrackLog = 6,
  kUploadAirspaces = 7,
  kReadAirspaces = 8,
};
inline constexpr int kAccessTypeCount = 9;

enum class ProtocolType : int32_t {
  kGarminSerial = 0,
  kMlrNmea = 1,
  kTopNavigatorTncm = 2,
  kLogIt = 3,
  kFlytec = 4,
  kDigiflyGraviter = 5,
  kMagellan = 6,
  kXcTrainer = 7,
  kGarminUsb = 8,
  kTopNavigatorMxp = 9,
  kXcTrainerMxp = 10,
  kFlytecAllTracks = 11,
  kFlymaster = 12,
  kDsx = 13,
  kMlrFast = 14,
  kMtk = 15,
  kIqBasic = 16,
};
inline constexpr int kProtocolTypeCount = 17;

}  // namespace skylode
