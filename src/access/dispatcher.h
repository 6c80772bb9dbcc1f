// Runs one instrument operation at a time on a worker thread.
//
// The shell names the operation (AccessType) and the family (ProtocolType);
// the dispatcher looks the worker up in the DeviceAccessTable, starts it on
// its own thread with its own TransferContext and returns at once. The worker
// returns a TransferResult; the dispatcher hands it to the completion on the
// UI thread through the host's Post. Each transfer has a generation number:
// once a transfer has been aborted, everything it still sends (status lines,
// questions, its result) is dropped, so an abandoned worker can never change
// the program's lists. Each transfer records its bytes in a debug trace of
// its own; the dispatcher keeps the newest one.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "access/debug_trace.h"
#include "access/transfer_context.h"
#include "records/caption.h"
#include "records/device_types.h"

namespace skylode {

using WorkerFn = std::function<TransferResult(TransferContext&)>;

class DeviceAccessTable {
 public:
  // Replaces an earlier worker of the same cell.
  void Register(AccessType access, ProtocolType protocol, WorkerFn worker);
  // Null for an empty cell or numbers outside the table.
  const WorkerFn* Find(int access, int protocol) const;
  bool Has(AccessType access, ProtocolType protocol) const;

 private:
  std::array<std::array<WorkerFn, kProtocolTypeCount>, kAccessTypeCount> cells_{};
};

inline void RegisterWorker(DeviceAccessTable& table, AccessType access, ProtocolType protocol,
                           WorkerFn worker) {
  table.Register(access, protocol, std::move(worker));
}

// What the dispatcher needs from the program around it.
class DispatcherHost {
 public:
  virtual ~DispatcherHost() = default;
  // Runs `task` later on the UI thread, in the order posted. Called from any
  // thread, sometimes with the dispatcher's lock held: it must only queue,
  // never run the task before returning.
  virtual void Post(std::function<void()> task) = 0;
  // The dispatcher's own error boxes; called on the UI thread only.
  virtual void ShowMessage(Caption caption, std::string_view text, MessageIcon icon) = 0;
};

// Receives the worker's result on the UI thread; not called for an aborted
// transfer. Empty for erase and write-settings transfers.
using CompletionFn = std::function<void(TransferResult&& result)>;

inline constexpr std::string_view kCaptionGpsAccess = "GPS access";
inline constexpr std::string_view kCaptionAbortGpsAccess = "Abort GPS access";
inline constexpr std::string_view kTextBadAccessType = "Bad access type";
inline constexpr std::string_view kTextBadProtocolType = "Bad protocol type";
inline constexpr std::string_view kTextUnsupportedFunction = "Unsupported access function";
inline constexpr std::string_view kTextPortInUse = "Port/USB is being used";
inline constexpr std::string_view kTextPortNotInUse = "Port not in use";
inline constexpr std::string_view kTextTransferAborted = "Transfer aborted";

// All members are called on the UI thread.
class Dispatcher {
 public:
  explicit Dispatcher(DispatcherHost& host);
  // Ends device access: an active transfer is stopped as Abort does, but
  // without a status line.
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  DeviceAccessTable& table() { return table_; }
  void RegisterWorker(AccessType access, ProtocolType protocol, WorkerFn worker) {
    table_.Register(access, protocol, std::move(worker));
  }

  // Numbers outside the enums are refused with "Bad access type" or "Bad
  // protocol type"; an empty cell with "Unsupported access function"; a
  // running transfer, or an aborted one that still holds the same port, with
  // "Port/USB is being used"; each in a box captioned "GPS access". On
  // success transferBusy is set and a new generation begins before the worker
  // runs. 0 or -1.
  int StartTransfer(TransferRequest request, TransferCallbacks callbacks, CompletionFn onComplete);
  // Same, with the numbers as the command line or a menu gives them.
  int StartTransfer(int access, int protocol, TransferRequest request, TransferCallbacks callbacks,
                    CompletionFn onComplete);

  // Shows "Transfer aborted" on the status line, asks the worker to stop,
  // waits up to `grace` for it and otherwise abandons it (it frees its own
  // things when it finally returns; whatever it reports is dropped).
  // transferBusy is cleared and transferFailed set. With no transfer: "Port
  // not in use" in a box captioned "Abort GPS access" and -1.
  int AbortTransfer(std::chrono::milliseconds grace = std::chrono::milliseconds(1000));
  // At exit: as AbortTransfer without the status line and the box.
  void EndDeviceAccess(std::chrono::milliseconds grace = std::chrono::milliseconds(1000));

  // Set by StartTransfer, cleared when the result has been delivered (after
  // the completion ran) or by an abort.
  bool transferBusy() const;
  // Set when the last transfer failed or was aborted, cleared at each start.
  bool transferFailed() const;
  // A transfer exists (the active block): its worker runs or its result
  // waits for delivery. Aborted ones are not counted.
  bool hasActiveTransfer() const;
  // Workers abandoned by an abort that have not returned yet.
  int abandonedWorkers() const;
  // The number of the newest transfer; 0 before the first.
  uint64_t generation() const;
  // The debug trace of the newest transfer (an empty one before the first),
  // for the person to save or clear. A running transfer is still writing it.
  std::shared_ptr<DebugTrace> lastTrace() const { return lastTrace_; }

  // The state shared with the worker threads: one per dispatcher, kept alive
  // by abandoned workers that outlive it.
  struct Core;

 private:
  void Show(Caption caption, std::string_view text);
  int Abort(std::chrono::milliseconds grace, bool withStatus);

  DispatcherHost& host_;
  DeviceAccessTable table_;
  std::shared_ptr<Core> core_;
  std::shared_ptr<DebugTrace> lastTrace_;
};

}  // namespace skylode
