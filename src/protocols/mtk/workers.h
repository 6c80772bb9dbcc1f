// The MTK / Pentagram workers: read the logger's memory and decode it, and
// erase it. Both switch logging off for the transfer and, once they found it
// on, back on at every exit.
#pragma once
#include <chrono>

#include "access/dispatcher.h"
#include "access/transfer_context.h"

namespace skylode::mtk {

struct MtkTiming {
  std::chrono::milliseconds productWait{1000};
  std::chrono::milliseconds replyWait{500};
  std::chrono::milliseconds afterProduct{500};
  std::chrono::milliseconds betweenSteps{300};
  std::chrono::milliseconds eraseStep{1000};
};

MtkTiming ScaledTiming(double scale);

TransferResult MtkReadTrackLog(TransferContext& ctx, const MtkTiming& timing = {});
TransferResult MtkEraseLog(TransferContext& ctx, const MtkTiming& timing = {});

// The message for an error code: {caption, text}; empty caption for none.
struct ErrorText {
  const char* caption;
  const char* text;
};
ErrorText MtkErrorText(int code);

}  // namespace skylode::mtk

namespace skylode {
void RegisterMtkWorkers(DeviceAccessTable& table, const mtk::MtkTiming& timing = {});
}  // namespace skylode
