// Starting transfers and taking their results: the one place that knows
// whether a transfer is running, which generation it is, and which track
// log it replaced. Everything here runs on the UI thread; a worker's result
// arrives through the completion the dispatcher posts.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

#include "access/transfer_context.h"
#include "records/device_types.h"
#include "records/raw_igc_buffer.h"
#include "records/track_log.h"
#include "shell/transfers/transfer_service.h"

namespace skylode {

class AppState;

inline constexpr std::string_view kTextBusy = "Busy GPS driver";

// The caption of an operation's messages.
std::string_view OperationCaption(AccessType access);

class TransferController {
 public:
  TransferController(AppState& app, TransferService& service);

  bool busy() const { return busy_; }
  bool failed() const { return failed_; }
  uint64_t generation() const { return generation_; }
  // Whether a worker is there for the cell (a command without one is
  // shown disabled, a command-line run is refused).
  bool Has(AccessType access, ProtocolType protocol) const { return service_.Has(access, protocol); }

  // Reads a track log; asks before an unsaved log is replaced. 0 or -1.
  int DownloadTrackLog(ProtocolType protocol, uint32_t baudRate = 0);
  int DownloadWaypoints(ProtocolType protocol);
  // `mode`: 0 all fields, 1 name only, 2 ID and name, 3 ID only.
  int UploadWaypoints(ProtocolType protocol, int32_t mode);
  // The same with a list of its own (the waypoints and a pilot's IDs).
  int UploadWaypoints(ProtocolType protocol, int32_t mode, WaypointList list);
  // After "Are you sure ?".
  int EraseTrackLog(ProtocolType protocol);
  // Owner names, pilot data, IDs, alarms: `parameter` says which.
  int WriteInstrumentSettings(ProtocolType protocol, int32_t parameter, TransferInput input,
                              std::string_view caption = {});
  int UploadWaypointsAsTrackLog(ProtocolType protocol);
  // Sends the areas marked `selected`.
  int UploadCtr(ProtocolType protocol);
  int DownloadCtr(ProtocolType protocol);
  int ReadLoggerData(ProtocolType protocol);
  // A transfer whose result the caller takes itself (on the UI thread, not
  // for an aborted transfer); the transfer-finished report follows it with
  // the success `onResult` returns.
  int Start(AccessType access, ProtocolType protocol, TransferInput input,
            std::function<bool(TransferResult&&)> onResult, std::string_view caption = {});

  // The "Abort transfer" button.
  void Abort();
  // At exit: a running transfer is stopped without a word and counts as failed.
  void EndAtExit();

  // The check marks of the families, by command number.
  bool ToggleOn(int id) const;
  void SetToggle(int id, bool on);

 private:
  using Completion = void (TransferController::*)(uint64_t, TransferResult&&);
  int StartOperation(AccessType access, ProtocolType protocol, uint32_t baudRate, int32_t parameter,
                     TransferInput input, std::function<void(uint64_t, TransferResult&&)> completion,
                     std::string_view captionOverride = {});
  int StartOperation(AccessType access, ProtocolType protocol, uint32_t baudRate, int32_t parameter,
                     TransferInput input, Completion completion, std::string_view captionOverride = {});
  bool BeginCompletion(uint64_t generation);
  void FinishCompletion(bool success);
  TransferCallbacks MakeCallbacks();
  TransferSettings MakeTransferSettings(ProtocolType protocol) const;
  void RestoreKeptTrack();

  void AcceptTrackLog(uint64_t generation, TransferResult&& result);
  void AcceptWaypoints(uint64_t generation, TransferResult&& result);
  void AcceptCtrList(uint64_t generation, TransferResult&& result);
  void AcceptUpload(uint64_t generation, TransferResult&& result);
  void AcceptPlainEnd(uint64_t generation, TransferResult&& result);

  AppState& app_;
  TransferService& service_;
  bool busy_ = false;
  bool failed_ = false;
  uint64_t generation_ = 0;
  // The log a running download replaced: it comes back when the download
  // fails or is aborted, so a bad connection never costs the pilot a flight.
  struct KeptTrack {
    TrackLog log;
    RawIgcBuffer raw;
  };
  std::optional<KeptTrack> keptTrack_;
  std::optional<ProtocolType> lastProtocol_;
  std::map<int, bool> toggles_;
};

}  // namespace skylode
