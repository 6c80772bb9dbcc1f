// One transfer's conversation with an MTK logger. Replies are collected by a
// reader thread of the session's own; a request is armed with the reply it
// expects (kind, and the offset of a chunk) under the same lock that clears
// the previous answer, so a late or doubled reply of an earlier request can
// never be taken for the present one.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "access/transfer_context.h"

namespace skylode::mtk {

enum class ReplyKind { kNone, kProduct, kStatus, kLoggingOff, kMemoryUsed, kChunk, kLoggingOn, kErase };

inline constexpr size_t kChunkSize = 256;
inline constexpr size_t kMaxSentence = 3000;

enum class WaitEnd {
  kAnswered,
  kWriteError,
  kReadError,
  kNoResponse,
  kRejected,  // a chunk reply came, but not with its 512 hex digits
  kAborted,
};

// What the replies carried; read by the worker only after kAnswered.
struct Replies {
  std::string productField1, productField2;
  uint32_t loggingStatus = 0;
  uint32_t usedBytes = 0;
  std::vector<uint8_t> chunk;
};

class MtkSession {
 public:
  // Starts the reader on the context's open port.
  explicit MtkSession(TransferContext& ctx);
  // Joins the reader: nothing of the session outlives it.
  ~MtkSession();
  MtkSession(const MtkSession&) = delete;
  MtkSession& operator=(const MtkSession&) = delete;

  // Arms `kind` (and `offset` for a chunk), sends `sentence` in one write
  // and waits up to `timeout`. With `ignoreAbort` the wait runs its course
  // on an abort (switching logging back on at the end of an aborted run).
  WaitEnd Exchange(ReplyKind kind, uint32_t offset, std::string_view sentence, std::chrono::milliseconds timeout,
                   bool ignoreAbort = false);
  // Waits again for the request armed last, without sending.
  WaitEnd WaitMore(std::chrono::milliseconds timeout, bool ignoreAbort = false);
  const Replies& replies() const { return replies_; }

  // Stops and joins the reader; called by the destructor at the latest.
  void Stop();

  // Checks and takes one received sentence (without '$' and line end). For
  // tests of the reply rules.
  void HandleSentence(std::string_view sentence);

 private:
  void ReadLoop();

  TransferContext& ctx_;
  std::mutex mutex_;
  std::condition_variable wake_;
  ReplyKind expected_ = ReplyKind::kNone;
  uint32_t expectedOffset_ = 0;
  bool answered_ = false;
  bool rejected_ = false;
  bool readError_ = false;
  bool stop_ = false;
  Replies replies_;
  std::thread reader_;
};

// "$PMTK182,7,OOOOOOOO,00000100*HH\r\n".
std::string ChunkRequest(uint32_t offset);

}  // namespace skylode::mtk
