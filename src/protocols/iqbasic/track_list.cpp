#include "protocols/iqbasic/track_list.h"

#include <algorithm>
#include <cstdio>

#include "access/sentence.h"

namespace skylode::iqbasic {
namespace {

constexpr size_t kMaxFields = 6;
constexpr std::string_view kCaptionList = "Read track list";

std::vector<std::string_view> SplitFields(std::string_view line, size_t maxFields) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < maxFields) {
    const size_t semi = line.find(';');
    if (semi == std::string_view::npos) break;
    fields.push_back(line.substr(0, semi));
    line.remove_prefix(semi + 1);
  }
  fields.push_back(line);
  return fields;
}

std::string Text(std::string_view field) {
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  return std::string(field.substr(0, kTrackTextMax));
}

// "hh:mm:ss", read as far as it goes; a duration only feeds the estimate of
// the time left, so a part that is missing counts as 0.
int32_t DurationSeconds(std::string_view text) {
  int64_t total = 0, number = 0;
  int parts = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      number = std::min<int64_t>(number * 10 + (c - '0'), 1'000'000);
    } else if (c == ':' && parts < 2) {
      total = (total + number) * 60;
      number = 0;
      ++parts;
    } else if (c != ' ') {
      break;
    }
  }
  total += number;
  for (; parts < 2; ++parts) total *= 60;
  return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}

}  // namespace

std::optional<TrackListEntry> ParseTrackListLine(std::string_view line) {
  const std::vector<std::string_view> fields = SplitFields(line, kMaxFields);
  if (fields.size() < 5) return std::nullopt;
  const std::optional<int32_t> number = ReadDecimal(fields[0]);
  if (!number || *number < 0 || *number > kFlightNumberMax) return std::nullopt;
  bool digits = false;
  for (char c : fields[0]) digits |= c >= '0' && c <= '9';
  if (!digits) return std::nullopt;
  TrackListEntry e;
  e.number = *number;
  e.date = Text(fields[1]);
  e.time = Text(fields[2]);
  e.duration = Text(fields[4]);
  e.durationSeconds = DurationSeconds(e.duration);
  return e;
}

std::string FlightCommand(int flightNumber) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const int n = flightNumber & 0xFF;
  return std::string("ACT_21_") + kHex[n >> 4] + kHex[n & 15] + "\r\n";
}

std::string DialogLine(const TrackListEntry& e) {
  char number[8];
  std::snprintf(number, sizeof number, "%3d", e.number);
  return std::string(number) + "   " + e.date + "   " + e.time + "   " + e.duration;
}

Step IqReadTrackList(TransferContext& ctx, const IqTiming& timing, std::vector<TrackListEntry>& list) {
  ctx.Status("Requesting track list");
  list.clear();
  if (!flytec::SendCommand(ctx, kTrackListCommand)) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaptionList, "COM port write error");
    return Step::kFailed;
  }
  LineReader reader;
  const flytec::ReceiveEnd end = flytec::Receive(ctx, timing.listSilence, [&](uint8_t b) {
    if (!reader.Feed(b) || list.size() >= kTrackListMax) return true;
    if (auto entry = ParseTrackListLine(reader.line())) list.push_back(std::move(*entry));
    return true;
  });
  if (end == flytec::ReceiveEnd::kAborted) return flytec::Aborted(ctx);
  // A line cut off by a dying line would leave its flight out unseen.
  if (end == flytec::ReceiveEnd::kReadError || reader.InLine()) {
    ctx.ShowMessage(kCaptionList, "COM port read error");
    return Step::kFailed;
  }
  if (list.empty()) {
    ctx.ShowMessage(kCaptionList, "No tracks found");
    return Step::kFailed;
  }
  return Step::kOk;
}

}  // namespace skylode::iqbasic
