#include "protocols/iqbasic/track_download.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "protocols/flytec/product.h"
#include "protocols/iqbasic/waypoints.h"

namespace skylode::iqbasic {
namespace {

constexpr size_t kMaxFlightsChosen = 100;

std::string ByteError(const flytec::IgcByteResult& error, std::string_view line) {
  switch (error.kind) {
    case flytec::IgcByteResult::kOk:
      return {};
    case flytec::IgcByteResult::kBadRecordType: {
      char text[32];
      std::snprintf(text, sizeof text, "Bad record type (%02X)", error.value & 0xFF);
      return text;
    }
    case flytec::IgcByteResult::kTooLongSentence:
      return "Too long sentence";
    case flytec::IgcByteResult::kFormatError:
      if (line.starts_with("HFDTE")) return "HFDTE sentence error: " + std::string(line);
      return FormatProgress("Format error % in IGC sentence", error.value);
  }
  return {};
}

}  // namespace

const flytec::IgcDialect& IqIgcDialect() {
  static const flytec::IgcDialect kDialect{
      .flightCommand = FlightCommand,
      .writeError = "COM port write error",
      .readError = "COM port read error",
      .byteError = ByteError,
  };
  return kDialect;
}

Step ChooseFlights(TransferContext& ctx, const std::vector<TrackListEntry>& list, const std::string& model,
                   std::vector<flytec::ChosenFlight>& chosen) {
  std::vector<skylode::TrackListEntry> entries;
  for (const TrackListEntry& e : list) entries.push_back({e.number, DialogLine(e)});
  const std::string title = "Track List (" + ctx.portName() + (model.empty() ? "" : ", " + model) + ")";
  const auto answer = ctx.ChooseTracks(title, entries);
  if (ctx.aborted()) return flytec::Aborted(ctx);
  if (!answer || answer->empty() || answer->size() > kMaxFlightsChosen) return Step::kFailed;
  chosen.clear();
  for (int32_t n : *answer) {
    // The dialog answers with flight numbers; only listed ones can be asked for.
    const auto it = std::find_if(list.begin(), list.end(), [n](const TrackListEntry& e) { return e.number == n; });
    if (it == list.end()) return Step::kFailed;
    chosen.push_back({it->number, it->durationSeconds});
  }
  return Step::kOk;
}

TransferResult IqReadTrackLog(TransferContext& ctx, const IqTiming& timing) {
  try {
    IqProduct product;
    Step s = IqReadProductData(ctx, timing, product);
    if (s == Step::kOk && ctx.settings().competitionMode) s = IqReadWaypointList(ctx, timing, 1, nullptr);
    std::vector<TrackListEntry> list;
    if (s == Step::kOk) s = IqReadTrackList(ctx, timing, list);
    std::vector<flytec::ChosenFlight> chosen;
    if (s == Step::kOk) s = ChooseFlights(ctx, list, product.model, chosen);
    TrackLogPayload payload;
    int32_t code = 0;
    if (s == Step::kOk) s = flytec::ReadIgcFlights(ctx, timing.Igc(), IqIgcDialect(), &chosen, payload, code);
    // An abort that came with the last byte still wins: nothing is delivered.
    if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    if (s != Step::kOk) return TransferResult::Failure();

    payload.log.source = TrackLogSource::kIqBasic;
    payload.log.hasBaroHeight = true;
    payload.log.sourceProtocol = ctx.protocol();
    payload.log.instrumentText = "IQ-BASIC";
    payload.log.modelName = product.model;
    payload.log.identification = flytec::InstrumentIdentification(product.model, std::to_string(product.serialNumber));
    return TransferResult::Track(std::move(payload), code);
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace skylode::iqbasic
