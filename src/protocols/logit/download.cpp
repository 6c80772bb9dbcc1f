#include "protocols/logit/download.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <thread>

#include "protocols/families.h"
#include "protocols/logit/frames.h"

namespace skylode::logit {

namespace {

constexpr std::string_view kCaption = "Read LogIt track log";
constexpr size_t kInitialCapacity = 200;
constexpr size_t kProgressEvery = 250;

// What ends a download that stopped on a frame error, or on silence (0).
std::string EndText(int error) {
  return error == 0 ? std::string("E206 Track log data timeout") : FormatProgress("E204 Format error %", error);
}

class Download {
 public:
  Download(TransferContext& ctx, const LogItTiming& timing, const LogItProduct& product, int32_t total)
      : ctx_(ctx), timing_(timing), product_(product), total_(total) {}

  TransferResult Run();

 private:
  enum class End { kEndFrame, kAborted, kReadError, kSilence, kError };
  End Listen();
  void Stored(size_t from);
  // Leaves the download speed and stops the logger, as every way out of the
  // download does.
  void BackToCommandSpeed();
  TransferResult Fail(std::string_view text);
  TransferResult Delivered();
  // False when the worker must end (shown).
  bool Resume(int error);
  bool tracklogger() const { return product_.model == kTracklogger; }

  TransferContext& ctx_;
  const LogItTiming& timing_;
  const LogItProduct& product_;
  int32_t total_;
  uint32_t speed_ = 0;
  std::string_view command_;
  std::vector<TrackPoint> points_;
  FrameParser parser_;
  FrameDecoder decoder_;
  int error_ = 0;
  size_t pointsAtLastResume_ = std::numeric_limits<size_t>::max();
  int resumesWithoutProgress_ = 0;
};

void Download::BackToCommandSpeed() {
  if (speed_ != kCommandBaud && !ctx_.port().SetSpeed(kCommandBaud, false)) return;
  // Waited out after an abort too: the logger must hear the stop.
  std::this_thread::sleep_for(timing_.beforeStop);
  ctx_.port().WriteText(kStopCommand, CancelToken());
}

TransferResult Download::Fail(std::string_view text) {
  BackToCommandSpeed();
  ctx_.ShowMessage(kCaption, text);
  return TransferResult::Failure();
}

TransferResult Download::Delivered() {
  TrackLogPayload payload;
  payload.log.points = std::move(points_);
  payload.log.source = TrackLogSource::kLogIt;
  payload.log.hasBaroHeight = false;
  payload.log.sourceProtocol = ctx_.protocol();
  payload.log.instrumentText = product_.model.substr(0, kInstrumentTextMax);
  payload.log.modelName = product_.model;
  payload.log.identification = Identification(product_);
  return TransferResult::Track(std::move(payload));
}

void Download::Stored(size_t from) {
  for (size_t k = from; k < points_.size(); ++k) {
    ctx_.NotifyPosition(points_[k]);
    const size_t n = k + 1;
    if (n != 1 && n % kProgressEvery != 0) continue;
    const auto count = static_cast<int64_t>(n);
    if (total_ > 0) {
      ctx_.Progress("% points of % received", count, total_);
      ctx_.Notify(FormatProgress("Progress %/%", count, total_));
    } else {
      ctx_.Progress("% points received", count);
      ctx_.Notify(FormatProgress("Progress %/?", count));
    }
  }
}

Download::End Download::Listen() {
  bool ended = false;
  error_ = 0;
  const IoResult r = ReadUntilSilence(
      ctx_.port(),
      [&](uint8_t b) {
        const int frame = parser_.Add(b);
        if (frame == 0) return true;
        if (frame < 0) {
          error_ = -frame;
          return false;
        }
        const size_t before = points_.size();
        const int step = decoder_.Decode(parser_, points_);
        Stored(before);
        if (step < 0) {
          error_ = -step;
          return false;
        }
        if (step == 1) ended = true;
        return !ended;
      },
      timing_.dataSilence, ctx_.cancel());
  if (ctx_.aborted() || r.status == IoStatus::kCancelled) return End::kAborted;
  if (ended) return End::kEndFrame;
  if (error_ != 0) return End::kError;
  if (!r.ok()) return End::kReadError;
  return End::kSilence;
}

bool Download::Resume(int error) {
  // A record the logger cannot send whole would otherwise be asked for
  // again and again.
  if (points_.size() == pointsAtLastResume_) {
    if (++resumesWithoutProgress_ >= kResumesWithoutProgress) {
      Fail(EndText(error));
      return false;
    }
  } else {
    resumesWithoutProgress_ = 0;
  }
  pointsAtLastResume_ = points_.size();
  const auto next = static_cast<int64_t>(points_.size()) + 1;
  if (!ctx_.SetPortSpeed(kCommandBaud)) return false;
  ctx_.Progress("RESTART at point %", next);
  ctx_.port().WriteText(ResumeCommand(next), ctx_.cancel());
  ctx_.Pause(timing_.afterResumeRequest);
  if (!SendText(ctx_, command_)) {
    if (ctx_.aborted()) return true;  // the loop sees the abort
    ctx_.port().WriteText(kStopCommand, CancelToken());
    ctx_.ShowMessage(kCaption, "E205 COM port write error");
    return false;
  }
  ctx_.Pause(timing_.beforeSpeedSwitch);
  if (!ctx_.SetPortSpeed(speed_)) return false;
  parser_.Reset();
  decoder_.ExpectRestart();
  return true;
}

TransferResult Download::Run() {
  try {
    points_.reserve(kInitialCapacity);
  } catch (const std::bad_alloc&) {
    ctx_.ShowMessage("E200 Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
  ctx_.Status("Requesting track log");
  const uint32_t asked = ctx_.baudRate() != 0 ? ctx_.baudRate() : LogItFamily().lineSpeeds.front();
  command_ = DownloadCommand(asked);
  speed_ = asked;
  if (command_.empty()) {
    command_ = kOtherSpeedCommand;
    speed_ = kCommandBaud;
  }
  if (!SendText(ctx_, command_)) {
    if (ctx_.aborted()) {
      ctx_.port().WriteText(kStopCommand, CancelToken());
      return TransferResult::Cancelled();
    }
    ctx_.ShowMessage(kCaption, "E201 COM port write error");
    return TransferResult::Failure();
  }
  ctx_.Pause(timing_.beforeSpeedSwitch);
  if (speed_ != kCommandBaud && !ctx_.SetPortSpeed(speed_)) return TransferResult::Failure();

  try {
    for (;;) {
      const End end = Listen();
      switch (end) {
        case End::kAborted:
          BackToCommandSpeed();
          return TransferResult::Cancelled();
        case End::kEndFrame:
          BackToCommandSpeed();
          ctx_.Progress("% points received", static_cast<int64_t>(points_.size()));
          return Delivered();
        case End::kReadError:
          return Fail("E202 COM port read error");
        case End::kSilence:
        case End::kError: {
          // A Tracklogger that has started can go on from the last point
          // stored; before the start frame nothing is worth resuming.
          const int error = end == End::kError ? error_ : 0;
          if (tracklogger() && decoder_.state() != FrameDecoder::State::kWaitingForStart) {
            if (!Resume(error)) return TransferResult::Failure();
            continue;
          }
          return Fail(EndText(error));
        }
      }
    }
  } catch (const std::bad_alloc&) {
    BackToCommandSpeed();
    ctx_.ShowMessage("E203 Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace

TransferResult LogItReadTrackLog(TransferContext& ctx, const LogItTiming& timing) {
  LogItProduct product;
  if (const Step step = LogItReadProductData(ctx, timing, product); step != Step::kOk) return EndedEarly(step);
  int32_t total = -1;
  if (const Step step = LogItReadPointCount(ctx, timing, product, total); step != Step::kOk) return EndedEarly(step);
  return Download(ctx, timing, product, total).Run();
}

}  // namespace skylode::logit
