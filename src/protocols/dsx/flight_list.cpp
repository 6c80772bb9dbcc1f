#include "protocols/dsx/flight_list.h"

#include <algorithm>
#include <cstdio>

namespace skylode::dsx {
namespace {

constexpr std::string_view kRecords = "recs n.";
constexpr std::string_view kCaptionList = "Read GPS track list";
constexpr std::string_view kCaptionSelect = "Select track";
constexpr std::string_view kModel = "DSX";

bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }
bool IsLineEnd(uint8_t b) { return b == '\r' || b == '\n'; }

}  // namespace

int FlightListParser::Feed(uint8_t b) {
  switch (state_) {
    case 0:  // the flight number
      if (digits_ == 0 && (IsLineEnd(b) || b == '#')) return 1;
      if (digits_ < 3) {
        if (!IsDigit(b)) return -1;
        value_ = value_ * 10 + (b - '0');
        ++digits_;
        return 1;
      }
      if (b != ' ') return -2;
      current_.number = value_;
      state_ = 1;
      matched_ = 0;
      return 1;
    case 1:  // "recs n."
      if (static_cast<char>(b) != kRecords[matched_]) return -3;
      if (++matched_ == kRecords.size()) {
        state_ = 2;
        digits_ = 0;
        value_ = 0;
      }
      return 1;
    case 2:  // the record count
      if (digits_ < 6) {
        if (!IsDigit(b)) return -4;
        value_ = value_ * 10 + (b - '0');
        ++digits_;
        return 1;
      }
      current_.records = value_;
      digits_ = 0;
      value_ = 0;
      if (b == ' ') {
        state_ = 3;
        return 1;
      }
      if (IsLineEnd(b)) {
        state_ = 0;
        return 1;
      }
      return -5;
    case 3:  // the rest of the line completes the entry
      if (!IsLineEnd(b)) return 1;
      state_ = 0;
      // The entry is built aside and only then added: the list never holds
      // more than it has room for.
      if (flights_.size() >= kFlightListMax) return -6;
      flights_.push_back(current_);
      return 1;
    default:
      return -7;
  }
}

Step DsxReadFlightList(TransferContext& ctx, const DsxTiming& timing, std::vector<DsxFlight>& flights) {
  ctx.Status("Requesting track list");
  if (!SendCommand(ctx, kFlightListCommand)) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaptionList, "E500 COM port write error");
    return Step::kFailed;
  }
  FlightListParser parser;
  int error = 0;
  const flytec::ReceiveEnd end = flytec::Receive(ctx, timing.listSilence, [&](uint8_t b) {
    const int r = parser.Feed(b);
    if (r < 0) error = -r;
    return r >= 0;
  });
  if (end == flytec::ReceiveEnd::kAborted) return flytec::Aborted(ctx);
  if (error != 0) {
    ctx.ShowMessage(kCaptionList, FormatProgress("E505 Format error %", error));
    return Step::kFailed;
  }
  if (end == flytec::ReceiveEnd::kReadError) {
    ctx.ShowMessage(kCaptionList, "E503 COM port read error");
    return Step::kFailed;
  }
  flights = parser.flights();
  ctx.Progress("% tracks in track list found", static_cast<int64_t>(flights.size()));
  return flights.empty() ? Step::kFailed : Step::kOk;
}

std::string FlightCommand(int number) {
  char text[8];
  std::snprintf(text, sizeof text, "F%03d\r", std::clamp(number, 0, 999));
  return text;
}

Step DsxSelectFlight(TransferContext& ctx, const std::vector<DsxFlight>& flights, DsxFlight& chosen) {
  // Latest first: the recorder lists its oldest flight first. Each row
  // answers with its flight number.
  std::vector<TrackListEntry> entries;
  for (auto it = flights.rbegin(); it != flights.rend(); ++it) {
    char text[32];
    std::snprintf(text, sizeof text, "%03d       %d", it->number, it->records);
    entries.push_back({it->number, text});
  }
  const std::string title = "Track List (" + ctx.portName() + ", " + std::string(kModel) + ")";
  const auto answer = ctx.ChooseTracks(title, entries);
  if (ctx.aborted()) return flytec::Aborted(ctx);
  if (!answer) return Step::kFailed;
  if (answer->size() != 1) {
    ctx.ShowMessage(kCaptionSelect, "Dialog box error");
    return Step::kFailed;
  }
  const auto it = std::find_if(flights.rbegin(), flights.rend(),
                               [n = answer->front()](const DsxFlight& f) { return f.number == n; });
  if (it == flights.rend()) {
    ctx.ShowMessage(kCaptionSelect, "Dialog box error");
    return Step::kFailed;
  }
  chosen = *it;
  return Step::kOk;
}

}  // namespace skylode::dsx
