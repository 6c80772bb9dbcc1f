#include "formats/igc_writer.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <string_view>

#include "formats/file_io.h"
#include "formats/igc_security.h"
#include "records/angles.h"
#include "records/numeric.h"

namespace skylode {
namespace {

// printf "%0*d" without the locale: the sign counts toward the width.
void AppendPadded(std::string& out, int64_t value, int width) {
  char digits[24];
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, magnitude);
  const int len = static_cast<int>(end - digits);
  int pad = width - len - (value < 0 ? 1 : 0);
  if (value < 0) out.push_back('-');
  for (; pad > 0; --pad) out.push_back('0');
  out.append(digits, end);
}

// A header text must stay on its line: a line break typed into a name or
// carried in an instrument's identification would otherwise start a record of
// its own (a forged B record, or one the verifier reads as covered).
std::string OneLine(std::string_view text) {
  std::string s(text);
  for (char& c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return s;
}

// Degrees, minutes and thousandths of one coordinate. Values beyond the
// largest the columns (and our reader) take are pinned to it, written as
// 89°60.000' or 179°60.000', so the fixed layout never shifts.
void AppendCoordinate(std::string& out, int32_t semicircles, int degreeDigits, int64_t maxDegrees,
                      char positive, char negative) {
  int64_t m = SemicirclesToMilliMinutes(semicircles);
  const char hemisphere = m < 0 ? negative : positive;
  if (m < 0) m = -m;
  m = std::min<int64_t>(m, (maxDegrees + 1) * 60000);
  const int64_t degrees = std::min<int64_t>(m / 60000, maxDegrees);
  const int64_t milliMinutes = m - degrees * 60000;  // up to 60000 at the pinned edge
  AppendPadded(out, degrees, degreeDigits);
  AppendPadded(out, milliMinutes / 1000, 2);
  AppendPadded(out, milliMinutes % 1000, 3);
  out.push_back(hemisphere);
}

void AppendBRecord(std::string& out, const TrackPoint& p, bool withEnl) {
  const CalendarTime t = SecondsToDateTime(p.time);
  out.push_back('B');
  AppendPadded(out, t.hour, 2);
  AppendPadded(out, t.minute, 2);
  AppendPadded(out, t.second, 2);
  AppendCoordinate(out, p.latitude, 2, 89, 'N', 'S');
  AppendCoordinate(out, p.longitude, 3, 179, 'E', 'W');
  // A fix without a 3-D position says so again, with the height it came with.
  out.push_back((p.flags & kTrackPointNoGpsHeight) != 0 ? 'V' : 'A');
  // Five columns each: -9999 is the lowest a sign leaves room for.
  AppendPadded(out, std::clamp<int64_t>(p.baroHeight, -9999, 99999), 5);
  const int64_t gnss = p.gpsHeight >= 0 ? (int64_t{p.gpsHeight} + 5) / 10 : 0;
  AppendPadded(out, std::min<int64_t>(gnss, 99999), 5);
  if (withEnl) {
    // Feet of depth, three columns; NaN and negative depths give 0.
    int32_t enl = ClampRound<int32_t>(static_cast<double>(p.depth) * 3.28084, 0);
    enl = std::clamp(enl, 0, 999);
    AppendPadded(out, enl, 3);
  }
  out.append("\r\n");
}

}  // namespace

std::string FormatIgcBRecord(const TrackPoint& point, bool withEnl) {
  std::string s;
  AppendBRecord(s, point, withEnl);
  return s;
}

Result<IgcText> BuildIgcText(const TrackPoint* points, size_t count, const IgcWriteOptions& o) {
  IgcText r;
  r.sourceValid = o.gRecordValid;
  if (points == nullptr || count == 0) {
    return Error::Of(ErrorKind::kNothingToWrite, "No position(s) selected");
  }
  try {
    std::string& s = r.text;
    s.reserve(1024 + count * (o.addEnl ? 40 : 37));
    uint32_t crc = kIgcCrcStart;
    // Covered pieces are fed as they are appended, in file order.
    auto covered = [&](size_t from) { crc = IgcCrcUpdate(crc, std::string_view(s).substr(from)); };

    size_t from = s.size();
    s.append("A").append(kIgcManufacturer);
    s.append(OneLine(o.frSerial));
    s.push_back(' ');
    s.append(OneLine(std::string_view(o.instrumentText).substr(0, kInstrumentTextMax)));
    s.append("\r\n");
    const CalendarTime first = SecondsToDateTime(points[0].time);
    s.append("HFDTE");
    AppendPadded(s, first.day, 2);
    AppendPadded(s, first.month, 2);
    AppendPadded(s, first.year % 100, 2);
    s.append("\r\n");
    covered(from);

    const IgcHeaderTexts& h = o.header;
    s.append("HOPLTPILOT: ").append(OneLine(h.pilot)).append("\r\n");
    s.append("HOGTYGLIDERTYPE: ").append(OneLine(h.gliderType)).append("\r\n");
    s.append("HOGTYGLIDERID: ").append(OneLine(h.gliderId)).append("\r\n");
    s.append("HOCIDCOMPETITIONID: ").append(OneLine(h.competitionId)).append("\r\n");
    s.append("HODTM100GPSDATUM: WGS-84\r\n");
    s.append("HOCCLCOMPETITION CLASS: ").append(OneLine(h.competitionClass)).append("\r\n");
    s.append("HOSITSite: ").append(OneLine(h.site)).append("\r\n");

    from = s.size();
    if (o.addEnl) s.append("I013638ENL\r\n");
    for (size_t i = 0; i < count; ++i) AppendBRecord(s, points[i], o.addEnl);
    s.append("LXKL Skylode version ");
    AppendPadded(s, o.programVersion / 100, 1);
    s.push_back('.');
    AppendPadded(s, o.programVersion % 100, 2);
    s.append("\r\n");
    const CalendarTime& d = o.downloadTime;
    s.append("LXKL Downloaded ");
    AppendPadded(s, d.year, 1);
    s.push_back('-');
    AppendPadded(s, d.month, 2);
    s.push_back('-');
    AppendPadded(s, d.day, 2);
    s.append("  ");
    AppendPadded(s, d.hour, 2);
    s.push_back(':');
    AppendPadded(s, d.minute, 2);
    s.push_back(':');
    AppendPadded(s, d.second, 2);
    s.append("\r\n");
    covered(from);

    if (o.wantGRecord && o.gRecordValid) {
      s.append("G").append(IgcSecurityCode(crc)).append("\r\n");
      r.gRecordWritten = true;
    }
  } catch (const std::bad_alloc&) {
    return Error::NoMemory();
  }
  return r;
}

Result<IgcSaved> SaveIgcTrackLog(const std::vector<TrackPoint>& selected, const TrackLog& log,
                                 const IgcSaveParameters& p, const std::string& path, WriteMode mode) {
  IgcWriteOptions o;
  o.header.pilot = p.pilot;
  o.header.gliderType = p.gliderType;
  o.header.gliderId = p.gliderId;
  o.header.competitionClass = p.competitionClass;
  o.header.site = p.site;
  o.instrumentText = log.instrumentText;
  o.frSerial = p.frSerial;
  o.downloadTime = log.downloadTime;
  o.gRecordValid = log.gRecordValid;
  o.wantGRecord = p.wantGRecord;
  o.addEnl = p.addEnl;
  Result<IgcText> text = BuildIgcText(selected, o);
  if (!text.ok()) return std::move(text.error());
  if (Status written = WriteFileAtomically(path, text->text, mode); !written.ok()) return std::move(written.error());
  return IgcSaved{selected.size(), p.wantGRecord && !text->sourceValid};
}

Status SaveRawIgcLog(const RawIgcBuffer& raw, const std::string& path, WriteMode mode) {
  if (raw.empty()) return Error::Of(ErrorKind::kNothingToWrite, "No raw IGC log stored");
  return WriteFileAtomically(path, raw.text, mode);
}

}  // namespace skylode
