#include "protocols/mtk/session.h"

#include <cstdio>

#include "access/sentence.h"

namespace skylode::mtk {

namespace {

std::optional<uint32_t> ReadHex(std::string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return std::nullopt;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  return v;
}

bool FieldsAre(const std::vector<std::string_view>& f, std::initializer_list<std::string_view> want) {
  if (f.size() < want.size()) return false;
  size_t i = 0;
  for (std::string_view w : want)
    if (f[i++] != w) return false;
  return true;
}

}  // namespace

std::string ChunkRequest(uint32_t offset) {
  char text[40];
  std::snprintf(text, sizeof text, "$PMTK182,7,%08X,%08X", offset, static_cast<uint32_t>(kChunkSize));
  std::string s = text;
  AppendChecksum(s, ChecksumDigits::kUpper);
  return s;
}

MtkSession::MtkSession(TransferContext& ctx) : ctx_(ctx) { reader_ = std::thread([this] { ReadLoop(); }); }

MtkSession::~MtkSession() { Stop(); }

void MtkSession::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  if (reader_.joinable()) reader_.join();
}

void MtkSession::ReadLoop() {
  std::string line;
  enum class State { kSkipToLf, kLineStart, kSentence } state = State::kSkipToLf;
  uint8_t buffer[2000];
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) break;
    }
    const IoResult r = ctx_.port().ReadAvailable(buffer);
    if (r.status == IoStatus::kError || r.status == IoStatus::kHangUp) {
      std::lock_guard lock(mutex_);
      readError_ = true;
      break;
    }
    for (size_t i = 0; i < r.count; ++i) {
      const char c = static_cast<char>(buffer[i]);
      switch (state) {
        case State::kSkipToLf:
          // A '$' starts a sentence here too: a line end lost on the line
          // must not cost the next reply as well. The checksum still judges it.
          if (c == '\n') {
            state = State::kLineStart;
          } else if (c == '$') {
            line.clear();
            state = State::kSentence;
          }
          break;
        case State::kLineStart:
          if (c == '$') {
            line.clear();
            state = State::kSentence;
          } else if (c != '\n') {
            state = State::kSkipToLf;
          }
          break;
        case State::kSentence:
          if (c == '\r' || c == '\n' || c == '\0') {
            HandleSentence(line);
            state = c == '\n' ? State::kLineStart : State::kSkipToLf;
          } else if (line.size() >= kMaxSentence) {
            state = State::kSkipToLf;
          } else {
            line.push_back(c);
          }
          break;
      }
    }
  }
  std::lock_guard lock(mutex_);
  wake_.notify_all();
}

void MtkSession::HandleSentence(std::string_view sentence) {
  std::lock_guard lock(mutex_);
  if (expected_ == ReplyKind::kNone) return;
  // A reply without its checksum cannot be told from one that lost it.
  std::vector<std::string_view> f;
  const std::string text = "$" + std::string(sentence);
  if (CheckAndSplitSentence(text, f, 20) < 0) {
    if (DebugTrace* t = ctx_.trace()) t->Text("Bad checksum\r\n");
    return;
  }
  auto answer = [&] {
    expected_ = ReplyKind::kNone;
    answered_ = true;
    wake_.notify_all();
  };
  switch (expected_) {
    case ReplyKind::kProduct:
      if (f.size() >= 3 && f[0] == "$PMTK705") {
        replies_.productField1 = std::string(f[1].substr(0, 80));
        replies_.productField2 = std::string(f[2].substr(0, 80));
        answer();
      }
      break;
    case ReplyKind::kStatus:
      if (f.size() >= 4 && FieldsAre(f, {"$PMTK182", "3", "7"}))
        if (auto v = ReadDecimal(f[3]); v && !f[3].empty()) {
          replies_.loggingStatus = static_cast<uint32_t>(*v);
          answer();
        }
      break;
    case ReplyKind::kMemoryUsed:
      if (f.size() >= 4 && FieldsAre(f, {"$PMTK182", "3", "8"}))
        if (auto v = ReadHex(f[3])) {
          replies_.usedBytes = *v;
          answer();
        }
      break;
    case ReplyKind::kLoggingOff:
      if (FieldsAre(f, {"$PMTK001", "182", "5", "3"})) answer();
      break;
    case ReplyKind::kLoggingOn:
      if (FieldsAre(f, {"$PMTK001", "182", "4", "3"})) answer();
      break;
    case ReplyKind::kErase:
      if (FieldsAre(f, {"$PMTK001", "182", "6", "3"})) answer();
      break;
    case ReplyKind::kChunk: {
      if (f.size() < 4 || !FieldsAre(f, {"$PMTK182", "8"})) break;
      const auto offset = ReadHex(f[2]);
      if (!offset || *offset != expectedOffset_) break;
      std::vector<uint8_t> data;
      bool good = f[3].size() == 2 * kChunkSize;
      for (size_t i = 0; good && i < kChunkSize; ++i) {
        const auto b = ReadHex(f[3].substr(2 * i, 2));
        if (!b) good = false;
        else data.push_back(static_cast<uint8_t>(*b));
      }
      if (!good) {
        // The chunk is asked again rather than stored in part.
        expected_ = ReplyKind::kNone;
        rejected_ = true;
        wake_.notify_all();
        break;
      }
      replies_.chunk = std::move(data);
      answer();
      break;
    }
    case ReplyKind::kNone:
      break;
  }
}

WaitEnd MtkSession::Exchange(ReplyKind kind, uint32_t offset, std::string_view sentence,
                             std::chrono::milliseconds timeout, bool ignoreAbort) {
  {
    std::lock_guard lock(mutex_);
    expected_ = kind;
    expectedOffset_ = offset;
    answered_ = false;
    rejected_ = false;
  }
  if (!ctx_.port().WriteText(sentence, ignoreAbort ? CancelToken() : ctx_.cancel()).ok()) {
    if (!ignoreAbort && ctx_.aborted()) return WaitEnd::kAborted;
    return WaitEnd::kWriteError;
  }
  return WaitMore(timeout, ignoreAbort);
}

WaitEnd MtkSession::WaitMore(std::chrono::milliseconds timeout, bool ignoreAbort) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (answered_) return WaitEnd::kAnswered;
    if (rejected_) return WaitEnd::kRejected;
    if (readError_) return WaitEnd::kReadError;
    if (!ignoreAbort && ctx_.aborted()) {
      expected_ = ReplyKind::kNone;
      return WaitEnd::kAborted;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return WaitEnd::kNoResponse;
    // The abort flag has no way to wake this wait: look at it often.
    wake_.wait_until(lock, std::min(end, now + std::chrono::milliseconds(20)));
  }
}

}  // namespace skylode::mtk
