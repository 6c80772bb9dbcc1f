#include "protocols/mtk/workers.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "protocols/family.h"
#include "protocols/mtk/log_parser.h"
#include "protocols/mtk/session.h"

namespace skylode::mtk {

namespace {

using std::chrono::milliseconds;

constexpr std::string_view kProductCommand = "$PMTK605*31\r\n";
constexpr std::string_view kStatusCommand = "$PMTK182,2,7*3C\r\n";
constexpr std::string_view kLoggingOffCommand = "$PMTK182,5*20\r\n";
constexpr std::string_view kMemoryUsedCommand = "$PMTK182,2,8*33\r\n";
constexpr std::string_view kLoggingOnCommand = "$PMTK182,4*21\r\n";
constexpr std::string_view kEraseCommand = "$PMTK182,6,1*3E\r\n";

constexpr uint32_t kMaxUsed = 64u * 1024 * 1024;
constexpr int kChunkAttempts = 3;
constexpr int kEraseSeconds = 30;
constexpr int kAborted = 1;
constexpr uint32_t kLoggingOnBit = 1u << 1;

// Codes of a step: write, read, no response, wait.
struct StepCodes {
  int write, read, none, wait;
};
constexpr StepCodes kProductCodes{2, 3, 4, 5};
constexpr StepCodes kStatusCodes{6, 7, 8, 9};
constexpr StepCodes kOffCodes{10, 11, 12, 13};
constexpr StepCodes kUsedCodes{14, 15, 16, 17};
constexpr StepCodes kChunkCodes{21, 22, 23, 24};
constexpr StepCodes kOnCodes{26, 27, 28, 29};
constexpr StepCodes kEraseCodes{30, 31, 33, 32};

int CodeOf(WaitEnd end, const StepCodes& c) {
  switch (end) {
    case WaitEnd::kAnswered: return 0;
    case WaitEnd::kWriteError: return c.write;
    case WaitEnd::kReadError: return c.read;
    case WaitEnd::kNoResponse:
    case WaitEnd::kRejected: return c.none;
    case WaitEnd::kAborted: return kAborted;
  }
  return c.wait;
}

// What one run learnt on its way, so the exits can put logging back.
struct Run {
  TransferContext& ctx;
  const MtkTiming& timing;
  MtkSession session;
  bool loggingWasOn = false;

  Run(TransferContext& c, const MtkTiming& t) : ctx(c), timing(t), session(c) {}

  int Step(ReplyKind kind, std::string_view command, milliseconds wait, const StepCodes& codes) {
    return CodeOf(session.Exchange(kind, 0, command, wait), codes);
  }

  bool Pause(milliseconds d) { return ctx.Pause(d); }

  // Product data, logging status, logging off.
  int Prepare() {
    ctx.Status("Get product information");
    const int attempts = ctx.ConnectAttempts();
    WaitEnd end = WaitEnd::kNoResponse;
    for (int i = 0; i < attempts; ++i) {
      end = session.Exchange(ReplyKind::kProduct, 0, kProductCommand, timing.productWait);
      if (end != WaitEnd::kNoResponse) break;
    }
    if (int code = CodeOf(end, kProductCodes)) return code;
    ctx.Status("Product data read");
    const Replies& r = session.replies();
    std::string text = "Pentagram: " + r.productField1 + "," + r.productField2;
    if (text.size() > 50) text.resize(50);
    ctx.Product(text);
    identification = text;
    if (!Pause(timing.afterProduct)) return kAborted;

    ctx.Status("Get logging status");
    if (int code = Step(ReplyKind::kStatus, kStatusCommand, timing.replyWait, kStatusCodes)) return code;
    loggingWasOn = (session.replies().loggingStatus & kLoggingOnBit) != 0;
    if (!Pause(timing.betweenSteps)) return kAborted;

    ctx.Status("Turn off logging");
    if (int code = Step(ReplyKind::kLoggingOff, kLoggingOffCommand, timing.replyWait, kOffCodes)) return code;
    if (!Pause(timing.betweenSteps)) return kAborted;
    return 0;
  }

  // Every exit once logging was found on: the logger must go on recording
  // flights after this transfer, whatever became of it. On an abort this
  // still waits for its one reply.
  int RestoreLogging(bool afterFailure) {
    if (!loggingWasOn) return 0;
    loggingWasOn = false;
    if (!afterFailure) ctx.Status("Turn on logging");
    return CodeOf(session.Exchange(ReplyKind::kLoggingOn, 0, kLoggingOnCommand, timing.replyWait, true), kOnCodes);
  }

  std::string identification;
};

int ReadMemory(Run& run, std::vector<uint8_t>& image) {
  TransferContext& ctx = run.ctx;
  ctx.Status("Get memory used");
  if (int code = run.Step(ReplyKind::kMemoryUsed, kMemoryUsedCommand, run.timing.replyWait, kUsedCodes)) return code;
  if (!run.Pause(run.timing.betweenSteps)) return kAborted;
  const uint32_t used = run.session.replies().usedBytes;
  if (used == 0) return 18;
  if (used > kMaxUsed) return 19;
  const size_t total = (used + kChunkSize - 1) / kChunkSize * kChunkSize;
  try {
    image.assign((used + kSectorSize - 1) / kSectorSize * kSectorSize, 0xFF);
  } catch (const std::bad_alloc&) {
    return 20;
  }

  const auto start = std::chrono::steady_clock::now();
  int64_t shownSecond = 0;
  for (size_t offset = 0; offset < total; offset += kChunkSize) {
    const int64_t elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    if (elapsed > shownSecond && offset > 0) {
      shownSecond = elapsed;
      const int64_t left = elapsed * static_cast<int64_t>(total - offset) / static_cast<int64_t>(offset);
      ctx.Progress("Time left (s): %", left);
      ctx.Notify(FormatProgress("Time left (s): %", left));
    }
    if (DebugTrace* t = ctx.trace()) {
      char text[32];
      std::snprintf(text, sizeof text, "Request chunk %08X\r\n", static_cast<uint32_t>(offset));
      t->Text(text);
    }
    WaitEnd end = WaitEnd::kNoResponse;
    for (int attempt = 0; attempt < kChunkAttempts; ++attempt) {
      end = run.session.Exchange(ReplyKind::kChunk, static_cast<uint32_t>(offset), ChunkRequest(static_cast<uint32_t>(offset)),
                                 run.timing.replyWait);
      if (end != WaitEnd::kNoResponse && end != WaitEnd::kRejected) break;
    }
    if (int code = CodeOf(end, kChunkCodes)) return code;
    const std::vector<uint8_t>& chunk = run.session.replies().chunk;
    std::memcpy(image.data() + offset, chunk.data(), kChunkSize);
  }
  return 0;
}

void ShowError(TransferContext& ctx, int code) {
  if (code == kAborted) {
    ctx.Status("Transfer aborted");
    return;
  }
  const ErrorText e = MtkErrorText(code);
  if (e.caption[0] != '\0') ctx.ShowMessage(e.caption, e.text, MessageIcon::kError);
}

// Opens the port and gives the run; null when the port would not open.
bool Open(TransferContext& ctx) { return ctx.hasPort() || ctx.OpenPort(115200, false); }

}  // namespace

MtkTiming ScaledTiming(double scale) {
  MtkTiming t;
  for (milliseconds* d : {&t.productWait, &t.replyWait, &t.afterProduct, &t.betweenSteps, &t.eraseStep})
    *d = ScaledWait(*d, scale);
  return t;
}

ErrorText MtkErrorText(int code) {
  static constexpr const char* kIo[4] = {"COM port write error", "COM port read error", nullptr,
                                         "WaitForSingleObject() failed"};
  struct Range {
    int first;
    const char* caption;
    const char* none;
  };
  static constexpr Range kRanges[] = {
      {2, "Get product information", "No product data received"},
      {6, "Get logging status", "No logging status response"},
      {10, "Turn off logging", "No response received"},
      {14, "Get memory used", "No response received"},
      {21, "Read log data", "No response for data chunk"},
      {26, "Turn on logging", "No response received"},
  };
  for (const Range& r : kRanges)
    if (code >= r.first && code < r.first + 4) {
      const int i = code - r.first;
      return {r.caption, i == 2 ? r.none : kIo[i]};
    }
  switch (code) {
    case 18: return {"Get memory used", "Zero used memory"};
    case 19: return {"Get memory used", "More than 64MB...."};
    case 20: return {"Get memory used", "Could not allocate memory"};
    case 25: return {"Read log data", "Chunk data outside used memory"};
    case 30: return {"Erase log", "COM port write error"};
    case 31: return {"Erase log", "COM port read error"};
    case 32: return {"Erase log", "WaitForSingleObject() failed"};
    case 33: return {"Erase log", "No response received"};
    default: return {"", ""};
  }
}

TransferResult MtkReadTrackLog(TransferContext& ctx, const MtkTiming& timing) {
  if (!Open(ctx)) return ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
  std::vector<uint8_t> image;
  std::string identification;
  int code = 0;
  {
    Run run(ctx, timing);
    code = run.Prepare();
    if (code == 0) code = ReadMemory(run, image);
    const int restore = run.RestoreLogging(code != 0);
    if (code == 0) code = restore;
    identification = run.identification;
    run.session.Stop();  // joined before the port and the image go
  }
  // An abort that came while logging was put back still wins.
  if (code == 0 && ctx.aborted()) code = kAborted;
  if (code != 0) {
    ShowError(ctx, code);
    return code == kAborted || ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
  }
  ParsedLog parsed = ParseMtkLog(image);
  if (!parsed.error.empty()) {
    ctx.ShowMessage("Parse log data", parsed.error, MessageIcon::kError);
    return TransferResult::Failure();
  }
  ctx.Progress("% points received", static_cast<int64_t>(parsed.points.size()));
  if (parsed.points.empty()) {
    ctx.ShowMessage("Parse log data", "No points detected", MessageIcon::kWarning);
    return TransferResult::Failure();
  }
  if (ctx.aborted()) {
    ctx.Status("Transfer aborted");
    return TransferResult::Cancelled();
  }
  TrackLogPayload payload;
  payload.log.points = std::move(parsed.points);
  payload.log.source = TrackLogSource::kMtk;
  payload.log.hasBaroHeight = false;
  payload.log.sourceProtocol = ctx.protocol();
  payload.log.instrumentText = "MTK";
  payload.log.modelName = "Pentagram";
  payload.log.identification = identification;
  return TransferResult::Track(std::move(payload));
}

TransferResult MtkEraseLog(TransferContext& ctx, const MtkTiming& timing) {
  if (!Open(ctx)) return ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
  int code = 0;
  {
    Run run(ctx, timing);
    code = run.Prepare();
    if (code == 0 && !run.Pause(timing.betweenSteps)) code = kAborted;
    if (code == 0) {
      ctx.Progress("Erasing (%)", kEraseSeconds);
      WaitEnd end = run.session.Exchange(ReplyKind::kErase, 0, kEraseCommand, timing.eraseStep);
      for (int left = kEraseSeconds - 1; end == WaitEnd::kNoResponse && left > 0; --left) {
        ctx.Progress("Erasing (%)", left);
        end = run.session.WaitMore(timing.eraseStep);
      }
      code = CodeOf(end, kEraseCodes);
      if (code == 0 && !run.Pause(timing.betweenSteps)) code = kAborted;
    }
    const int restore = run.RestoreLogging(code != 0);
    if (code == 0) code = restore;
    run.session.Stop();
  }
  if (code == 0 && ctx.aborted()) code = kAborted;
  if (code != 0) {
    ShowError(ctx, code);
    return code == kAborted || ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
  }
  ctx.Status("Erase completed");
  return TransferResult::Done();
}

}  // namespace skylode::mtk

namespace skylode {

void RegisterMtkWorkers(DeviceAccessTable& table, const mtk::MtkTiming& timing) {
  table.Register(AccessType::kReadTrackLog, ProtocolType::kMtk,
                 [timing](TransferContext& ctx) { return mtk::MtkReadTrackLog(ctx, timing); });
  table.Register(AccessType::kEraseTrackLog, ProtocolType::kMtk,
                 [timing](TransferContext& ctx) { return mtk::MtkEraseLog(ctx, timing); });
}

}  // namespace skylode
