// Everything a worker may touch during one transfer: its own copy of the data
// handed in, the port, the abort flag, pauses, status and product lines, the
// notify hooks of command-line runs and the questions it may ask a person.
//
// A worker runs on its own thread and returns a TransferResult; it never
// touches the program's lists. The callbacks below are plain functions here;
// the dispatcher hands the context versions that run on the UI thread and
// are dropped once the transfer has been aborted.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "access/debug_trace.h"
#include "access/port.h"
#include "records/ctr_list.h"
#include "records/device_types.h"
#include "records/pilot_list.h"
#include "records/raw_igc_buffer.h"
#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode {

// --- What a worker returns -------------------------------------------------

enum class TransferOutcome { kSuccess, kFailure, kCancelled };

// A downloaded track log: the points with source, hasBaroHeight,
// sourceProtocol, instrumentText and extraData set by the protocol, and the
// IGC text exactly as the instrument sent it (empty for other protocols).
struct TrackLogPayload {
  TrackLog log;
  RawIgcBuffer raw;
};

// Flights read one after another and handed over each on its own, for the
// shell to analyse and file (the all-tracks download): every log with its
// points, source, hasBaroHeight, sourceProtocol and gRecordValid (the
// instrument signed that flight), in the order they were read.
struct FlightListPayload {
  std::vector<TrackLog> flights;
};

using TransferPayload = std::variant<std::monostate, TrackLogPayload, WaypointList, CtrList, FlightListPayload>;

struct TransferResult {
  TransferOutcome outcome = TransferOutcome::kFailure;
  // 0 on success, or the positive code some protocols pass (e.g. 1 when the
  // instrument's IGC text carried G records); -1 on failure.
  int32_t code = -1;
  // TrackLogSource for track logs, otherwise 0 or the protocol's own value.
  int32_t kind = 0;
  // A protocol's further result (e.g. an identifier found in a scan).
  int32_t extra = 0;
  TransferPayload payload;

  bool succeeded() const { return outcome == TransferOutcome::kSuccess; }

  static TransferResult Failure() { return {}; }
  static TransferResult Cancelled() { return {TransferOutcome::kCancelled, -1, 0, 0, {}}; }
  // Success without data (uploads, erase, settings).
  static TransferResult Done(int32_t code = 0) { return {TransferOutcome::kSuccess, code, 0, 0, {}}; }
  static TransferResult Track(TrackLogPayload track, int32_t code = 0) {
    const auto kind = static_cast<int32_t>(track.log.source);
    return {TransferOutcome::kSuccess, code, kind, 0, std::move(track)};
  }
  static TransferResult Waypoints(WaypointList list, int32_t code = 0) {
    return {TransferOutcome::kSuccess, code, 0, 0, std::move(list)};
  }
  static TransferResult Airspaces(CtrList list, int32_t code = 0) {
    return {TransferOutcome::kSuccess, code, 0, 0, std::move(list)};
  }
  static TransferResult Flights(FlightListPayload flights, TrackLogSource source) {
    return {TransferOutcome::kSuccess, 0, static_cast<int32_t>(source), 0, std::move(flights)};
  }
};

// --- What the shell hands in -------------------------------------------------

// Settings a worker reads; copied at the start so a change in the window
// cannot reach a running transfer.
struct TransferSettings {
  // Port-open attempts one second apart (the command line's TIMEOUT); 0 or
  // less means the default of 30.
  int32_t connectAttempts = 0;
  bool commandLineRun = false;   // no person to ask: questions get their default
  bool competitionMode = false;
  bool powerOffAfterTransfer = false;       // Garmin: switch the unit off at the end
  bool usbCompetitionCheckWaypoints = true;  // Garmin USB in competition mode
};

// The answers of a family's form, in the order of its fields, as accepted
// when the transfer started.
struct FormAnswers {
  std::vector<std::string> values;
};

// The data handed in, owned by the worker: a copy, never a view of the
// program's lists.
using TransferInput = std::variant<std::monostate, WaypointList, TrackLog, CtrList, PilotEntry, FormAnswers>;

struct TransferRequest {
  AccessType access = AccessType::kReadTrackLog;
  ProtocolType protocol = ProtocolType::kGarminSerial;
  std::string portName;   // the port setting; at most 80 characters
  uint32_t baudRate = 0;  // 0: the protocol's own speed
  int32_t parameter = 0;  // an operation's own number (e.g. which setting to write)
  TransferSettings settings;
  TransferInput input;
};

enum class MessageIcon { kError, kWarning, kInfo };

// A flight in the Track List dialog.
struct TrackListEntry {
  int32_t flightNumber = 0;
  std::string text;  // the line the dialog shows
};

// How a worker reaches the program and a person. Any of them may be empty:
// the context then stays silent or answers with the default (cancel / no).
// Questions are given the cancel token so that a host waiting for a person
// can give up when the transfer is aborted.
struct TransferCallbacks {
  std::function<void(std::string_view text)> onStatus;
  std::function<void(std::string_view text)> onProduct;
  // Command-line notify window texts: "Progress %/?", "Sent wpt %/%", ...
  std::function<void(std::string_view text)> notify;
  std::function<void(const TrackPoint& point)> notifyPosition;
  std::function<void(int32_t count)> notifyWaypointCount;
  std::function<void(int32_t count)> notifyByteCount;

  std::function<void(std::string_view caption, std::string_view text, MessageIcon icon,
                      const CancelToken& cancel)>
      showMessage;
  std::function<bool(std::string_view caption, std::string_view question, const CancelToken& cancel)>
      askYesNo;
  // The chosen flight numbers, or nothing when the person cancelled.
  std::function<std::optional<std::vector<int32_t>>(std::string_view title,
                                                    const std::vector<TrackListEntry>& entries,
                                                    const CancelToken& cancel)>
      chooseTracks;
  // A notice with an "OK" button and a "Skip further notifications" box:
  // true when the box was ticked (or nobody was shown it), so the worker
  // shows no more of the kind during this transfer.
  std::function<bool(std::string_view title, std::string_view text, const CancelToken& cancel)> notifySkippable;
  // Competition mode: each waypoint of an instrument's scan goes to the pilot
  // identification of the shell.
  std::function<void(const Waypoint& waypoint)> identifyPilot;
};

// "Track position % of % (%m %s)": each '%' becomes the next number, the
// fourth and later ones all become d.
std::string FormatProgress(std::string_view templ, int64_t a = 0, int64_t b = 0, int64_t c = 0,
                           int64_t d = 0);

inline constexpr int32_t kDefaultConnectAttempts = 30;

// The abort flag of one transfer with a way to wake a sleeping worker. Shared
// between the worker's context and whoever may abort it.
class AbortSignal {
 public:
  void Request();
  bool requested() const { return flag_.load(std::memory_order_acquire); }
  CancelToken token() const { return CancelToken(&flag_); }
  // Sleeps for `duration` or until Request; false when woken by Request.
  bool SleepFor(std::chrono::milliseconds duration);

 private:
  std::atomic<bool> flag_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
};

class TransferContext {
 public:
  // The abort signal is shared with whoever may abort the transfer; a context
  // made by a test can pass its own or none. The trace is this transfer's own
  // record of the bytes on its port (the dispatcher keeps the last one for
  // the person to save); null records nothing.
  TransferContext(TransferRequest request, TransferCallbacks callbacks,
                  std::shared_ptr<AbortSignal> abort = nullptr,
                  std::shared_ptr<DebugTrace> trace = std::make_shared<DebugTrace>());
  ~TransferContext();
  TransferContext(const TransferContext&) = delete;
  TransferContext& operator=(const TransferContext&) = delete;

  const TransferRequest& request() const { return request_; }
  AccessType access() const { return request_.access; }
  ProtocolType protocol() const { return request_.protocol; }
  const std::string& portName() const { return request_.portName; }
  uint32_t baudRate() const { return request_.baudRate; }
  const TransferSettings& settings() const { return request_.settings; }
  TransferInput& input() { return request_.input; }

  // --- Abort and pauses ---
  bool aborted() const { return abort_->requested(); }
  CancelToken cancel() const { return abort_->token(); }
  void RequestAbort() { abort_->Request(); }
  // Sleeps, waking at once on abort. False when it was woken by an abort.
  bool Pause(std::chrono::milliseconds duration);
  bool Pause(int32_t milliseconds) { return Pause(std::chrono::milliseconds(milliseconds)); }

  // --- The port ---
  // Attempts: connectAttempts when positive, else 30.
  int32_t ConnectAttempts() const;
  // Half of ConnectAttempts for the product-data retries, but always at
  // least one attempt.
  int32_t HalfConnectAttempts() const;
  // Opens portName with retries one second apart, showing
  // "Connecting to GPS (%)" with the attempts left, and the error box
  // captioned "Connecting to GPS on <port>" when it fails. On an abort it
  // shows "Transfer aborted" and gives false. Every byte read and written
  // through port() goes to the debug trace.
  bool OpenPort(uint32_t baud, bool softwareFlow);
  // Reconfigures the open port; XON/XOFF for the families that use it.
  // Purges both directions and pauses 200 ms. Shows the failure.
  bool SetPortSpeed(uint32_t baud);
  // For transports opened elsewhere (the Garmin USB device, tests).
  void AttachPort(std::unique_ptr<Port> port);
  bool hasPort() const { return port_ != nullptr; }
  Port& port();
  void ClosePort();

  // Bytes through a port attached from now on go to this trace; null turns
  // tracing off.
  void SetTrace(std::shared_ptr<DebugTrace> trace) { trace_ = std::move(trace); }
  DebugTrace* trace() const { return trace_.get(); }

  // --- Lines in the window ---
  void Status(std::string_view text);
  // FormatProgress, then Status.
  void Progress(std::string_view templ, int64_t a = 0, int64_t b = 0, int64_t c = 0, int64_t d = 0);
  void Product(std::string_view text);
  void Notify(std::string_view text);
  void NotifyPosition(const TrackPoint& point);
  void NotifyWaypointCount(int32_t count);
  void NotifyByteCount(int32_t count);

  // --- Questions to a person ---
  void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon = MessageIcon::kError);
  bool AskYesNo(std::string_view caption, std::string_view question);
  std::optional<std::vector<int32_t>> ChooseTracks(std::string_view title,
                                                   const std::vector<TrackListEntry>& entries);
  // The skippable notice; true: show no more of the kind.
  bool NotifySkippable(std::string_view title, std::string_view text);
  void IdentifyPilot(const Waypoint& waypoint);

 private:
  TransferRequest request_;
  TransferCallbacks callbacks_;
  std::shared_ptr<AbortSignal> abort_;
  std::shared_ptr<DebugTrace> trace_;
  std::unique_ptr<Port> port_;
};

// The name the rest of the program knows the context by.
using AccessBlock = TransferContext;

}  // namespace skylode
